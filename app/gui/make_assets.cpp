// Makes the files data/ ships that are not text: the background-music MP3s,
// synthesised here from plain tones so their origin is clear, and the icon.
// Run with: cmake --build --preset default --target make-assets
//           build/default/bin/make-assets data packaging/icons
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <lame/lame.h>
#include <string>
#include <vector>

#include "app/gui/app_icon.h"

namespace {

struct Track {
    const char* name;
    int rate;
    int channels;
    int kbps;
    double seconds;
};

double Bell(double t, double freq) {
    // Inharmonic partials with exponential decay: a small bell.
    static const double kPartials[][2] = {{1.0, 1.0}, {2.76, 0.5}, {5.40, 0.25}, {8.93, 0.12}};
    double v = 0;
    for (const auto& p : kPartials) v += p[1] * std::exp(-t * (1.5 + p[0])) * std::sin(2 * M_PI * freq * p[0] * t);
    return v;
}

// Peaks at -4.5 dBFS before encoding, so the decoded MP3 stays below -3 dBFS
// and leaves a voice room on top of it.
constexpr double kPeak = 0.596;

std::vector<short> Synthesize(const Track& tr, int which) {
    const size_t frames = static_cast<size_t>(tr.rate * tr.seconds);
    std::vector<double> wave(frames * tr.channels);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / tr.rate;
        double l = 0, r = 0;
        if (which == 0) {  // chimes: C E G C arpeggio, repeating every 2 s
            const double notes[] = {523.25, 659.25, 783.99, 1046.5};
            for (int k = 0; k < 4; ++k) {
                for (double start = k * 0.5; start < tr.seconds; start += 2.0) {
                    if (t < start) continue;
                    double b = Bell(t - start, notes[k]) * 0.28;
                    l += b * (1.0 - k * 0.2);
                    r += b * (0.4 + k * 0.2);
                }
            }
        } else if (which == 1) {  // soft pad: A minor chord with slow tremolo
            const double chord[] = {220.0, 261.63, 329.63, 440.0};
            const double fade = std::min(1.0, std::min(t, tr.seconds - t) / 1.5);
            for (double f : chord) l += std::sin(2 * M_PI * f * t) + 0.3 * std::sin(4 * M_PI * f * t);
            l *= 0.12 * (0.8 + 0.2 * std::sin(2 * M_PI * 0.5 * t)) * fade;
            r = l;
        } else {  // doorbell: ding-dong
            l = Bell(t, 659.25) * 0.6;
            if (t > 0.6) l += Bell(t - 0.6, 523.25) * 0.6;
            r = l;
        }
        if (tr.channels == 2) {
            wave[2 * i] = l;
            wave[2 * i + 1] = r;
        } else {
            wave[i] = (l + r) / (which == 0 ? 2 : 1);
        }
    }
    double peak = 0;
    for (double v : wave) peak = std::max(peak, std::abs(v));
    const double gain = peak > 0 ? kPeak * 32767 / peak : 0;
    std::vector<short> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) out[i] = static_cast<short>(std::lround(wave[i] * gain));
    return out;
}

bool Encode(const Track& tr, const std::vector<short>& pcm, const std::string& path) {
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, tr.rate);
    lame_set_out_samplerate(lame, tr.rate);
    lame_set_num_channels(lame, tr.channels);
    lame_set_mode(lame, tr.channels == 2 ? JOINT_STEREO : MONO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, tr.kbps);
    lame_set_quality(lame, 2);
    if (lame_init_params(lame) != 0) return false;
    id3tag_init(lame);
    id3tag_set_title(lame, tr.name);
    id3tag_set_artist(lame, "Tesvano");
    const int frames = static_cast<int>(pcm.size() / tr.channels);
    std::vector<unsigned char> mp3(static_cast<size_t>(frames * 1.25 + 7200) * 2);
    int n = tr.channels == 2
                ? lame_encode_buffer_interleaved(lame, const_cast<short*>(pcm.data()), frames, mp3.data(), int(mp3.size()))
                : lame_encode_buffer(lame, pcm.data(), nullptr, frames, mp3.data(), int(mp3.size()));
    if (n < 0) return false;
    int f = lame_encode_flush(lame, mp3.data() + n, int(mp3.size()) - n);
    lame_close(lame);
    if (f < 0) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(mp3.data(), 1, size_t(n + f), file) == size_t(n + f);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-assets DATA_DIR [ICON_THEME_DIR]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Track tracks[] = {
        {"chimes", 44100, 2, 64, 8.0},
        {"soft-pad", 22050, 1, 32, 10.0},
        {"doorbell", 16000, 1, 32, 3.0},
    };
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir + "/" + tracks[i].name + ".mp3";
        if (!Encode(tracks[i], Synthesize(tracks[i], i), path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    QGuiApplication app(argc, argv);
    const std::string icon = dir + "/tesvano.png";
    if (!tesvano::DrawAppIcon(128).save(QString::fromStdString(icon))) return 1;
    std::printf("%s\n", icon.c_str());
    // The other sizes of the icon theme; 128 px is the one above.
    for (int size : {48, 256}) {
        if (argc < 3) break;
        const std::string sized = std::string(argv[2]) + "/" + std::to_string(size) + "x" + std::to_string(size);
        const std::string path = sized + "/tesvano.png";
        if (!QDir().mkpath(QString::fromStdString(sized)) || !tesvano::DrawAppIcon(size).save(QString::fromStdString(path)))
            return 1;
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
