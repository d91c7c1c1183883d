// The port-number table: a fuzz-chosen ComPorts.ini asked for a location's number, a
// number's location and the device a location names.
// Input: location (piece), then the table file.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/port_numbers.h"
#include "platform/profile_format.h"
#include "tests/fixtures/temp_dir.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static testing::TempDir dir;
    fuzz::InputReader input({data, size});
    const std::string location = input.Text();
    const std::string table = fuzz::InputReader::AsText(input.Rest());
    for (const auto& [key, value] : ProfileSectionEntries(DecodeProfile(table), "Ports")) {
        const int number = PortNumberFromName(value);
        if (number < 0 || number > 65535) {
            std::abort();
        }
    }
    std::ofstream(dir.File("ComPorts.ini"), std::ios::binary | std::ios::trunc) << table;
    // This run's numbers that the table cannot hold go to a file of the fuzzer's own folder.
    PortNumberTable ports(dir.Path(), dir.File("run-numbers.ini"));
    const int number = ports.NumberFor(location).number;
    if (number < 0 || number > 65535) {
        std::abort();
    }
    ports.LocationOf(number);
    DeviceForLocation(location, dir.File("dev"));
    return 0;
}
