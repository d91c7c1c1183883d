#include "modules/utility/caller_buffers.h"

#include <algorithm>

namespace korvane {
namespace {

template <typename Unit>
int32_t CopyWholeOf(std::basic_string_view<Unit> text, Unit* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return -1;
    }
    if (text.size() >= capacity) {
        buffer[0] = Unit{};
        return -1;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = Unit{};
    return static_cast<int32_t>(text.size());
}

// Where a cut may fall: not inside a UTF-8 sequence or a UTF-16 surrogate pair.
size_t CutPoint(std::string_view text, size_t limit) {
    size_t cut = limit;
    // At most three continuation bytes belong to the character that starts before them.
    for (int step = 0; step < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++step) {
        --cut;
    }
    return (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80 ? limit : cut;
}

// limit > 0: a high surrogate just before the cut goes with its partner.
size_t CutPoint(std::u16string_view text, size_t limit) {
    const char16_t before = text[limit - 1];
    return (before >= 0xD800 && before <= 0xDBFF) ? limit - 1 : limit;
}

template <typename Unit>
uint32_t CopyCutOf(std::basic_string_view<Unit> text, Unit* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    const size_t limit = capacity - 1;
    const size_t length = text.size() <= limit ? text.size() : (limit == 0 ? 0 : CutPoint(text, limit));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), buffer);
    buffer[length] = Unit{};
    return static_cast<uint32_t>(length);
}

template <typename Unit>
uint32_t CopyNameListOf(const std::vector<std::basic_string<Unit>>& names, Unit* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    size_t used = 0;
    for (const auto& name : names) {
        // The name, its terminator and the list's closing terminator must all fit.
        if (name.empty() || used + name.size() + 2 > capacity) {
            break;
        }
        std::copy(name.begin(), name.end(), buffer + used);
        used += name.size();
        buffer[used++] = Unit{};
    }
    buffer[used] = Unit{};
    return static_cast<uint32_t>(used);
}

}  // namespace

int32_t CopyWhole(std::string_view text, char* buffer, uint32_t capacity) {
    return CopyWholeOf(text, buffer, capacity);
}
int32_t CopyWhole(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
    return CopyWholeOf(text, buffer, capacity);
}
uint32_t CopyCut(std::string_view text, char* buffer, uint32_t capacity) { return CopyCutOf(text, buffer, capacity); }
uint32_t CopyCut(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
    return CopyCutOf(text, buffer, capacity);
}
uint32_t CopyNameList(const std::vector<std::string>& names, char* buffer, uint32_t capacity) {
    return CopyNameListOf(names, buffer, capacity);
}
uint32_t CopyNameList(const std::vector<std::u16string>& names, char16_t* buffer, uint32_t capacity) {
    return CopyNameListOf(names, buffer, capacity);
}

std::string_view TextOf(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }
std::u16string_view TextOf(const char16_t* text) {
    return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace korvane
