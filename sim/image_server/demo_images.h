// The demo's server images: two sample application images (or given ones), sealed with a
// configuration folder's RSA keys and published, with URL_A, MD5_1 and MD5_2 written into
// the folder's DevPath.ini so that the program fetches and accepts them.
// Thread safety: call from one thread while the server runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/image_server/image_server.h"

namespace korvane::sim {

// An unwrapped image: a 128-byte header naming it, then payloadSize bytes of a pattern.
std::vector<uint8_t> MakeSampleImage(const std::string& name, size_t payloadSize);

struct DemoImages {
    std::vector<uint8_t> main;    // unwrapped: header + payload
    std::vector<uint8_t> second;  // empty: the list names the main image alone
};

// Seals and publishes the images and writes the configuration. enableDownload also sets
// DownloadApp=1 in KorvaneAppDownload.ini [AppLoad Info]. False with a reason in error.
bool PublishDemoImages(ImageServer& server, const std::string& configDir, const DemoImages& images,
                       bool enableDownload, std::string& error);

}  // namespace korvane::sim
