// Speaks one run of text with espeak-ng directly, set up as the engine sets it
// up for that voice and script, and prints espeak-ng's own sample count and
// rate: "<samples> <rate>". With -w, also writes that audio as a WAV file.
//
//   msc_espeak_reference [-w out.wav] <voice> <han|latin> <speed> <pitch> <text>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <string>
#include <vector>

#include "sdk/msc/voices.h"

namespace {

std::vector<short> g_samples;

int Collect(short* wav, int count, espeak_EVENT*) {
    if (wav && count > 0) g_samples.insert(g_samples.end(), wav, wav + count);
    return 0;
}

bool WriteWav(const char* path, const std::vector<short>& s, int rate) {
    auto u32 = [](std::FILE* f, unsigned v) { unsigned char b[4] = {(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16), (unsigned char)(v >> 24)}; return std::fwrite(b, 1, 4, f) == 4; };
    auto u16 = [](std::FILE* f, unsigned v) { unsigned char b[2] = {(unsigned char)v, (unsigned char)(v >> 8)}; return std::fwrite(b, 1, 2, f) == 2; };
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    unsigned bytes = unsigned(s.size() * 2);
    bool ok = std::fwrite("RIFF", 1, 4, f) == 4 && u32(f, 36 + bytes) && std::fwrite("WAVEfmt ", 1, 8, f) == 8 &&
              u32(f, 16) && u16(f, 1) && u16(f, 1) && u32(f, rate) && u32(f, rate * 2) && u16(f, 2) && u16(f, 16) &&
              std::fwrite("data", 1, 4, f) == 4 && u32(f, bytes) && std::fwrite(s.data(), 2, s.size(), f) == s.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const char* wav = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "-w") == 0) {
        wav = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 6) {
        std::fprintf(stderr, "usage: msc_espeak_reference [-w out.wav] voice han|latin speed pitch text\n");
        return 2;
    }
    const msc::Voice* voice = msc::FindVoice(argv[1]);
    if (!voice) return 3;
    msc::Script script = std::strcmp(argv[2], "latin") == 0 ? msc::Script::kLatin : msc::Script::kHan;
    msc::EspeakSettings s = msc::MakeEspeakSettings(*voice, script, std::atoi(argv[3]), std::atoi(argv[4]));

    espeak_ng_InitializePath(nullptr);
    if (espeak_ng_Initialize(nullptr) != ENS_OK) return 4;
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK) return 4;
    espeak_SetSynthCallback(Collect);
    if (espeak_ng_SetVoiceByName(s.voiceName.c_str()) != ENS_OK) return 5;
    espeak_SetParameter(espeakRATE, s.rate, 0);
    espeak_SetParameter(espeakPITCH, s.pitch, 0);
    espeak_SetParameter(espeakRANGE, s.range, 0);
    espeak_SetParameter(espeakVOLUME, 100, 0);
    const std::string text = argv[5];
    if (espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr) != EE_OK)
        return 6;
    int rate = espeak_ng_GetSampleRate();
    if (wav && !WriteWav(wav, g_samples, rate)) return 7;
    std::printf("%zu %d\n", g_samples.size(), rate);
    espeak_ng_Terminate();
    return 0;
}
