#include "sdk/msc/speaker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <soxr.h>
#include <string>

#include "sdk/msc/msc.h"

namespace msc {
namespace {

int g_nativeRate = 0;
std::string g_currentVoice;          // loading a voice reads its dictionary: skip when unchanged
std::vector<int16_t>* g_sink = nullptr;
std::vector<int16_t> g_native;       // reused, so long texts do not regrow it every time
std::vector<float> g_resampled;

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
    // Someone else in the process may have set another callback.
    espeak_SetSynthCallback(OnSamples);
    g_native.clear();
    g_sink = &g_native;
    int result = MSP_SUCCESS;
    for (const TextRun& run : runs) {
        result = SpeakRun(MakeEspeakSettings(voice, run.script, params.speed, params.pitch), run.text);
        if (result != MSP_SUCCESS) break;
    }
    g_sink = nullptr;
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
