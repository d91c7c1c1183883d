// The simulated terminal's side of the link: the frame collector on a stream fed in
// pieces, the packet check of every frame, and un-stuffing against stuffing.
// Input: stream pieces of [16-bit length][bytes].
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "sim/packet_check.h"
#include "sim/wire.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input({data, size});
    sim::FrameCollector collector;
    std::vector<sim::StreamPiece> pieces;
    while (!input.empty()) {
        collector.Feed(input.Piece(), pieces);
    }
    for (const sim::StreamPiece& piece : pieces) {
        if (piece.kind != sim::StreamPiece::Kind::kFrame) {
            continue;
        }
        if (piece.bytes.size() > sim::kMaxStuffed) {
            std::abort();
        }
        sim::LinkPacket packet;
        std::string refusal;
        sim::CheckLinkPacket(piece.bytes, packet, refusal);
        // Un-stuffing accepts only what stuffing makes, so the two must agree.
        std::vector<uint8_t> plain;
        if (sim::UnstuffBytes(piece.bytes, plain) && sim::StuffBytes(plain) != piece.bytes) {
            std::abort();
        }
    }
    return 0;
}
