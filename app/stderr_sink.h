// The console's operator messages: one line on stderr per message.
// Thread safety: the front end's thread only.
#pragma once

#include <cstdio>
#include <string>

#include "app/message_sink.h"

namespace korvane {

class StderrMessageSink final : public IMessageSink {
public:
    explicit StderrMessageSink(std::FILE* out = stderr) : out_(out) {}
    // The text as it is, a closing "\r\n" written as the line's end.
    void ShowMessage(const std::string& text) override;

private:
    std::FILE* out_;
};

}  // namespace korvane
