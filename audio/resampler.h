// Sample-rate and channel conversion of interleaved 16-bit PCM, block by
// block, in integer fixed point: whole-factor reduction by averaging, the
// remaining fraction by linear interpolation with a 16.16 phase. The state
// carries over between blocks, so a stream cut anywhere converts as one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tesvano {

struct ResamplerChannel {
    int32_t step;        // input samples per output sample after averaging, 16.16
    int32_t phase;       // position between the last sample and the next, 16.16
    int32_t lastSample;  // last input sample the interpolation consumed
    int32_t factor;      // whole reduction factor of the averaging stage (>= 1)
    int32_t countdown;   // samples still to add before the averaging emits
    int32_t sum;         // running sum of the current averaging group
    int32_t inverse;     // 65536 / factor
};

struct Resampler {
    ResamplerChannel channels[2];
    float ratio;         // output rate / input rate
    int inChannels;
    int outChannels;
    int filterChannels;  // channel states in use: min(in, out), at most 2
    // Reused between calls so that converting a block allocates nothing once
    // the largest block has been seen.
    std::vector<int16_t> mixed;     // 2 -> 1: the averaged pairs
    std::vector<int16_t> averaged;  // output of the averaging stage
};

// Null for more than two input channels (with a message on standard output),
// for a rate of 0 or less, for a ratio the fixed point cannot represent, and
// for channel arrangements other than 1/2 -> 1, 1/2 -> 2 and 2 -> 6.
Resampler* CreateResampler(int inChannels, int outChannels, int outRate, int inRate);
void ReleaseResampler(Resampler* resampler);

struct ResamplerDeleter {
    void operator()(Resampler* r) const { ReleaseResampler(r); }
};
using ResamplerPtr = std::unique_ptr<Resampler, ResamplerDeleter>;

// Bytes of output that converting inBytes can produce at most; `out` of
// Resample must hold this many. Never less than the classic margin of
// trunc(samples x ratio) + 16 frames.
size_t ResampleOutputCapacity(const Resampler* resampler, uint32_t inBytes);

// Converts whole input frames (a trailing partial frame is ignored) and
// returns the output length in bytes. 0 for a null resampler and for a block
// whose output would not fit in an int (the state is then left untouched).
int Resample(Resampler* resampler, const void* in, void* out, uint32_t inBytes);

}  // namespace tesvano
