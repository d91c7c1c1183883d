// Command-line options of the window front end.
// Thread safety: plain data.
#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <string>

namespace korvane {

struct WindowOptions {
    std::string configDir;    // --config-dir DIR: INI files and keyPair.bin (default: beside the program)
    bool autostart = false;   // --autostart: press Start once start-up is done
    QString screenshotFile;   // --screenshot FILE: save a picture of the window, then quit
    int screenshotAfterMs = 3000;  // --after MS: how long after start-up the picture is taken
    std::string reportFile;   // --report FILE: one row per finished terminal (CSV, or JSON lines for .jsonl)
    std::string logDir;       // --log-dir DIR: one log file per terminal session
    std::string records;      // --records URL: the shared records' database (else KORVANE_RECORDS)
    std::string station;      // --station NAME: this station's name there (else KORVANE_STATION, the host name)
    std::string error;        // why the options were refused; empty when they were taken
};

// Reads the options after the program name; unknown options are refused. A report or
// log folder not given here is taken from KORVANE_REPORT or KORVANE_LOG_DIR in `environment`.
WindowOptions ParseWindowOptions(const QStringList& arguments, const QProcessEnvironment& environment);

}  // namespace korvane
