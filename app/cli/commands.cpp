#include "app/cli/commands.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <poll.h>
#include <span>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "app/cli/command_line.h"
#include "app/cli/console_window.h"
#include "app/cli/console_options.h"
#include "app/cli/say_list.h"
#include "operations/convert.h"
#include "operations/camera_settings.h"
#include "operations/fit.h"
#include "operations/generate.h"
#include "operations/play.h"
#include "operations/record.h"
#include "operations/requests.h"
#include "capture/capture_library.h"
#include "discovery/discovery.h"
#include "platform/file.h"
#include "operations/window_setup.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/speech_engine.h"
#include "speech/voice_table.h"

namespace tesvano {

namespace {

constexpr char kUsage[] =
    "Usage: tesvano-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  say TEXT      speak TEXT into a file in the save folder (MP3 by default)\n"
    "  say --from LIST  one clip per row of LIST (a file, or - for standard input)\n"
    "  voices        list the voices, index and name in the current language;\n"
    "                [server: NAME] marks a voice a speech server speaks (voices.conf)\n"
    "  music         list the background-music entries\n"
    "  convert FILE...  re-encode audio files as camera MP3s in the save folder\n"
    "  to-wav FILE...   decode audio files into WAV files in the save folder\n"
    "  record        record the camera's audio into a dated MP3 in the save folder\n"
    "  camera -      set the camera source for this user from one line of standard\n"
    "                input (keeps a password out of the process list and history)\n"
    "  camera [URL]  show the camera source (password hidden), or set it from URL\n"
    "  cameras [--timeout S]  find ONVIF cameras on the local network (default 3 s)\n"
    "  camera --onvif ADDRESS|INDEX --user U [--timeout S]\n"
    "                ask an ONVIF camera (an index from 'cameras', or its address) for\n"
    "                its RTSP address and save it, with U and the password read from\n"
    "                standard input, as the camera source\n"
    "  play FILE...  play audio files one after another through the camera's speaker\n"
    "  --help        show this text\n"
    "  --version     show the program's version\n"
    "\n"
    "Options of say (the same choices as the window's controls of those names):\n"
    "  --voice V     voice index (0-16), a name as listed by 'voices' in any language\n"
    "                (or its first word: 小燕, henry), or the engine's name\n"
    "  --music M     background music: an index or name as listed by 'music' (.mp3\n"
    "                may be left out), or a path to any audio file (default: none)\n"
    "  --mode N      0 music under the voice, 1 before, 2 after, 3 before and after\n"
    "  --volume N    music volume under the voice, 0-100 (default 50)\n"
    "  --rate R      8000 or 16000 (default 16000)\n"
    "  --dir DIR     save folder (default: your documents folder)\n"
    "  --kind K      mp3, pcm, wav, or alaw / ulaw: a G.711 WAV at 8000 Hz (default mp3)\n"
    "  --open        hand the written file to the desktop's player\n"
    "  --fit         MP3 only: keep the file within 40960 bytes by shortening the music\n"
    "                before/after the voice, then speaking faster (up to 1.5x);\n"
    "                when even that is too long, nothing is written (exit 1)\n"
    "  --play        speak through the camera's speaker instead of into a file; with\n"
    "                --kind or --dir the file is written too, then played\n"
    "  --name NAME   the file's name without extension (default: from the text)\n"
    "  --            what follows is the TEXT, even when it starts with --\n"
    "LIST is UTF-8 text: one text per line, or CSV or TSV whose first line names\n"
    "its columns: text (required), name, voice, music, mode, volume, rate, kind,\n"
    "fit (yes or no); an empty cell takes the option given beside --from. Rows\n"
    "are made at once (--jobs N, default: the number of cores); a bad row is told\n"
    "with its number and skipped; two rows for one file stop the list before\n"
    "anything is made; a summary (\"49 made, 1 failed\") ends it on standard error.\n"
    "\n"
    "Options of convert and to-wav:\n"
    "  --dir DIR     save folder (default: your documents folder)\n"
    "  --rate R      8000 or 16000 (default 16000)\n"
    "  --jobs N      files converted at once (default: the number of cores)\n"
    "  --kind K      convert only: mp3, or alaw / ulaw for a G.711 WAV at 8000 Hz\n"
    "  --open        hand each written MP3 to the desktop's player (convert only)\n"
    "  --recursive   a FOLDER given means the audio files below it, not only in it\n"
    "Any audio file FFmpeg reads converts (WAV, FLAC, Ogg, M4A, Opus, a video's\n"
    "sound); a FOLDER stands for the audio files in it, by name. Every file is\n"
    "attempted; each file's lines stay together, in input order; a summary line\n"
    "(\"8 converted, 1 failed\") ends the run on standard error.\n"
    "\n"
    "Options of record (and --music, --mode, --volume as for say):\n"
    "  --seconds N   stop after N seconds (default: at Ctrl-C or SIGTERM, which save)\n"
    "  --dir DIR, --rate R  as above\n"
    "The camera is the source in TESVANO_CAMERA_URL, else the first line of\n"
    "~/.config/tesvano/camera.conf (an absolute $XDG_CONFIG_HOME instead of\n"
    "~/.config), else of /etc/tesvano/camera.conf.\n"
    "play and say --play send to its ONVIF audio back channel (RTSP); Ctrl-C stops.\n"
    "\n"
    "Log lines go to standard output, message boxes to standard error.\n"
    "Exit status: 0 written, 1 failed (any file), 2 usage error, 3 written but\n"
    "larger than the 40960 bytes a camera takes.\n";

// Voices a speech server speaks are marked with the server's name for them.
void ListVoices(std::FILE* out) {
    const bool chinese = CLanguageTable::Instance().GetLanguageCode() == u"zh-cn";
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const std::string server = ServerVoiceOf(Trim(kVoiceTable[i].voiceName).c_str());
        std::fprintf(out, "%2zu  %s%s\n", i, chinese ? kVoiceTable[i].chineseName : kVoiceTable[i].englishName,
                     server.empty() ? "" : ("  [server: " + server + "]").c_str());
    }
}

// As the window's music list: the entry for none, then the files beside the program.
void ListMusic(std::FILE* out) {
    std::fprintf(out, "%2d  %s\n", 0, GetAnsiText("TEXT_NONE").c_str());
    int n = 1;
    for (const std::u16string& name : ListMusicFiles(GetProgramDirectory()))
        std::fprintf(out, "%2d  %s\n", n++, WideToAnsi(name).c_str());
}

// G.711 is 8 kHz audio: with alaw and ulaw only --rate 8000 may be given.
bool G711RateClash(const std::string& rate, std::FILE* err) {
    if (rate.empty() || rate == "8000") return false;
    Usage(err, "--kind alaw and ulaw are 8000 Hz; --rate " + rate + " cannot go with them");
    return true;
}

// Audio by its name: what a folder given to convert or to-wav contributes.
bool LooksLikeAudio(const std::filesystem::path& file) {
    static const char* const kExtensions[] = {".mp3", ".wav", ".flac", ".ogg", ".oga", ".opus", ".m4a", ".aac",
                                              ".aif", ".aiff", ".wma", ".mka", ".webm", ".mp2", ".amr", ".au"};
    const std::string ext = Lower(file.extension().string());
    for (const char* known : kExtensions)
        if (ext == known) return true;
    return false;
}

// A folder stands for the audio files in it (and below it with recursive),
// sorted by name; anything else stays as given, for the conversion to judge.
bool ExpandFolders(const std::vector<std::string>& given, bool recursive, std::vector<std::string>* inputs,
                   std::FILE* err) {
    namespace fs = std::filesystem;
    for (const std::string& arg : given) {
        std::error_code ec;
        if (!fs::is_directory(arg, ec)) {
            inputs->push_back(arg);
            continue;
        }
        std::vector<std::string> found;
        const auto take = [&](const fs::directory_entry& e) {
            std::error_code typeError;
            if (e.is_regular_file(typeError) && LooksLikeAudio(e.path())) found.push_back(e.path().string());
        };
        if (recursive) {
            for (fs::recursive_directory_iterator it(arg, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end; it.increment(ec))
                take(*it);
        } else {
            for (fs::directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec)) take(*it);
        }
        if (ec) {
            std::fprintf(err, "tesvano-cli: %s: %s\n", arg.c_str(), ec.message().c_str());
            return false;
        }
        std::sort(found.begin(), found.end());
        if (found.empty()) std::fprintf(err, "tesvano-cli: no audio files in %s\n", arg.c_str());
        inputs->insert(inputs->end(), found.begin(), found.end());
    }
    return true;
}

// The options that make a say's or a recording's sound; kExitUsage for a
// bad value (reported), else kExitOk.
int UseClipOptions(const ClipOptions& o, MusicChoice* music, int* rate, std::FILE* err) {
    switch (ReadClipOptions(o, music, rate)) {
    case BadOption::kMusic:
        return Usage(err, "no background music '" + *o.music + "' (see tesvano-cli music)");
    case BadOption::kMode:
        return Usage(err, "--mode takes 0, 1, 2 or 3");
    case BadOption::kVolume:
        return Usage(err, "--volume takes 0 to 100");
    case BadOption::kRate:
        return Usage(err, "--rate takes 8000 or 16000");
    case BadOption::kNone:
        break;
    }
    return kExitOk;
}

// --dir, else the documents folder the window starts with.
std::u16string SaveDir(const OptionalText& dir) { return dir ? AnsiToWide(*dir) : GetDocumentsFolder(); }

int Convert(ConsoleWindow& w, bool toWav, const ConvertArguments& a, std::FILE* err) {
    ConvertBatch batch;
    batch.kind = toWav ? ConvertKind::kWav : ConvertKind::kMp3;
    const std::string rateGiven = a.rate.value_or("");
    batch.jobs = DefaultJobs();
    std::vector<std::string> inputs;
    if (a.open) {
        batch.open = true;
        w.set_open_with_desktop(true);
    }
    if (a.rate && !ParseRate(*a.rate, &batch.rate)) return Usage(err, "--rate takes 8000 or 16000");
    if (a.kind) {
        if (*a.kind == "mp3") batch.kind = ConvertKind::kMp3;
        else if (*a.kind == "alaw") batch.kind = ConvertKind::kALaw;
        else if (*a.kind == "ulaw") batch.kind = ConvertKind::kMuLaw;
        else return Usage(err, "--kind of convert takes mp3, alaw or ulaw");
    }
    int n;
    if (a.jobs) {
        if (!ParseInt(*a.jobs, 1, 256, &n)) return Usage(err, "--jobs takes 1 to 256");
        batch.jobs = static_cast<unsigned>(n);
    }
    if (a.files.empty()) return Usage(err, std::string(toWav ? "to-wav" : "convert") + " needs at least one FILE");
    if (!ExpandFolders(a.files, a.recursive, &inputs, err)) return kExitFailed;
    if (inputs.empty()) return kExitFailed;
    const bool g711 = batch.kind == ConvertKind::kALaw || batch.kind == ConvertKind::kMuLaw;
    if (g711 && G711RateClash(rateGiven, err)) return kExitUsage;
    batch.saveDir = WideToAnsi(SaveDir(a.dir));
    // A progress line for a person watching; nothing extra in a pipe or a log file.
    const bool terminal = isatty(fileno(err)) != 0;
    size_t made = 0, failed = 0, over = 0;
    batch.progress = [&](size_t done, size_t total, OpResult file) {
        if (file == OpResult::kFailed) ++failed;
        else ++made;
        if (file == OpResult::kOverLimit) ++over;
        if (terminal) w.ShowProgress(std::to_string(done) + "/" + std::to_string(total) + " files");
    };
    const OpResult result = ConvertFiles(w, inputs, batch);
    w.ClearProgress();
    const size_t skipped = inputs.size() - made - failed;  // after an unreadable file in a stopping batch
    std::fprintf(err, "%zu %s, %zu failed", made, toWav ? "decoded" : "converted", failed);
    if (over > 0) std::fprintf(err, ", %zu over %u bytes", over, kCameraSizeLimit);
    if (skipped > 0) std::fprintf(err, ", %zu not tried", skipped);
    std::fputc('\n', err);
    return ExitStatus(result);
}

// Start, wait for the time or a signal, stop and save: what the record
// button does when clicked twice.
int Record(ConsoleWindow& w, const RecordArguments& a, std::FILE* err) {
    int seconds = -1;
    RecordRequest request;
    if (UseClipOptions(a.clip, &request.music, &request.rate, err) != kExitOk) return kExitUsage;
    request.saveDir = SaveDir(a.clip.dir);
    if (a.seconds && !ParseInt(*a.seconds, 1, 100000000, &seconds))
        return Usage(err, "--seconds takes a whole number above 0");
    // Ctrl-C and SIGTERM end the wait, not the process: the recording is saved.
    // Blocked before the capture starts, so its threads never take them.
    sigset_t stopSignals, old;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &old);
    OpResult result = OpResult::kFailed;
    // The seconds count from the start click: the library keeps what it
    // received while it was still opening the stream.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    result = ToggleRecording(w, request);
    if (w.recording().active()) {
        for (;;) {
            timespec wait{};
            if (seconds >= 0) {
                const auto left = std::max<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now(),
                                                                     std::chrono::nanoseconds(0));
                wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
                wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
            }
            if (sigtimedwait(&stopSignals, nullptr, seconds < 0 ? nullptr : &wait) >= 0 || errno != EINTR) break;
        }
        result = ToggleRecording(w, request);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ExitStatus(result);
}

// One line from standard input, so a password never shows in the process
// list or the shell's history. At most 4 KiB, within 5 minutes; the line's
// end (LF or CRLF) is not part of it.
bool ReadUrlFromStdin(std::string* url, std::string* error) {
    constexpr size_t kMaxBytes = 4096;
    constexpr int kWaitMs = 5 * 60 * 1000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    url->clear();
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            *error = "no camera URL on standard input within 5 minutes";
            return false;
        }
        char c;
        const ssize_t n = ready < 0 ? -1 : read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = std::string("cannot read standard input: ") + std::strerror(errno);
            return false;
        }
        if (n == 0 || c == '\n') break;
        if (url->size() >= kMaxBytes) {
            *error = "camera URL on standard input is longer than 4096 bytes";
            return false;
        }
        url->push_back(c);
    }
    if (!url->empty() && url->back() == '\r') url->pop_back();
    return true;
}

// Saves the source as the user's camera source and shows it, password hidden.
int SaveAndShowCameraSource(const std::string& url, std::FILE* out, std::FILE* err) {
    std::string error;
    if (!SaveCameraSource(url, &error)) {
        std::fprintf(err, "tesvano-cli: %s\n", error.c_str());
        return kExitFailed;
    }
    if (std::getenv("TESVANO_CAMERA_URL"))
        std::fputs("note: TESVANO_CAMERA_URL is set and takes precedence\n", err);
    const std::string shown = DescribeCameraSource();
    std::fprintf(out, "%s\n", shown.empty() ? "(saved)" : shown.c_str());
    return kExitOk;
}

// The probe's wait: --timeout S, 1 to 60 seconds.
bool ParseTimeout(const std::string& value, int* ms, std::FILE* err) {
    int seconds;
    if (!ParseInt(value, 1, 60, &seconds)) {
        Usage(err, "--timeout takes 1 to 60 seconds");
        return false;
    }
    *ms = seconds * 1000;
    return true;
}

int Cameras(const OptionalText& timeout, std::FILE* out, std::FILE* err) {
    int timeoutMs = 3000;
    if (timeout && !ParseTimeout(*timeout, &timeoutMs, err)) return kExitUsage;
    std::vector<FoundCamera> cameras;
    std::string detail;
    if (FindCameras(timeoutMs, &cameras, &detail) != OnvifStatus::kOk) {
        std::fprintf(err, "tesvano-cli: %s\n", detail.c_str());
        return kExitFailed;
    }
    // Everything printed here comes from the device: no control characters.
    for (size_t i = 0; i < cameras.size(); ++i) {
        const FoundCamera& c = cameras[i];
        std::fprintf(out, "%2zu  %s  %s  %s\n", i + 1, PrintableText(c.name.empty() ? "-" : c.name).c_str(),
                     PrintableText(c.hardware.empty() ? "-" : c.hardware).c_str(),
                     PrintableText(MaskUrlPassword(c.xaddrs.front())).c_str());
    }
    return kExitOk;
}

// One line from standard input, without echo on a terminal. False on a
// read error or nothing to read.
bool ReadPassword(const std::string& user, std::string* password, std::FILE* err) {
    const bool terminal = isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal) {
        std::fprintf(err, "Password for %s: ", user.c_str());
        std::fflush(err);
        if (tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    password->clear();
    bool ok = true;
    for (;;) {
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0 || c == '\n') break;
        if (password->size() >= 1024) {
            ok = false;
            break;
        }
        *password += c;
    }
    if (!password->empty() && password->back() == '\r') password->pop_back();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', err);
    }
    return ok;
}

// camera --onvif ADDRESS|INDEX --user U: the camera's RTSP address with the
// user and password in it, saved as the source.
int CameraOnvif(const CameraArguments& a, std::FILE* out, std::FILE* err) {
    const std::string target = a.onvif.value_or(""), user = a.user.value_or("");
    int timeoutMs = 3000;
    if (a.timeout && !ParseTimeout(*a.timeout, &timeoutMs, err)) return kExitUsage;
    if (!a.url.empty()) return Usage(err, "camera takes a URL or --onvif, not both");
    if (target.empty() || user.empty()) return Usage(err, "camera --onvif needs ADDRESS or INDEX and --user");
    std::string device, missing;
    if (!OnvifModuleAvailable(&missing)) {
        std::fprintf(err, "tesvano-cli: %s\n", missing.c_str());
        return kExitFailed;
    }
    int index;
    if (ParseInt(target, 1, 1000, &index)) {
        std::vector<FoundCamera> cameras;
        std::string detail;
        if (FindCameras(timeoutMs, &cameras, &detail) != OnvifStatus::kOk) {
            std::fprintf(err, "tesvano-cli: %s\n", detail.c_str());
            return kExitFailed;
        }
        if (static_cast<size_t>(index) > cameras.size()) {
            std::fprintf(err, "tesvano-cli: only %zu camera(s) answered\n", cameras.size());
            return kExitFailed;
        }
        device = cameras[static_cast<size_t>(index) - 1].xaddrs.front();
    } else {
        device = DeviceServiceUrl(target);
        if (device.empty()) return Usage(err, "--onvif takes an index from 'cameras', host[:port] or an http URL");
    }
    std::string password;
    if (!ReadPassword(user, &password, err)) {
        std::fputs("tesvano-cli: cannot read the password from standard input\n", err);
        return kExitFailed;
    }
    CameraStream stream;
    std::string detail;
    const OnvifStatus status = GetCameraStream(device, user, password, timeoutMs, &stream, &detail);
    if (status != OnvifStatus::kOk) {
        std::fprintf(err, "tesvano-cli: %s (%s)\n", detail.c_str(), PrintableText(MaskUrlPassword(device)).c_str());
        return kExitFailed;
    }
    std::fprintf(out, "profile %s%s\n", PrintableText(stream.profile).c_str(), stream.audio ? " (with audio)" : "");
    std::fprintf(out, "%s\n", stream.speakers > 0    ? "the camera has a speaker"
                              : stream.speakers == 0 ? "the camera has no speaker"
                                                     : "the camera does not say whether it has a speaker");
    return SaveAndShowCameraSource(WithCredentials(stream.uri, user, password), out, err);
}

// Shows the configured source, or writes the user's camera.conf.
int Camera(const CameraArguments& a, std::FILE* out, std::FILE* err) {
    if (a.onvif || a.user || a.timeout) return CameraOnvif(a, out, err);
    if (a.url.size() > 1) return Usage(err, "camera takes at most one URL");
    if (a.url.empty()) {
        const std::string source = DescribeCameraSource();
        if (source.empty()) {
            std::fputs("no camera source configured\n", err);
            return kExitFailed;
        }
        std::fprintf(out, "%s\n", source.c_str());
        return kExitOk;
    }
    std::string url = a.url.front();
    if (url == "-") {
        std::string error;
        if (!ReadUrlFromStdin(&url, &error)) {
            std::fprintf(err, "tesvano-cli: %s\n", error.c_str());
            return kExitFailed;
        }
    }
    const bool control = std::any_of(url.begin(), url.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (url.empty() || control) return Usage(err, "camera URL must be one line of text");
    return SaveAndShowCameraSource(url, out, err);
}

// Ctrl-C and SIGTERM stop the playing at once; the connection is still
// torn down properly.
std::atomic<bool> g_stopPlaying{false};

void StopPlaying(int) { g_stopPlaying.store(true); }

struct StopOnSignals {
    struct sigaction oldInt {}, oldTerm {};
    StopOnSignals() {
        g_stopPlaying.store(false);
        struct sigaction a {};
        a.sa_handler = StopPlaying;
        sigemptyset(&a.sa_mask);
        sigaction(SIGINT, &a, &oldInt);
        sigaction(SIGTERM, &a, &oldTerm);
    }
    ~StopOnSignals() {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
    }
};

int Play(ConsoleWindow& w, const std::vector<std::string>& files, std::FILE* err) {
    if (files.empty()) return Usage(err, "play needs at least one FILE");
    StopOnSignals signals;
    return ExitStatus(PlayFilesOnCamera(w, files, {&g_stopPlaying, {}}));
}

int Say(ConsoleWindow& w, const SayArguments& a, std::FILE* err) {
    if (a.text.size() > 1) return Usage(err, "say takes one TEXT (quote it)");
    SayRequest request;
    if (UseClipOptions(a.clip, &request.music, &request.rate, err) != kExitOk) return kExitUsage;
    request.saveDir = SaveDir(a.clip.dir);
    const std::string kind = a.kind.value_or("mp3");
    const bool g711 = kind == "alaw" || kind == "ulaw";
    const bool fit = a.fit, play = a.play, open = a.open, haveText = !a.text.empty();
    const bool toFile = a.kind || a.clip.dir;
    std::string rateGiven = a.clip.rate.value_or("");
    const std::string from = a.from.value_or("");
    int jobs = 0;
    SayDefaults defaults;  // for the rows of --from
    defaults.music = a.clip.music.value_or("");
    defaults.mode = a.clip.mode.value_or("");
    defaults.volume = a.clip.volume.value_or("");
    defaults.fit = fit;
    if (open) w.set_open_with_desktop(true);
    if (a.voice) {
        request.voice = FindVoice(*a.voice);
        if (request.voice < 0) return Usage(err, "no voice '" + *a.voice + "' (see tesvano-cli voices)");
        defaults.voice = *a.voice;
    }
    if (a.kind) {
        if (!IsSayKind(kind)) return Usage(err, "--kind takes mp3, pcm, wav, alaw or ulaw");
        defaults.kind = kind;
    }
    if (a.name) {
        request.fileStem = AnsiToWide(*a.name);
        if (!IsUsableFileStem(request.fileStem))
            return Usage(err, "--name takes a file name without a folder, extension or any of / \\ : * ? \" < > |");
    }
    if (a.jobs && !ParseInt(*a.jobs, 1, 256, &jobs)) return Usage(err, "--jobs takes 1 to 256");
    if (!from.empty()) {
        if (haveText) return Usage(err, "say takes a TEXT or --from, not both");
        if (play || open || !request.fileStem.empty())
            return Usage(err, "--from cannot go with --play, --open or --name (a list has a name column)");
        if (g711) {
            if (G711RateClash(rateGiven, err)) return kExitUsage;
            rateGiven = "8000";
        }
        defaults.rate = rateGiven;
        if (fit && kind != "mp3") return Usage(err, "--fit is for MP3 only");
        defaults.dir = WideToAnsi(request.saveDir);
        return SayList(w, from, defaults, jobs > 0 ? static_cast<unsigned>(jobs) : DefaultJobs(), err);
    }
    if (jobs > 0) return Usage(err, "--jobs goes with --from");
    if (!haveText) return Usage(err, "say needs a TEXT");
    request.text = AnsiToWide(a.text.front());
    OpResult result = OpResult::kFailed;
    if (fit && kind != "mp3") return Usage(err, "--fit is for MP3 only");
    if (play && kind == "pcm") return Usage(err, "--play cannot read back a raw --kind pcm file");
    if (play && !toFile && !fit) {
        StopOnSignals signals;
        CameraConnection camera;  // connects while the text is spoken
        return ExitStatus(GenerateWith(w, request, [&w, &camera](const SayRequest& r, const PcmBuffer& pcm) {
            return PlayOnCamera(w, {PlayClip{r.rate, pcm}}, {&g_stopPlaying, {}}, &camera);
        }));
    }
    if (fit) {
        result = GenerateMp3Fitted(w, request);
    } else if (g711) {
        if (G711RateClash(rateGiven, err)) return kExitUsage;
        request.rate = 8000;
        result = GenerateG711(w, request, kind == "alaw" ? G711Law::kALaw : G711Law::kMuLaw);
    } else if (kind == "pcm") {
        result = GeneratePcm(w, request);
    } else if (kind == "wav") {
        result = GenerateWav(w, request);
    } else {
        result = GenerateMp3(w, request);
    }
    if (play && result != OpResult::kFailed && !w.lastClip().empty()) {
        // The file just written, as the camera would play it.
        StopOnSignals signals;
        if (PlayFilesOnCamera(w, {w.lastClip()}, {&g_stopPlaying, {}}) == OpResult::kFailed) result = OpResult::kFailed;
    }
    return ExitStatus(result);
}

}  // namespace

int RunConsole(int argc, char** argv, std::FILE* out, std::FILE* err) {
    InitLocaleFromEnvironment();
    if (argc < 2) {
        std::fputs(kUsage, err);
        return kExitUsage;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, out);
        return kExitOk;
    }
    if (command == "--version") {
        std::fprintf(out, "tesvano-cli %s\n", kVersion);
        return kExitOk;
    }
    const bool takesArguments =
        command == "say" || command == "convert" || command == "to-wav" || command == "record" || command == "camera" ||
        command == "cameras" || command == "play";
    if (!takesArguments && command != "voices" && command != "music")
        return Usage(err, "unknown command '" + std::string(command) + "'");
    if (!takesArguments && argc != 2) return Usage(err, std::string(command) + " takes no arguments");
    CommandLine line;
    if (!ParseCommandLine(argc, argv, &line, err)) return kExitUsage;
    if (line.command == "--help") {
        std::fputs(kUsage, out);
        return kExitOk;
    }

    if (command == "camera") return Camera(line.camera, out, err);
    if (command == "cameras") return Cameras(line.camerasTimeout, out, err);
    if (command == "voices") {
        ListVoices(out);
        return kExitOk;
    }
    if (command == "music") {
        ListMusic(out);
        return kExitOk;
    }
    // The operations' log and message boxes; what they work on comes in requests.
    ConsoleWindow w(out, err);
    if (command == "convert" || command == "to-wav") return Convert(w, command == "to-wav", line.convert, err);
    if (command == "record") return Record(w, line.record, err);
    if (command == "play") return Play(w, line.playFiles, err);
    return Say(w, line.say, err);
}

}  // namespace tesvano
