// Reading whole files as UTF-8 text. The errors callers see are checked
// through read_file in the Python tests; here, what they cannot set up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "storage/file_text.h"

namespace plovane {
namespace {

std::string temporary_file(const std::string& bytes) {
    char pattern[] = "/tmp/plovane-file-text-XXXXXX";
    const int fd = mkstemp(pattern);
    close(fd);
    std::ofstream(pattern, std::ios::binary) << bytes;
    return pattern;
}

TEST(FileText, ReadsTheWholeFileWhateverSizeItReports) {
    std::string large;
    for (int i = 0; large.size() < 300000; ++i) large += "<e i=\"" + std::to_string(i) + "\"/>\n";
    for (const std::string& bytes :
         {std::string(), std::string("<r a=\"\xC3\xA9\">t</r>"), large}) {
        const std::string path = temporary_file(bytes);
        auto result = read_text_file(path);
        std::remove(path.c_str());
        ASSERT_TRUE(result);
        EXPECT_EQ(result.value()->text(), bytes);
        EXPECT_EQ(result.value()->use_count(), 1u);
    }
    // /proc files report size 0 but have content.
    auto result = read_text_file("/proc/self/status");
    ASSERT_TRUE(result);
    EXPECT_NE(result.value()->text().find("Name:"), std::string_view::npos);
    EXPECT_EQ(result.value()->text().back(), '\n');
}

TEST(FileText, InvalidUtf8AnywhereIsRefused) {
    for (const std::string& bytes :
         {std::string("<r>caf\xE9</r>"), std::string(5000, 'a') + "\xE2\x82"}) {
        const std::string path = temporary_file(bytes);
        auto result = read_text_file(path);
        std::remove(path.c_str());
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().message(), "stream did not contain valid UTF-8");
    }
}

}  // namespace
}  // namespace plovane
