#include "engine/sign_ahead.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "engine/download_plan.h"
#include "engine/frame.h"
#include "engine/packet.h"
#include "engine/signature_cache.h"
#include "engine/signing_setup.h"
#include "engine/transfer.h"

namespace korvane {
namespace {

// One block transfer as a session makes it.
struct BlockTransfer {
    uint32_t cmd;
    std::span<const uint8_t> data;
    uint32_t base_address;
    bool address_follows_offset;
};

// The transfers the sessions of this run make, in their order.
std::vector<BlockTransfer> TransfersOf(const DownloadPlan& plan) {
    std::vector<BlockTransfer> transfers;
    if (plan.b_downloadApp != 0) {
        const std::span<const uint8_t> images[] = {plan.mainImage, plan.secondImage};
        for (int i = 0; i < std::min(plan.imageCount, 2); ++i) {
            if (images[i].size() >= kImageHeaderSize) {  // shorter ones are refused unsent
                transfers.push_back({kCmdImage, images[i], ImageLoadAddress(images[i]), true});
            }
        }
    }
    if (plan.b_downloadLogo != 0) {
        transfers.push_back({kCmdLogo, plan.logoBlock, 0, false});
    }
    if (plan.b_downloadAMR != 0) {
        transfers.push_back({kCmdAmr, plan.amrData, 0, false});
    }
    return transfers;
}

}  // namespace

size_t SignLoadedDataAhead(const DownloadPlan& plan, const std::atomic<int>& running, const std::atomic<bool>& stop) {
    const auto stopped = [&] { return stop.load() || running.load() == 0; };
    const SigningSetup* signing = plan.signing;
    SignatureCache* cache = signing != nullptr ? signing->signatureCache.get() : nullptr;
    if (cache == nullptr || signing->pfnSign == nullptr) {
        return 0;
    }
    // Below the store's bound, so the pass never pushes out what it signed itself and
    // leaves room for the regions the sessions sign as they go.
    const size_t cap = cache->Limit() - cache->Limit() / 4;
    size_t asked = 0;
    std::array<uint8_t, kSignatureSize> signature{};
    for (const BlockTransfer& transfer : TransfersOf(plan)) {
        const size_t count = BlockPacketCount(transfer.data.size());
        for (size_t index = 0; index < count; ++index) {
            if (stopped()) {
                return asked;
            }
            const std::vector<uint8_t> payload =
                BlockPacketPayload(transfer.data, transfer.base_address, transfer.address_follows_offset, index);
            const std::vector<uint8_t> packet = PreparePacket(transfer.cmd, payload);
            const std::span<const uint8_t> region(packet.data() + kSignedRegionOffset,
                                                  kHeaderSize + payload.size() - kSignedRegionOffset);
            if (asked >= cap) {
                return asked;  // the rest is signed by the sessions as they go
            }
            if (cache->Sign(signing->pfnSign, signing->pfnVerify, signing->keyPairData, region, signature, stopped) ==
                SharedSignOutcome::kRefused) {
                return asked;  // an unsound key pair: every session will hear it itself
            }
            ++asked;
        }
    }
    return asked;
}

void SignAhead::Start(const DownloadPlan& plan, const std::atomic<int>& running) {
    Stop();
    if (plan.signing == nullptr || !plan.signing->signatureCache) {
        return;
    }
    stop_ = false;
    thread_ = std::thread([this, &plan, &running] { SignLoadedDataAhead(plan, running, stop_); });
}

void SignAhead::Stop() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace korvane
