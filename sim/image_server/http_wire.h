// The HTTP/1.1 text the loopback image server reads and writes: request heads in,
// response heads out. Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::sim {

inline constexpr size_t kLongestRequestHead = 16384;

struct RequestHead {
    std::string method;
    std::string path;  // without the query
    std::string userAgent;
    size_t contentLength = 0;  // of the request body, 0 when none is announced
    std::string head;          // the whole head as received, for checks of the headers sent
};

// Position just after the blank line that ends a request head, or npos.
size_t FindHeadEnd(std::string_view received);
// The request line, the User-Agent and the Content-Length of a complete head; nothing
// when the request line is not "METHOD TARGET HTTP/x".
std::optional<RequestHead> ParseRequestHead(std::string_view head);
// "HTTP/1.1 <status> <reason>", Connection: close, the content type, and Content-Length
// when given, then the blank line.
std::string BuildResponseHead(int status, std::string_view contentType, std::optional<size_t> contentLength);

// A 302 answer head sending the client to location, with an empty body.
std::string BuildRedirectHead(std::string_view location);

}  // namespace korvane::sim
