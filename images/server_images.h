// The application images published on the server: fetched, verified, unwrapped and held.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"

namespace korvane {

// The image buffers of one fetch, 1 MiB each.
struct ServerImageBuffers {
    std::vector<uint8_t> main;
    std::vector<uint8_t> second;
    int32_t mainLength = 0;
    int32_t secondLength = 0;
};

// Splits an image-list response at commas into the main and second image URLs.
void ParseImageList(const std::string& response, std::string& mainUrl, std::string& secondUrl);
// 1 when the whole file was fetched and fits in capacity bytes (length in: capacity,
// out: bytes written); 0 otherwise, with dest and length unchanged.
int FetchImage(const std::string& url, uint8_t* dest, int32_t& length);
// 0, or -1 .. -4 (main fetch, main envelope, second fetch, second envelope).
int FetchServerImages(CKorvaneAppDownloadApp& app, ServerImageBuffers& buffers);
// 1 when the images were fetched and copied into the application object, 0 otherwise.
// The buffers of the last fetch stay in buffers for the start-up MD5 checks.
int LoadServerImages(CKorvaneAppDownloadApp& app, ServerImageBuffers& buffers);

}  // namespace korvane
