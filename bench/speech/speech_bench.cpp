// Times libmsc through its six functions at 16000 Hz: the real-time factor of
// synthesis (time spent / audio length) for a 20-character Chinese text and a
// 200-character English text, and the time from session begin to the first
// piece for the short text. Targets: real-time factor below 0.05, first piece
// within 50 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "sdk/msc/msc.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Run {
    double firstPieceMs = 0;
    double totalMs = 0;
    double audioSeconds = 0;
};

bool Speak(const char* voice, const std::string& text, Run* run) {
    std::string params = std::string("voice_name =") + voice +
                         ", text_encoding = utf8, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 2";
    auto t0 = Clock::now();
    int error = 0;
    const char* id = QTTSSessionBegin(params.c_str(), &error);
    if (error) return false;
    if (QTTSTextPut(id, text.data(), unsigned(text.size()), nullptr) != 0) return false;
    size_t bytes = 0;
    int status = 0;
    bool first = true;
    while (status != MSP_TTS_FLAG_DATA_END) {
        unsigned length = 0;
        const void* piece = QTTSAudioGet(id, &length, &status, &error);
        if (error) return false;
        if (piece && length && first) {
            run->firstPieceMs = Ms(Clock::now() - t0);
            first = false;
        }
        bytes += length;
    }
    run->totalMs = Ms(Clock::now() - t0);
    run->audioSeconds = double(bytes) / 2 / 16000;
    return QTTSSessionEnd(id, "Normal") == 0 && bytes > 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const std::string chinese = "请注意，您已进入监控区域，请勿靠近大门。谢谢您";  // 20 Han characters and 3 marks
    std::string english =
        "Attention please. You have entered an area under video surveillance. Stay away from the gate and keep the "
        "driveway clear. Deliveries go to the side door. Thank you for your help and have a nice day, friends.";
    english.resize(200, ' ');

    auto t0 = Clock::now();
    if (MSPLogin(nullptr, nullptr, "appid = 7c1e0a93, work_dir = .") != 0) {
        std::fprintf(stderr, "MSPLogin failed\n");
        return 1;
    }
    std::printf("engine start (first login): %.1f ms\n", Ms(Clock::now() - t0));

    struct Case {
        const char* name;
        const char* voice;
        const std::string* text;
    } cases[] = {{"20-char Chinese", "xiaoyan", &chinese}, {"200-char English", "catherine", &english}};
    for (const auto& c : cases) {
        Run cold;
        if (!Speak(c.voice, *c.text, &cold)) {
            std::fprintf(stderr, "%s: synthesis failed\n", c.name);
            return 1;
        }
        std::vector<double> rtf, first;
        for (int i = 0; i < 20; ++i) {
            Run r;
            if (!Speak(c.voice, *c.text, &r)) return 1;
            rtf.push_back(r.totalMs / 1000 / r.audioSeconds);
            first.push_back(r.firstPieceMs);
        }
        double medianRtf = Median(rtf);
        std::printf("%s at 16000 Hz: %.2f s of audio, real-time factor %.4f (median of 20, target < 0.05), "
                    "first piece %.1f ms (cold %.1f ms, target <= 50)\n",
                    c.name, cold.audioSeconds, medianRtf, Median(first), cold.firstPieceMs);
    }
    MSPLogout();
    return 0;
}
