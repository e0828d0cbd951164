// Reading whole files as UTF-8 text, and the machine's memory size. The
// errors callers see are checked through read_file in the Python tests;
// here, what they cannot set up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/memory_size.h"
#include "storage/file_text.h"

namespace plovane {
namespace {

TEST(FileText, ReadsTheWholeFileWhateverSizeItReportsAndRefusesInvalidUtf8) {
    std::string large;
    for (int i = 0; large.size() < 300000; ++i) large += "<e i=\"" + std::to_string(i) + "\"/>\n";
    const std::pair<std::string, bool> files[] = {{"", true},
                                                  {"<r a=\"\xC3\xA9\">t</r>", true},
                                                  {large, true},
                                                  {"<r>caf\xE9</r>", false},
                                                  {large + "\xE2\x82", false}};
    for (const auto& [bytes, valid] : files) {
        char path[] = "/tmp/plovane-file-text-XXXXXX";
        close(mkstemp(path));
        std::ofstream(path, std::ios::binary) << bytes;
        auto result = read_text_file(path);
        std::remove(path);
        if (!valid) {
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().message(), "stream did not contain valid UTF-8");
        } else {
            ASSERT_TRUE(result);
            EXPECT_EQ(result.value()->text(), bytes);
            EXPECT_EQ(result.value()->use_count(), 1u);
        }
    }
    // /proc files report size 0 but have content.
    auto result = read_text_file("/proc/self/status");
    ASSERT_TRUE(result);
    EXPECT_NE(result.value()->text().find("Name:"), std::string_view::npos);
    EXPECT_EQ(result.value()->text().back(), '\n');
}

// The bound write_string checks its output against: Linux states the same
// total in /proc/meminfo, in kibibytes.
TEST(PhysicalMemory, AgreesWithTheSystemsOwnReport) {
    std::ifstream meminfo("/proc/meminfo");
    std::string label;
    uint64_t kibibytes = 0;
    if (!(meminfo >> label >> kibibytes) || label != "MemTotal:") GTEST_SKIP() << "no meminfo";
    EXPECT_EQ(physical_memory_bytes(), kibibytes * 1024);
}

}  // namespace
}  // namespace plovane
