#include "app/cli/console_options.h"

#include <sched.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "operations/window_setup.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/voice_table.h"

namespace tesvano {

int Usage(std::FILE* err, const std::string& message) {
    // A message that already says where to look needs no second pointer.
    const bool pointed = message.find("(see ") != std::string::npos;
    std::fprintf(err, "tesvano-cli: %s%s\n", message.c_str(), pointed ? "" : " (see tesvano-cli --help)");
    return kExitUsage;
}

bool ParseInt(const std::string& s, int min, int max, int* value) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::atoi(s.c_str());
    return *value >= min && *value <= max;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

namespace {

// The first word of a display name: "小燕" of "小燕 青年女声 中英文（普通话）".
std::string FirstWord(const std::string& name) {
    const std::string trimmed = Trim(name);
    return trimmed.substr(0, trimmed.find(' '));
}

}  // namespace

int FindVoice(const std::string& wanted) {
    int index;
    if (ParseInt(wanted, 0, static_cast<int>(kVoiceTable.size()) - 1, &index)) return index;
    const std::string w = Lower(Trim(wanted));
    if (w.empty()) return -1;
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const auto& v = kVoiceTable[i];
        for (const char* name : {v.voiceName, v.englishName, v.chineseName})
            if (Lower(Trim(name)) == w) return static_cast<int>(i);
    }
    int found = -1;
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const auto& v = kVoiceTable[i];
        if (Lower(FirstWord(v.englishName)) != w && Lower(FirstWord(v.chineseName)) != w) continue;
        if (found >= 0) return -1;
        found = static_cast<int>(i);
    }
    return found;
}

bool FindMusic(const std::string& wanted, std::string* path) {
    // The window's list: the entry for none, then the files beside the program.
    const std::vector<std::u16string> listed = ListMusicFiles(GetProgramDirectory());
    int index;
    if (ParseInt(wanted, 0, static_cast<int>(listed.size()), &index)) {
        *path = index == 0 ? "" : MusicEntryPath(listed[static_cast<size_t>(index) - 1]);
        return true;
    }
    const std::string lower = Lower(wanted);
    if (lower == "none") {
        path->clear();
        return true;
    }
    for (const std::u16string& entry : listed) {
        const std::string name = Lower(WideToAnsi(entry));
        if (name == lower || name == lower + ".mp3") {
            *path = MusicEntryPath(entry);
            return true;
        }
    }
    // The operator's own music, wherever it is, decoded from there.
    std::error_code ec;
    const std::filesystem::path own = std::filesystem::absolute(wanted, ec);
    if (ec || !std::filesystem::is_regular_file(own, ec)) return false;
    *path = own.lexically_normal().string();
    return true;
}

bool ParseRate(const std::string& value, int* rate) {
    if (value != "8000" && value != "16000") return false;
    *rate = value == "8000" ? 8000 : 16000;
    return true;
}

bool IsSayKind(const std::string& kind) {
    return kind == "mp3" || kind == "pcm" || kind == "wav" || kind == "alaw" || kind == "ulaw";
}

BadOption ReadClipOptions(const ClipOptions& given, MusicChoice* music, int* rate) {
    int n;
    if (given.music && !FindMusic(*given.music, &music->path)) return BadOption::kMusic;
    if (given.mode) {
        if (!ParseInt(*given.mode, 0, 3, &n)) return BadOption::kMode;
        music->mode = static_cast<MixMode>(n);
    }
    if (given.volume) {
        if (!ParseInt(*given.volume, 0, 100, &n)) return BadOption::kVolume;
        music->volume = n;
    }
    if (given.rate && !ParseRate(*given.rate, rate)) return BadOption::kRate;
    return BadOption::kNone;
}

int ExitStatus(OpResult result) {
    switch (result) {
    case OpResult::kDone:
        return kExitOk;
    case OpResult::kOverLimit:
        return kExitOverLimit;
    case OpResult::kFailed:
        break;
    }
    return kExitFailed;
}

unsigned DefaultJobs() {
    cpu_set_t cpus;
    if (sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0)
        return static_cast<unsigned>(CPU_COUNT(&cpus));
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace tesvano
