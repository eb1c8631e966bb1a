// Playing on a camera, timed where the camera hears it: gst-rtsp-server's
// ONVIF server on loopback stamps every buffer its back channel decodes.
//  - latency: from the log line that starts the playing (the synthesis is
//    done) to the first audio the camera decodes, for `say --play`;
//  - drift: over a long clip, the time between the first and the last
//    buffer against the audio between them.
//
//   bench_play [BIN_DIR] [DRIFT_SECONDS]   (default 60)
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "tests/support/servers.h"

namespace {

using Clock = std::chrono::steady_clock;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Arrival {
    long long ns;
    long long bytes;
};

// The camera's stamps until `quiet` passes without one, or `limit` in all.
std::vector<Arrival> Collect(tesvano::test::Child& server, std::chrono::milliseconds quiet,
                             std::chrono::milliseconds limit) {
    std::vector<Arrival> got;
    const auto end = Clock::now() + limit;
    std::string line;
    while (Clock::now() < end && server.ReadLine(&line, got.empty() ? limit : quiet)) {
        Arrival a{};
        if (std::sscanf(line.c_str(), "%lld %lld", &a.ns, &a.bytes) == 2) got.push_back(a);
    }
    return got;
}

// Starts tesvano-cli with its standard output on a pipe; -1 on failure.
pid_t Start(std::vector<std::string> args, int* out) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    *out = fds[0];
    return pid;
}

// The time the line holding `marker` was read, or -1.
long long WaitForLine(int fd, const std::string& marker, std::chrono::milliseconds limit) {
    std::string line;
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char c;
        if (read(fd, &c, 1) != 1) return -1;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.find(marker) != std::string::npos) return NowNs();
        line.clear();
    }
    return -1;
}

bool Finish(pid_t pid, int fd) {
    char sink[256];
    while (read(fd, sink, sizeof sink) > 0) {
    }
    close(fd);
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace std::chrono_literals;
    const std::string bin = argc > 1 ? argv[1] : ".";
    const int driftSeconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 60;
    setenv("TALK_SERVER_TIMES", "1", 1);
    char dir[] = "/tmp/tesvano-play-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string d = dir;

    // Latency: five runs of say --play, the median; AAC adds its encoder.
    std::vector<double> latencies, aacLatencies;
    for (const char* mode : {"pcmu", "aac"}) {
        std::vector<double>& found = std::string(mode) == "aac" ? aacLatencies : latencies;
        for (int run = 0; run < 5; ++run) {
            tesvano::test::Child server({bin + "/talk_onvif_server", mode, d + "/say.raw"});
            std::string port;
            if (!server.ReadLine(&port, 10s)) return 1;
            setenv("TESVANO_CAMERA_URL", ("rtsp://127.0.0.1:" + port + "/camera").c_str(), 1);
            int out = -1;
            const pid_t pid = Start({bin + "/tesvano-cli", "say", "请注意，您已进入监控区域。", "--play"}, &out);
            if (pid < 0) return 1;
            const long long started = WaitForLine(out, "rtsp://", 20s);
            const std::vector<Arrival> got = Collect(server, 1500ms, 30s);
            if (!Finish(pid, out) || started < 0 || got.empty()) {
                std::fprintf(stderr, "say --play (%s) failed\n", mode);
                return 1;
            }
            found.push_back(double(got.front().ns - started) / 1e6);
        }
        std::sort(found.begin(), found.end());
    }

    // Drift: one long tone through play.
    const std::string tone = d + "/tone.wav";
    if (!tesvano::bench::Run({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                              "sine=frequency=1000:sample_rate=16000", "-t", std::to_string(driftSeconds), tone})) {
        std::printf("play: first audio at the camera %.1f ms after the synthesis (median of 5; target < 150 ms); "
                    "ffmpeg missing, no drift run\n",
                    latencies[2]);
        return 0;
    }
    tesvano::test::Child server({bin + "/talk_onvif_server", "pcmu", d + "/play.raw"});
    std::string port;
    if (!server.ReadLine(&port, 10s)) return 1;
    setenv("TESVANO_CAMERA_URL", ("rtsp://127.0.0.1:" + port + "/camera").c_str(), 1);
    int out = -1;
    const pid_t pid = Start({bin + "/tesvano-cli", "play", tone}, &out);
    const std::vector<Arrival> got = Collect(server, 1500ms, std::chrono::seconds(driftSeconds + 30));
    if (pid < 0 || !Finish(pid, out) || got.size() < 2) {
        std::fprintf(stderr, "play failed\n");
        return 1;
    }
    // Arrival time against audio position, fitted by least squares after the
    // first half second (the camera's jitter buffer releases the start in a
    // burst): a slope of 1 is real time, and slope - 1 the drift.
    double n = 0, sa = 0, st = 0, saa = 0, sat = 0;
    for (const Arrival& a : got) {
        const double at = double(a.bytes) / 2 / 8000;
        if (at < 0.5) continue;
        const double t = double(a.ns - got.front().ns) / 1e9;
        n += 1;
        sa += at;
        st += t;
        saa += at * at;
        sat += at * t;
    }
    const double slope = (n * sat - sa * st) / (n * saa - sa * sa);
    const double driftMsPerMin = (slope - 1) * 60 * 1000;
    const double audio = double(got.back().bytes) / 2 / 8000;
    long long worstGapNs = 0;
    for (size_t i = 1; i < got.size(); ++i) worstGapNs = std::max(worstGapNs, got[i].ns - got[i - 1].ns);
    for (const char* f : {"/say.raw", "/play.raw", "/tone.wav"}) unlink((d + f).c_str());
    rmdir(dir);

    std::printf("play on a camera (loopback ONVIF server, PCMU): first audio at the camera %.1f ms after the "
                "synthesis (median of 5, range %.1f-%.1f; target < 150 ms); pacing over %.1f s: drift %+.2f ms/min "
                "(target < 20), longest gap between packets %.1f ms; to a camera that takes only AAC, first audio "
                "%.1f ms after the synthesis (median of 5)\n",
                latencies[2], latencies.front(), latencies.back(), audio, driftMsPerMin, double(worstGapNs) / 1e6,
                aacLatencies[2]);
    return 0;
}
