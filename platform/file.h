// Whole-file writes that either succeed or leave nothing behind.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tesvano {

enum class WriteStatus {
    kOk,
    kCreateFailed,  // the file could not be created (folder missing, no access, bad name)
    kWriteFailed,   // a write or the close failed (disk full); nothing is left of it
};

// Writes the parts in order into a new file beside `path`, then renames it
// over `path`: an existing file is replaced only by a complete one.
WriteStatus WriteWholeFile(const std::string& path, std::span<const std::span<const uint8_t>> parts);

inline WriteStatus WriteWholeFile(const std::string& path, std::span<const uint8_t> data) {
    std::span<const uint8_t> parts[] = {data};
    return WriteWholeFile(path, parts);
}

// Reads a regular file of at most maxBytes whole into *data. False for a
// missing file, a folder or FIFO (which would fail late or block), a larger
// file, a read error, or a file that shrank while being read.
bool ReadSmallFile(const std::string& path, uint64_t maxBytes, std::string* data);

// Size of the file at exactly this path, low 32 bits; 0 when there is none.
uint32_t GetFileSize32(const std::string& path);

}  // namespace tesvano
