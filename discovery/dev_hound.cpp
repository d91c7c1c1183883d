#include "discovery/dev_hound.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <system_error>

namespace korvane {

namespace {

constexpr int kPostAttempts = 3;

}  // namespace

int ParsePortNumber(const std::string& szPortName) {
    if (szPortName.rfind("COM", 0) != 0) {
        return 0;
    }
    long long number = 0;
    size_t i = 3;
    for (; i < szPortName.size() && std::isdigit(static_cast<unsigned char>(szPortName[i])) != 0; ++i) {
        number = number * 10 + (szPortName[i] - '0');
        if (number > INT_MAX) {
            return 0;
        }
    }
    return i == 3 ? 0 : static_cast<int>(number);
}

CDevHound::CDevHound(std::unique_ptr<IPortEnumerator> enumerator, Clock& clock, DevHoundTiming timing)
    : enumerator_(std::move(enumerator)), clock_(clock), timing_(timing) {}

CDevHound::~CDevHound() {
    Stop();
    JoinStraggler();
}

void CDevHound::SetNotifyTarget(PortChangePoster poster) { m_poster = std::move(poster); }

bool CDevHound::Start() {
    if (m_thread.joinable()) {
        return true;
    }
    // A thread that outlived the last Stop still runs its last step; two pollers must never
    // share the list.
    JoinStraggler();
    m_bRunning = 1;
    {
        std::lock_guard lock(exitMutex_);
        threadExited_ = false;
    }
    try {
        m_thread = std::thread([this] {
            Run();
            std::lock_guard lock(exitMutex_);
            threadExited_ = true;
            exitCv_.notify_all();
        });
    } catch (const std::system_error&) {
        std::lock_guard lock(exitMutex_);
        threadExited_ = true;
        return false;
    }
    return true;
}

void CDevHound::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_bRunning = 0;
    bool exited = false;
    {
        std::unique_lock lock(exitMutex_);
        exited = exitCv_.wait_for(lock, timing_.stopWait, [this] { return threadExited_; });
    }
    if (exited) {
        m_thread.join();
    } else {
        straggler_ = std::move(m_thread);
    }
}

bool CDevHound::ThreadExists() const { return m_thread.joinable(); }

void CDevHound::JoinStraggler() {
    if (straggler_.joinable()) {
        straggler_.join();
    }
}

bool CDevHound::GetPortName(uint32_t nPort, std::string& szName) const {
    std::lock_guard lock(portsMutex_);
    const auto it = m_mapPorts.find(nPort);
    if (it == m_mapPorts.end()) {
        return false;
    }
    szName = it->second.szDeviceDesc.empty() ? it->second.szFriendlyName : it->second.szDeviceDesc;
    return true;
}

bool CDevHound::GetPortDetails(uint32_t nPort, PortInterface& port) const {
    std::lock_guard lock(portsMutex_);
    const auto it = m_mapPorts.find(nPort);
    if (it == m_mapPorts.end()) {
        return false;
    }
    port = it->second.details;
    port.friendlyName = it->second.szFriendlyName;  // the same name GetPortName falls back to
    return true;
}

std::vector<int> CDevHound::ListedPorts() const {
    std::lock_guard lock(portsMutex_);
    std::vector<int> ports;
    ports.reserve(m_vecPorts.size());
    for (const auto& port : m_vecPorts) {
        ports.push_back(port.nPort);
    }
    return ports;
}

int CDevHound::Run() {
    std::vector<PortInterface> found;
    if (!enumerator_->List(found)) {
        return 0;
    }
    {
        // A pass cut short by the last Stop may have left marks; this first pass starts clean
        // so that a port gone while stopped is reported at its end.
        std::lock_guard lock(portsMutex_);
        for (auto& port : m_vecPorts) {
            port.bPresent = 0;
        }
    }
    bool firstPass = true;
    std::vector<uint32_t> changed;
    for (;;) {
        for (const auto& port : found) {
            changed.clear();
            UpdatePort(port, firstPass, changed);
            for (uint32_t nPort : changed) {
                NotifyPortChange(nPort, 1);
            }
            if (m_bRunning == 0) {
                return 0;
            }
        }
        firstPass = false;
        changed.clear();
        SweepPorts(changed);
        for (uint32_t nPort : changed) {
            NotifyPortChange(nPort, 0);
        }
        clock_.Pause(timing_.passPauseMs);
        if (m_bRunning == 0 || !enumerator_->List(found)) {
            return 0;
        }
    }
}

void CDevHound::UpdatePort(const PortInterface& found, bool firstPass, std::vector<uint32_t>& arrived) {
    const int number = ParsePortNumber(found.portName);
    if (number == 0) {
        return;
    }
    const auto nPort = static_cast<uint32_t>(number);
    std::lock_guard lock(portsMutex_);
    // The map is written before any message, so the owner finds the name on arrival. A
    // record that has not changed since the last pass is left as it is.
    _DEV_PORT_INFO_T& known = m_mapPorts[nPort];
    if (known.nPort != number || !(known.details == found)) {
        known.nPort = number;
        known.szPortName = found.portName;
        known.szFriendlyName = found.friendlyName.empty() ? "COM" + std::to_string(number) : found.friendlyName;
        known.szDeviceDesc = found.deviceDesc;
        known.details = found;
    }
    const auto listed = std::find_if(m_vecPorts.begin(), m_vecPorts.end(),
                                     [&](const _DEV_PORT_INFO_T& p) { return p.nPort == number; });
    if (listed != m_vecPorts.end()) {
        listed->bPresent = 1;
        return;
    }
    _DEV_PORT_INFO_T info = known;
    info.bPresent = 1;
    m_vecPorts.push_back(std::move(info));
    if (!firstPass) {
        arrived.push_back(nPort);
    }
}

void CDevHound::SweepPorts(std::vector<uint32_t>& removed) {
    std::lock_guard lock(portsMutex_);
    auto kept = m_vecPorts.begin();
    for (auto& port : m_vecPorts) {
        if (port.bPresent == 0) {
            removed.push_back(static_cast<uint32_t>(port.nPort));
            continue;
        }
        port.bPresent = 0;
        if (&*kept != &port) {
            *kept = std::move(port);
        }
        ++kept;
    }
    m_vecPorts.erase(kept, m_vecPorts.end());
}

void CDevHound::NotifyPortChange(uint32_t nPort, int lParam) {
    if (!m_poster) {
        return;
    }
    for (int attempt = 0; attempt < kPostAttempts; ++attempt) {
        if (m_poster(nPort, lParam)) {
            return;
        }
    }
}

}  // namespace korvane
