// Killed at any moment: a writer process is killed (SIGKILL) at random moments while it
// adds keys to the signature store and port numbers to the port-number table, again and
// again on the same files. After every kill the file must read as a valid file holding
// every key the writer had completely written.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/port_numbers.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

constexpr int kKills = 25;
constexpr int kLongestLifeMs = 40;

// What a writer reported through its pipe: "<index> <text>" for every completed write.
using Completed = std::map<int, std::string>;

// Runs write(i) for i = first, first + 1, ... in a child process, reporting each completed
// write; kills the child after a random time and returns what it reported.
Completed WriteUntilKilled(int first, const std::function<std::string(int)>& write, std::mt19937& random) {
    int report[2];
    if (::pipe(report) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        for (int i = first;; ++i) {
            const std::string line = std::to_string(i) + " " + write(i) + "\n";
            if (::write(report[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
                ::_exit(1);
            }
        }
    }
    ::close(report[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % kLongestLifeMs));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::string reported;
    char chunk[4096];
    for (ssize_t got; (got = ::read(report[0], chunk, sizeof chunk)) > 0;) {
        reported.append(chunk, static_cast<size_t>(got));
    }
    ::close(report[0]);
    Completed completed;
    // A line cut short by the kill is no report: only whole lines count.
    for (size_t start = 0, end; (end = reported.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = reported.substr(start, end - start);
        const size_t space = line.find(' ');
        completed[std::stoi(line.substr(0, space))] = line.substr(space + 1);
    }
    return completed;
}

std::string SignatureOf(int i) {
    std::string hex;
    for (int b = 0; b < 96; ++b) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", (i * 31 + b * 7) & 0xFF);
        hex += two;
    }
    return hex;
}

class KilledWriterTest : public ::testing::Test {
protected:
    KilledWriterTest() : random_(std::random_device{}()) {}
    testing::TempDir dir_;
    std::mt19937 random_;
};

TEST_F(KilledWriterTest, SignatureStoreKeepsEveryCompletedKey) {
    UtilityModule utility;
    ASSERT_TRUE(testing::BindStoreEntries(utility));
    const std::string store = dir_.File("SignedData.ini");
    const std::u16string file = Utf8ToUtf16(store);
    const std::u16string section = u"AppLoad Info";
    Completed written;
    int next = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const Completed now = WriteUntilKilled(
            next,
            [&](int i) {
                const std::u16string key = Utf8ToUtf16("region" + std::to_string(i));
                const std::u16string value = Utf8ToUtf16(SignatureOf(i));
                return utility.WriteIniStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0
                           ? std::string("ok")
                           : std::string("failed");
            },
            random_);
        for (const auto& [i, result] : now) {
            EXPECT_EQ(result, "ok") << i;
            written[i] = result;
            next = std::max(next, i + 1);
        }
        // Every key a writer finished, in this round or an earlier one, is there in full;
        // whatever else the file holds is a whole key too.
        const auto entries = ReadProfileSection(store, "AppLoad Info");
        std::set<std::string> present;
        for (const auto& [key, value] : entries) {
            ASSERT_EQ(key.rfind("region", 0), 0U) << key;
            EXPECT_EQ(value, SignatureOf(std::stoi(key.substr(6)))) << key;
            present.insert(key);
        }
        for (const auto& [i, result] : written) {
            EXPECT_EQ(present.count("region" + std::to_string(i)), 1U) << "lost region" << i << " after kill " << kill;
        }
    }
    EXPECT_GT(written.size(), 0U);
}

TEST_F(KilledWriterTest, PortTableKeepsEveryNumberHandedOut) {
    const std::string table = dir_.File("ComPorts.ini");
    std::map<int, int> numbers;  // location index -> number
    int next = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const Completed now = WriteUntilKilled(
            next, [&](int i) { return std::to_string(PortNumberTable(dir_.Path()).NumberFor("1-1." + std::to_string(i) + ":1.0").number); },
            random_);
        for (const auto& [i, number] : now) {
            numbers[i] = std::stoi(number);
            next = std::max(next, i + 1);
        }
        std::set<int> taken;
        for (const auto& [location, value] : ReadProfileSection(table, "Ports")) {
            const int number = PortNumberFromName(value);
            ASSERT_NE(number, 0) << location << "=" << value;
            EXPECT_TRUE(taken.insert(number).second) << "COM" << number << " given twice";
        }
        for (const auto& [i, number] : numbers) {
            ASSERT_NE(number, 0) << i;
            EXPECT_EQ(ReadProfileString(table, "Ports", "1-1." + std::to_string(i) + ":1.0"),
                      std::optional<std::string>("COM" + std::to_string(number)))
                << "after kill " << kill;
        }
    }
    EXPECT_GT(numbers.size(), 0U);
}

}  // namespace
}  // namespace korvane
