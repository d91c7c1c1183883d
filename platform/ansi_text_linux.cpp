#include "platform/ansi_text.h"

namespace korvane {

std::string ToAnsiCodePage(std::string_view utf8) { return std::string(utf8); }

std::string FromAnsiCodePage(std::string_view ansi) { return std::string(ansi); }

}  // namespace korvane
