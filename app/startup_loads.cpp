#include "app/startup_loads.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/configuration.h"
#include "app/ini_reader.h"
#include "app/message_sink.h"
#include "crypto/digest.h"
#include "images/http_client.h"
#include "images/local_files.h"
#include "images/server_images.h"

namespace korvane {

namespace {

constexpr const char* kAppLoadInfo = "AppLoad Info";

// Checks one image of the last fetch against its [APP] digest key. The length is bounded
// by the buffer, so a fetch that left a larger length cannot make the digest read past it.
bool CheckImageDigest(const IniReader& reader, const char* key, const std::vector<uint8_t>& buffer,
                      int32_t length, IMessageSink& sink) {
    std::string expected = reader.Text(kDevPathIni, "APP", key);
    if (expected.empty()) {
        sink.ShowMessage(std::string(key) + ", configuration error, no MD5 value is written");
        return false;
    }
    const int32_t bounded = std::clamp<int32_t>(length, 0, static_cast<int32_t>(buffer.size()));
    if (!CheckImageMd5(buffer.data(), bounded, expected)) {
        sink.ShowMessage(std::string(key) + ", the BIN file does not exist, or the MD5 checksum is incorrect");
        return false;
    }
    return true;
}

}  // namespace

bool LoadServerImagesAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    std::string response;
    {
        CHttpClient client;
        // Only the answer counts: a request that failed leaves it empty.
        client.Request(app.images.urlA, std::string(), response);
    }
    if (response.empty() || response == "0") {
        sink.ShowMessage("Server access failed, please contact the manufacturer");
        return false;
    }
    ParseImageList(response, app.images.mainImageUrl, app.images.secondImageUrl);
    ServerImageBuffers buffers;
    if (LoadServerImages(app.rsaKeys, app.images, buffers) == 1) {
        app.images.b_appLoaded = 1;
    } else {
        app.images.b_appLoaded = 0;
        sink.ShowMessage("Failed to read the App, please contact the manufacturer!");
    }
    if (!CheckImageDigest(reader, "MD5_1", buffers.main, buffers.mainLength, sink)) {
        return false;
    }
    if (app.images.imageCount == 2 && !CheckImageDigest(reader, "MD5_2", buffers.second, buffers.secondLength, sink)) {
        return false;
    }
    return ReadIdentityKeys(app, reader, sink);
}

void LoadLogoAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    app.logo.logoPath = reader.Text(app.iniPath, kAppLoadInfo, "LogoPath");
    app.logo.b_logoLoaded = LoadLogo(app.logo);
    if (!app.logo.b_logoLoaded) {
        sink.ShowMessage(kLogoReselectMessage);
    }
    ReadLogoSettings(app, reader);
    // A logo that did not load still gets a block: the header alone, with size 0.
    BuildLogoBlock(app.logo);
}

void LoadFileSetsAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    ReadFileSystemSettings(app, reader, sink);
    const auto report = [&sink](int set) { sink.ShowMessage(FileSetErrorMessage(set)); };
    int n = 0;
    for (FileSet& set : app.fileSystem.fileSets) {
        ++n;
        if (set.b_filePush && !set.filePath.empty()) {
            LoadFileSet(set, n, report);
        }
    }
}

void LoadAmrAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink) {
    app.audio.amrPath = reader.Text(app.iniPath, kAppLoadInfo, "AMRPath");
    switch (LoadAmr(app.audio)) {
        case kAmrNoMemory:
            sink.ShowMessage(kAmrNoMemoryMessage);
            break;
        case kAmrUnreadable:
            sink.ShowMessage(kAmrLoadFailedMessage);
            break;
        case kAmrLoaded:
            break;
    }
}

}  // namespace korvane
