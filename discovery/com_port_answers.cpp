#include "discovery/com_port_answers.h"

#include <cctype>

#include "platform/text.h"

namespace korvane {
namespace {

// The text up to its first NUL, at most max_units long, as UTF-8 that fits the record.
std::string FieldText(std::u16string_view answer, size_t max_units) {
    answer = answer.substr(0, answer.find(u'\0'));
    if (answer.size() > max_units) {
        answer = answer.substr(0, max_units);
        // Never keep half of a surrogate pair.
        if (!answer.empty() && answer.back() >= 0xD800 && answer.back() <= 0xDBFF) {
            answer.remove_suffix(1);
        }
    }
    return CutAtCharacter(Utf16ToUtf8(answer), kPortTextMax);
}

char LowerAscii(char16_t unit) {
    return static_cast<char>(unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit);
}

bool IsHexDigit(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') || (unit >= u'A' && unit <= u'F');
}

// The hex digits after "<tag>_" in an '&'- or '\'-separated id, when exactly `digits` long.
std::string HexPart(std::u16string_view id, std::u16string_view tag, size_t digits) {
    for (size_t start = 0; start < id.size();) {
        const size_t end = id.find_first_of(u"&\\", start);
        const std::u16string_view part = id.substr(start, end == std::u16string_view::npos ? id.npos : end - start);
        if (part.size() == tag.size() + 1 + digits && part[tag.size()] == u'_') {
            bool matches = true;
            for (size_t i = 0; i < tag.size(); ++i) {
                matches = matches && LowerAscii(part[i]) == LowerAscii(tag[i]);
            }
            std::string value;
            for (const char16_t unit : part.substr(tag.size() + 1)) {
                matches = matches && IsHexDigit(unit);
                value += LowerAscii(unit);
            }
            if (matches) {
                return value;
            }
        }
        if (end == std::u16string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

PortInterface PortFromAnswers(const ComPortAnswers& answers) {
    PortInterface port;
    port.portName = FieldText(answers.portName, kPortNameUnits);
    port.friendlyName = FieldText(answers.friendlyName, kDeviceNameUnits);
    port.deviceDesc = FieldText(answers.deviceDesc, kDeviceNameUnits);
    // The USB identity lets a line accept its terminals by id whatever their texts say.
    const UsbIds ids = UsbIdsFromHardwareId(answers.hardwareId);
    port.usbVid = ids.vid;
    port.usbPid = ids.pid;
    port.usbInterface = ids.interfaceNumber;
    return port;
}

PortInterface PortFromVirtual(const VirtualPort& port) {
    const std::u16string name = u"COM" + Utf8ToUtf16(std::to_string(port.number));
    const std::u16string description = Utf8ToUtf16(port.description);
    ComPortAnswers answers;
    answers.portName = name;
    answers.deviceDesc = description;
    if (!description.empty()) {
        answers.friendlyName = description + u" (" + name + u")";
    }
    return PortFromAnswers(answers);
}

UsbIds UsbIdsFromHardwareId(std::u16string_view hardwareId) {
    hardwareId = hardwareId.substr(0, hardwareId.find(u'\0'));
    if (hardwareId.size() < 4 || LowerAscii(hardwareId[0]) != 'u' || LowerAscii(hardwareId[1]) != 's' ||
        LowerAscii(hardwareId[2]) != 'b' || hardwareId[3] != u'\\') {
        return {};
    }
    return {HexPart(hardwareId, u"VID", 4), HexPart(hardwareId, u"PID", 4), HexPart(hardwareId, u"MI", 2)};
}

}  // namespace korvane
