// The parsers under test read files by path; each input is written to a file
// in a private folder on /dev/shm, kept in memory and removed at exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tesvano::fuzz {

// Kept until exit on purpose: the clean-up at exit still needs the name.
inline const std::string& Folder() {
    static const std::string* folder = [] {
        auto* f = new std::string("/dev/shm/tesvano-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(*f);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Folder(), ec);
        });
        return f;
    }();
    return *folder;
}

// Aborts rather than fuzz a parser with a file that is not the input.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = Folder() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) std::abort();
    return path;
}

}  // namespace tesvano::fuzz
