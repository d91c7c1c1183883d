// The INI text model: decoding in its three encodings, look-ups, an edit and encoding.
// Input: section (piece), key (piece), value (piece; empty removes), then the file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/profile_format.h"

using namespace korvane;

namespace {

// Text a line holds as it is: no control bytes, no blanks at either end (a value read
// back also loses the quotes around it, so quoted values are left out).
bool Plain(const std::string& text) {
    return !text.empty() && text.front() != ' ' && text.back() != ' ' &&
           std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input({data, size});
    const std::string section = input.Text();
    const std::string key = input.Text();
    const std::string value = input.Text();
    ProfileDocument document = DecodeProfile(fuzz::InputReader::AsText(input.Rest()));
    FindProfileValue(document, section, key);
    ProfileSectionEntries(document, section);
    const std::optional<std::string> wanted = value.empty() ? std::nullopt : std::optional<std::string>(value);
    const ProfileEdit edit = SetProfileValue(document, section, key, wanted);
    // A value that was stored must read back as it was written.
    const bool stored = edit == ProfileEdit::kChanged || edit == ProfileEdit::kUnchanged;
    if (stored && wanted && Plain(section) && Plain(key) && Plain(value) && value.front() != '"' && value.front() != '\'' &&
        FindProfileValue(document, section, key) != wanted) {
        std::abort();
    }
    DecodeProfile(EncodeProfile(document));
    return 0;
}
