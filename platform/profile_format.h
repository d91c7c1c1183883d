// The text model behind profile.h: an INI file held as its original lines, so that a
// change touches one line and leaves comments, order and other sections as they were.
// Pure functions on memory; file access and locking are in profile.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

enum class ProfileEncoding { kUtf8, kUtf8Bom, kUtf16Le, kCodePage };

// An 8-bit code page (Windows' ANSI code page) for files without byte-order mark that are
// no UTF-8. Both conversions are exact: nothing when the text cannot be converted without
// loss, so a file read in the code page is written back byte for byte.
struct ProfileCodePage {
    std::optional<std::string> (*to_utf8)(std::string_view bytes);
    std::optional<std::string> (*from_utf8)(std::string_view text);
};

struct ProfileDocument {
    ProfileEncoding encoding = ProfileEncoding::kUtf8;
    // The code page of a kCodePage file.
    const ProfileCodePage* code_page = nullptr;
    // UTF-8 text of each line, each with its own line ending (the last may have none).
    // Bytes of a UTF-8 file are kept as they are, valid or not.
    std::vector<std::string> lines;
};

// A file without byte-order mark is UTF-8 when it is valid UTF-8; otherwise it is read in
// code_page when given and the whole file converts both ways exactly, else kept as bytes.
ProfileDocument DecodeProfile(std::string_view bytes, const ProfileCodePage* code_page = nullptr);
std::string EncodeProfile(const ProfileDocument& document);

// The first occurrence of the key in the first section of that name, blanks trimmed.
std::optional<std::string> FindProfileValue(const ProfileDocument& document, std::string_view section,
                                            std::string_view key);
// Key/value pairs of the first section of that name, first occurrence of each key only.
std::vector<std::pair<std::string, std::string>> ProfileSectionEntries(const ProfileDocument& document,
                                                                        std::string_view section);

enum class ProfileEdit { kChanged, kUnchanged, kRejected, kNotInEncoding };
// Sets or (with no value) removes a key. Names or values that would break the line
// structure (line breaks, a '=' in a key, a ']' in a section name, empty names) are rejected;
// those the file's encoding cannot hold (a UTF-16 or code-page file) are kNotInEncoding.
// The document is left as it was unless the result is kChanged.
ProfileEdit SetProfileValue(ProfileDocument& document, std::string_view section, std::string_view key,
                            const std::optional<std::string>& value);

}  // namespace korvane
