#include "engine/sign_ahead.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "engine/frame.h"
#include "engine/packet.h"
#include "engine/signature_cache.h"
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

// The loaded bytes a session sends: the buffer, cut to the recorded size.
std::span<const uint8_t> Loaded(const std::vector<uint8_t>& bytes, int size) {
    return std::span<const uint8_t>(bytes.data(), std::min(bytes.size(), static_cast<size_t>(std::max(size, 0))));
}

// The transfers the sessions of this run make, in their order.
std::vector<BlockTransfer> TransfersOf(const CKorvaneAppDownloadApp& app) {
    std::vector<BlockTransfer> transfers;
    if (app.b_downloadApp != 0 && app.b_appLoaded != 0) {
        const std::span<const uint8_t> images[] = {Loaded(app.mainImage, app.mainImageSize),
                                                   Loaded(app.secondImage, app.secondImageSize)};
        for (int i = 0; i < std::min(app.imageCount, 2); ++i) {
            if (images[i].size() >= kImageHeaderSize) {  // shorter ones are refused unsent
                transfers.push_back({kCmdImage, images[i], ImageLoadAddress(images[i]), true});
            }
        }
    }
    if (app.b_downloadLogo != 0 && app.b_logoLoaded != 0) {
        transfers.push_back({kCmdLogo, Loaded(app.logoBlock, app.logoBlockSize), 0, false});
    }
    if (app.b_downloadAMR != 0 && app.b_amrLoaded != 0) {
        transfers.push_back({kCmdAmr, Loaded(app.amrData, app.amrSize), 0, false});
    }
    return transfers;
}

}  // namespace

size_t SignLoadedDataAhead(CKorvaneAppDownloadApp& app, const std::atomic<bool>& stop) {
    const auto stopped = [&] { return stop.load() || app.b_running.load() == 0; };
    SignatureCache* cache = app.signatureCache.get();
    if (cache == nullptr || app.pfnSign == nullptr) {
        return 0;
    }
    // Below the store's bound, so the pass never pushes out what it signed itself and
    // leaves room for the regions the sessions sign as they go.
    const size_t cap = cache->Limit() - cache->Limit() / 4;
    size_t asked = 0;
    std::array<uint8_t, kSignatureSize> signature{};
    for (const BlockTransfer& transfer : TransfersOf(app)) {
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
            if (cache->Sign(app.pfnSign, app.pfnVerify, app.keyPairData, region, signature, stopped) ==
                SharedSignOutcome::kRefused) {
                return asked;  // an unsound key pair: every session will hear it itself
            }
            ++asked;
        }
    }
    return asked;
}

void SignAhead::Start(CKorvaneAppDownloadApp& app) {
    Stop();
    if (!app.signatureCache) {
        return;
    }
    stop_ = false;
    thread_ = std::thread([this, &app] { SignLoadedDataAhead(app, stop_); });
}

void SignAhead::Stop() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace korvane
