// Times `tesvano-cli say` with a voice a speech server speaks (half a minute of
// 24 kHz WAV from a loopback server), whole process, against ffmpeg making
// the same request and the same camera MP3. Prints medians and ratio.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "tests/support/speech_server.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kRuns = 7;
constexpr char kRequest[] = R"({"model":"tts-1","input":"Welcome","voice":"alloy","response_format":"wav"})";

std::string Hex(const std::string& s) {
    std::string out;
    char two[3];
    for (unsigned char c : s) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    using tesvano::test::RunProgram;
    const std::string bin = argc > 1 ? argv[1] : ".";
    tesvano::test::TempDir dir;
    if (RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=24000:duration=30", "-c:a", "pcm_s16le", dir / "answer.wav"}) != 0) {
        std::printf("ffmpeg not available\n");
        return 0;
    }
    const auto wav = tesvano::test::ReadFileBytes(dir / "answer.wav");
    tesvano::test::SpeechServer server(tesvano::test::SpeechServer::Answer::kAudio, std::string(wav.begin(), wav.end()));
    std::ofstream(dir / "voices.conf") << "[server]\nurl = " << server.url() << "\n[voices]\nhenry = alloy\n";
    setenv("TESVANO_VOICES", (dir / "voices.conf").c_str(), 1);
    setenv("TESVANO_NO_DESKTOP_OPEN", "1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);

    const double ours = tesvano::bench::MedianMs(kRuns, [&] {
        return RunProgram({bin + "/tesvano-cli", "say", "Welcome", "--voice", "henry", "--dir", dir.str()}) == 0;
    });
    const double peer = tesvano::bench::MedianMs(kRuns, [&] {
        return RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-headers",
                           "Content-Type: application/json\r\n", "-post_data", Hex(kRequest), "-i", server.url(), "-ar",
                           "16000", "-ac", "1", "-c:a", "libmp3lame", "-b:a", "8k", dir / "peer.mp3"}) == 0;
    });
    if (ours < 0) {
        std::fprintf(stderr, "tesvano-cli say with a server voice failed\n");
        return 1;
    }
    if (peer < 0) {
        std::printf("server voice, 30 s answer to a camera MP3: tesvano-cli %.1f ms (median of %d); ffmpeg failed\n", ours,
                    kRuns);
        return 0;
    }
    std::printf("server voice, 30 s of 24 kHz WAV to a camera MP3, whole process: tesvano-cli %.1f ms, "
                "ffmpeg POST + encode %.1f ms, ratio %.2f\n",
                ours, peer, ours / peer);
    return 0;
}
