#include "sim/image_server/demo_images.h"

#include <algorithm>
#include <span>

#include "crypto/digest.h"
#include "crypto/seal.h"
#include "platform/profile.h"

namespace korvane::sim {

namespace {

constexpr char kHeaderMagic[] = "KORVANE SAMPLE IMAGE";

bool SealForServer(const RsaKeyTexts& keys, const std::vector<uint8_t>& image, std::string& envelope,
                   std::string& error) {
    if (image.size() < kImageHeader) {
        error = "an image must hold at least its 128-byte header";
        return false;
    }
    std::vector<uint8_t> sealed;
    const std::span<const uint8_t> bytes(image);
    if (!SealImage(keys, bytes.first(kImageHeader), bytes.subspan(kImageHeader), sealed)) {
        error = "the configuration's RSA key cannot seal (RSA_N / RSA_E)";
        return false;
    }
    envelope.assign(sealed.begin(), sealed.end());
    return true;
}

bool WriteKey(const std::string& file, const char* section, const char* key, const std::string& value,
              std::string& error) {
    if (!WriteProfileString(file, section, key, value)) {
        error = "cannot write " + file;
        return false;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> MakeSampleImage(const std::string& name, size_t payloadSize) {
    std::vector<uint8_t> image(kImageHeader + payloadSize, 0);
    std::copy(std::begin(kHeaderMagic), std::end(kHeaderMagic) - 1, image.begin());
    std::copy_n(name.begin(), std::min(name.size(), size_t{64}), image.begin() + 32);
    for (size_t i = 0; i < 4; ++i) {
        image[96 + i] = static_cast<uint8_t>(payloadSize >> (8 * i));
    }
    uint32_t state = 0x2545F491u ^ static_cast<uint32_t>(payloadSize);
    for (size_t i = kImageHeader; i < image.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = static_cast<uint8_t>(state >> 24);
    }
    return image;
}

bool PublishDemoImages(ImageServer& server, const std::string& configDir, const DemoImages& images,
                       bool enableDownload, std::string& error) {
    RsaKeyTexts keys;
    if (!ReadRsaKeyTexts(configDir, keys, error)) {
        return false;
    }
    std::string mainEnvelope;
    std::string secondEnvelope;
    if (!SealForServer(keys, images.main, mainEnvelope, error) ||
        (!images.second.empty() && !SealForServer(keys, images.second, secondEnvelope, error))) {
        return false;
    }
    const std::string mainUrl = server.BaseUrl() + kMainImagePath;
    const std::string list = images.second.empty() ? mainUrl : mainUrl + "," + server.BaseUrl() + kSecondImagePath;
    server.PublishImages(mainEnvelope, secondEnvelope, list);

    const std::string devPath = configDir + "/DevPath.ini";
    const std::string secondMd5 = images.second.empty() ? "" : Md5Hex(images.second.data(), images.second.size());
    if (!WriteKey(devPath, "DATABASE", "URL_A", server.BaseUrl() + kImageListPath, error) ||
        !WriteKey(devPath, "APP", "MD5_1", Md5Hex(images.main.data(), images.main.size()), error) ||
        !WriteKey(devPath, "APP", "MD5_2", secondMd5, error)) {
        return false;
    }
    return !enableDownload ||
           WriteKey(configDir + "/KorvaneAppDownload.ini", "AppLoad Info", "DownloadApp", "1", error);
}

}  // namespace korvane::sim
