#include "sdk/msc/speaker.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <new>
#include <soxr.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "sdk/msc/msc.h"

namespace msc {
namespace {

int g_nativeRate = 0;
std::string g_currentVoice;          // loading a voice reads its dictionary: skip when the next run keeps it
std::vector<int16_t>* g_sink = nullptr;
std::vector<int16_t> g_native;       // reused, so long texts do not regrow it every time
std::vector<float> g_resampled;

// Exit codes of the speaking child.
constexpr int kChildEngineError = 1;
constexpr int kChildNoMemory = 2;
constexpr int kChildWriteError = 3;

int OnSamples(short* samples, int count, espeak_EVENT*) {
    if (samples && count > 0 && g_sink) g_sink->insert(g_sink->end(), samples, samples + count);
    return 0;
}

int SpeakRun(const EspeakSettings& s, const std::string& text) {
    if (s.voiceName != g_currentVoice) {
        g_currentVoice.clear();
        if (espeak_ng_SetVoiceByName(s.voiceName.c_str()) != ENS_OK) return MSP_ERROR_ENGINE;
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

[[noreturn]] void ChildSpeak(int fd, const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs) {
    int code = 0;
    try {
        if (SpeakRuns(voice, params, runs) != MSP_SUCCESS)
            code = kChildEngineError;
        else if (!WriteAll(fd, g_native.data(), g_native.size() * sizeof(int16_t)))
            code = kChildWriteError;
    } catch (const std::bad_alloc&) {
        code = kChildNoMemory;
    } catch (...) {
        code = kChildEngineError;
    }
    if (close(fd) != 0 && code == 0) code = kChildWriteError;
    _exit(code);  // no atexit handlers or destructors of the caller's process
}

// espeak-ng carries state from one utterance to the next that no call of its
// API resets (its pitch flutter and wave generator phase): the same text would
// come out a few samples different each time. So this process never speaks;
// each utterance is spoken by a child forked from its untouched state.
int SpeakInChild(const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs,
                 std::vector<int16_t>* native) {
    native->clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return MSP_ERROR_ENGINE;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return MSP_ERROR_ENGINE;
    }
    if (pid == 0) {
        close(fds[0]);
        ChildSpeak(fds[1], voice, params, runs);
    }
    close(fds[1]);

    std::vector<char> bytes;
    bool readError = false;
    try {
        char buffer[65536];
        for (;;) {
            ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                readError = true;
                break;
            }
            if (n == 0) break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
    } catch (const std::bad_alloc&) {
        readError = true;
    }
    close(fds[0]);  // a child still writing gets SIGPIPE and ends
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return MSP_ERROR_ENGINE;
    }
    if (!WIFEXITED(status)) return MSP_ERROR_ENGINE;
    if (WEXITSTATUS(status) == kChildNoMemory) return MSP_ERROR_NO_MEMORY;
    if (WEXITSTATUS(status) != 0 || readError || bytes.size() % sizeof(int16_t) != 0) return MSP_ERROR_ENGINE;
    native->resize(bytes.size() / sizeof(int16_t));
    if (!bytes.empty()) std::memcpy(native->data(), bytes.data(), bytes.size());
    return MSP_SUCCESS;
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

int Speak(const Voice& voice, const SessionParams& params, const std::vector<TextRun>& runs,
          std::vector<int16_t>* pcm) {
    pcm->clear();
    if (g_nativeRate <= 0) return MSP_ERROR_ENGINE;
    int result = SpeakInChild(voice, params, runs, &g_native);
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
