// Independent tools the audio tests check our output with (ffprobe, mpg123,
// sox), and synthetic PCM to feed the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tesvano::test {

// Speech-like test signal: a few harmonics with a syllable envelope.
std::vector<int16_t> SpeechLikePcm(int sampleRate, double seconds, uint32_t seed = 1);
std::vector<uint8_t> AsBytes(const std::vector<int16_t>& samples);

struct ProbeResult {
    bool ok = false;
    std::string codec;   // e.g. "mp3", "pcm_s16le"
    int channels = 0;
    int sampleRate = 0;
    long bitRate = 0;    // stream bit rate
    std::string title;   // ID3/INFO title tag
    double duration = 0; // seconds, as ffprobe reckons the whole file
};
// Runs ffprobe on the file.
ProbeResult Probe(const std::string& path);

// Checks that `converted` is a camera MP3 (mono, 8 kbit/s, at `rate`) whose
// audio, every frame as mpg123 counts it, is `input`'s (ffprobe's duration)
// plus at most `maxExtra` seconds the coders add at the ends.
void ExpectCameraMp3Of(const std::string& converted, const std::string& input, int rate, double maxExtra);

// Runs `cli convert --rate rate --jobs 2` on the inputs into a new folder
// `outDir`, expects exit 0, and checks each (input, name of its output)
// pair with ExpectCameraMp3Of.
void ExpectConvertedToCameraMp3s(const std::string& cli,
                                 const std::vector<std::pair<std::string, std::string>>& inputsAndOutputs,
                                 const std::string& outDir, int rate, double maxExtra);

// Decodes an MP3 with mpg123 to raw 16-bit samples (native channels and rate).
bool DecodeWithMpg123(const std::string& path, std::vector<int16_t>* samples, bool mono = false);

// Decodes any file with ffmpeg to raw 16-bit mono samples at `rate`.
bool DecodeWithFfmpeg(const std::string& path, int rate, std::vector<int16_t>* samples);

// The quantisation step of G.711's segment that a 16-bit sample falls in:
// A-law from 16 (the two lowest segments) to 1024, µ-law from 8 to 1024.
int G711Step(bool aLaw, int sample);

// Checks that `path` is an 8000 Hz mono G.711 WAV of `codec` (pcm_alaw or
// pcm_mulaw, by ffprobe) that ffmpeg decodes to `reference`, sample for
// sample, within one step of each sample's segment.
void ExpectG711Of(const std::string& path, const std::string& codec, const std::vector<int16_t>& reference);

}  // namespace tesvano::test
