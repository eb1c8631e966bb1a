// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tesvano::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Runs a program (no shell) and returns its exit status; its standard output
// goes to *out and its standard error to *err when given. -1 when it could
// not be started.
int RunProgram(const std::vector<std::string>& argv, std::string* out = nullptr, std::string* err = nullptr);
bool ProgramExists(const std::string& name);

}  // namespace tesvano::test
