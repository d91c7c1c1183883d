#include "platform/profile_format.h"

#include "platform/text.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

// A line without its line ending.
std::string_view LineBody(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

bool HasLineEnding(std::string_view line) { return !line.empty() && line.back() == '\n'; }

// What one line is to the profile reader.
struct ParsedLine {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
    size_t value_start = 0;  // offset of the value in the line (after '=' and blanks)
};

ParsedLine ParseLine(std::string_view line) {
    ParsedLine parsed;
    const std::string_view body = TrimBlanks(LineBody(line));
    if (body.empty() || body.front() == ';' || body.front() == '#') {
        return parsed;
    }
    if (body.front() == '[') {
        const size_t close = body.rfind(']');
        if (close != std::string_view::npos) {
            parsed.kind = ParsedLine::kSection;
            parsed.name = TrimBlanks(body.substr(1, close - 1));
        }
        return parsed;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return parsed;
    }
    parsed.name = TrimBlanks(line.substr(0, equals));
    if (parsed.name.empty()) {
        return parsed;
    }
    parsed.kind = ParsedLine::kKey;
    const std::string_view rest = LineBody(line).substr(equals + 1);
    parsed.value = TrimBlanks(rest);
    const size_t lead = rest.find_first_not_of(" \t");
    parsed.value_start = equals + 1 + (lead == std::string_view::npos ? rest.size() : lead);
    return parsed;
}

// A value wrapped in one pair of matching quotes is read without them.
std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// Index range [begin, end) of the body of the first section with this name; begin is the
// header's index.
struct SectionSpan {
    size_t header = 0;
    size_t end = 0;
};

std::optional<SectionSpan> FindSection(const ProfileDocument& document, std::string_view section) {
    const auto& lines = document.lines;
    for (size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(lines[i]);
        if (parsed.kind != ParsedLine::kSection || !SameName(parsed.name, section)) {
            continue;
        }
        size_t end = i + 1;
        while (end < lines.size() && ParseLine(lines[end]).kind != ParsedLine::kSection) {
            ++end;
        }
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

constexpr size_t kNoLine = static_cast<size_t>(-1);

// Index of the key's first line in the section, or kNoLine.
size_t FindKeyLine(const ProfileDocument& document, const SectionSpan& span, std::string_view key) {
    for (size_t i = span.header + 1; i < span.end; ++i) {
        const ParsedLine parsed = ParseLine(document.lines[i]);
        if (parsed.kind == ParsedLine::kKey && SameName(parsed.name, key)) {
            return i;
        }
    }
    return kNoLine;
}

// The line ending the file already uses; a new file gets "\n".
std::string LineEndingOf(const ProfileDocument& document) {
    for (const auto& line : document.lines) {
        if (HasLineEnding(line)) {
            return line.size() >= 2 && line[line.size() - 2] == '\r' ? "\r\n" : "\n";
        }
    }
    return "\n";
}

bool IsBlankOrComment(std::string_view line) {
    const std::string_view body = TrimBlanks(line);
    return body.empty() || body.front() == ';' || body.front() == '#';
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool ValidSectionName(std::string_view section) {
    return !TrimBlanks(section).empty() && !HasLineBreak(section) && section.find(']') == std::string_view::npos;
}

bool ValidKeyName(std::string_view key) {
    const std::string_view trimmed = TrimBlanks(key);
    return !trimmed.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
           trimmed.front() != '[' && trimmed.front() != ';' && trimmed.front() != '#';
}

void InsertLine(ProfileDocument& document, size_t at, std::string text, const std::string& ending) {
    if (at > 0 && !HasLineEnding(document.lines[at - 1])) {
        document.lines[at - 1] += ending;
    }
    document.lines.insert(document.lines.begin() + static_cast<std::ptrdiff_t>(at), text + ending);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t newline = text.find('\n', start);
        const size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
        lines.emplace_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::u16string Utf16LeUnits(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    if (bytes.size() % 2 != 0) {
        units += u'\uFFFD';  // a cut-off last unit
    }
    return units;
}

// The file's text in the code page, when the whole file converts there and back unchanged.
std::optional<std::string> ReadInCodePage(std::string_view bytes, const ProfileCodePage* code_page) {
    if (code_page == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> text = code_page->to_utf8(bytes);
    if (!text || code_page->from_utf8(*text) != bytes) {
        return std::nullopt;
    }
    return text;
}

// Whether the file's encoding can store the text so it reads back the same. A UTF-16 file
// holds characters only: bytes that are no UTF-8 would become U+FFFD and the entry could
// never be found again under its own name. A code-page file holds what the code page has; a
// character outside it would come back as '?'.
bool EncodingHolds(const ProfileDocument& document, std::string_view text) {
    switch (document.encoding) {
    case ProfileEncoding::kUtf16Le:
        return IsValidUtf8(text);
    case ProfileEncoding::kCodePage:
        return document.code_page->from_utf8(text).has_value();
    case ProfileEncoding::kUtf8:
    case ProfileEncoding::kUtf8Bom:
        break;
    }
    return true;
}

}  // namespace

ProfileDocument DecodeProfile(std::string_view bytes, const ProfileCodePage* code_page) {
    ProfileDocument document;
    if (bytes.starts_with(kUtf16LeBom)) {
        document.encoding = ProfileEncoding::kUtf16Le;
        document.lines = SplitLines(Utf16ToUtf8(Utf16LeUnits(bytes.substr(kUtf16LeBom.size()))));
    } else if (bytes.starts_with(kUtf8Bom)) {
        document.encoding = ProfileEncoding::kUtf8Bom;
        document.lines = SplitLines(bytes.substr(kUtf8Bom.size()));
    } else if (std::optional<std::string> text = IsValidUtf8(bytes) ? std::nullopt : ReadInCodePage(bytes, code_page)) {
        document.encoding = ProfileEncoding::kCodePage;
        document.code_page = code_page;
        document.lines = SplitLines(*text);
    } else {
        document.lines = SplitLines(bytes);
    }
    return document;
}

std::string EncodeProfile(const ProfileDocument& document) {
    std::string text;
    for (const auto& line : document.lines) {
        text += line;
    }
    switch (document.encoding) {
    case ProfileEncoding::kUtf8:
        return text;
    case ProfileEncoding::kUtf8Bom:
        return std::string(kUtf8Bom) + text;
    case ProfileEncoding::kCodePage:
        // Every line came from the code page or was checked against it when it was set.
        return document.code_page->from_utf8(text).value_or(text);
    case ProfileEncoding::kUtf16Le:
        break;
    }
    std::string bytes(kUtf16LeBom);
    for (const char16_t unit : Utf8ToUtf16(text)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::optional<std::string> FindProfileValue(const ProfileDocument& document, std::string_view section,
                                            std::string_view key) {
    const auto span = FindSection(document, TrimBlanks(section));
    if (!span) {
        return std::nullopt;
    }
    const size_t line = FindKeyLine(document, *span, TrimBlanks(key));
    if (line == kNoLine) {
        return std::nullopt;
    }
    return Unquote(ParseLine(document.lines[line]).value);
}

std::vector<std::pair<std::string, std::string>> ProfileSectionEntries(const ProfileDocument& document,
                                                                        std::string_view section) {
    std::vector<std::pair<std::string, std::string>> entries;
    const auto span = FindSection(document, TrimBlanks(section));
    if (!span) {
        return entries;
    }
    for (size_t i = span->header + 1; i < span->end; ++i) {
        const ParsedLine parsed = ParseLine(document.lines[i]);
        if (parsed.kind != ParsedLine::kKey) {
            continue;
        }
        const bool seen = std::any_of(entries.begin(), entries.end(),
                                      [&](const auto& entry) { return SameName(entry.first, parsed.name); });
        if (!seen) {
            entries.emplace_back(std::string(parsed.name), Unquote(parsed.value));
        }
    }
    return entries;
}

ProfileEdit SetProfileValue(ProfileDocument& document, std::string_view section, std::string_view key,
                            const std::optional<std::string>& value) {
    if (!ValidSectionName(section) || !ValidKeyName(key) || (value && HasLineBreak(*value))) {
        return ProfileEdit::kRejected;
    }
    if (!EncodingHolds(document, section) || !EncodingHolds(document, key) ||
        (value && !EncodingHolds(document, *value))) {
        return ProfileEdit::kNotInEncoding;
    }
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    const std::string ending = LineEndingOf(document);
    const auto span = FindSection(document, section);
    const size_t line = span ? FindKeyLine(document, *span, key) : kNoLine;

    if (!value) {
        if (line == kNoLine) {
            return ProfileEdit::kUnchanged;
        }
        document.lines.erase(document.lines.begin() + static_cast<std::ptrdiff_t>(line));
        return ProfileEdit::kChanged;
    }
    const std::string entry = std::string(key) + "=" + *value;
    if (line != kNoLine) {
        // Keep the key's spelling and the blanks around '=' as the file has them.
        std::string& text = document.lines[line];
        const ParsedLine parsed = ParseLine(text);
        const std::string old_ending(text.substr(LineBody(text).size()));
        text = text.substr(0, parsed.value_start) + *value + old_ending;
        return ProfileEdit::kChanged;
    }
    if (span) {
        // After the section's last entry: blank lines and comments at its end usually belong
        // to the section that follows.
        size_t at = span->end;
        while (at > span->header + 1 && IsBlankOrComment(document.lines[at - 1])) {
            --at;
        }
        InsertLine(document, at, entry, ending);
        return ProfileEdit::kChanged;
    }
    const bool separate = !document.lines.empty() && !TrimBlanks(document.lines.back()).empty();
    if (separate) {
        InsertLine(document, document.lines.size(), "", ending);
    }
    InsertLine(document, document.lines.size(), "[" + std::string(section) + "]", ending);
    InsertLine(document, document.lines.size(), entry, ending);
    return ProfileEdit::kChanged;
}

}  // namespace korvane
