// The two capture functions and the source helper of libQuaboNetSdk. One
// capture at a time: a session owns the opened input and the thread that
// delivers its blocks.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "sdk/camera/audio_input.h"
#include "sdk/camera/diagnostics.h"
#include "sdk/camera/quabo_netsdk.h"
#include "sdk/camera/source.h"
#include "sdk/printable.h"

namespace camera {
namespace {

// A broken stream is reopened this often, this far apart, before delivery stops.
constexpr int kReopenTries = 4;
constexpr std::chrono::seconds kReopenPause{2};

class Session {
public:
    Session(Source source, int rate, QUABO_NETSDK_AudioCallback callback, void* user)
        : source_(std::move(source)), rate_(rate), blockSamples_(size_t(rate / 25)), callback_(callback), user_(user) {}

    int Open(std::string* reason) {
        input_ = std::make_unique<AudioInput>(&stop_);
        return input_->Open(source_, rate_, Clock::now() + kOpenBudget, reason);
    }

    void Start() { thread_ = std::thread(&Session::Run, this); }

    // From the callback itself: that block is the last one delivered.
    void AskToStopFromCallback() {
        stopFromCallback_ = true;
        AskToStop();
    }

    void AskToStop() {
        {
            std::lock_guard<std::mutex> lock(pauseMutex_);
            stop_ = true;
        }
        pauseWake_.notify_all();
    }

    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    bool stopAsked() const { return stop_.load(); }

private:
    void Run();
    bool Reopen();
    void Deliver(bool tail);

    Source source_;
    int rate_;
    size_t blockSamples_;
    QUABO_NETSDK_AudioCallback callback_;
    void* user_;
    std::atomic<bool> stop_{false};
    bool stopFromCallback_ = false;  // set and read on the capture thread only
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    std::unique_ptr<AudioInput> input_;
    std::thread thread_;
    std::vector<int16_t> pending_;  // converted samples not yet delivered
};

thread_local Session* t_session = nullptr;  // the session whose thread this is

// Hands out whole 40 ms blocks; with tail, also the rest.
void Session::Deliver(bool tail) {
    size_t done = 0;
    if (stopFromCallback_) done = pending_.size();
    while (!stopFromCallback_ && (pending_.size() - done >= blockSamples_ || (tail && done < pending_.size()))) {
        size_t n = std::min(blockSamples_, pending_.size() - done);
        callback_(reinterpret_cast<const unsigned char*>(pending_.data() + done), unsigned(n * sizeof(int16_t)), user_);
        done += n;
    }
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(done));
}

void Session::Run() {
    t_session = this;
    for (;;) {
        AudioInput::Step step = input_->Next(&pending_);
        Deliver(false);
        if (step == AudioInput::Step::kSamples) continue;
        if (step == AudioInput::Step::kStopped) break;
        // What the decoder still holds came before the end or the break.
        input_->Flush(&pending_);
        Deliver(false);
        if (source_.kind == SourceKind::kFile) {
            if (step == AudioInput::Step::kBroken) Diagnose("reading " + source_.url + " failed: " + input_->reason());
            break;
        }
        Diagnose(source_.url + (step == AudioInput::Step::kEnd ? " ended" : " broke: " + input_->reason()) +
                 "; reopening");
        input_.reset();
        if (!Reopen()) break;
    }
    Deliver(true);
    input_.reset();
    t_session = nullptr;
}

bool Session::Reopen() {
    for (int attempt = 1; attempt <= kReopenTries; ++attempt) {
        {
            std::unique_lock<std::mutex> lock(pauseMutex_);
            if (pauseWake_.wait_for(lock, kReopenPause, [this] { return stop_.load(); })) return false;
        }
        auto input = std::make_unique<AudioInput>(&stop_);
        std::string reason;
        if (input->Open(source_, rate_, Clock::now() + kOpenBudget, &reason) == QUABO_NETSDK_OK) {
            input_ = std::move(input);
            Diagnose(source_.url + " reopened");
            return true;
        }
        if (stop_) return false;
        Diagnose("reopening " + source_.url + " failed (" + std::to_string(attempt) + "): " + reason);
    }
    Diagnose(source_.url + " stays down; capture delivers nothing more");
    return false;
}

std::mutex g_mutex;
std::unique_ptr<Session> g_session;

constexpr int kTestRate = 16000;

// Opens a source apart from any capture and reads up to `seconds` of it.
int Test(const std::string& url, int seconds, std::string* report) {
    InstallFfmpegLog();
    const Source source = ClassifySource(url);
    const std::atomic<bool> never{false};
    AudioInput input(&never);
    std::string reason;
    const int opened = input.Open(source, kTestRate, Clock::now() + kOpenBudget, &reason);
    if (opened != QUABO_NETSDK_OK) {
        *report = "cannot open " + MaskPasswords(url) + ": " + reason;
        return opened;
    }
    std::vector<int16_t> samples;
    const auto end = Clock::now() + std::chrono::seconds(std::clamp(seconds, 1, 10));
    // A second of audio tells enough; a silent source gives up at `end`.
    while (samples.size() < size_t(kTestRate) && Clock::now() < end) {
        if (input.Next(&samples) != AudioInput::Step::kSamples) break;
    }
    input.Flush(&samples);
    if (samples.empty()) {
        *report = MaskPasswords(url) + " sent no audio" + (input.reason().empty() ? "" : ": " + input.reason());
        return QUABO_NETSDK_ERR_OPEN_AUDIOCAPTURE;
    }
    int peak = 0;
    for (int16_t v : samples) peak = std::max(peak, std::abs(int(v)));
    char level[64];
    if (peak == 0)
        std::snprintf(level, sizeof level, "silence");
    else
        std::snprintf(level, sizeof level, "peak %.1f dBFS", 20 * std::log10(peak / 32768.0));
    *report = input.Describe() + ", " + level;
    return QUABO_NETSDK_OK;
}

int Start(int rate, int bits, int channels, QUABO_NETSDK_AudioCallback callback, void* user) {
    if (t_session) return QUABO_NETSDK_ERR_ALREADY_CAPTURING;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_session) {
        // Stopped from its own callback: only the join is left to do.
        if (!g_session->stopAsked()) return QUABO_NETSDK_ERR_ALREADY_CAPTURING;
        g_session->Join();
        g_session.reset();
    }
    if (bits != 16 || channels != 1 || (rate != 8000 && rate != 16000) || !callback) {
        Diagnose("unsupported capture parameters: " + std::to_string(rate) + " Hz, " + std::to_string(bits) +
                 " bits, " + std::to_string(channels) + " channels");
        return QUABO_NETSDK_ERR_AUDIO_PARAM;
    }
    InstallFfmpegLog();
    std::string url, error;
    switch (FindSource(ProcessConfigPlaces(), &url, &error)) {
        case ConfigResult::kFound: break;
        case ConfigResult::kNone:
            Diagnose("no camera source: set TESVANO_CAMERA_URL or write one in tesvano/camera.conf");
            return QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
        case ConfigResult::kUnreadable:
            Diagnose("cannot read " + error);
            return QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
    }
    auto session = std::unique_ptr<Session>(new (std::nothrow) Session(ClassifySource(url), rate, callback, user));
    if (!session) return QUABO_NETSDK_ERR_OUT_OF_MEMORY;
    std::string reason;
    int result = session->Open(&reason);
    if (result != QUABO_NETSDK_OK) {
        Diagnose("cannot open " + url + ": " + reason);
        return result;
    }
    try {
        session->Start();
    } catch (const std::system_error& e) {
        Diagnose(std::string("cannot start the capture thread: ") + e.what());
        return QUABO_NETSDK_ERR_START_THREAD;
    }
    g_session = std::move(session);
    return QUABO_NETSDK_OK;
}

int Stop() {
    if (t_session) {
        t_session->AskToStopFromCallback();
        return QUABO_NETSDK_OK;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_session) return QUABO_NETSDK_OK;
    g_session->AskToStop();
    g_session->Join();
    g_session.reset();
    return QUABO_NETSDK_OK;
}

// snprintf-like: as much of text as fits, terminated; its whole length.
int CopyOut(const std::string& text, char* buf, int size) {
    if (buf && size > 0) {
        const size_t n = std::min(text.size(), size_t(size - 1));
        std::memcpy(buf, text.data(), n);
        buf[n] = '\0';
    }
    return int(std::min<size_t>(text.size(), 0x7fffffff));
}

}  // namespace
}  // namespace camera

extern "C" {

QUABO_NETSDK_API int QUABO_NETSDK_IPC_StartAudioCapture(int sampleRate, int bitsPerSample, int channels,
                                                        QUABO_NETSDK_AudioCallback callback, void* user) {
    try {
        return camera::Start(sampleRate, bitsPerSample, channels, callback, user);
    } catch (const std::bad_alloc&) {
        return QUABO_NETSDK_ERR_OUT_OF_MEMORY;
    }
}

QUABO_NETSDK_API int QUABO_NETSDK_IPC_StopAudioCapture(void) { return camera::Stop(); }

QUABO_NETSDK_API int TesvanoCameraTest(const char* source, int seconds, char* report, int size) {
    std::string text;
    int result = QUABO_NETSDK_ERR_NOT_FIND_DEVICE;
    try {
        if (source && *source) result = camera::Test(source, seconds, &text);
        else text = "no camera source given";
    } catch (const std::bad_alloc&) {
        result = QUABO_NETSDK_ERR_OUT_OF_MEMORY;
        text = "out of memory";
    }
    camera::CopyOut(sdk::Printable(text), report, size);
    return result;
}

QUABO_NETSDK_API int TesvanoCameraLastError(char* buf, int size) {
    try {
        return camera::CopyOut(camera::LastDiagnosis(), buf, size);
    } catch (const std::bad_alloc&) {
        if (buf && size > 0) buf[0] = '\0';
        return -1;
    }
}

QUABO_NETSDK_API int TesvanoCameraSource(char* buf, int size) {
    try {
        std::string url, error;
        switch (camera::FindSource(camera::ProcessConfigPlaces(), &url, &error)) {
            case camera::ConfigResult::kFound: break;
            case camera::ConfigResult::kNone: url.clear(); break;
            case camera::ConfigResult::kUnreadable:
                camera::Diagnose(error);
                if (buf && size > 0) buf[0] = '\0';
                return -1;
        }
        return camera::CopyOut(camera::MaskPasswords(url), buf, size);
    } catch (const std::bad_alloc&) {
        if (buf && size > 0) buf[0] = '\0';
        return -1;
    }
}

}  // extern "C"
