#include "images/response_pieces.h"

#include <algorithm>

namespace korvane {

void ResponsePieces::Append(const char* data, size_t size) {
    while (size > 0) {
        const size_t take = std::min(size, kPieceSize - used_);
        std::copy_n(data, take, piece_.begin() + static_cast<std::ptrdiff_t>(used_));
        used_ += take;
        data += take;
        size -= take;
        if (used_ == kPieceSize) {
            FlushPiece();
        }
    }
}

std::string ResponsePieces::Finish() {
    FlushPiece();
    return std::move(kept_);
}

void ResponsePieces::FlushPiece() {
    const auto end = piece_.begin() + static_cast<std::ptrdiff_t>(used_);
    kept_.append(piece_.begin(), std::find(piece_.begin(), end, '\0'));
    used_ = 0;
}

}  // namespace korvane
