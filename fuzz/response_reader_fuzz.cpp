// Bytes from a terminal, in chunks arriving at chosen times, through the framed-answer
// reader, the TUSN and OKAY replies and the file-handle text of an answer.
// Input: reader (byte), then chunks of [delay ms (byte) * 20][16-bit length][bytes].
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine/response_reader.h"
#include "engine/session.h"
#include "engine/transfer.h"
#include "fuzz/fuzz_input.h"
#include "tests/fixtures/fake_clock.h"
#include "tests/fixtures/scripted_channel.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input({data, size});
    testing::FakeClock clock;
    testing::ScriptedChannel channel(clock);
    const uint8_t reader = input.Byte() % 3;
    uint32_t at = clock.Now();
    while (!input.empty()) {
        at += input.Byte() * 20U;
        const std::span<const uint8_t> chunk = input.Piece();
        channel.ArriveAt(at, testing::Bytes(chunk.begin(), chunk.end()));
    }
    DownloadPlan plan;
    Session session;
    session.plan = &plan;
    session.channel = channel.Channel();
    session.clock = &clock;
    std::array<char, 256> message{};
    if (reader == 0) {
        std::array<uint8_t, kResponseDataSize> answer{};
        uint32_t length = 0;
        if (check_response(session, answer, message, &length) == 0 && length > answer.size()) {
            std::abort();
        }
        ParseHandle(BufferText(std::span<const uint8_t>(answer.data(), length)));
    } else if (reader == 1) {
        std::array<char, 64> tusn{};
        read_tusn_reply(session, message, tusn);
        if (tusn.back() != '\0') {
            std::abort();
        }
    } else {
        wait_okay(session, message);
    }
    if (message.back() != '\0') {
        std::abort();
    }
    return 0;
}
