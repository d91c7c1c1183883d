// Serial devices on Windows: every port is \\.\COM<n>. Virtual ports are the description
// files DIR\COM<n>.desc; Windows takes "COM<n>" with any extension for the device itself,
// so the folder is read through the \\?\ form of its absolute path, which names files as
// they are.
#include "platform/port_numbers.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

constexpr std::string_view kDescSuffix = ".desc";

// The \\?\ form of a folder's absolute path; empty when it cannot be made.
std::wstring LiteralFolderPath(const std::string& dir) {
    std::wstring wide = Wide(dir);
    if (wide.rfind(L"\\\\?\\", 0) == 0) {
        while (wide.size() > 4 && wide.back() == L'\\') {
            wide.pop_back();
        }
        return wide;
    }
    std::vector<wchar_t> full(MAX_PATH);
    DWORD length = 0;
    for (;;) {
        length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return {};
        }
        if (length < full.size()) {
            break;
        }
        full.resize(length + 1);
    }
    std::wstring absolute(full.data(), length);
    while (absolute.size() > 3 && absolute.back() == L'\\') {
        absolute.pop_back();
    }
    if (absolute.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + absolute.substr(2);  // \\server\share
    }
    return L"\\\\?\\" + absolute;
}

// n for exactly "COM<n>.desc"; 0 for anything else.
int NumberOfDescFile(const std::string& name) {
    if (name.size() <= kDescSuffix.size() || name.compare(name.size() - kDescSuffix.size(), std::string::npos,
                                                          kDescSuffix) != 0) {
        return 0;
    }
    const std::string stem = name.substr(0, name.size() - kDescSuffix.size());
    const int number = PortNumberFromName(stem);
    return number != 0 && stem == "COM" + std::to_string(number) ? number : 0;
}

}  // namespace

std::vector<VirtualPort> ListVirtualPorts(const std::string& dir) {
    std::vector<VirtualPort> ports;
    if (dir.empty()) {
        return ports;
    }
    const std::wstring folder = LiteralFolderPath(dir);
    if (folder.empty()) {
        return ports;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return ports;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        const std::string name = Narrow(found.cFileName);
        const int number = NumberOfDescFile(name);
        if (number == 0) {
            continue;
        }
        const std::string description = ReadPortDescription(Narrow(folder) + "\\" + name);
        ports.push_back({number, "\\\\.\\COM" + std::to_string(number), description});
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return ports;
}

std::optional<std::string> DeviceForPort(int number) {
    if (number < 1 || number > kHighestPortNumber) {
        return std::nullopt;
    }
    return "\\\\.\\COM" + std::to_string(number);
}

}  // namespace korvane
