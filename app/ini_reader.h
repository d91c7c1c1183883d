// Reads configuration keys through the utility module's wide INI string read.
// Thread safety: a reader keeps no state of its own; reads may run at once when the
// module's read may (it may).
#pragma once

#include <cstdint>
#include <string>

#include "modules/utility/utility_module.h"

namespace korvane {

// Buffer sizes of a read in UTF-16 units, terminator included.
inline constexpr uint32_t kIniValueUnits = 260;  // every ordinary key
inline constexpr uint32_t kIniKeyUnits = 1024;   // the RSA_ key texts

// Names the settings file that lies in the current directory, which start-up makes the
// configuration folder.
inline constexpr const char* kDevPathIni = "./DevPath.ini";

class IniReader {
public:
    explicit IniReader(const UtilityModule& utility) : utility_(utility) {}

    // The value as UTF-8, cut to capacity - 1 units by the module; the default (or the
    // empty text when def is null) for a missing key.
    std::string Read(const std::string& file, const char* section, const char* key, const char16_t* def,
                     uint32_t capacity) const;

    // An ordinary key (260 units, empty default), kept as read.
    std::string Text(const std::string& file, const char* section, const char* key) const;
    // An RSA_ key text (1024 units, no default).
    std::string KeyText(const std::string& file, const char* section, const char* key) const;
    bool Switch(const std::string& file, const char* section, const char* key) const;
    int32_t Integer(const std::string& file, const char* section, const char* key) const;

private:
    const UtilityModule& utility_;
};

}  // namespace korvane
