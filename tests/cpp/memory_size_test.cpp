// physical_memory_bytes: the bound write_string checks its output against.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/memory_size.h"

namespace plovane {
namespace {

TEST(PhysicalMemory, AgreesWithTheSystemsOwnReport) {
    const uint64_t bytes = physical_memory_bytes();
    ASSERT_NE(bytes, UINT64_MAX);
    // At least as much as a page, and a whole number of kibibytes.
    EXPECT_GE(bytes, uint64_t{4096});
    EXPECT_EQ(bytes % 1024, 0u);
    // Linux states the same total in /proc/meminfo, in kibibytes.
    std::ifstream meminfo("/proc/meminfo");
    std::string label;
    uint64_t kibibytes = 0;
    if (!(meminfo >> label >> kibibytes) || label != "MemTotal:")
        GTEST_SKIP() << "no /proc/meminfo";
    EXPECT_EQ(bytes / 1024, kibibytes);
}

}  // namespace
}  // namespace plovane
