#include "sim/record_writer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace korvane::sim {
namespace fs = std::filesystem;
namespace {

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string ImageFileName(uint32_t address) { return "image_" + Hex32(address) + ".bin"; }

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string PacketLine(const ReceivedPacket& packet) {
    std::string line = "{\"packet\":" + std::to_string(packet.number);
    line += ",\"cmd\":" + (packet.cmd ? std::to_string(*packet.cmd) : std::string("null"));
    line += ",\"payload\":" + std::to_string(packet.payload_size);
    line += ",\"signature\":" + JsonString(SignatureName(packet.signature));
    line += ",\"answered\":" + std::string(Bool(packet.answered));
    line += ",\"accepted\":" + std::string(Bool(packet.accepted));
    line += ",\"answer\":" + JsonString(packet.answer);
    line += ",\"wire_in\":" + std::to_string(packet.wire_in) + ",\"wire_out\":" + std::to_string(packet.wire_out);
    if (!packet.fault.empty()) {
        line += ",\"fault\":" + JsonString(packet.fault);
    }
    return line + "}\n";
}

std::string SummaryLine(const TerminalRecord& record) {
    std::string line = "{\"summary\":{\"images\":[";
    const char* separator = "";
    for (const auto& [address, data] : record.images) {
        line += separator;
        line += "{\"address\":" + JsonString(Hex32(address)) + ",\"size\":" + std::to_string(data.size()) +
                ",\"file\":" + JsonString(ImageFileName(address)) + "}";
        separator = ",";
    }
    line += "],\"logo\":" + (record.logo ? std::to_string(record.logo->size()) : std::string("null"));
    line += ",\"audio\":" + (record.audio ? std::to_string(record.audio->size()) : std::string("null"));
    line += ",\"files\":[";
    separator = "";
    for (const auto& [path, data] : record.files) {
        line += separator;
        line += "{\"path\":" + JsonString(path) + ",\"size\":" + std::to_string(data.size()) +
                ",\"file\":" + JsonString("files/" + SafeRelativePath(path)) + "}";
        separator = ",";
    }
    line += "],\"partitions\":[";
    separator = "";
    for (const StoredPartition& partition : record.partitions) {
        line += separator;
        line += "{\"drive\":" + JsonString(partition.drive) + ",\"start\":" + std::to_string(partition.start_addr) +
                ",\"size\":" + std::to_string(partition.size) + ",\"flash\":" +
                std::to_string(partition.flash_size) + "}";
        separator = ",";
    }
    line += "],\"dirs\":[";
    separator = "";
    for (const std::string& dir : record.dirs) {
        line += separator + JsonString(dir);
        separator = ",";
    }
    line += "],\"fs_config\":";
    line += record.fs_config ? "[" + std::to_string((*record.fs_config)[0]) + "," +
                                   std::to_string((*record.fs_config)[1]) + "," +
                                   std::to_string((*record.fs_config)[2]) + "]"
                             : std::string("null");
    line += ",\"erase_count\":" + std::to_string(record.erase_count);
    line += ",\"download_opened\":" + std::to_string(record.download_opened);
    line += ",\"auto_run\":" + (record.auto_run ? JsonString(std::string(1, *record.auto_run)) : std::string("null"));
    line += ",\"secure_boot_queried\":" + std::string(Bool(record.secure_boot_queried));
    line += ",\"secure_boot_enabled\":" + std::string(Bool(record.secure_boot_enabled));
    line += ",\"run_app\":" + std::string(Bool(record.run_app));
    line += ",\"check_sp\":" + std::string(Bool(record.check_sp));
    line += ",\"reset\":" + std::string(Bool(record.reset));
    line += ",\"modes\":[";
    separator = "";
    for (TerminalMode mode : record.mode_changes) {
        line += separator + JsonString(ModeName(mode));
        separator = ",";
    }
    return line + "]}}\n";
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& data, std::string& error) {
    std::error_code code;
    fs::create_directories(path.parent_path(), code);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string SafeRelativePath(std::string_view target) {
    std::string path;
    std::string part;
    auto finish_part = [&] {
        if (!part.empty() && part != "." && part != "..") {
            path += (path.empty() ? "" : "/") + part;
        }
        part.clear();
    };
    for (char c : target) {
        if (c == '/' || c == '\\') {
            finish_part();
        } else if (c == ':' || static_cast<unsigned char>(c) < 0x20) {
            part += '_';
        } else {
            part += c;
        }
    }
    finish_part();
    return path.empty() ? "_" : path;
}

std::string RecordJsonLines(const TerminalRecord& record) {
    std::string lines;
    record.ForEachInOrder([&](const ReceivedText* text, const ReceivedPacket* packet) {
        lines += text != nullptr ? "{\"text\":" + JsonString(text->command) + "}\n" : PacketLine(*packet);
    });
    return lines + SummaryLine(record);
}

RecordWriter::RecordWriter(std::string out_dir) : out_dir_(std::move(out_dir)) {}

bool RecordWriter::Prepare(std::string& error) {
    std::error_code code;
    fs::create_directories(out_dir_, code);
    std::lock_guard lock(mutex_);
    events_.open(out_dir_ + "/events.jsonl", std::ios::app);
    if (!events_) {
        error = "cannot write " + out_dir_ + "/events.jsonl";
        return false;
    }
    return true;
}

void RecordWriter::WriteEvent(int port, const TerminalEvent& event, std::chrono::milliseconds since_start) {
    std::lock_guard lock(mutex_);
    events_ << "{\"ms\":" << since_start.count() << ",\"port\":" << port << ",\"event\":" << JsonString(event.kind)
            << ",\"detail\":" << JsonString(event.detail) << "}\n";
    events_.flush();
}

bool RecordWriter::WriteRecord(int port, const TerminalRecord& record, std::string& error) {
    const fs::path dir = fs::path(out_dir_) / ("COM" + std::to_string(port));
    std::error_code code;
    fs::remove_all(dir, code);
    fs::create_directories(dir, code);
    const std::string lines = RecordJsonLines(record);
    if (!WriteFile(dir / "record.jsonl", std::vector<uint8_t>(lines.begin(), lines.end()), error)) {
        return false;
    }
    bool ok = true;
    for (const auto& [address, data] : record.images) {
        ok = WriteFile(dir / ImageFileName(address), data, error) && ok;
    }
    if (record.logo) {
        ok = WriteFile(dir / "logo.bin", *record.logo, error) && ok;
    }
    if (record.audio) {
        ok = WriteFile(dir / "audio.amr", *record.audio, error) && ok;
    }
    for (const auto& [path, data] : record.files) {
        ok = WriteFile(dir / "files" / SafeRelativePath(path), data, error) && ok;
    }
    return ok;
}

}  // namespace korvane::sim
