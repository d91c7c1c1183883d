#include "app/port_listing.h"

#include <algorithm>

#include "platform/port_numbers.h"

namespace korvane {

namespace {

// A device text in double quotes: quotes, backslashes and control bytes escaped.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            quoted += "\\x";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0x0F];
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

std::string PortListingLine(const PortInterface& port, const PortMatch& match) {
    const std::string number = port.portName.empty() ? "-" : port.portName + (port.numberSaved ? "" : "*");
    const std::string usb = port.usbVid.empty() && port.usbPid.empty() ? "-" : port.usbVid + ":" + port.usbPid;
    return number + " location=" + Quoted(port.location) + " description=" + Quoted(ComparedDescription(port)) +
           " usb=" + Quoted(usb) + " interface=" + Quoted(OrDash(port.usbInterface)) +
           " serial=" + Quoted(OrDash(port.serial)) + " driver=" + Quoted(OrDash(port.driver)) +
           " session=" + (IsTerminalPort(port, match) ? "yes" : "no") + "\n";
}

std::string PortListing(std::vector<PortInterface> ports, const PortMatch& match) {
    std::stable_sort(ports.begin(), ports.end(), [](const PortInterface& a, const PortInterface& b) {
        return PortNumberFromName(a.portName) < PortNumberFromName(b.portName);
    });
    std::string text = "# port location description usb(vid:pid) interface serial driver session\n";
    for (const PortInterface& port : ports) {
        text += PortListingLine(port, match);
    }
    return text;
}

int ListPorts(PortSources sources, std::FILE* out, std::FILE* err) {
    // Ports that udev has not named yet are listed under their kernel name at once.
    sources.byPathGraceMs = 0;
    std::vector<PortInterface> ports;
    std::vector<std::string> refused;
    const std::string tableFile = PortNumberTable(sources.tableDir).File();
    const PortMatch match = LoadPortMatch(tableFile, refused);
    {
        const auto enumerator = MakePortEnumerator(sources);
        if (!enumerator->List(ports)) {
            std::fprintf(err, "no serial ports can be listed on this system\n");
        }
    }
    std::fputs(PortListing(ports, match).c_str(), out);
    for (const std::string& entry : refused) {
        std::fprintf(err, "[%s] of %s ignores %s\n", kMatchSection, tableFile.c_str(), entry.c_str());
    }
    if (std::any_of(ports.begin(), ports.end(), [](const PortInterface& p) { return !p.numberSaved; })) {
        std::fprintf(err, "%s cannot be written: numbers marked * are not kept\n", tableFile.c_str());
    }
    return 0;
}

}  // namespace korvane
