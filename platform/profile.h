// INI ("profile") files as the Windows profile functions treat them: section and key
// names case-insensitive, the first occurrence wins, blanks around values trimmed.
// Files are read as UTF-8 (with or without BOM) or UTF-16LE with BOM; a file without BOM
// that is no UTF-8 is read in the ANSI code page (the system's profile functions wrote it so
// on Windows; on Linux its bytes are kept as they are). A file is written back in the
// encoding it was read in (UTF-8 for a new file), and a value that encoding cannot hold is
// refused rather than stored as '?'.
// Thread safety: all calls may run at once from many threads; they are serialised per
// process, and a write replaces the file atomically (rename of a complete temporary file).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// The value, or nothing when the file, section or key is missing.
std::optional<std::string> ReadProfileString(const std::string& file, const std::string& section,
                                             const std::string& key);
// Sets (or, with no value, removes) a key, keeping every other line. False on I/O failure
// and for a name or value the file cannot hold (then the file is not changed).
bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::optional<std::string>& value);
// Key names of a section, in file order, first occurrences only.
std::vector<std::string> ReadProfileKeys(const std::string& file, const std::string& section);
// Key/value pairs of a section, in file order, first occurrences only, read in one pass.
std::vector<std::pair<std::string, std::string>> ReadProfileSection(const std::string& file,
                                                                     const std::string& section);

}  // namespace korvane
