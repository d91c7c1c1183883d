#include "app/ini_reader.h"

#include <vector>

#include "app/config_values.h"
#include "platform/text.h"

namespace korvane {

std::string IniReader::Read(const std::string& file, const char* section, const char* key, const char16_t* def,
                            uint32_t capacity) const {
    if (utility_.GetIniStringW == nullptr || capacity == 0) {
        return {};
    }
    const std::u16string wideSection = Utf8ToUtf16(section);
    const std::u16string wideKey = Utf8ToUtf16(key);
    const std::u16string wideFile = Utf8ToUtf16(file);
    std::vector<char16_t> buffer(capacity, u'\0');
    uint32_t units = capacity;
    utility_.GetIniStringW(wideSection.c_str(), wideKey.c_str(), def, buffer.data(), &units, wideFile.c_str());
    // The value ends at its terminator; the last unit is forced to one so that a module
    // that filled the buffer cannot make the text run past it.
    buffer[capacity - 1] = u'\0';
    return Utf16ToUtf8(std::u16string_view(buffer.data()));
}

std::string IniReader::Text(const std::string& file, const char* section, const char* key) const {
    return Read(file, section, key, u"", kIniValueUnits);
}

std::string IniReader::KeyText(const std::string& file, const char* section, const char* key) const {
    return Read(file, section, key, nullptr, kIniKeyUnits);
}

bool IniReader::Switch(const std::string& file, const char* section, const char* key) const {
    return IsSwitchOn(Text(file, section, key));
}

int32_t IniReader::Integer(const std::string& file, const char* section, const char* key) const {
    return ParseIniInteger(Text(file, section, key));
}

}  // namespace korvane
