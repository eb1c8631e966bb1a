#include "app/cli/console_window.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <span>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <unistd.h>

#include "operations/buttons.h"
#include "operations/convert.h"
#include "operations/fit.h"
#include "operations/generate.h"
#include "operations/play.h"
#include "capture/capture_library.h"
#include "platform/file.h"
#include "operations/settings.h"
#include "operations/window_setup.h"
#include "i18n/language_table.h"
#include "platform/system.h"
#include "platform/text.h"
#include "speech/speech_engine.h"
#include "speech/voice_table.h"

namespace tesvano {

void ConsoleWindow::AppendLog(const std::u16string& text) {
    // One line per entry on a console: a line's own trailing break is not repeated.
    const std::string_view line = LogArea::DisplayLine(log_.Append(text));
    std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(out_);
}

void ConsoleWindow::MessageBox(const std::u16string& text, const std::u16string& caption) {
    ++boxes_;
    std::fprintf(err_, "%s: %s\n", WideToAnsi(caption).c_str(), WideToAnsi(text).c_str());
}

void ConsoleWindow::OpenWithDesktop(const std::u16string& path) {
    if (open_) tesvano::OpenWithDesktop(WideToAnsi(path));
}

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOverLimit = 3;

constexpr char kUsage[] =
    "Usage: tesvano-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  say TEXT      speak TEXT into a file in the save folder (MP3 by default)\n"
    "  voices        list the voices, index and name in the current language;\n"
    "                [server: NAME] marks a voice a speech server speaks (voices.conf)\n"
    "  music         list the background-music entries\n"
    "  convert FILE...  re-encode audio files as camera MP3s in the save folder\n"
    "  to-wav FILE...   decode audio files into WAV files in the save folder\n"
    "  record        record the camera's audio into a dated MP3 in the save folder\n"
    "  camera [URL]  show the camera source (password hidden), or set it for this user\n"
    "  play FILE...  play audio files one after another through the camera's speaker\n"
    "  --help        show this text\n"
    "\n"
    "Options of say (each sets the control of the window it names):\n"
    "  --voice V     voice index (0-16) or name, as listed by 'voices' or the engine's name\n"
    "  --music NAME  background music, as listed by 'music' (default: none)\n"
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
    "\n"
    "Options of convert and to-wav:\n"
    "  --dir DIR     save folder (default: your documents folder)\n"
    "  --rate R      8000 or 16000 (default 16000)\n"
    "  --jobs N      files converted at once (default: the number of cores)\n"
    "  --kind K      convert only: mp3, or alaw / ulaw for a G.711 WAV at 8000 Hz\n"
    "  --open        hand each written MP3 to the desktop's player (convert only)\n"
    "Any audio file FFmpeg reads converts (WAV, FLAC, Ogg, M4A, Opus, a video's\n"
    "sound). Every file is attempted; each file's lines stay together, in input order.\n"
    "\n"
    "Options of record (and --music, --mode, --volume as for say):\n"
    "  --seconds N   stop after N seconds (default: at Ctrl-C or SIGTERM, which save)\n"
    "  --dir DIR, --rate R  as above\n"
    "The camera is the source in TESVANO_CAMERA_URL, else the first line of\n"
    "~/.config/tesvano/camera.conf, else of /etc/tesvano/camera.conf.\n"
    "play and say --play send to its ONVIF audio back channel (RTSP); Ctrl-C stops.\n"
    "\n"
    "Log lines go to standard output, message boxes to standard error.\n"
    "Exit status: 0 written, 1 failed (any file), 2 usage error, 3 written but\n"
    "larger than the 40960 bytes a camera takes.\n";

int Usage(std::FILE* err, const std::string& message) {
    std::fprintf(err, "tesvano-cli: %s (see tesvano-cli --help)\n", message.c_str());
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

// A voice by index, engine name or either display name (any case, blanks trimmed).
int FindVoice(const std::string& wanted) {
    int index;
    if (ParseInt(wanted, 0, static_cast<int>(kVoiceTable.size()) - 1, &index)) return index;
    const std::string w = Lower(Trim(wanted));
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const auto& v = kVoiceTable[i];
        for (const char* name : {v.voiceName, v.englishName, v.chineseName})
            if (Lower(Trim(name)) == w) return static_cast<int>(i);
    }
    return -1;
}

// Voices a speech server speaks are marked with the server's name for them.
void ListVoices(std::FILE* out) {
    const bool chinese = CLanguageTable::Instance().GetLanguageCode() == u"zh-cn";
    for (size_t i = 0; i < kVoiceTable.size(); ++i) {
        const std::string server = ServerVoiceOf(Trim(kVoiceTable[i].voiceName).c_str());
        std::fprintf(out, "%2zu  %s%s\n", i, chinese ? kVoiceTable[i].chineseName : kVoiceTable[i].englishName,
                     server.empty() ? "" : ("  [server: " + server + "]").c_str());
    }
}

void ListMusic(const ConsoleWindow& w, std::FILE* out) {
    for (const auto& [name, data] : w.control(IDC_MUSIC)->items)
        std::fprintf(out, "%2d  %s\n", data, WideToAnsi(name).c_str());
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

// G.711 is 8 kHz audio: with alaw and ulaw only --rate 8000 may be given.
bool G711RateClash(const std::string& rate, std::FILE* err) {
    if (rate.empty() || rate == "8000") return false;
    Usage(err, "--kind alaw and ulaw are 8000 Hz; --rate " + rate + " cannot go with them");
    return true;
}

int Convert(ConsoleWindow& w, bool toWav, int argc, char** argv, std::FILE* err) {
    ConvertBatch batch;
    batch.kind = toWav ? ConvertKind::kWav : ConvertKind::kMp3;
    std::string rateGiven;
    batch.jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> inputs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--open" && !toWav) {
            batch.open = true;
            w.set_open_with_desktop(true);
            continue;
        }
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            if (i + 1 >= argc) return Usage(err, arg + " needs a value");
            const std::string value = argv[++i];
            int n;
            if (arg == "--rate") {
                if (value == "8000") w.Select(IDC_RATE, 0);
                else if (value == "16000") w.Select(IDC_RATE, 1);
                else return Usage(err, "--rate takes 8000 or 16000");
                rateGiven = value;
            } else if (arg == "--dir") {
                w.SetItemText(IDC_SAVE_DIR, AnsiToWide(value));
            } else if (arg == "--kind" && !toWav) {
                if (value == "mp3") batch.kind = ConvertKind::kMp3;
                else if (value == "alaw") batch.kind = ConvertKind::kALaw;
                else if (value == "ulaw") batch.kind = ConvertKind::kMuLaw;
                else return Usage(err, "--kind of convert takes mp3, alaw or ulaw");
            } else if (arg == "--jobs") {
                if (!ParseInt(value, 1, 256, &n)) return Usage(err, "--jobs takes 1 to 256");
                batch.jobs = static_cast<unsigned>(n);
            } else {
                return Usage(err, "unknown option " + arg);
            }
            continue;
        }
        inputs.push_back(arg);
    }
    if (inputs.empty()) return Usage(err, std::string(argv[1]) + " needs at least one FILE");
    const bool g711 = batch.kind == ConvertKind::kALaw || batch.kind == ConvertKind::kMuLaw;
    if (g711 && G711RateClash(rateGiven, err)) return kExitUsage;
    batch.rate = w.GetComboSelectionData(IDC_RATE);
    batch.saveDir = WideToAnsi(w.GetItemText(IDC_SAVE_DIR));
    // A progress line for a person watching; nothing extra in a pipe or a log file.
    const bool terminal = isatty(fileno(err)) != 0;
    if (terminal) {
        batch.progress = [err](size_t done, size_t total) {
            std::fprintf(err, "\r%zu/%zu files", done, total);
            if (done == total) std::fputc('\n', err);
            std::fflush(err);
        };
    }
    return ExitStatus(ConvertFiles(w, inputs, batch));
}

// Options that set the window's music, rate and save-folder controls.
// 1: taken; 0: not one of these; kExitUsage: a bad value (reported).
int SetWindowOption(ConsoleWindow& w, const std::string& arg, const std::string& value, std::FILE* err) {
    int n;
    if (arg == "--music") {
        const auto& items = w.control(IDC_MUSIC)->items;
        int found = -1;
        for (size_t k = 0; k < items.size(); ++k)
            if (WideToAnsi(items[k].first) == value || (k == 0 && Lower(value) == "none")) found = int(k);
        if (found < 0) return Usage(err, "no background music '" + value + "' (see tesvano-cli music)");
        w.Select(IDC_MUSIC, found);
    } else if (arg == "--mode") {
        if (!ParseInt(value, 0, 3, &n)) return Usage(err, "--mode takes 0, 1, 2 or 3");
        w.Select(IDC_OVERLAY, n);
        OnOverlayModeChanged(w);
    } else if (arg == "--volume") {
        if (!ParseInt(value, 0, 100, &n)) return Usage(err, "--volume takes 0 to 100");
        w.SetTrackbarPos(IDC_VOLUME, n);
        OnVolumeMoved(w);
    } else if (arg == "--rate") {
        if (value == "8000") w.Select(IDC_RATE, 0);
        else if (value == "16000") w.Select(IDC_RATE, 1);
        else return Usage(err, "--rate takes 8000 or 16000");
    } else if (arg == "--dir") {
        w.SetItemText(IDC_SAVE_DIR, AnsiToWide(value));
    } else {
        return 0;
    }
    return 1;
}

// Start, wait for the time or a signal, stop and save: the record button
// clicked twice.
int Record(ConsoleWindow& w, int argc, char** argv, std::FILE* err) {
    int seconds = -1;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0 || i + 1 >= argc) return Usage(err, "record: unexpected " + arg);
        const std::string value = argv[++i];
        const int taken = SetWindowOption(w, arg, value, err);
        if (taken == kExitUsage) return kExitUsage;
        if (taken) continue;
        if (arg != "--seconds" || !ParseInt(value, 1, 100000000, &seconds))
            return Usage(err, arg == "--seconds" ? "--seconds takes a whole number above 0" : "unknown option " + arg);
    }
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
    RunButton(w, IDC_RECORD, &result);
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
        RunButton(w, IDC_RECORD, &result);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ExitStatus(result);
}

// Shows the configured source, or writes the user's camera.conf.
int Camera(int argc, char** argv, std::FILE* out, std::FILE* err) {
    if (argc > 3) return Usage(err, "camera takes at most one URL");
    if (argc == 2) {
        const std::string source = DescribeCameraSource();
        if (source.empty()) {
            std::fputs("no camera source configured\n", err);
            return kExitFailed;
        }
        std::fprintf(out, "%s\n", source.c_str());
        return kExitOk;
    }
    const std::string url = argv[2];
    if (url.empty() || url.find('\n') != std::string::npos) return Usage(err, "camera URL must be one line");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string dir = config && *config ? config : std::string(home ? home : "") + "/.config";
    dir += "/tesvano";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string text = "# Camera source for Tesvano's recording\n" + url + "\n";
    const WriteStatus status =
        WriteWholeFile(dir + "/camera.conf", std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    if (status != WriteStatus::kOk) {
        std::fprintf(err, "tesvano-cli: cannot write %s/camera.conf\n", dir.c_str());
        return kExitFailed;
    }
    if (std::getenv("TESVANO_CAMERA_URL"))
        std::fputs("note: TESVANO_CAMERA_URL is set and takes precedence\n", err);
    const std::string shown = DescribeCameraSource();
    std::fprintf(out, "%s\n", shown.empty() ? "(saved)" : shown.c_str());
    return kExitOk;
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

int Play(ConsoleWindow& w, int argc, char** argv, std::FILE* err) {
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) return Usage(err, "play: unknown option " + arg);
        files.push_back(arg);
    }
    if (files.empty()) return Usage(err, "play needs at least one FILE");
    StopOnSignals signals;
    return ExitStatus(PlayFilesOnCamera(w, files, {&g_stopPlaying, {}}));
}

int Say(ConsoleWindow& w, int argc, char** argv, std::FILE* err) {
    std::string text;
    bool haveText = false;
    int button = IDC_GENERATE_MP3;
    bool g711 = false;
    G711Law law = G711Law::kALaw;
    bool fit = false;
    bool play = false, toFile = false;
    std::string rateGiven;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--play") {
            play = true;
            continue;
        }
        if (arg == "--kind" || arg == "--dir") toFile = true;
        if (arg == "--open") {
            w.set_open_with_desktop(true);
            continue;
        }
        if (arg == "--fit") {
            fit = true;
            continue;
        }
        if (arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc) return Usage(err, arg + " needs a value");
            const std::string value = argv[++i];
            const int taken = SetWindowOption(w, arg, value, err);
            if (taken == kExitUsage) return kExitUsage;
            if (arg == "--rate") rateGiven = value;
            if (taken) continue;
            if (arg == "--voice") {
                const int voice = FindVoice(value);
                if (voice < 0) return Usage(err, "no voice '" + value + "' (see tesvano-cli voices)");
                w.Select(IDC_VOICE, voice);
            } else if (arg == "--kind") {
                g711 = value == "alaw" || value == "ulaw";
                if (value == "mp3") button = IDC_GENERATE_MP3;
                else if (value == "pcm") button = IDC_GENERATE_PCM;
                else if (value == "wav") button = IDC_GENERATE_WAV;
                else if (g711) law = value == "alaw" ? G711Law::kALaw : G711Law::kMuLaw;
                else return Usage(err, "--kind takes mp3, pcm, wav, alaw or ulaw");
            } else {
                return Usage(err, "unknown option " + arg);
            }
            continue;
        }
        if (haveText) return Usage(err, "say takes one TEXT (quote it)");
        text = arg;
        haveText = true;
    }
    if (!haveText) return Usage(err, "say needs a TEXT");
    w.SetItemText(IDC_TEXT, AnsiToWide(text));
    OpResult result = OpResult::kFailed;
    if (fit && (g711 || button != IDC_GENERATE_MP3)) return Usage(err, "--fit is for MP3 only");
    if (play && button == IDC_GENERATE_PCM) return Usage(err, "--play cannot read back a raw --kind pcm file");
    if (play && !toFile && !fit) {
        StopOnSignals signals;
        CameraConnection camera;  // connects while the text is spoken
        return ExitStatus(GenerateWith(w, [&w, &camera](int rate, const std::u16string&, const PcmBuffer& pcm) {
            return PlayOnCamera(w, {PlayClip{rate, pcm}}, {&g_stopPlaying, {}}, &camera);
        }));
    }
    if (fit) {
        result = OnGenerateMp3Fitted(w);
    } else if (g711) {
        if (G711RateClash(rateGiven, err)) return kExitUsage;
        w.Select(IDC_RATE, 0);  // 8000
        result = OnGenerateG711(w, law);
    } else {
        RunButton(w, button, &result);
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
    const bool takesArguments =
        command == "say" || command == "convert" || command == "to-wav" || command == "record" || command == "camera" ||
        command == "play";
    if (!takesArguments && command != "voices" && command != "music")
        return Usage(err, "unknown command '" + std::string(command) + "'");
    if (!takesArguments && argc != 2) return Usage(err, std::string(command) + " takes no arguments");

    if (command == "camera") return Camera(argc, argv, out, err);
    if (command == "voices") {
        ListVoices(out);
        return kExitOk;
    }
    // The window's controls, filled as at start-up; the options change them.
    ConsoleWindow w(out, err);
    FillControls(w);
    SetControlLabels(w);
    if (command == "music") {
        ListMusic(w, out);
        return kExitOk;
    }
    if (command == "convert" || command == "to-wav") return Convert(w, command == "to-wav", argc, argv, err);
    if (command == "record") return Record(w, argc, argv, err);
    if (command == "play") return Play(w, argc, argv, err);
    return Say(w, argc, argv, err);
}

}  // namespace tesvano
