// msc-say: speaks a text into a WAV file through the six engine functions.
//
//   msc-say [-v voice] [-r 8000|16000] [-s speed] [-p pitch] [-a volume] -o out.wav text...
//   msc-say -l          lists the voices, with the server's name for those a server speaks
// Without text arguments the text is read from standard input. Text that is
// not UTF-8 is read as GB18030: the session declares no text encoding.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "sdk/msc/msc.h"

namespace {

const char* const kVoiceNames[] = {"xiaoyu",  "xiaoyan",  "vixy",     "xiaoqi",    "vixf",    "xiaomei",
                                   "vixl xiaolin", "xiaorong", "vixyun", "xiaokun", "xiaoqiang", "vixying",
                                   "xiaoxin", "nannan",   "catherine", "henry",   "vimary"};

int Usage() {
    std::fprintf(stderr,
                 "usage: msc-say [-v voice] [-r 8000|16000] [-s speed] [-p pitch] [-a volume] -o out.wav [text...]\n"
                 "       msc-say -l\n");
    return 2;
}

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// Canonical 44-byte header of 16-bit mono PCM.
void WavHeader(uint8_t h[44], uint32_t rate, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);          // fmt chunk size
    Put16(h + 20, 1);           // PCM
    Put16(h + 22, 1);           // channels
    Put32(h + 24, rate);
    Put32(h + 28, rate * 2);    // bytes per second
    Put16(h + 32, 2);           // block align
    Put16(h + 34, 16);          // bits per sample
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

bool WriteWav(const std::string& path, int rate, const std::vector<uint8_t>& pcm) {
    if (pcm.size() > 0xFFFFFFFFu - 36) return false;
    uint8_t header[44];
    WavHeader(header, uint32_t(rate), uint32_t(pcm.size()));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
              std::fwrite(pcm.data(), 1, pcm.size(), f) == pcm.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::remove(path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string voice = "xiaoyan", out;
    int rate = 16000, speed = 50, pitch = 50, volume = 50;
    int opt;
    while ((opt = getopt(argc, argv, "v:r:s:p:a:o:lh")) != -1) {
        switch (opt) {
            case 'v': voice = optarg; break;
            case 'r': rate = std::atoi(optarg); break;
            case 's': speed = std::atoi(optarg); break;
            case 'p': pitch = std::atoi(optarg); break;
            case 'a': volume = std::atoi(optarg); break;
            case 'o': out = optarg; break;
            case 'l':
                for (const char* name : kVoiceNames) {
                    char server[256];
                    if (TesvanoVoiceSource(name, server, sizeof server) > 0)
                        std::printf("%s\tserver: %s\n", name, server);
                    else
                        std::printf("%s\n", name);
                }
                return 0;
            default: return Usage();
        }
    }
    if (out.empty()) return Usage();

    std::string text;
    for (int i = optind; i < argc; ++i) {
        if (!text.empty()) text += ' ';
        text += argv[i];
    }
    if (optind == argc) {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            std::fprintf(stderr, "msc-say: cannot read standard input\n");
            return 1;
        }
    }

    int error = MSPLogin(nullptr, nullptr, "appid = msc-say, work_dir = .");
    if (error) {
        std::fprintf(stderr, "MSPLogin failed, error code: %d.\n", error);
        return 1;
    }
    std::string params = "voice_name = " + voice + ", sample_rate = " + std::to_string(rate) +
                         ", speed = " + std::to_string(speed) + ", volume = " + std::to_string(volume) +
                         ", pitch = " + std::to_string(pitch);
    std::vector<uint8_t> pcm;
    const char* session = QTTSSessionBegin(params.c_str(), &error);
    if (error) {
        std::fprintf(stderr, "QTTSSessionBegin failed, error code: %d.\n", error);
        MSPLogout();
        return 1;
    }
    error = QTTSTextPut(session, text.data(), unsigned(text.size()), nullptr);
    if (error) {
        std::fprintf(stderr, "QTTSTextPut failed, error code: %d.\n", error);
        QTTSSessionEnd(session, "TextPutError");
        MSPLogout();
        return 1;
    }
    int status = 0;
    do {
        unsigned length = 0;
        const void* piece = QTTSAudioGet(session, &length, &status, &error);
        if (error) {
            std::fprintf(stderr, "QTTSAudioGet failed, error code: %d.\n", error);
            QTTSSessionEnd(session, "AudioGetError");
            MSPLogout();
            return 1;
        }
        if (piece && length) pcm.insert(pcm.end(), static_cast<const uint8_t*>(piece), static_cast<const uint8_t*>(piece) + length);
        // Another engine library may deliver audio as it goes.
        if (status != MSP_TTS_FLAG_DATA_END && !length) usleep(10000);
    } while (status != MSP_TTS_FLAG_DATA_END);
    QTTSSessionEnd(session, "Normal");
    MSPLogout();

    if (!WriteWav(out, rate, pcm)) {
        std::fprintf(stderr, "msc-say: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%s: %zu samples at %d Hz\n", out.c_str(), pcm.size() / 2, rate);
    return 0;
}
