#include "sdk/msc/speaker.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <new>
#include <poll.h>
#include <signal.h>
#include <soxr.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "sdk/msc/msc.h"

namespace msc {
namespace {

int g_nativeRate = 0;
std::string g_currentVoice;          // loading a voice reads its dictionary: skip when the next run keeps it
std::vector<int16_t>* g_sink = nullptr;
std::vector<int16_t> g_native;       // reused, so long texts do not regrow it every time
std::vector<float> g_resampled;

using Clock = std::chrono::steady_clock;

// On a busy two-core machine espeak-ng speaks about 2 KB of Chinese text (4
// KB of English) a second; the deadline allows ten times as long. Only a hung
// or runaway child meets it.
constexpr std::chrono::milliseconds kMinSpeakDeadline{30000};
constexpr int64_t kDeadlineMsPerByte = 5;

int OnSamples(short* samples, int count, espeak_EVENT*) {
    if (samples && count > 0 && g_sink) g_sink->insert(g_sink->end(), samples, samples + count);
    return 0;
}

// Our languages' voice files by their place under espeak-ng's lang folder.
// Named by path, a voice loads at once; named by language, espeak-ng first
// reads every voice file it has (some 300) to find it, each utterance.
std::string VoiceFileName(const std::string& voiceName) {
    static const std::pair<const char*, const char*> kFiles[] = {
        {"cmn", "sit/cmn"}, {"yue", "sit/yue"}, {"en", "gmw/en"}, {"en-us", "gmw/en-US"}};
    const size_t plus = voiceName.find('+');
    const std::string language = voiceName.substr(0, plus);
    for (const auto& [code, file] : kFiles)
        if (language == code) return file + (plus == std::string::npos ? "" : voiceName.substr(plus));
    return {};
}

int SpeakRun(const EspeakSettings& s, const std::string& text) {
    if (s.voiceName != g_currentVoice) {
        g_currentVoice.clear();
        const std::string file = VoiceFileName(s.voiceName);
        if ((file.empty() || espeak_ng_SetVoiceByName(file.c_str()) != ENS_OK) &&
            espeak_ng_SetVoiceByName(s.voiceName.c_str()) != ENS_OK)
            return MSP_ERROR_ENGINE;
        g_currentVoice = s.voiceName;
    }
    if (espeak_SetParameter(espeakRATE, s.rate, 0) != EE_OK || espeak_SetParameter(espeakPITCH, s.pitch, 0) != EE_OK ||
        espeak_SetParameter(espeakRANGE, s.range, 0) != EE_OK || espeak_SetParameter(espeakVOLUME, 100, 0) != EE_OK)
        return MSP_ERROR_ENGINE;
    // No end pause: runs of one sentence join without a gap.
    if (espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr) != EE_OK)
        return MSP_ERROR_ENGINE;
    return MSP_SUCCESS;
}

int SpeakRuns(const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs) {
    espeak_SetSynthCallback(OnSamples);
    g_native.clear();
    g_sink = &g_native;
    int result = MSP_SUCCESS;
    for (const TextRun& run : runs) {
        result = SpeakRun(MakeEspeakSettings(voice, run.script, params.speed, params.pitch), run.text);
        if (result != MSP_SUCCESS) break;
    }
    g_sink = nullptr;
    return result;
}

bool WriteAll(int fd, const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = write(fd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= size_t(n);
    }
    return true;
}

// What the child sends ahead of its samples. The parent decides by it alone:
// the child's exit status may be gone (SIGCHLD ignored, a reaper elsewhere).
struct ChildReport {
    int32_t code;    // MSP code
    uint32_t unused;
    uint64_t bytes;  // of samples that follow
};

[[noreturn]] void ChildSpeak(int fd, const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs) {
    ChildReport report{MSP_SUCCESS, 0, 0};
    try {
        report.code = SpeakRuns(voice, params, runs);
    } catch (const std::bad_alloc&) {
        report.code = MSP_ERROR_NO_MEMORY;
    } catch (...) {
        report.code = MSP_ERROR_ENGINE;
    }
    if (report.code == MSP_SUCCESS) report.bytes = g_native.size() * sizeof(int16_t);
    bool sent = WriteAll(fd, &report, sizeof report) && WriteAll(fd, g_native.data(), report.bytes);
    sent = close(fd) == 0 && sent;
    _exit(sent ? 0 : 1);  // no atexit handlers or destructors of the caller's process
}

enum class ReadEnd { kDone, kEnd, kError, kLate };

// Exactly size bytes, unless the pipe ends or fails first or the deadline passes.
ReadEnd ReadFully(int fd, void* data, size_t size, Clock::time_point deadline) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return ReadEnd::kLate;
        pollfd ready{fd, POLLIN, 0};
        const int n = poll(&ready, 1, int(std::min<int64_t>(left, INT_MAX)));
        if (n < 0 && errno != EINTR) return ReadEnd::kError;
        if (n <= 0) continue;
        const ssize_t got = read(fd, p, std::min<size_t>(size, SSIZE_MAX));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadEnd::kError;
        if (got == 0) return ReadEnd::kEnd;
        p += got;
        size -= size_t(got);
    }
    return ReadEnd::kDone;
}

// By number: glibc 2.36 declares these without C linkage for C++.
int PidfdOpen(pid_t pid) { return int(syscall(SYS_pidfd_open, pid, 0)); }
int PidfdKill(int pidfd) { return int(syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0)); }

// The speaking child, waited for through a pidfd (no pid reuse can make us
// kill a stranger), else by its pid. Killed and reaped when it goes, unless
// it has ended.
class SpeakingChild {
public:
    explicit SpeakingChild(pid_t pid) : pid_(pid), pidfd_(PidfdOpen(pid)) {
        // Gone already: ended and reaped by the kernel (SIGCHLD ignored) or by another waiter.
        if (pidfd_ < 0 && errno == ESRCH) gone_ = true;
    }
    ~SpeakingChild() {
        Kill();
        if (pidfd_ >= 0) close(pidfd_);
    }
    SpeakingChild(const SpeakingChild&) = delete;
    SpeakingChild& operator=(const SpeakingChild&) = delete;

    // Whether it ended before the deadline.
    bool WaitUntil(Clock::time_point deadline) {
        while (!gone_) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            if (pidfd_ >= 0) {
                pollfd ended{pidfd_, POLLIN, 0};
                const int n = poll(&ended, 1, int(std::min<int64_t>(left, INT_MAX)));
                if (n < 0 && errno != EINTR) return false;
                if (n > 0) Reap();
            } else {
                const pid_t r = waitpid(pid_, nullptr, WNOHANG);
                if (r == pid_ || (r < 0 && errno == ECHILD)) gone_ = true;
                else if (r < 0 && errno != EINTR) return false;
                else std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 10)));
            }
        }
        return true;
    }

    void Kill() {
        if (gone_) return;
        if (pidfd_ >= 0) {
            if (PidfdKill(pidfd_) != 0 && errno != ESRCH) return;
            Reap();
        } else {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
            gone_ = true;
        }
    }

private:
    // ECHILD: someone else reaped it, which is no failure of ours.
    void Reap() {
        siginfo_t info{};
        while (waitid(P_PIDFD, id_t(pidfd_), &info, WEXITED) < 0 && errno == EINTR) {
        }
        gone_ = true;
    }

    pid_t pid_;
    int pidfd_;
    bool gone_ = false;
};

// espeak-ng carries state from one utterance to the next that no call of its
// API resets (its pitch flutter and wave generator phase): the same text would
// come out a few samples different each time. So this process never speaks;
// each utterance is spoken by a child forked from its untouched state.
int SpeakInChild(const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs,
                 std::chrono::milliseconds deadline, std::vector<int16_t>* native) {
    native->clear();
    const Clock::time_point end = Clock::now() + deadline;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return MSP_ERROR_ENGINE;
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return MSP_ERROR_ENGINE;
    }
    if (pid == 0) {
        // A crash must not leave a core of the caller's memory: its keys, the camera's address.
        prctl(PR_SET_DUMPABLE, 0);
        // Nor may the child outlive a caller that was killed.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(1);
        close(fds[0]);
        ChildSpeak(fds[1], voice, params, runs);
    }
    close(fds[1]);
    SpeakingChild child(pid);

    ChildReport report{};
    ReadEnd read = ReadFully(fds[0], &report, sizeof report, end);
    int result = read == ReadEnd::kDone ? report.code : MSP_ERROR_ENGINE;
    if (result == MSP_SUCCESS) {
        try {
            if (report.bytes % sizeof(int16_t) != 0) throw std::length_error("odd byte count");
            native->resize(size_t(report.bytes / sizeof(int16_t)));
            read = ReadFully(fds[0], native->data(), size_t(report.bytes), end);
            if (read != ReadEnd::kDone) result = MSP_ERROR_ENGINE;
        } catch (const std::bad_alloc&) {
            result = MSP_ERROR_NO_MEMORY;
        } catch (const std::length_error&) {
            result = MSP_ERROR_ENGINE;
        }
    }
    close(fds[0]);  // a child still writing gets SIGPIPE and ends
    if (read == ReadEnd::kLate) result = MSP_ERROR_ENGINE_TIMEOUT;
    // Once all is read, only the wait is left; a child that does not end
    // by the deadline is killed, the utterance stands.
    if (!child.WaitUntil(end)) child.Kill();
    if (result != MSP_SUCCESS) native->clear();
    return result;
}

}  // namespace

int StartEngine() {
    if (g_nativeRate > 0) return MSP_SUCCESS;
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    espeak_ng_ClearErrorContext(&context);
    if (status != ENS_OK) return MSP_ERROR_ENGINE;
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK) return MSP_ERROR_ENGINE;
    int rate = espeak_ng_GetSampleRate();
    if (rate <= 0) return MSP_ERROR_ENGINE;
    g_nativeRate = rate;
    return MSP_SUCCESS;
}

int NativeRate() { return g_nativeRate; }

std::chrono::milliseconds SpeakDeadline(const std::vector<TextRun>& runs) {
    size_t bytes = 0;
    for (const TextRun& run : runs) bytes += run.text.size();
    return std::max(kMinSpeakDeadline, std::chrono::milliseconds(int64_t(bytes) * kDeadlineMsPerByte));
}

int Speak(const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs,
          std::chrono::milliseconds deadline, std::vector<int16_t>* pcm) {
    pcm->clear();
    if (g_nativeRate <= 0) return MSP_ERROR_ENGINE;
    int result = SpeakInChild(voice, params, runs, deadline, &g_native);
    if (result != MSP_SUCCESS) return result;
    float level = kPeakLevel * std::min(1.0f, float(params.volume) / 50.0f);
    return ResampleAndNormalise(g_native, g_nativeRate, params.sampleRate, level, pcm);
}

int ResampleAndNormalise(const std::vector<int16_t>& in, int inRate, int outRate, float peakLevel,
                         std::vector<int16_t>* out) {
    out->clear();
    if (in.empty()) return MSP_SUCCESS;
    size_t capacity = size_t(std::ceil(double(in.size()) * outRate / inRate)) + 16;
    g_resampled.resize(capacity);
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t produced = 0;
    soxr_error_t error = soxr_oneshot(inRate, outRate, 1, in.data(), in.size(), nullptr, g_resampled.data(),
                                      capacity, &produced, &io, &quality, nullptr);
    if (error) return MSP_ERROR_ENGINE;

    const float* x = g_resampled.data();
    float peak = 0;
    for (size_t i = 0; i < produced; ++i) peak = std::max(peak, std::fabs(x[i]));
    // Scale to 32767 rather than 32768 so the positive peak fits too.
    float gain = peak > 0 ? peakLevel * 32767.0f / peak : 0.0f;
    out->resize(produced);
    int16_t* y = out->data();
    for (size_t i = 0; i < produced; ++i) {
        float v = std::clamp(x[i] * gain, -32768.0f, 32767.0f);
        y[i] = int16_t(std::lrint(v));
    }
    return MSP_SUCCESS;
}

}  // namespace msc
