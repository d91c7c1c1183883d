// Files written into the terminal's file system (command 37): an open packet with the
// target path and size answered with a handle, data packets under "handle:<n>", and
// "finish.handle:<n>" that keeps the file. Pure code; no I/O.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvane::sim {

inline constexpr uint32_t kMaxFileChunk = 1024;
inline constexpr uint32_t kMaxFileSize = 64U << 20;
inline constexpr size_t kMaxOpenFiles = 8;
// Handles count up from here, so a sender that ignores the handle it was given shows.
inline constexpr int kFirstFileHandle = 3;

struct ReceivedFile {
    std::string path;
    std::vector<uint8_t> data;
};

class FileReceiver {
public:
    // Takes one command-37 payload (260-byte record, then data). True when accepted, with
    // the answer's data text in answer (the handle for an open); a finish hands the file
    // over in done. False with a short refusal otherwise.
    bool Accept(std::span<const uint8_t> payload, std::string& answer, std::optional<ReceivedFile>& done,
                std::string& refusal);

private:
    struct OpenFile {
        std::string path;
        uint32_t size = 0;
        std::vector<uint8_t> data;
    };

    bool Open(const std::string& path, uint32_t size, std::span<const uint8_t> chunk, std::string& answer,
              std::string& refusal);
    bool Data(std::string_view handle_text, uint32_t declared, std::span<const uint8_t> chunk, std::string& refusal);
    bool Finish(std::string_view handle_text, uint32_t value, std::span<const uint8_t> chunk,
                std::optional<ReceivedFile>& done, std::string& refusal);
    OpenFile* Find(std::string_view handle_text, int& handle);

    int next_handle_ = kFirstFileHandle;
    std::map<int, OpenFile> open_;
};

}  // namespace korvane::sim
