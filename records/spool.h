// The durable spool: one file per row in a folder of the configuration, written whole and
// flushed to disk before the database is tried, removed once the server holds the row. A
// killed program leaves its rows here and the next start sends them.
// Thread safety: Put may run on one thread while another lists, removes and sets aside;
// every file is written whole under a fresh name, so a lister never reads a part.
#pragma once

#include <string>
#include <vector>

#include "records/station_row.h"

namespace korvane {

class RecordSpool {
public:
    // folder: made on the first Put when missing.
    explicit RecordSpool(std::string folder);

    // Writes the row durably; false with a reason when it cannot be written.
    bool Put(const StationRow& row, std::string& error) const;

    struct Entry {
        std::string file;  // full path
        StationRow row;
    };
    // The rows waiting, oldest file name first. Files that do not hold a row are set aside
    // (see SetAside) and named in unreadable.
    std::vector<Entry> Pending(std::vector<std::string>* unreadable = nullptr) const;
    // The row has reached the server.
    void Remove(const std::string& file) const;
    // Moves a file the server will never take into the "rejected" subfolder, where it stays
    // for a person to look at instead of blocking the rows behind it.
    void SetAside(const std::string& file) const;

    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

// The name of a row's file: its session id made safe for every file system.
std::string SpoolFileName(const StationRow& row);

}  // namespace korvane
