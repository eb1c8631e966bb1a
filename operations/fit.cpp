#include "operations/fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "audio/mp3_encoder.h"
#include "i18n/language_table.h"
#include "operations/generate.h"
#include "operations/music.h"
#include "operations/synthesis.h"
#include "speech/speech_engine.h"
#include "speech/synthesis.h"

namespace tesvano {
namespace {

// Times the music is heard beside the voice, adding to the length.
size_t MusicParts(MixMode mode) {
    switch (mode) {
    case MixMode::kBeforeVoice:
    case MixMode::kAfterVoice:
        return 1;
    case MixMode::kAroundVoice:
        return 2;
    case MixMode::kUnderVoice:
        break;
    }
    return 0;
}

const char* MusicPlace(MixMode mode) {
    switch (mode) {
    case MixMode::kBeforeVoice:
        return "before the voice";
    case MixMode::kAfterVoice:
        return "after the voice";
    default:
        return "before and after the voice";
    }
}

double Seconds(size_t samples, int rate) { return static_cast<double>(samples) / rate; }

}  // namespace

size_t MusicThatFits(MixMode mode, size_t voice, size_t music, size_t limit) {
    const size_t parts = MusicParts(mode);
    if (parts == 0) return music;
    if (voice >= limit) return 0;
    return std::min(music, (limit - voice) / parts);
}

int SpeedToFit(int speed, size_t voice, size_t limit) {
    // The engine's pace doubles every 50 steps of speed.
    const double pace = PaceAtSpeed(speed) * static_cast<double>(voice) / static_cast<double>(std::max<size_t>(limit, 1));
    const int wanted = static_cast<int>(std::ceil(kNormalSpeed + 50.0 * std::log2(pace)));
    return std::min(std::max(wanted, speed + 1), kFastestFitSpeed);
}

OpResult GenerateMp3Fitted(IMainWindow& w, const SayRequest& request) {
    if (!HaveText(w, request.text)) return OpResult::kFailed;
    const int rate = request.rate;
    EngineLogin login;
    PcmBuffer voice, music;
    if (!SynthesizeVoice(w, login, request, kNormalSpeed, &voice, &music)) return OpResult::kFailed;

    const size_t limit = static_cast<size_t>(MaxSamplesWithin(rate, kCameraSizeLimit));
    const MixMode mode = request.music.mode;
    const size_t musicSamples = music.size() / 2;
    const size_t parts = music.empty() ? 0 : MusicParts(mode);
    if (voice.size() / 2 + parts * musicSamples <= limit) {
        MixMusic(request.music, voice, music);
        return SaveTextMp3(w, request, voice);
    }

    // The music gives way first, to nothing if need be; then the voice
    // speeds up until it fits alone. Speech does not shorten exactly with
    // the pace, so each try is measured and the next one aimed from it.
    int speed = kNormalSpeed;
    while (voice.size() / 2 > limit && speed < kFastestFitSpeed) {
        speed = SpeedToFit(speed, voice.size() / 2, limit);
        if (!SpeakAgain(w, request, speed, &voice)) return OpResult::kFailed;
    }
    const size_t voiceSamples = voice.size() / 2;
    char line[256];
    if (voiceSamples > limit) {
        std::snprintf(line, sizeof line,
                      "Does not fit in %u bytes even at speed %d (%.2fx normal): %.1f s of speech fit, this text "
                      "takes %.1f s. Nothing written.",
                      kCameraSizeLimit, speed, PaceAtSpeed(speed), Seconds(limit, rate), Seconds(voiceSamples, rate));
        w.LogFormat("%s", line);
        return OpResult::kFailed;
    }

    // What room the voice leaves goes back to the music.
    const size_t kept = MusicThatFits(mode, voiceSamples, musicSamples, limit);
    std::string changed;
    if (parts > 0 && kept < musicSamples) {
        ShortenMusic(music, kept, static_cast<size_t>(rate / 20));  // a 50 ms fade at the cut
        std::snprintf(line, sizeof line, "music %s %.1f s -> %.1f s", MusicPlace(mode), Seconds(musicSamples, rate),
                      Seconds(kept, rate));
        changed = line;
    }
    if (speed != kNormalSpeed) {
        std::snprintf(line, sizeof line, "speech at speed %d (%.2fx normal)", speed, PaceAtSpeed(speed));
        changed += (changed.empty() ? "" : ", ") + std::string(line);
    }
    w.LogFormat("Fitted in %u bytes: %s.", kCameraSizeLimit, changed.c_str());
    MixMusic(request.music, voice, music);
    return SaveTextMp3(w, request, voice);
}

OpResult OnGenerateMp3Fitted(IMainWindow& w) { return GenerateMp3Fitted(w, ReadSayRequest(w)); }

}  // namespace tesvano
