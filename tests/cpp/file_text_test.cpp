// Reading whole files as UTF-8 text, and the errors of doing so.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

#include "storage/file_text.h"

namespace plovane {
namespace {

class FileText : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plovane-file-text-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        files_.push_back(path);
        return path;
    }
    std::string error_of(const std::string& path) {
        auto result = read_text_file(path);
        if (result) {
            ADD_FAILURE() << path << " was read";
            return {};
        }
        return result.error().message();
    }

    std::string dir_;
    std::vector<std::string> files_;
};

TEST_F(FileText, ReadsTheWholeFile) {
    const std::string small = "<r a=\"\xC3\xA9\">t</r>";
    auto result = read_text_file(write("small.xml", small));
    ASSERT_TRUE(result);
    EXPECT_EQ(result.value()->text(), small);

    std::string large;
    for (int i = 0; large.size() < 300000; ++i) large += "<e i=\"" + std::to_string(i) + "\"/>\n";
    result = read_text_file(write("large.xml", large));
    ASSERT_TRUE(result);
    EXPECT_EQ(result.value()->text(), large);
    EXPECT_EQ(result.value()->use_count(), 1u);
}

TEST_F(FileText, EmptyFileGivesEmptyText) {
    auto result = read_text_file(write("empty.xml", ""));
    ASSERT_TRUE(result);
    EXPECT_EQ(result.value()->size(), 0u);
}

TEST_F(FileText, FilesThatReportNoSizeAreReadToTheEnd) {
    // /proc files report size 0 but have content.
    auto result = read_text_file("/proc/self/status");
    ASSERT_TRUE(result);
    EXPECT_NE(result.value()->text().find("Name:"), std::string_view::npos);
    EXPECT_EQ(result.value()->text().back(), '\n');
}

TEST_F(FileText, MissingFileAndDirectory) {
    auto missing = read_text_file(dir_ + "/missing.xml");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(missing.error().message(), "No such file or directory (os error 2)");

    auto directory = read_text_file(dir_);
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error().code, EISDIR);
    EXPECT_EQ(directory.error().message(), "Is a directory (os error 21)");

    const std::string file = write("plain", "x");
    auto not_dir = read_text_file(file + "/child.xml");
    ASSERT_FALSE(not_dir);
    EXPECT_EQ(not_dir.error().code, ENOTDIR);
}

TEST_F(FileText, InvalidUtf8) {
    EXPECT_EQ(error_of(write("latin1.xml", "<r>caf\xE9</r>")),
              "stream did not contain valid UTF-8");
    EXPECT_EQ(error_of(write("cut.xml", std::string(5000, 'a') + "\xE2\x82")),
              "stream did not contain valid UTF-8");
}

TEST_F(FileText, NulInPathIsRejectedBeforeOpening) {
    const std::string real = write("real.xml", "<r/>");
    // The part before the NUL names a readable file: it must not be opened.
    auto result = read_text_file(real + std::string("\0.xml", 5));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, 0);
    EXPECT_EQ(result.error().message(), "file name contained an unexpected NUL byte");
}

}  // namespace
}  // namespace plovane
