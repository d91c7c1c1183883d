// The application images published on the server: fetched, verified, unwrapped and held.
// Thread safety: runs on the front end's thread only (start-up and the settings command),
// never while sessions read the images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/rsa_key_texts.h"

namespace korvane {

// The image buffers of one fetch, 1 MiB each once a fetch has run. Each length is set to
// the capacity before its fetch and stays there when the fetch fails, so the start-up MD5
// check then digests the whole buffer and reports the mismatch.
struct ServerImageBuffers {
    std::vector<uint8_t> main;
    std::vector<uint8_t> second;
    int32_t mainLength = 0;
    int32_t secondLength = 0;
};

// The application images: where the server lists them, and the copies the sessions send.
struct LoadedImages {
    int b_downloadApp = 0;
    std::string urlA;                          // image-list address
    std::string mainImageUrl, secondImageUrl;  // from the image-list response
    int b_appLoaded = 0;
    int imageCount = 0;
    std::vector<uint8_t> mainImage, secondImage;
    int mainImageSize = 0, secondImageSize = 0;
};


// Splits an image-list response at commas: the first non-empty field is the main image
// URL, the next non-empty field the second; runs of commas count as one, blanks and line
// breaks around each field are trimmed after the split, later fields are ignored, a missing
// field gives an empty URL.
void ParseImageList(const std::string& response, std::string& mainUrl, std::string& secondUrl);
// 1 when the whole file was fetched and fits in capacity bytes (length in: capacity,
// out: bytes written); 0 otherwise, with dest and length unchanged. The answer must be
// status 200 with a Content-Length above 0.
int FetchImage(const std::string& url, uint8_t* dest, int32_t& length);
// Fetches, verifies with keys and unwraps images.mainImageUrl then images.secondImageUrl (an
// empty URL is skipped). 0, or -1 .. -4 (main fetch, main envelope, second fetch, second
// envelope); a failure ends the procedure at once.
int FetchServerImages(const RsaKeyTexts& keys, const LoadedImages& images, ServerImageBuffers& buffers);
// Runs FetchServerImages and copies the images into images (and imageCount); 1 on success, 0 on failure with imageCount 0 and the
// earlier copies kept. The buffers of the last fetch stay in buffers for the start-up MD5
// checks. b_appLoaded is the caller's to set.
int LoadServerImages(const RsaKeyTexts& keys, LoadedImages& images, ServerImageBuffers& buffers);

}  // namespace korvane
