#include "platform/ansi_text.h"

#include "platform/text.h"

namespace korvane {

std::string ToAnsiCodePage(std::string_view utf8) { return std::string(utf8); }

std::string FromAnsiCodePage(std::string_view ansi) { return std::string(ansi); }

std::optional<std::string> FromAnsiCodePageExact(std::string_view ansi) {
    if (!IsValidUtf8(ansi)) {
        return std::nullopt;
    }
    return std::string(ansi);
}

std::optional<std::string> ToAnsiCodePageExact(std::string_view utf8) { return FromAnsiCodePageExact(utf8); }

}  // namespace korvane
