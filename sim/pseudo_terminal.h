// A pseudo-terminal pair for one simulated terminal: the simulator works the master
// side, the tool opens the slave device as if it were a serial port.
// Thread safety: Wake may be called from any thread at any time; every other call
// belongs to the one thread that drives the terminal (or to its owner once that
// thread has been joined).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvane::sim {

class PseudoTerminal {
public:
    struct Readiness {
        bool input = false;        // bytes from the tool are waiting
        bool output_room = false;  // the device takes more bytes
        bool woken = false;        // Wake was called
        bool failed = false;       // the wait itself failed
    };

    // Opens a master, puts the slave in raw mode and keeps a slave descriptor open, so
    // that the pair lives while the tool opens and closes its side. Null with a message
    // on failure.
    static std::unique_ptr<PseudoTerminal> Open(std::string& error);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The slave device node, e.g. /dev/pts/4.
    const std::string& SlavePath() const;

    // Waits for input (and for output room when asked), a Wake, or the time-out;
    // a negative time-out waits without end.
    Readiness Wait(bool want_output_room, std::chrono::nanoseconds timeout);
    // Bytes read, 0 when none are waiting, -1 on failure.
    long Read(uint8_t* buffer, size_t capacity);
    // Bytes the device took (possibly fewer than given), 0 when it is full, -1 on failure.
    long Write(const uint8_t* data, size_t length);
    void Wake();
    // Closes both sides: the tool's open slave sees the device go away. Wake stays usable.
    void Close();

private:
    struct Impl;
    explicit PseudoTerminal(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::sim
