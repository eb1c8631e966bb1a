#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <cstring>
#include <unistd.h>

#include "platform/file.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

TEST(WholeFile, ReplacesAnExistingFile) {
    test::TempDir dir;
    const std::string path = dir / "a.bin";
    test::WriteFileBytes(path, std::vector<uint8_t>(100, 7));
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(WriteWholeFile(path, data), WriteStatus::kOk);
    EXPECT_EQ(test::ReadFileBytes(path), std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(GetFileSize32(path), 3u);
}

TEST(WholeFile, CreateFailures) {
    test::TempDir dir;
    const uint8_t data[] = {1};
    std::filesystem::create_directory(dir.path() / "folder");
    EXPECT_EQ(WriteWholeFile(dir / "folder", data), WriteStatus::kCreateFailed);
    EXPECT_EQ(WriteWholeFile(dir / "missing/a.bin", data), WriteStatus::kCreateFailed);
    EXPECT_EQ(GetFileSize32(dir / "missing/a.bin"), 0u);
    if (geteuid() != 0) {  // root writes anywhere
        chmod(dir.path().c_str(), 0555);
        EXPECT_EQ(WriteWholeFile(dir / "a.bin", data), WriteStatus::kCreateFailed);
    }
}

TEST(WholeFile, FailedWriteLeavesTheOldFileWholeAndNoPartialFile) {
    // A file-size limit makes the write fail part way, as a full disk would.
    test::TempDir dir;
    const std::string path = dir / "big.bin";
    const std::vector<uint8_t> before(700, 9);
    test::WriteFileBytes(path, before);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<uint8_t> data(5000, 1);
    WriteStatus status = WriteWholeFile(path, data);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(status, WriteStatus::kWriteFailed);
    EXPECT_EQ(test::ReadFileBytes(path), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "partial file left behind";
}

TEST(WholeFile, SizeOfAPathWithPatternCharacters) {
    test::TempDir dir;
    const std::string path = dir / "a*?[b].mp3";
    const uint8_t data[5] = {};
    ASSERT_EQ(WriteWholeFile(path, data), WriteStatus::kOk);
    EXPECT_EQ(GetFileSize32(path), 5u);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A replaced file keeps its permission bits; a new one gets 0666 less the
// umask; a mode asked for holds either way. Both ways of writing alike.
TEST(WholeFile, PermissionBits) {
    struct Case {
        const char* what;
        int existing;  // -1: no file yet
        mode_t umask;
        int asked;     // WriteOptions::mode
        mode_t expected;
    };
    const Case cases[] = {
        {"replaced 0600", 0600, 022, WriteOptions::kKeepMode, 0600},
        {"replaced 0640", 0640, 077, WriteOptions::kKeepMode, 0640},
        {"replaced 0444", 0444, 022, WriteOptions::kKeepMode, 0444},
        {"new, umask 022", -1, 022, WriteOptions::kKeepMode, 0644},
        {"new, umask 077", -1, 077, WriteOptions::kKeepMode, 0600},
        {"new, umask 002", -1, 002, WriteOptions::kKeepMode, 0664},
        {"0600 asked over 0644", 0644, 022, 0600, 0600},
        {"0600 asked, new, umask 0", -1, 0, 0600, 0600},
    };
    for (bool named : {false, true}) {
        UseNamedTempFilesForTesting(named);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (named ? ", named" : ""));
            test::TempDir dir;
            const std::string path = dir / "f.conf";
            if (c.existing >= 0) {
                test::WriteFileBytes(path, {1});
                chmod(path.c_str(), static_cast<mode_t>(c.existing));
            }
            const mode_t old = umask(c.umask);
            const uint8_t data[] = {1, 2};
            const WriteStatus status = WriteWholeFile(path, data, WriteOptions{c.asked});
            umask(old);
            EXPECT_EQ(status, WriteStatus::kOk);
            EXPECT_EQ(ModeOf(path), c.expected);
            EXPECT_EQ(test::ReadFileBytes(path), std::vector<uint8_t>({1, 2}));
        }
    }
    UseNamedTempFilesForTesting(false);
}

// A process ended by a signal in the middle of its writes leaves complete
// files and nothing else: no temporary, hidden or partial file.
TEST(WholeFile, ASignalMidWriteLeavesNoPartialFile) {
    constexpr size_t kBytes = 4u << 20;
    const std::vector<uint8_t> data(kBytes, 0x5A);
    for (bool named : {false, true}) {
        for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::string(strsignal(sig)) + (named ? ", named" : ""));
            test::TempDir dir;
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                // Whatever the test runner ignores or blocks, this process takes the signal.
                struct sigaction current {};
                sigaction(sig, nullptr, &current);
                if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) signal(sig, SIG_DFL);
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, sig);
                sigprocmask(SIG_UNBLOCK, &set, nullptr);
                UseNamedTempFilesForTesting(named);
                for (int i = 0; i < 2000; ++i)
                    if (WriteWholeFile(dir / ("out" + std::to_string(i % 3) + ".bin"), data) != WriteStatus::kOk) _exit(3);
                _exit(0);
            }
            // Kill it once it is well into its writes.
            for (int wait = 0; wait < 500 && !std::filesystem::exists(dir / "out2.bin"); ++wait) usleep(10000);
            usleep(30000);
            kill(child, sig);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
            EXPECT_EQ(WTERMSIG(status), sig);
            for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
                const std::string name = e.path().filename();
                EXPECT_TRUE(name == "out0.bin" || name == "out1.bin" || name == "out2.bin") << name;
                EXPECT_EQ(e.file_size(), kBytes) << name;
            }
        }
    }
}

// Small reads (the language files): only a regular file within the limit,
// and a FIFO in its place is refused at once rather than waited on.
TEST(SmallFile, OnlyARegularFileWithinTheLimit) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "small", {'a', 'b', 'c'});
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        uint64_t limit;
        bool ok;
    } cases[] = {{dir / "small", 3, true}, {dir / "small", 2, false}, {dir / "fifo", 100, false},
                 {dir.str(), 100, false}, {dir / "missing", 100, false}};
    for (const auto& c : cases) {
        std::string data;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(ReadSmallFile(c.path, c.limit, &data), c.ok) << c.path;
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1)) << c.path;
        if (c.ok) {
            EXPECT_EQ(data, "abc");
        }
    }
}

}  // namespace
}  // namespace tesvano
