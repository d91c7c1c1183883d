// The file-set and audio loaders on a real folder: a file of fuzz-chosen name and
// contents is loaded as a one-file set and as the audio file.
// Input: file name (piece), then the contents.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_input.h"
#include "images/local_files.h"
#include "tests/fixtures/temp_dir.h"

using namespace korvane;
namespace fs = std::filesystem;

namespace {

// A name the folder can hold: no separators or NULs, not "." or "..".
bool UsableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.size() < 250 &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static testing::TempDir dir;
    fuzz::InputReader input({data, size});
    const std::string name = input.Text();
    if (!UsableName(name)) {
        return 0;
    }
    const std::string folder = dir.File("set");
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
    const std::string path = folder + "/" + name;
    const std::span<const uint8_t> contents = input.Rest();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(contents.data()),
                                                 static_cast<std::streamsize>(contents.size()));
    FileSet set;
    set.filePath = folder;
    int errors = 0;
    LoadFileSet(set, 1, [&errors](int) { ++errors; });
    if (set.fileList.size() + static_cast<size_t>(errors) != 1 ||
        (!set.fileList.empty() && set.fileList[0].pData.size() != contents.size())) {
        std::abort();
    }
    AudioFile audio;
    audio.amrPath = path;
    if (LoadAmr(audio) == kAmrLoaded && audio.amrData.size() != contents.size()) {
        std::abort();
    }
    return 0;
}
