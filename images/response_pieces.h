// The response body collected in pieces of 1024 bytes. A piece is kept up to its first
// zero byte; the bytes after a zero byte in the same piece are dropped, later pieces are
// kept. Piece boundaries are fixed offsets of the body (0, 1024, 2048, ...).
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace korvane {

class ResponsePieces {
public:
    static constexpr size_t kPieceSize = 1024;

    void Append(const char* data, size_t size);
    // Ends the body and hands out what was kept.
    std::string Finish();

private:
    void FlushPiece();

    std::array<char, kPieceSize> piece_{};
    size_t used_ = 0;
    std::string kept_;
};

}  // namespace korvane
