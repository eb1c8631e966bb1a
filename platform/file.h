// Whole-file writes that either succeed or leave nothing behind.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tesvano {

enum class WriteStatus {
    kOk,
    kCreateFailed,  // the file could not be created (folder missing, no access, bad name)
    kWriteFailed,   // a write, the sync or the close failed (disk full); nothing is left of it
};

struct WriteOptions {
    // Permission bits of the written file, whatever it replaces (0600 for a
    // file that holds a password). kKeepMode: those of the file it replaces,
    // and for a new file 0666 less the umask.
    static constexpr int kKeepMode = -1;
    int mode = kKeepMode;
};

// Writes the parts in order into a new file beside `path`, syncs it and puts
// it in place of `path` (then syncs the folder): an existing file is only
// ever replaced by a complete one. The new file has no name until it is
// complete where the file system allows; elsewhere its temporary name is
// removed on SIGINT, SIGTERM, SIGHUP and SIGPIPE (signals whose action is
// the default; a handler the program installed before is called instead).
// On failure errno says why.
WriteStatus WriteWholeFile(const std::string& path, std::span<const std::span<const uint8_t>> parts,
                           const WriteOptions& options = {});

inline WriteStatus WriteWholeFile(const std::string& path, std::span<const uint8_t> data,
                                  const WriteOptions& options = {}) {
    std::span<const uint8_t> parts[] = {data};
    return WriteWholeFile(path, parts, options);
}

// Tests: write under a temporary name even where the file system could keep
// the file nameless, to exercise the fallback.
void UseNamedTempFilesForTesting(bool named);

// Reads a regular file of at most maxBytes whole into *data. False for a
// missing file, a folder or FIFO (which would fail late or block), a larger
// file, a read error, or a file that shrank while being read.
bool ReadSmallFile(const std::string& path, uint64_t maxBytes, std::string* data);

// What to tell about a file that cannot be opened, read or written: its name
// and the system's reason ("<path>: No such file or directory"); an error of
// 0 reads as EIO.
std::string FileErrorText(const std::string& path, int error);
// The same for the message box about it.
std::u16string DescribeFileError(const std::string& path, int error);

// Size of the file at exactly this path, low 32 bits; 0 when there is none.
uint32_t GetFileSize32(const std::string& path);

}  // namespace tesvano
