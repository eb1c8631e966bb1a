// tesvano-cli's command line read into values, one struct per command; what
// the values mean is for each command to check.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tesvano {

using OptionalText = std::optional<std::string>;

// The options say and record share: the music, how it is laid in, the rate
// and the save folder.
struct ClipOptions {
    OptionalText music, mode, volume, rate, dir;
};

struct SayArguments {
    std::vector<std::string> text;
    ClipOptions clip;
    OptionalText voice, kind, name, from, jobs;
    bool open = false, fit = false, play = false;
};

struct ConvertArguments {
    std::vector<std::string> files;
    OptionalText dir, rate, jobs, kind;
    bool recursive = false, open = false;
};

struct RecordArguments {
    ClipOptions clip;
    OptionalText seconds;
};

struct CameraArguments {
    std::vector<std::string> url;
    OptionalText onvif, user, timeout;
};

struct CommandLine {
    std::string command;  // "say", "convert", ...; "--help" and "--version" too
    bool extra = false;   // voices or music given arguments they do not take
    SayArguments say;
    ConvertArguments convert;  // convert and to-wav
    RecordArguments record;
    CameraArguments camera;
    OptionalText camerasTimeout;
    std::vector<std::string> playFiles;
};

// Reads argv; false with the usage error already on `err`.
bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::FILE* err);

}  // namespace tesvano
