// Where operator messages go: a modal box with one OK button and the caption
// "KorvaneAppDownload" in the window, one line on stderr in the console.
// Thread safety: called on the front end's thread only.
#pragma once

#include <string>

namespace korvane {

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace korvane
