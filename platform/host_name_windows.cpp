#include "platform/host_name.h"

#include <windows.h>

#include "platform/text.h"

namespace korvane {

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size) || size == 0) {
        return "station";
    }
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(name), size));
}

}  // namespace korvane
