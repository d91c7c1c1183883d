// Operator messages of the window: a modal box with one OK button and the caption
// "KorvaneAppDownload", owned by the given window.
// Thread safety: window thread only (a modal box runs a nested event loop).
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/message_sink.h"

namespace korvane {

class MessageBoxSink final : public IMessageSink {
public:
    explicit MessageBoxSink(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void ShowMessage(const std::string& text) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace korvane
