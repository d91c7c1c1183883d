// Serial ports on Windows: the present COM-port device interfaces that SetupAPI lists, and
// the virtual ports of KORVANE_VIRTUAL_PORTS. This file only asks Windows; the records are
// made in com_port_answers.cpp.
#include "discovery/port_enum.h"

#include <windows.h>
// After windows.h:
#include <setupapi.h>

#include <array>

#include "discovery/com_port_answers.h"
#include "platform/port_numbers.h"

namespace korvane {

namespace {

// GUID_DEVINTERFACE_COMPORT, the device-interface class of COM ports.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

constexpr DWORD kNameReadBytes = 512;      // friendly name and description
constexpr DWORD kPortNameReadBytes = 256;  // the "PortName" value

std::u16string UnitsOf(const wchar_t* data, size_t bytes) {
    return std::u16string(reinterpret_cast<const char16_t*>(data), bytes / sizeof(wchar_t));
}

// A device property as text; empty when the device has none or it cannot be read.
std::u16string ReadProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
    std::array<wchar_t, kNameReadBytes / sizeof(wchar_t)> buffer{};
    DWORD type = 0;
    DWORD size = 0;
    if (::SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                            kNameReadBytes, &size) == 0 ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    return UnitsOf(buffer.data(), size < kNameReadBytes ? size : kNameReadBytes);
}

// The "PortName" value of the device's hardware key, e.g. COM7.
std::u16string ReadPortName(HDEVINFO list, SP_DEVINFO_DATA& device) {
    HKEY key = ::SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::array<wchar_t, kPortNameReadBytes / sizeof(wchar_t)> buffer{};
    DWORD type = 0;
    DWORD size = kPortNameReadBytes;
    const LONG status =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return {};
    }
    return UnitsOf(buffer.data(), size < kPortNameReadBytes ? size : kPortNameReadBytes);
}

class DeviceList {
public:
    DeviceList()
        : list_(::SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                       DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {}
    ~DeviceList() {
        if (valid()) {
            ::SetupDiDestroyDeviceInfoList(list_);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    bool valid() const { return list_ != INVALID_HANDLE_VALUE; }

    // The answers of every interface in the list. A member whose device cannot be told is
    // passed over and the walk goes on with the next one.
    void Collect(std::vector<ComPortAnswers>& found) {
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA iface{};
            iface.cbSize = sizeof iface;
            if (::SetupDiEnumDeviceInterfaces(list_, nullptr, &kComPortInterface, index, &iface) == 0) {
                return;
            }
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof device;
            // Asked without a detail buffer only for the device element.
            if (::SetupDiGetDeviceInterfaceDetailW(list_, &iface, nullptr, 0, nullptr, &device) == 0 &&
                ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                continue;
            }
            ComPortAnswers answers;
            answers.friendlyName = ReadProperty(list_, device, SPDRP_FRIENDLYNAME);
            answers.deviceDesc = ReadProperty(list_, device, SPDRP_DEVICEDESC);
            answers.hardwareId = ReadProperty(list_, device, SPDRP_HARDWAREID);
            answers.portName = ReadPortName(list_, device);
            found.push_back(std::move(answers));
        }
    }

private:
    HDEVINFO list_;
};

class WindowsPortEnumerator final : public IPortEnumerator {
public:
    explicit WindowsPortEnumerator(PortSources sources) : sources_(std::move(sources)) {}

    bool List(std::vector<PortInterface>& ports) override {
        ports.clear();
        DeviceList list;
        if (!list.valid() && sources_.virtualDir.empty()) {
            return false;
        }
        if (list.valid()) {
            answers_.clear();
            list.Collect(answers_);
            for (const ComPortAnswers& answers : answers_) {
                ports.push_back(PortFromAnswers(answers));
            }
        }
        for (const VirtualPort& port : ListVirtualPorts(sources_.virtualDir)) {
            ports.push_back(PortFromVirtual(port));
        }
        return true;
    }

private:
    PortSources sources_;
    std::vector<ComPortAnswers> answers_;  // kept to reuse its storage pass after pass
};

}  // namespace

PortSources DefaultPortSources() {
    PortSources sources;
    sources.virtualDir = VirtualPortDir();
    return sources;
}

std::unique_ptr<IPortEnumerator> MakePortEnumerator(PortSources sources) {
    return std::make_unique<WindowsPortEnumerator>(std::move(sources));
}

}  // namespace korvane
