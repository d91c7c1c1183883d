// Local download data loaded once at start-up: the logo, the audio file and the file sets.
// Loaders return 1 or 0 and show nothing; the caller reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"

namespace korvane {

void ListFiles(const std::string& directory, std::vector<std::string>& paths);
uint32_t GetFileLength(const std::string& path);
int ReadFileBytes(const std::string& path, uint32_t count, uint8_t* buffer);
int LoadLogo(CKorvaneAppDownloadApp& app);
void BuildLogoBlock(CKorvaneAppDownloadApp& app);
// Loads set n (1 to 3); each file that cannot be loaded is reported through on_error.
void LoadFileSet(CKorvaneAppDownloadApp& app, int set, void (*on_error)(void* ctx, int set), void* ctx);
int LoadAmr(CKorvaneAppDownloadApp& app);

}  // namespace korvane
