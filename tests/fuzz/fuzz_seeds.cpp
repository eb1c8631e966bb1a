// Writes the seeds that only the program itself can make: the parameter
// strings it hands the engine, for every voice at both rates.
#include <cstdio>
#include <string>

#include "speech/speech_engine.h"
#include "speech/synthesis.h"
#include "speech/voice_table.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: fuzz_seeds PARAMS_DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = Write(dir + "/login", tesvano::kLoginParams);
    for (size_t voice = 0; voice < tesvano::kVoiceTable.size(); ++voice)
        for (int rate : {8000, 16000})
            ok = Write(dir + "/voice" + std::to_string(voice) + "-" + std::to_string(rate),
                       tesvano::BuildSessionParams(static_cast<int>(voice), rate)) &&
                 ok;
    if (!ok) std::perror(dir.c_str());
    return ok ? 0 : 1;
}
