// Local times as text: the zone's offset on both sides of UTC, milliseconds, file names.
#include "platform/wall_clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace korvane {
namespace {

// Sets TZ for one test and puts the old value back.
class ZoneTest : public ::testing::Test {
protected:
    ZoneTest() {
        if (const char* tz = std::getenv("TZ")) {
            saved_ = tz;
            had_ = true;
        }
    }
    ~ZoneTest() override {
        had_ ? setenv("TZ", saved_.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    static void Zone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

TEST_F(ZoneTest, TextsCarryTheLocalTimeAndTheZonesOffset) {
    // 2026-01-02T03:04:05.678Z
    const WallTime when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1767323045678LL));
    const struct {
        const char* tz;
        const char* iso;
        const char* clock;
        const char* file;
    } cases[] = {
        {"UTC0", "2026-01-02T03:04:05+00:00", "03:04:05.678", "20260102-030405-678"},
        {"IST-5:30", "2026-01-02T08:34:05+05:30", "08:34:05.678", "20260102-083405-678"},
        {"EST5", "2026-01-01T22:04:05-05:00", "22:04:05.678", "20260101-220405-678"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz);
        Zone(c.tz);
        EXPECT_EQ(IsoLocalTime(when), c.iso);
        EXPECT_EQ(LocalClockTime(when), c.clock);
        EXPECT_EQ(FileNameTime(when), c.file);
    }
}

}  // namespace
}  // namespace korvane
