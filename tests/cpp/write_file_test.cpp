// File output: mode 0666 less the umask, close-on-exec, what a failure
// leaves behind, and writes repeated when a signal interrupts them or they
// are partial. That the file holds the string output, across the buffer's
// edges, and a device that fails are checked in tests/python/test_write.py;
// an interrupted open, in tests/python/test_resource_faults.py.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "write/file_sink.h"

namespace plovane {
namespace {

namespace fs = std::filesystem;

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
        std::stringstream all;
        all << std::ifstream(path, std::ios::binary).rdbuf();
        return all.str();
    }

    fs::path dir_;
};

// tests/python/test_write.py sees 0644 under the umask 022.
TEST_F(WriteFile, CreatesWithMode0666LessTheUmaskAndCloseOnExec) {
    const std::string file = path("mode");
    const mode_t old = umask(077);
    FileSink sink;
    const auto failure = sink.open(file);
    umask(old);
    ASSERT_EQ(failure, std::nullopt);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    // The sink's descriptor is the newest one that names the file.
    int newest = -1;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (fs::read_symlink(entry.path(), ignored) == file)
            newest = std::max(newest, std::stoi(entry.path().filename().string()));
    }
    ASSERT_GE(newest, 0);
    EXPECT_TRUE(fcntl(newest, F_GETFD) & FD_CLOEXEC);
}

// A file-size limit cuts writes short: the system accepts a partial write up
// to the limit and refuses the next call with EFBIG.
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

TEST_F(WriteFile, AFailureKeepsWhatReachedTheFileAndNothingTwice) {
    std::string payload(6000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('0' + i % 61);
    FileSink sink;
    ASSERT_EQ(sink.open(path("limited")), std::nullopt);
    {
        FileSizeLimit limit(5000);
        ASSERT_TRUE(sink.append(payload));
        ASSERT_FALSE(sink.flush());
        EXPECT_EQ(sink.error().code, EFBIG);
    }
    // Closing makes one more attempt, which now writes just the rest.
    sink.close();
    EXPECT_EQ(contents(path("limited")), payload);
}

// A run too long for the room left makes room first: when that flush fails,
// the run is refused, and only what the buffer held before reaches the file.
TEST_F(WriteFile, ARunAfterAFailedFlushIsRefused) {
    const std::string first(6000, 'a'), second(6000, 'b');
    FileSink sink;
    ASSERT_EQ(sink.open(path("refused")), std::nullopt);
    {
        FileSizeLimit limit(5000);
        ASSERT_TRUE(sink.append(first));
        EXPECT_FALSE(sink.append(second));
        EXPECT_EQ(sink.error().code, EFBIG);
    }
    sink.close();
    EXPECT_EQ(contents(path("refused")), first);
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

}  // namespace
}  // namespace plovane
