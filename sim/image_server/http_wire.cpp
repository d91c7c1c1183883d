#include "sim/image_server/http_wire.h"

#include <cctype>
#include <charconv>

namespace korvane::sim {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view ReasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

}  // namespace

size_t FindHeadEnd(std::string_view received) {
    const size_t end = received.find("\r\n\r\n");
    return end == std::string_view::npos ? std::string_view::npos : end + 4;
}

std::optional<RequestHead> ParseRequestHead(std::string_view head) {
    const size_t lineEnd = head.find(kLineEnd);
    const std::string_view line = head.substr(0, lineEnd);
    const size_t firstSpace = line.find(' ');
    const size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace ||
        line.substr(lastSpace + 1).substr(0, 5) != "HTTP/") {
        return std::nullopt;
    }
    RequestHead request;
    request.method = line.substr(0, firstSpace);
    const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.path = target.substr(0, target.find('?'));
    request.head = head;
    size_t pos = lineEnd == std::string_view::npos ? head.size() : lineEnd + kLineEnd.size();
    while (pos < head.size()) {
        const size_t next = head.find(kLineEnd, pos);
        const std::string_view field = head.substr(pos, next == std::string_view::npos ? next : next - pos);
        const size_t colon = field.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view name = Trim(field.substr(0, colon));
            const std::string_view value = Trim(field.substr(colon + 1));
            if (EqualsNoCase(name, "User-Agent")) {
                request.userAgent = value;
            } else if (EqualsNoCase(name, "Content-Length")) {
                std::from_chars(value.data(), value.data() + value.size(), request.contentLength);
            }
        }
        if (next == std::string_view::npos) {
            break;
        }
        pos = next + kLineEnd.size();
    }
    return request;
}

std::string BuildResponseHead(int status, std::string_view contentType, std::optional<size_t> contentLength) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(ReasonOf(status)) + "\r\n";
    head += "Connection: close\r\n";
    head += "Content-Type: " + std::string(contentType) + "\r\n";
    if (contentLength) {
        head += "Content-Length: " + std::to_string(*contentLength) + "\r\n";
    }
    head += "\r\n";
    return head;
}

std::string BuildRedirectHead(std::string_view location) {
    std::string head = BuildResponseHead(302, "text/plain", 0);
    head.insert(head.size() - 2, "Location: " + std::string(location) + "\r\n");
    return head;
}

}  // namespace korvane::sim
