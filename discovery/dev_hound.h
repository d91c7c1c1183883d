// CDevHound, the serial-port watcher: a polling thread keeps the list of present COM
// ports and tells its owner when one comes (1) or goes (0), giving the port number.
// It remembers the names of every port it has seen for GetPortName.
//
// Thread safety: Start, Stop, SetNotifyTarget and the destructor on the owner's thread;
// GetPortName and ListedPorts from any thread (the list and map are guarded by one lock).
// The poster runs on the polling thread and must only queue, never wait for the owner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/port_enum.h"
#include "platform/tick.h"

namespace korvane {

// Queues a port change (port number n of COMn; 1 arrived, 0 removed) into the owner's
// loop; false when it could not be queued.
using PortChangePoster = std::function<bool(uint32_t nPort, int lParam)>;

// One port as seen in a polling pass.
struct _DEV_PORT_INFO_T {
    int nPort = 0;
    std::string szPortName;
    std::string szFriendlyName;
    std::string szDeviceDesc;
    int bPresent = 0;
    PortInterface details;  // the record as the pass found it: location, USB ids, driver
};

// The number n of a "COMn" port name; 0 when the name is not COM followed by a
// positive number.
int ParsePortNumber(const std::string& szPortName);

struct DevHoundTiming {
    uint32_t passPauseMs = 10;                  // pause between polling passes
    std::chrono::milliseconds stopWait{3000};   // how long Stop waits for the thread
};

class CDevHound {
public:
    explicit CDevHound(std::unique_ptr<IPortEnumerator> enumerator, Clock& clock = DefaultClock(),
                       DevHoundTiming timing = {});
    virtual ~CDevHound();
    CDevHound(const CDevHound&) = delete;
    CDevHound& operator=(const CDevHound&) = delete;

    // Where changes go; set before the first Start.
    void SetNotifyTarget(PortChangePoster poster);

    // Starts the polling thread unless one exists (even one that ended by itself); false
    // when the system would not start a thread.
    bool Start();
    // Stops the thread, waiting for it up to stopWait. The list and the map stay.
    void Stop();
    bool ThreadExists() const;

    // The description of a port seen since construction, or its friendly name when it has
    // no description; false (name untouched) for a port never seen.
    bool GetPortName(uint32_t nPort, std::string& szName) const;
    // The latest whole record of a port seen since construction; false for one never seen.
    bool GetPortDetails(uint32_t nPort, PortInterface& port) const;
    // The numbers of the listed ports, in the order they were first seen.
    std::vector<int> ListedPorts() const;

private:
    int Run();
    void UpdatePort(const PortInterface& found, bool firstPass, std::vector<uint32_t>& arrived);
    void SweepPorts(std::vector<uint32_t>& removed);
    void NotifyPortChange(uint32_t nPort, int lParam);
    void JoinStraggler();

    std::unique_ptr<IPortEnumerator> enumerator_;
    Clock& clock_;
    DevHoundTiming timing_;

    mutable std::mutex portsMutex_;  // guards m_vecPorts and m_mapPorts
    std::vector<_DEV_PORT_INFO_T> m_vecPorts;
    std::map<uint32_t, _DEV_PORT_INFO_T> m_mapPorts;

    PortChangePoster m_poster;
    std::thread m_thread;
    std::atomic<int> m_bRunning{1};

    // The polling thread says here that it has returned, so that Stop can wait with a limit.
    std::mutex exitMutex_;
    std::condition_variable exitCv_;
    bool threadExited_ = true;
    // A thread that outlived Stop's wait: told to stop, joined before the next Start and
    // at destruction, so nothing it uses is freed under it.
    std::thread straggler_;
};

}  // namespace korvane
