#include "sim/block_receiver.h"

#include "sim/wire.h"

namespace korvane::sim {
namespace {
constexpr size_t kBlockWords = 8;  // the two u32 that open every block payload
}

bool BlockReceiver::IsDataPayload(std::span<const uint8_t> payload) { return payload.size() > kBlockWords; }

bool BlockReceiver::Accept(uint32_t cmd, std::span<const uint8_t> payload, std::optional<ReceivedBlock>& done,
                           std::string& refusal) {
    if (payload.size() < kBlockWords) {
        refusal = "bad block packet";
        return false;
    }
    const uint32_t word0 = ReadLe32(payload.data());
    const uint32_t word1 = ReadLe32(payload.data() + 4);
    if (IsDataPayload(payload)) {
        return Data(cmd, word0, payload, refusal);
    }
    if (word0 == kBlockStartMagic) {
        return Start(cmd, word1, refusal);
    }
    if (word0 == kBlockEndMagic) {
        return End(cmd, word1, done, refusal);
    }
    refusal = "bad chunk length";  // a data packet without data
    return false;
}

bool BlockReceiver::Start(uint32_t cmd, uint32_t total, std::string& refusal) {
    if (total > kMaxBlockTotal) {
        refusal = "block too large";
        return false;
    }
    // A new start abandons any unfinished transfer, as a terminal that was reset would.
    active_ = true;
    cmd_ = cmd;
    total_ = total;
    first_address_.reset();
    data_.clear();
    data_.reserve(total);
    return true;
}

bool BlockReceiver::Data(uint32_t cmd, uint32_t address, std::span<const uint8_t> payload, std::string& refusal) {
    if (!active_ || cmd != cmd_) {
        refusal = "no transfer";
        return false;
    }
    const uint32_t declared = ReadLe32(payload.data() + 4);
    const auto chunk = payload.subspan(kBlockWords);
    if (declared != chunk.size() || declared > kMaxBlockChunk) {
        refusal = "bad chunk length";
        return false;
    }
    if (!CheckAddress(address, refusal)) {
        return false;
    }
    if (data_.size() + chunk.size() > total_) {
        refusal = "too much data";
        return false;
    }
    if (!first_address_) {
        first_address_ = address;
    }
    data_.insert(data_.end(), chunk.begin(), chunk.end());
    return true;
}

bool BlockReceiver::CheckAddress(uint32_t address, std::string& refusal) {
    if (!contiguous_) {
        if (address != 0) {
            refusal = "bad address";
            return false;
        }
        return true;
    }
    if (!first_address_) {
        return true;  // the first data packet sets the load address
    }
    const uint64_t expected = uint64_t{*first_address_} + data_.size();
    if (address < expected) {
        refusal = "address overlap";
        return false;
    }
    if (address > expected) {
        refusal = "address gap";
        return false;
    }
    return true;
}

bool BlockReceiver::End(uint32_t cmd, uint32_t tail, std::optional<ReceivedBlock>& done, std::string& refusal) {
    if (!active_ || cmd != cmd_) {
        refusal = "no transfer";
        return false;
    }
    if (tail != 0) {
        refusal = "bad block packet";
        return false;
    }
    active_ = false;
    if (data_.size() != total_) {
        refusal = "size mismatch";
        data_.clear();
        return false;
    }
    done = ReceivedBlock{cmd_, first_address_.value_or(0), std::move(data_)};
    data_.clear();
    return true;
}

}  // namespace korvane::sim
