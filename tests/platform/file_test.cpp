#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
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

}  // namespace
}  // namespace tesvano
