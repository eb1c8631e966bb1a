#include "operations/record.h"

#include <cstdio>
#include <ctime>

#include "capture/capture_library.h"
#include "i18n/language_table.h"
#include "operations/music.h"
#include "operations/camera_mp3.h"
#include "operations/generate.h"
#include "operations/reason.h"
#include "platform/system.h"
#include "platform/text.h"

namespace tesvano {

// Start and stop change the state; only these functions and the callback
// touch it, the callback only while a capture runs.
class RecordingControl {
public:
    static OpResult Start(IMainWindow& w, const RecordRequest& request);
    static OpResult Stop(IMainWindow& w, const RecordRequest& request);
    static void Close(IMainWindow& w);
};

namespace {

std::u16string T(const char* key) { return CLanguageTable::Instance().GetText(key); }

// Encodes and saves what was recorded; the result of the stop click.
OpResult SaveRecording(IMainWindow& w, const RecordRequest& request, std::span<const uint8_t> pcm) {
    // 64-bit: a recording of more than 4 GiB still reports its real size.
    w.LogFormat("%s%llu Bytes", GetAnsiText("RECORD_PCM_DATALENGTH").c_str(),
                static_cast<unsigned long long>(pcm.size()));
    return SaveCameraMp3(w, request.rate, pcm, RecordingFileName(WideToAnsi(request.saveDir), GetTickCount32()));
}

}  // namespace

Recording::~Recording() {
    if (active_) CurrentCaptureLibrary().StopAudioCapture();
}

int Recording::OnAudioCaptured(const unsigned char* data, unsigned int length, void* user) {
    if (user && data) static_cast<Recording*>(user)->buffer_.Append(data, length);
    return 0;
}

OpResult RecordingControl::Start(IMainWindow& w, const RecordRequest& request) {
    Recording& r = w.recording();
    r.buffer_.Reset();
    const int result = CurrentCaptureLibrary().StartAudioCapture(request.rate, 16, 1, &Recording::OnAudioCaptured, &r);
    w.AppendLog(T(CaptureResultKey(result)));
    if (result != kCaptureOk) {
        LogReason(w, LastCaptureError());
        return OpResult::kFailed;
    }
    r.active_ = true;
    r.startTick_ = GetTickCount32();
    w.SetItemText(IDC_RECORD, T("STOP"));
    return OpResult::kDone;
}

// The rate of the stop's request, not of the start's, is the one the audio is saved at.
OpResult RecordingControl::Stop(IMainWindow& w, const RecordRequest& request) {
    Recording& r = w.recording();
    CurrentCaptureLibrary().StopAudioCapture();
    const uint32_t stopTick = GetTickCount32();
    // Unsigned difference: a tick that wrapped meanwhile still gives the real time.
    const uint32_t elapsed = stopTick - r.startTick_;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%0.3f", elapsed / 1000.0);
    w.AppendLog(T("RECORD_STOPED") + u"," + T("RECORD_TIME_LENGTH") + AnsiToWide(seconds) + u" " +
                T("TIME_SECONDS"));
    r.active_ = false;
    w.SetItemText(IDC_RECORD, T("RECORD"));
    // Blocks dropped when memory ran out: the recording has gaps; say so.
    if (r.buffer_.lostAudio()) w.AppendLog(T("MALLOC_FAILED"));

    PcmBuffer music;
    if (DecodeBackgroundMusic(w, request.music, request.rate, &music) < 0) return OpResult::kFailed;
    if (r.buffer_.size() > 0) {
        try {
            PcmBuffer joined;
            if (MixMusic(request.music, r.buffer_.bytes(), music, &joined) && !r.buffer_.Replace(joined))
                w.AppendLog(T("MALLOC_FAILED"));  // saved without its music
        } catch (const std::bad_alloc&) {
            // The recording without its music is still worth saving.
            w.AppendLog(T("MALLOC_FAILED"));
        }
    }
    music = PcmBuffer();
    if (r.buffer_.size() == 0) return OpResult::kFailed;
    return SaveRecording(w, request, r.buffer_.bytes());
}

void RecordingControl::Close(IMainWindow& w) {
    Recording& r = w.recording();
    if (r.active_) {
        CurrentCaptureLibrary().StopAudioCapture();
        r.active_ = false;
    }
    r.buffer_.Release();
}

OpResult ToggleRecording(IMainWindow& w, const RecordRequest& request) {
    return w.recording().active() ? RecordingControl::Stop(w, request) : RecordingControl::Start(w, request);
}

OpResult OnRecord(IMainWindow& w) { return ToggleRecording(w, ReadRecordRequest(w)); }

void CloseRecording(IMainWindow& w) { RecordingControl::Close(w); }

void ShowRecordingTime(IMainWindow& w) {
    const Recording& r = w.recording();
    if (!r.active()) return;
    const uint32_t seconds = (GetTickCount32() - r.startTick()) / 1000;
    char clock[32];
    std::snprintf(clock, sizeof clock, " %u:%02u", seconds / 60, seconds % 60);
    w.SetItemText(IDC_RECORD, T("STOP") + AnsiToWide(clock));
}

const char* CaptureResultKey(int result) {
    switch (result) {
    case kCaptureOk:
        return "RECORD_START_OK";
    case kCaptureNotFindDevice:
        return "ERR_NOT_FIND_DEVICE";
    case kCaptureOpenFailed:
        return "ERR_OPEN_AUDIOCAPTURE_FAIL";
    case kCaptureStartFailed:
        return "ERR_START_AUDIOCAPTURE_FAIL";
    case kCaptureParamError:
        return "ERR_AUDIO_PARAM_ERROR";
    case kCaptureOutOfMemory:
        return "ERR_OUTOFF_MEMORY";
    case kCaptureThreadError:
        return "ERR_START_THREADERROR";
    case kCaptureAlreadyStarted:
        return "ERR_IS_STARTAUDIO_ERROR";
    default:
        return "RECORD_FAILED";
    }
}

std::string RecordingFileName(const std::string& saveDir, uint32_t tick) {
    return saveDir + "/" + DatedFileStem(tick) + ".mp3";
}

}  // namespace tesvano
