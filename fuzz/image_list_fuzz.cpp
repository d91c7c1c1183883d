// The image-list answer: collected in pieces as the HTTP client receives it, then split
// into the two image addresses.
// Input: answer pieces of [16-bit length][bytes].
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "images/response_pieces.h"
#include "images/server_images.h"

using namespace korvane;

namespace {

bool CleanAddress(const std::string& url) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    return url.find(',') == std::string::npos &&
           (url.empty() || (blanks.find(url.front()) == std::string_view::npos &&
                            blanks.find(url.back()) == std::string_view::npos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input({data, size});
    ResponsePieces pieces;
    size_t received = 0;
    while (!input.empty()) {
        const auto piece = input.Piece();
        pieces.Append(reinterpret_cast<const char*>(piece.data()), piece.size());
        received += piece.size();
    }
    const std::string answer = pieces.Finish();
    if (answer.size() > received) {
        std::abort();
    }
    std::string mainUrl;
    std::string secondUrl;
    ParseImageList(answer, mainUrl, secondUrl);
    if (!CleanAddress(mainUrl) || !CleanAddress(secondUrl)) {
        std::abort();
    }
    return 0;
}
