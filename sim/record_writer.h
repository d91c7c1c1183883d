// Writes what the simulated terminals received into an output folder:
//   OUT/events.jsonl           one line per event of every terminal, as it happens
//   OUT/COM<n>/record.jsonl    one line per plain-text command and packet, in order, then
//                              one "summary" line with the settings and stored items
//   OUT/COM<n>/image_0x<ADDR>.bin, logo.bin, audio.amr, files/<target path>
// Target paths from the tool are made relative and stripped of "..", so a file can never
// land outside its terminal's folder.
// Thread safety: every call may run from any thread (one lock for the events file).
#pragma once

#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/terminal_logic.h"
#include "sim/terminal_record.h"

namespace korvane::sim {

// A JSON string literal; bytes outside printable ASCII are written as \u00XX.
std::string JsonString(std::string_view text);
// A target path as a relative path below the terminal's folder: ':' becomes '_', empty,
// "." and ".." parts are dropped, control characters become '_'. Never empty.
std::string SafeRelativePath(std::string_view target);
// The record's lines (texts and packets in order, then the summary), each ending "\n".
std::string RecordJsonLines(const TerminalRecord& record);

class RecordWriter {
public:
    explicit RecordWriter(std::string out_dir);

    // False with a message when the folder cannot be made.
    bool Prepare(std::string& error);
    void WriteEvent(int port, const TerminalEvent& event, std::chrono::milliseconds since_start);
    // Writes the terminal's record and stored items; replaces an earlier write.
    bool WriteRecord(int port, const TerminalRecord& record, std::string& error);

private:
    std::string out_dir_;
    std::mutex mutex_;
    std::ofstream events_;
};

}  // namespace korvane::sim
