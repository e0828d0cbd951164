// File output: the same bytes as the string output, the buffering rules of
// the file sink, create-or-truncate with mode 0666 less the umask, and the
// error of every failing open or write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "write/file_sink.h"
#include "write/xml_writer.h"
#include "write_test_trees.h"

namespace plovane {
namespace {

namespace fs = std::filesystem;
using testing::Element;

class WriteFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("plovane-write-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    // Writes `tree` both ways and checks that the file holds the string.
    void expect_same_output(const ElementRecord& tree, uint64_t indent, bool declaration) {
        const std::string file = path("out.xml");
        const std::string text = write_to_string(tree, indent, declaration);
        ASSERT_EQ(write_to_file(tree, file, indent, declaration), std::nullopt);
        ASSERT_EQ(contents(file), text);
    }

    fs::path dir_;
};

TEST_F(WriteFile, HoldsTheStringOutputForSmallAndRandomTrees) {
    expect_same_output(Element("r"), 4, true);
    expect_same_output(Element("r").text("a<b").attr("k", "\n"), 0, false);
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200; ++i) {
        expect_same_output(testing::random_tree(rng, 60, 8), rng() % 6, rng() % 2);
    }
}

TEST_F(WriteFile, OutputsFarBeyondTheBufferArriveWholeAndInOrder) {
    // Many small appends crossing the buffer edge at every possible offset.
    ElementRecord wide;
    wide.name = TextRef::owned("list");
    for (int i = 0; i < 20000; ++i) {
        ElementRecord item =
            Element("item").attr("n", std::to_string(i)).text(std::to_string(i * 7));
        wide.children.push_back(std::move(item));
    }
    expect_same_output(wide, 3, true);
    ASSERT_GT(fs::file_size(path("out.xml")), 20u * FileSink::kBufferSize);

    // Single runs of every size class around the buffer size, alone and after
    // a partly filled buffer.
    for (size_t size : {8191u, 8192u, 8193u, 20000u, 1u << 20}) {
        expect_same_output(Element("t").text(std::string(size, 'x')), 4, false);
        expect_same_output(Element("t").text(std::string(size, 'y')), 4, true);
        expect_same_output(
            Element("t").attr("v", std::string(size, 'z')).text("a&" + std::string(size, 'w')), 4,
            true);
    }
}

TEST_F(WriteFile, IndentationRunsLongerThanTheBufferAreWrittenWhole) {
    for (uint64_t indent : {8191u, 8192u, 9000u, 30000u}) {
        expect_same_output(Element("a").child(Element("b").child(Element("c").text("t"))), indent,
                           true);
    }
}

TEST_F(WriteFile, TruncatesAnExistingFile) {
    const std::string file = path("old.xml");
    std::ofstream(file) << std::string(100000, '#');
    ASSERT_EQ(write_to_file(Element("r"), file, 4, false), std::nullopt);
    EXPECT_EQ(contents(file), "<r/>");
}

TEST_F(WriteFile, CreatesWithMode0666LessTheUmask) {
    for (mode_t mask : {mode_t{022}, mode_t{0}, mode_t{077}}) {
        const std::string file = path("mode" + std::to_string(mask));
        const mode_t old = umask(mask);
        auto failure = write_to_file(Element("r"), file, 4, true);
        umask(old);
        ASSERT_EQ(failure, std::nullopt);
        struct stat info {};
        ASSERT_EQ(stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "umask " << mask;
    }
}

TEST_F(WriteFile, OpenFailuresCarryTheSystemErrorAndCreateNothing) {
    auto missing = write_to_file(Element("r"), path("no/such/dir.xml"), 4, true);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->code, ENOENT);
    EXPECT_EQ(missing->message(), "No such file or directory (os error 2)");
    EXPECT_FALSE(fs::exists(path("no")));

    auto directory = write_to_file(Element("r"), dir_.string(), 4, true);
    ASSERT_TRUE(directory.has_value());
    EXPECT_EQ(directory->code, EISDIR);
}

TEST_F(WriteFile, NulInThePathFailsBeforeAnySystemCall) {
    const std::string file = path("a");
    auto failure = write_to_file(Element("r"), file + std::string("\0b", 2), 4, true);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, 0);
    EXPECT_EQ(failure->message(), "file name contained an unexpected NUL byte");
    // Had the path been passed to the system it would have been cut at the
    // NUL and created "a".
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(WriteFile, FullDeviceReportsNoSpaceAtTheFinalFlushOrOnTheWay) {
    auto small = write_to_file(Element("r"), "/dev/full", 4, true);
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(small->code, ENOSPC);
    auto big = write_to_file(Element("r").text(std::string(100000, 'x')), "/dev/full", 4, true);
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->code, ENOSPC);
    EXPECT_EQ(big->message(), std::string(strerror(ENOSPC)) + " (os error 28)");
}

// The position where a file-size limit cuts writes short: the system accepts
// a partial write up to the limit and refuses the next call with EFBIG.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, SIG_DFL);
    }

  private:
    rlimit old_{};
};

TEST_F(WriteFile, AFailedFlushKeepsOnlyTheUnwrittenBytesAndReportsTheError) {
    const std::string file = path("limited");
    std::string payload(6000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('0' + i % 61);
    FileSink sink;
    ASSERT_EQ(sink.open(file), std::nullopt);
    {
        FileSizeLimit limit(5000);
        ASSERT_TRUE(sink.append(payload));
        ASSERT_FALSE(sink.flush());
        EXPECT_EQ(sink.error().code, EFBIG);
        // 5000 bytes reached the file and left the buffer.
        EXPECT_EQ(sink.buffered(), 1000u);
    }
    // Closing makes one more attempt, which now succeeds.
    sink.close();
    EXPECT_EQ(contents(file), payload);
}

TEST_F(WriteFile, TheLastAttemptOnCloseIgnoresItsFailure) {
    const std::string file = path("limited");
    FileSink sink;
    ASSERT_EQ(sink.open(file), std::nullopt);
    FileSizeLimit limit(5000);
    ASSERT_TRUE(sink.append(std::string(6000, 'a')));
    ASSERT_FALSE(sink.flush());
    sink.close();
    EXPECT_EQ(sink.buffered(), 0u);
    EXPECT_EQ(contents(file), std::string(5000, 'a'));
}

TEST_F(WriteFile, AFailureStopsTheOutputAndTheFileKeepsWhatReachedIt) {
    const std::string file = path("cut");
    const std::string expected =
        write_to_string(Element("r").text(std::string(30000, 'q')), 4, true);
    std::optional<IoError> failure;
    {
        FileSizeLimit limit(10000);
        failure = write_to_file(Element("r").text(std::string(30000, 'q')), file, 4, true);
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code, EFBIG);
    EXPECT_EQ(contents(file), expected.substr(0, 10000));
}

// Watches the buffering rules through a pipe: what has been flushed can be
// read, what is buffered cannot.
class PipeSink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(pipe(fds_), 0);
        ASSERT_EQ(fcntl(fds_[0], F_SETFL, O_NONBLOCK), 0);
        ASSERT_EQ(sink_.open("/proc/self/fd/" + std::to_string(fds_[1])), std::nullopt);
    }
    void TearDown() override {
        sink_.close();
        close(fds_[0]);
        close(fds_[1]);
    }
    std::string drain() {
        std::string out;
        char chunk[65536];
        for (ssize_t n; (n = read(fds_[0], chunk, sizeof chunk)) > 0;) out.append(chunk, n);
        return out;
    }

    int fds_[2];
    FileSink sink_;
};

TEST_F(PipeSink, ShortRunsAreCopiedAndAnExactFitFillsTheBuffer) {
    ASSERT_TRUE(sink_.append(std::string(100, 'a')));
    ASSERT_TRUE(sink_.append(std::string(8091, 'b')));  // leaves one byte free
    EXPECT_EQ(sink_.buffered(), 8191u);
    ASSERT_TRUE(sink_.append("c"));  // as long as the free space: copied, no flush
    EXPECT_EQ(sink_.buffered(), 8192u);
    ASSERT_TRUE(sink_.append(""));  // an empty run fits even a full buffer
    EXPECT_EQ(sink_.buffered(), 8192u);
    EXPECT_EQ(drain(), "");
    ASSERT_TRUE(sink_.flush());
    EXPECT_EQ(drain(), std::string(100, 'a') + std::string(8091, 'b') + "c");
}

TEST_F(PipeSink, ALongerRunFlushesFirstThenIsCopiedOrWrittenStraight) {
    ASSERT_TRUE(sink_.append(std::string(8000, 'a')));
    ASSERT_TRUE(sink_.append(std::string(500, 'b')));  // does not fit: flush, then copy
    EXPECT_EQ(drain(), std::string(8000, 'a'));
    EXPECT_EQ(sink_.buffered(), 500u);
    ASSERT_TRUE(sink_.append(std::string(8192, 'c')));  // flush, then straight
    EXPECT_EQ(sink_.buffered(), 0u);
    EXPECT_EQ(drain(), std::string(500, 'b') + std::string(8192, 'c'));
    ASSERT_TRUE(sink_.append(std::string(8192, 'd')));  // empty buffer, exact size: straight
    EXPECT_EQ(sink_.buffered(), 0u);
    EXPECT_EQ(drain(), std::string(8192, 'd'));
}

TEST_F(PipeSink, SpacesFollowTheSameRules) {
    ASSERT_TRUE(sink_.append("x"));
    ASSERT_TRUE(sink_.append_spaces(8000));
    EXPECT_EQ(sink_.buffered(), 8001u);
    ASSERT_TRUE(sink_.append_spaces(20000));  // flush, then straight
    EXPECT_EQ(sink_.buffered(), 0u);
    EXPECT_EQ(drain(), "x" + std::string(28000, ' '));
    ASSERT_TRUE(sink_.append_spaces(8192));  // empty buffer, exact size: straight
    EXPECT_EQ(sink_.buffered(), 0u);
    ASSERT_TRUE(sink_.append_spaces(8191));  // copied
    EXPECT_EQ(sink_.buffered(), 8191u);
    ASSERT_TRUE(sink_.append_spaces(1));  // exact fit: copied without a flush
    EXPECT_EQ(sink_.buffered(), 8192u);
    EXPECT_EQ(drain(), std::string(8192, ' '));
}

TEST_F(PipeSink, TheDescriptorIsCloseOnExec) {
    // The sink holds the pipe's write end through a descriptor of its own.
    const fs::path pipe_link = fs::read_symlink("/proc/self/fd/" + std::to_string(fds_[1]));
    int found = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        std::error_code ignored;
        if (fd == fds_[0] || fd == fds_[1] ||
            fs::read_symlink(entry.path(), ignored) != pipe_link) {
            continue;
        }
        ++found;
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_EQ(found, 1);
}

std::atomic<int> interruptions{0};
void count_interruption(int) {
    interruptions.fetch_add(1);
}

// Installs a SIGUSR1 handler without SA_RESTART, so that blocking system
// calls of the signalled thread fail with EINTR.
class InterruptingSignal {
  public:
    InterruptingSignal() {
        struct sigaction action {};
        action.sa_handler = count_interruption;
        sigaction(SIGUSR1, &action, &old_);
    }
    ~InterruptingSignal() { sigaction(SIGUSR1, &old_, nullptr); }

  private:
    struct sigaction old_ {};
};

TEST(FileSinkSignals, InterruptedAndPartialWritesAreRepeatedUntilComplete) {
    InterruptingSignal signals;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);

    std::string payload(1 << 20, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 23);
    std::string received;
    std::atomic<bool> written{false};
    const pthread_t writer_thread = pthread_self();
    const int before = interruptions.load();
    std::thread reader([&] {
        char chunk[1024];
        for (;;) {
            const bool finished = written.load();
            if (!finished) pthread_kill(writer_thread, SIGUSR1);
            usleep(50);
            ssize_t n;
            while ((n = read(fds[0], chunk, sizeof chunk)) > 0) received.append(chunk, n);
            if (finished) break;
        }
    });
    bool ok;
    {
        FileSink sink;
        ASSERT_EQ(sink.open("/proc/self/fd/" + std::to_string(fds[1])), std::nullopt);
        ok = sink.append("<") && sink.append(payload) && sink.flush();
    }
    written = true;
    reader.join();
    close(fds[0]);
    close(fds[1]);
    EXPECT_TRUE(ok);
    EXPECT_GT(interruptions.load(), before);
    EXPECT_EQ(received, "<" + payload);
}

TEST_F(WriteFile, AnInterruptedOpenIsRepeated) {
    // Opening a FIFO for writing blocks until a reader opens it, long enough
    // to be interrupted.
    const std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    InterruptingSignal signals;
    const int before = interruptions.load();
    const pthread_t opener = pthread_self();
    std::atomic<bool> opened{false};
    std::thread reader([&] {
        for (int i = 0; i < 5; ++i) {
            usleep(20000);
            pthread_kill(opener, SIGUSR1);
        }
        // A non-blocking reader lets the writer's open complete.
        const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        while (!opened.load()) usleep(1000);
        close(fd);
    });
    FileSink sink;
    const auto failure = sink.open(fifo);
    opened = true;
    reader.join();
    sink.close();
    EXPECT_EQ(failure, std::nullopt);
    // Signals sent while one is still pending merge, so count at least one.
    EXPECT_GT(interruptions.load(), before);
}

}  // namespace
}  // namespace plovane
