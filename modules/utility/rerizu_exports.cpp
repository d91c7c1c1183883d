// The utility module's entry points. Every entry point converts its arguments to UTF-8, does
// its work through the platform helpers and copies the result into the caller's buffer; no
// state is kept between calls apart from the profile lock inside platform/profile.

#include "modules/utility/rerizu_abi.h"
#include "modules/module_export.h"

#include "modules/utility/caller_buffers.h"
#include "modules/utility/system_info.h"
#include "platform/ansi_text.h"
#include "platform/module_path.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "platform/trace.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <random>
#include <type_traits>

namespace korvane {
namespace {

std::string Utf8Of(const char* text) { return std::string(TextOf(text)); }
std::string Utf8Of(const char16_t* text) { return Utf16ToUtf8(TextOf(text)); }

std::optional<std::string> OptionalUtf8(const char* text) {
    return text != nullptr ? std::optional<std::string>(Utf8Of(text)) : std::nullopt;
}
std::optional<std::string> OptionalUtf8(const char16_t* text) {
    return text != nullptr ? std::optional<std::string>(Utf8Of(text)) : std::nullopt;
}

// Copies a UTF-8 result into a caller's buffer of either width.
int32_t ReturnWhole(const std::string& text, char* buffer, uint32_t capacity) {
    return CopyWhole(text, buffer, capacity);
}
int32_t ReturnWhole(const std::string& text, char16_t* buffer, uint32_t capacity) {
    return CopyWhole(Utf8ToUtf16(text), buffer, capacity);
}

// An entry point that has nothing to give on this platform: an empty text and -1.
template <typename Unit>
int32_t ReturnNothing(Unit* buffer, uint32_t capacity) {
    if (buffer != nullptr && capacity > 0) {
        buffer[0] = Unit{};
    }
    return -1;
}

template <typename Unit>
uint32_t GetIniString(const Unit* section, const Unit* key, const Unit* def, Unit* buffer, uint32_t* capacity,
                      const Unit* file) {
    if (buffer == nullptr || capacity == nullptr || *capacity == 0) {
        return 0;
    }
    std::optional<std::string> value;
    if (section != nullptr && key != nullptr && file != nullptr) {
        value = ReadProfileString(NativePath(Utf8Of(file)), Utf8Of(section), Utf8Of(key));
    }
    const std::string text = value ? *value : Utf8Of(def);
    if constexpr (std::is_same_v<Unit, char>) {
        return CopyCut(text, buffer, *capacity);
    } else {
        return CopyCut(Utf8ToUtf16(text), buffer, *capacity);
    }
}

template <typename Unit>
int32_t WriteIniString(const Unit* section, const Unit* key, const Unit* value, const Unit* file) {
    if (section == nullptr || key == nullptr || file == nullptr) {
        return 0;
    }
    return WriteProfileString(NativePath(Utf8Of(file)), Utf8Of(section), Utf8Of(key), OptionalUtf8(value)) ? 1 : 0;
}

// The leading decimal digits of a value; nothing when there are none or they overflow.
std::optional<uint32_t> ParseUnsigned(const std::string& text) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

template <typename Unit>
uint32_t GetIniUInt(const Unit* section, const Unit* key, uint32_t def, const Unit* file) {
    if (section == nullptr || key == nullptr || file == nullptr) {
        return def;
    }
    const auto value = ReadProfileString(NativePath(Utf8Of(file)), Utf8Of(section), Utf8Of(key));
    const auto number = value ? ParseUnsigned(*value) : std::nullopt;
    return number.value_or(def);
}

template <typename Unit>
int32_t WriteIniUInt(const Unit* section, const Unit* key, uint32_t value, const Unit* file) {
    if (section == nullptr || key == nullptr || file == nullptr) {
        return 0;
    }
    return WriteProfileString(NativePath(Utf8Of(file)), Utf8Of(section), Utf8Of(key), std::to_string(value)) ? 1 : 0;
}

template <typename Unit>
uint32_t GetIniKeyNames(const Unit* section, Unit* buffer, uint32_t capacity, const Unit* file) {
    std::vector<std::string> keys;
    if (section != nullptr && file != nullptr) {
        keys = ReadProfileKeys(NativePath(Utf8Of(file)), Utf8Of(section));
    }
    if constexpr (std::is_same_v<Unit, char>) {
        return CopyNameList(keys, buffer, capacity);
    } else {
        std::vector<std::u16string> wide;
        for (const auto& name : keys) {
            wide.push_back(Utf8ToUtf16(name));
        }
        return CopyNameList(wide, buffer, capacity);
    }
}

void DebugTrace(std::string_view text) {
    TraceWrite(!text.empty() && text.back() == '\n' ? std::string(text) : std::string(text) + "\n");
}

std::string HexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        hex += kDigits[value >> 4];
        hex += kDigits[value & 0x0F];
    }
    return hex;
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The bytes of a hex text; nothing when its length is odd or it holds a non-digit.
std::optional<std::string> BytesOfHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = DigitValue(hex[i]);
        const int low = DigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>((high << 4) | low);
    }
    return bytes;
}

template <typename Unit>
int32_t HexToAnsi(const Unit* hex, Unit* buffer, uint32_t capacity) {
    const auto bytes = BytesOfHex(Utf8Of(hex));
    return bytes ? ReturnWhole(*bytes, buffer, capacity) : ReturnNothing(buffer, capacity);
}

std::string ConfigPath() {
    static const int anchor = 0;  // any object of this module locates its file
    const std::string dir = ModuleDirOf(&anchor);
    return dir.empty() || dir.back() == '/' || dir.back() == '\\' ? dir : dir + PathSeparator();
}

std::string NewGuid() {
    std::random_device source;
    std::array<unsigned char, 16> bytes{};
    for (auto& byte : bytes) {
        byte = static_cast<unsigned char>(source());
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "{";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text + "}";
}

template <typename Unit>
int32_t AddAccessFile(const Unit* path) {
    return path != nullptr && GrantOwnerReadWrite(NativePath(Utf8Of(path))) ? 1 : 0;
}

}  // namespace
}  // namespace korvane

using namespace korvane;

KORVANE_MODULE_EXPORT int32_t RERizu_AnsiToUnicode(const char* src, char16_t* dst, uint32_t capacity) {
    return src != nullptr ? CopyWhole(Utf8ToUtf16(FromAnsiCodePage(TextOf(src))), dst, capacity)
                          : ReturnNothing(dst, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_UnicodeToAnsi(const char16_t* src, char* dst, uint32_t capacity) {
    return src != nullptr ? CopyWhole(ToAnsiCodePage(Utf16ToUtf8(TextOf(src))), dst, capacity)
                          : ReturnNothing(dst, capacity);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetIniStringA(const char* section, const char* key, const char* def, char* buffer,
                                            uint32_t* capacity, const char* file) {
    return GetIniString(section, key, def, buffer, capacity, file);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetIniStringW(const char16_t* section, const char16_t* key, const char16_t* def,
                                            char16_t* buffer, uint32_t* capacity, const char16_t* file) {
    return GetIniString(section, key, def, buffer, capacity, file);
}

KORVANE_MODULE_EXPORT int32_t RERizu_WriteIniStringA(const char* section, const char* key, const char* value,
                                             const char* file) {
    return WriteIniString(section, key, value, file);
}

KORVANE_MODULE_EXPORT int32_t RERizu_WriteIniStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                             const char16_t* file) {
    return WriteIniString(section, key, value, file);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetIniUIntA(const char* section, const char* key, uint32_t def, const char* file) {
    return GetIniUInt(section, key, def, file);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetIniUIntW(const char16_t* section, const char16_t* key, uint32_t def,
                                          const char16_t* file) {
    return GetIniUInt(section, key, def, file);
}

KORVANE_MODULE_EXPORT int32_t RERizu_WriteIniUIntA(const char* section, const char* key, uint32_t value, const char* file) {
    return WriteIniUInt(section, key, value, file);
}

KORVANE_MODULE_EXPORT int32_t RERizu_WriteIniUIntW(const char16_t* section, const char16_t* key, uint32_t value,
                                           const char16_t* file) {
    return WriteIniUInt(section, key, value, file);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetIniKeyNamesA(const char* section, char* buffer, uint32_t capacity,
                                              const char* file) {
    return GetIniKeyNames(section, buffer, capacity, file);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetIniKeyNamesW(const char16_t* section, char16_t* buffer, uint32_t capacity,
                                              const char16_t* file) {
    return GetIniKeyNames(section, buffer, capacity, file);
}

KORVANE_MODULE_EXPORT void RERizu_DebugTraceA(const char* text) {
    if (TraceEnabled()) {
        DebugTrace(TextOf(text));
    }
}

KORVANE_MODULE_EXPORT void RERizu_DebugTraceW(const char16_t* text) {
    if (TraceEnabled()) {
        DebugTrace(Utf8Of(text));
    }
}

KORVANE_MODULE_EXPORT void RERizu_SwapBytes(void* data, uint32_t length) {
    if (data != nullptr) {
        auto* bytes = static_cast<unsigned char*>(data);
        std::reverse(bytes, bytes + length);
    }
}

KORVANE_MODULE_EXPORT int32_t RERizu_AnsiToHexA(const char* src, char* dst, uint32_t capacity) {
    return src != nullptr ? ReturnWhole(HexOf(TextOf(src)), dst, capacity) : ReturnNothing(dst, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_AnsiToHexW(const char16_t* src, char16_t* dst, uint32_t capacity) {
    return src != nullptr ? ReturnWhole(HexOf(Utf8Of(src)), dst, capacity) : ReturnNothing(dst, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_HexToAnsiA(const char* hex, char* dst, uint32_t capacity) {
    return HexToAnsi(hex, dst, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_HexToAnsiW(const char16_t* hex, char16_t* dst, uint32_t capacity) {
    return HexToAnsi(hex, dst, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetConfigPathA(char* buffer, uint32_t capacity) {
    return ReturnWhole(ConfigPath(), buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetConfigPathW(char16_t* buffer, uint32_t capacity) {
    return ReturnWhole(ConfigPath(), buffer, capacity);
}

// The program keeps no language folders or display-text tables on this platform.
KORVANE_MODULE_EXPORT int32_t RERizu_GetCurrentLanguagePathA(char* buffer, uint32_t capacity) {
    return ReturnNothing(buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetCurrentLanguagePathW(char16_t* buffer, uint32_t capacity) {
    return ReturnNothing(buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetDisplayTextA(const char* /*id*/, char* buffer, uint32_t capacity) {
    return ReturnNothing(buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetDisplayTextW(const char16_t* /*id*/, char16_t* buffer, uint32_t capacity) {
    return ReturnNothing(buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_CreateGUIDA(char* buffer, uint32_t capacity) {
    return ReturnWhole(NewGuid(), buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_CreateGUIDW(char16_t* buffer, uint32_t capacity) {
    return ReturnWhole(NewGuid(), buffer, capacity);
}

KORVANE_MODULE_EXPORT uint32_t RERizu_GetOSVerCode(void) {
    const OsVersion version = QueryOsVersion();
    return version.major * 100 + version.minor;
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetOSVersionA(char* buffer, uint32_t capacity) {
    return ReturnWhole(QueryOsVersion().text, buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_GetOSVersionW(char16_t* buffer, uint32_t capacity) {
    return ReturnWhole(QueryOsVersion().text, buffer, capacity);
}

// There is no system web browser component whose cipher strength could be asked.
KORVANE_MODULE_EXPORT int32_t RERizu_GetIEBitlenA(char* buffer, uint32_t capacity) { return ReturnNothing(buffer, capacity); }

KORVANE_MODULE_EXPORT int32_t RERizu_GetIEBitlenW(char16_t* buffer, uint32_t capacity) {
    return ReturnNothing(buffer, capacity);
}

KORVANE_MODULE_EXPORT int32_t RERizu_AddAccessFileA(const char* path) { return AddAccessFile(path); }

KORVANE_MODULE_EXPORT int32_t RERizu_AddAccessFileW(const char16_t* path) { return AddAccessFile(path); }

// Every entry point has exactly the type its binder expects.
#define RERIZU_CHECK_TYPE(name) static_assert(std::is_same_v<decltype(&RERizu_##name), RERizu_##name##Fn>);
RERIZU_ENTRY_POINTS(RERIZU_CHECK_TYPE)
#undef RERIZU_CHECK_TYPE
