#include "images/server_images.h"

#include <new>
#include <span>
#include <string_view>

#include "crypto/envelope.h"
#include "platform/text.h"

namespace korvane {

namespace {

bool EnsureCapacity(std::vector<uint8_t>& buffer) {
    try {
        buffer.resize(kImageBufferCapacity);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Fetches, verifies and unwraps one image: 0, or fetchFailed / envelopeFailed.
int ObtainImage(const RsaKeyTexts& keys, const std::string& url, std::vector<uint8_t>& buffer,
                int32_t& length, int fetchFailed, int envelopeFailed) {
    if (!EnsureCapacity(buffer)) {
        return fetchFailed;
    }
    length = static_cast<int32_t>(kImageBufferCapacity);
    if (FetchImage(url, buffer.data(), length) != 1) {
        return fetchFailed;
    }
    OpenedBlock opened{};
    const std::span<const uint8_t> envelope(buffer.data(), static_cast<size_t>(length));
    if (VerifyImageEnvelope(keys, envelope, opened) != 1) {
        return envelopeFailed;
    }
    UnwrapImage(buffer, length, opened);
    return 0;
}

bool CopyImage(const std::vector<uint8_t>& buffer, int32_t length, std::vector<uint8_t>& image, int& size) {
    try {
        image.assign(buffer.begin(), buffer.begin() + length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    size = length;
    return true;
}

}  // namespace

void ParseImageList(const std::string& response, std::string& mainUrl, std::string& secondUrl) {
    mainUrl.clear();
    secondUrl.clear();
    std::string* fields[] = {&mainUrl, &secondUrl};
    size_t next = 0;
    size_t start = 0;
    while (next < std::size(fields) && start <= response.size()) {
        size_t comma = response.find(',', start);
        if (comma == std::string::npos) {
            comma = response.size();
        }
        if (comma > start) {
            // Servers end the list with a line break, and people write blanks after commas.
            fields[next++]->assign(TrimBlanks(std::string_view(response).substr(start, comma - start)));
        }
        start = comma + 1;
    }
}

int FetchServerImages(const RsaKeyTexts& keys, const LoadedImages& images, ServerImageBuffers& buffers) {
    if (!images.mainImageUrl.empty()) {
        const int result = ObtainImage(keys, images.mainImageUrl, buffers.main, buffers.mainLength, -1, -2);
        if (result != 0) {
            return result;
        }
    }
    if (!images.secondImageUrl.empty()) {
        const int result = ObtainImage(keys, images.secondImageUrl, buffers.second, buffers.secondLength, -3, -4);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int LoadServerImages(const RsaKeyTexts& keys, LoadedImages& images, ServerImageBuffers& buffers) {
    images.imageCount = 0;
    if (FetchServerImages(keys, images, buffers) != 0) {
        return 0;
    }
    if (buffers.mainLength > 0) {
        if (!CopyImage(buffers.main, buffers.mainLength, images.mainImage, images.mainImageSize)) {
            return 0;
        }
        ++images.imageCount;
    }
    if (buffers.secondLength > 0) {
        if (!CopyImage(buffers.second, buffers.secondLength, images.secondImage, images.secondImageSize)) {
            return 0;
        }
        ++images.imageCount;
    }
    return 1;
}

}  // namespace korvane
