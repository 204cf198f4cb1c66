#include <gtest/gtest.h>

#include "platform/MemoryLoad.h"

namespace kolvane {
namespace {

TEST(MemoryLoad, IsTheShareOfMemoryNotAvailable) {
    const struct {
        const char* meminfo;
        std::optional<int> load;
    } cases[] = {
        {"MemTotal:       16000000 kB\nMemFree:  100 kB\nMemAvailable:    4000000 kB\n", 75},
        {"MemTotal: 1000 kB\nMemAvailable: 30 kB\n", 97},
        {"MemTotal: 1000 kB\nMemAvailable: 1000 kB\n", 0},
        {"MemTotal: 1000 kB\nMemAvailable: 5000 kB\n", 0},
        // Old kernels without MemAvailable, zero totals and junk tell nothing.
        {"MemTotal: 1000 kB\nMemFree: 10 kB\n", std::nullopt},
        {"MemTotal: 0 kB\nMemAvailable: 0 kB\n", std::nullopt},
        {"MemTotal: lots\nMemAvailable: 10 kB\n", std::nullopt},
        {"MemTotalX: 1000 kB\nMemAvailable: 10 kB\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseMemoryLoad(c.meminfo), c.load) << c.meminfo;
}

TEST(MemoryLoad, StatusCarriesTheAvailableBytesCappedAtTheTotal) {
    const auto status = ParseMemoryStatus("MemTotal: 1000 kB\nMemAvailable: 40 kB\n");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->load, 96);
    EXPECT_EQ(status->availableBytes, 40u * 1024u);
    EXPECT_EQ(ParseMemoryStatus("MemTotal: 1000 kB\nMemAvailable: 5000 kB\n")->availableBytes,
              1000u * 1024u);
    EXPECT_FALSE(ParseMemoryStatus("MemTotal: 1000 kB\n").has_value());
}

TEST(MemoryLoad, ReadsTheSystemsReport) {
    const auto load = ReadMemoryLoad();
    ASSERT_TRUE(load.has_value());
    EXPECT_GE(*load, 0);
    EXPECT_LE(*load, 100);
    EXPECT_FALSE(ReadMemoryLoad(QStringLiteral("/no/such/meminfo")).has_value());
}

}  // namespace
}  // namespace kolvane
