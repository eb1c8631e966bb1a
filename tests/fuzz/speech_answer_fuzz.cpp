// libFuzzer target: any bytes as a speech server's answer. The first byte
// picks the configured format, the session's rate and the size of the pieces
// the answer arrives in; the rest is the answer. WAV and PCM decode to the
// same samples in pieces as whole, and no answer yields more samples than its
// bytes could hold.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sdk/msc/answer_decoder.h"
#include "sdk/msc/msc.h"

namespace {

int Decode(msc::ServerFormat format, int rate, const uint8_t* data, size_t size, size_t piece,
           std::vector<int16_t>* out) {
    msc::AnswerDecoder decoder(format, rate, 1.0f);
    for (size_t at = 0; at < size; at += piece) {
        const int result = decoder.Feed(data + at, std::min(piece, size - at), out);
        if (result != 0) return result;
    }
    return decoder.Finish(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    const auto format = static_cast<msc::ServerFormat>(control % 3);
    const int rate = control & 0x04 ? 8000 : 16000;
    const size_t piece = size_t{1} << ((control >> 3) % 12);
    ++data;
    --size;

    std::vector<int16_t> whole, pieces;
    const int a = Decode(format, rate, data, size, size ? size : 1, &whole);
    const int b = Decode(format, rate, data, size, piece, &pieces);
    if (a != 0 && a != MSP_ERROR_SERVER_NOT_AUDIO && a != MSP_ERROR_SERVER_TOO_LARGE && a != MSP_ERROR_ENGINE)
        std::abort();
    if (format != msc::ServerFormat::kMp3 && (a != b || (a == 0 && whole != pieces))) std::abort();
    // MP3 frames at 8 kbit/s and 8 kHz, resampled to 16 kHz, make the most of
    // a byte (16 samples); no answer rate is below 8000 Hz.
    if (whole.size() > size * 17 + 4096) std::abort();
    return 0;
}
