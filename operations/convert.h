// The conversion buttons: convert one MP3 (1017), MP3 to WAV (1020) and batch
// convert (1019), their two pipelines, and the many-files run of the console.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "audio/g711.h"
#include "audio/pcm.h"
#include "operations/main_window.h"

namespace tesvano {

// How one file's conversion ended. fileError is the errno when the input
// could not be opened or read: then nothing was logged, and the caller shows
// the file-error box (ShowFileError).
struct ConvertResult {
    OpResult result = OpResult::kFailed;
    int fileError = 0;
};

// Decode `input` (any file; paths are file-system bytes) and re-encode it as
// a camera MP3 at `rate` into `output`, which may be the input itself.
ConvertResult ConvertToMp3File(IMainWindow& window, int rate, const std::string& input, const std::string& output,
                               bool open);
// Decode `input` into a WAV file at `output`; never written over the input.
ConvertResult ConvertToWavFile(IMainWindow& window, int rate, const std::string& input, const std::string& output);

// Decode `input` at 8000 Hz into an A-law or µ-law WAV at `output`; never
// written over the input.
ConvertResult ConvertToG711File(IMainWindow& window, G711Law law, const std::string& input,
                                const std::string& output);

// Decodes `input` (MPEG audio, else anything FFmpeg reads) to mono PCM at
// `rate` and logs the decode line. False when there is nothing to go on
// with: a file error (result->fileError set, nothing logged), a decoding
// failure or no audio at all.
bool DecodeInput(IMainWindow& window, int rate, const std::string& input, PcmBuffer* pcm, ConvertResult* result);

// The file's name: what follows the last "/".
std::string FileNameOf(const std::string& path);
// The WAV name for a chosen file's name: every ".mp3" becomes ".wav", a final
// ".mp3" in any letter case too, and a name that does not end in ".mp3" gets
// ".wav" appended (a.mp3.mp3 → a.wav.wav, A.MP3 → A.wav, noext → noext.wav).
std::string WavNameFor(const std::string& name);

// The MP3 name for a chosen file's name: a name ending in ".mp3" (any case)
// stays, any other gets ".mp3" appended (a.wav → a.wav.mp3), so a camera
// MP3 never carries another format's extension nor overwrites its input.
std::string Mp3NameFor(const std::string& name);

// The box about a file that cannot be opened or read; `more` is added as a
// second line when not empty.
void ShowFileError(IMainWindow& window, const std::string& path, int error, const std::u16string& more = {});

OpResult OnConvertMp3(IMainWindow& window);    // button 1017
OpResult OnMp3ToWav(IMainWindow& window);      // button 1020
OpResult OnBatchConvert(IMainWindow& window);  // button 1019

// Many files into one folder. With jobs > 1 files are converted in parallel;
// each file's lines still reach the window together and in input order.
// Before anything is written, an input whose output would be another input,
// or the output of an earlier input, is refused with a line naming both
// files (and the run fails); converting a file onto itself stays allowed.
enum class ConvertKind { kMp3, kWav, kALaw, kMuLaw };
struct ConvertBatch {
    ConvertKind kind = ConvertKind::kMp3;
    int rate = 16000;                // of MP3 and WAV; G.711 is always 8000
    std::string saveDir;
    unsigned jobs = 1;
    bool open = false;               // hand each written MP3 to the desktop
    bool stopAtUnreadable = false;   // the window's batch ends at a file it cannot read
    // After each file's lines, with how that file ended.
    std::function<void(size_t done, size_t total, OpResult file)> progress;
};
// kFailed when any file failed, else kOverLimit when any MP3 is over the
// camera's limit, else kDone.
OpResult ConvertFiles(IMainWindow& window, const std::vector<std::string>& inputs, const ConvertBatch& batch);

}  // namespace tesvano
