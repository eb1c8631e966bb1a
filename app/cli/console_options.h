// What tesvano-cli's commands share: exit statuses, usage errors, and
// voices and music found by what a person would type.
#pragma once

#include <cstdio>
#include <string>

#include "app/cli/command_line.h"
#include "operations/main_window.h"
#include "operations/requests.h"

namespace tesvano {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOverLimit = 3;

// "tesvano-cli: MESSAGE (see tesvano-cli --help)" on `err`; kExitUsage.
int Usage(std::FILE* err, const std::string& message);
// A whole decimal number within [min, max].
bool ParseInt(const std::string& s, int min, int max, int* value);
std::string Trim(const std::string& s);
std::string Lower(std::string s);
// A voice by index, engine name, either display name or a display name's
// first word (any case, blanks trimmed); -1 for none, or for a first word
// that two voices share.
int FindVoice(const std::string& wanted);
// A music entry by index, listed name, name without ".mp3" (any case) or
// "none" ("" in *path); else a path to any audio file. False for none.
bool FindMusic(const std::string& wanted, std::string* path);
// 8000 or 16000.
bool ParseRate(const std::string& value, int* rate);
// What say writes: mp3, pcm, wav, or alaw / ulaw (a G.711 WAV).
bool IsSayKind(const std::string& kind);
// The options say, record and a row of say --from share, read into a
// request's values; absent ones leave them as they are. The first one that
// holds no such value, in the order music, mode, volume, rate; or kNone.
enum class BadOption { kNone, kMusic, kMode, kVolume, kRate };
BadOption ReadClipOptions(const ClipOptions& given, MusicChoice* music, int* rate);
int ExitStatus(OpResult result);
// Work run at once by default: the cores this process may run on.
unsigned DefaultJobs();

}  // namespace tesvano
