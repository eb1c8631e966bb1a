#include "audio/resampler.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "audio/pcm.h"
#include "platform/trace.h"

namespace tesvano {
namespace {

constexpr int32_t kOne = 65536;  // 1.0 in 16.16

// 16-bit samples every `stride` bytes: one channel of interleaved PCM.
struct Samples {
    const uint8_t* p;
    size_t stride;
    int32_t operator[](size_t i) const { return LoadSample(p + i * stride); }
};

struct Sink {
    uint8_t* p;
    size_t stride;
    void Put(size_t i, int32_t v) const { StoreSample(p + i * stride, static_cast<int16_t>(v)); }
};

// Plain averaging of groups of `factor` samples; a group may straddle blocks.
size_t Average(ResamplerChannel& c, Samples in, size_t n, int16_t* out) {
    int32_t sum = c.sum;
    int32_t countdown = c.countdown;
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += in[i];
        if (--countdown == 0) {
            out[m++] = static_cast<int16_t>((static_cast<int64_t>(sum) * c.inverse) >> 16);
            countdown = c.factor;
            sum = 0;
        }
    }
    c.sum = sum;
    c.countdown = countdown;
    return m;
}

size_t Interpolate(ResamplerChannel& c, Samples in, size_t n, Sink out) {
    if (n == 0) return 0;
    if (c.step == kOne) {
        for (size_t i = 0; i < n; ++i) out.Put(i, in[i]);
        return n;
    }
    const int32_t step = c.step;
    int32_t phase = c.phase;
    int32_t prev = c.lastSample;
    size_t i = 0;
    int32_t cur = in[0];
    // A block that ended with whole samples still to skip (step > 1.0) left a
    // phase of 1.0 or more: skip them here, as one unsplit block would have,
    // rather than extrapolating past the sample.
    while (phase >= kOne) {
        phase -= kOne;
        if (i + 1 >= n) {
            c.lastSample = cur;
            c.phase = phase;
            return 0;
        }
        prev = cur;
        cur = in[++i];
    }
    size_t m = 0;
    for (;;) {
        // phase < 1.0 here, so the weighted sum stays within 32 bits.
        out.Put(m++, ((kOne - phase) * prev + phase * cur) >> 16);
        phase += step;
        while (phase >= kOne) {
            phase -= kOne;
            if (++i >= n) {
                c.lastSample = cur;
                c.phase = phase;
                return m;
            }
            prev = cur;
            cur = in[i];
        }
    }
}

size_t ConvertChannel(ResamplerChannel& c, Samples in, size_t n, Sink out, std::vector<int16_t>& averaged) {
    if (c.factor > 1) {
        if (averaged.size() < n) averaged.resize(n);
        n = Average(c, in, n, averaged.data());
        in = Samples{reinterpret_cast<const uint8_t*>(averaged.data()), 2};
    }
    return Interpolate(c, in, n, out);
}

bool CopiesUnchanged(const Resampler& r) { return r.inChannels == r.outChannels && r.ratio == 1.0f; }

}  // namespace

Resampler* CreateResampler(int inChannels, int outChannels, int outRate, int inRate) {
    if (inChannels > 2) {
        std::fputs("Resampling with input channels greater than 2 unsupported.", TraceStream());
        return nullptr;
    }
    if (inChannels < 1 || outRate <= 0 || inRate <= 0) return nullptr;
    if (outChannels != 1 && outChannels != 2 && !(outChannels == 6 && inChannels == 2)) return nullptr;

    const float ratio = static_cast<float>(outRate) / static_cast<float>(inRate);
    const float a = 1.0f / ratio;
    // The averaging sum and its 16-bit inverse need factor <= 65536.
    if (!(a < 65536.0f)) return nullptr;
    int32_t factor = static_cast<int32_t>(a);
    if (factor == 0) factor = 1;
    const int32_t step = static_cast<int32_t>((a / static_cast<float>(factor)) * 65536.0f);
    if (step < 1) return nullptr;  // would never advance

    auto* r = new Resampler{};
    r->ratio = ratio;
    r->inChannels = inChannels;
    r->outChannels = outChannels;
    r->filterChannels = std::min(std::min(inChannels, outChannels), 2);
    for (int k = 0; k < r->filterChannels; ++k) {
        ResamplerChannel& c = r->channels[k];
        c.step = step;
        c.phase = kOne;
        c.lastSample = 0;
        c.factor = factor;
        c.countdown = factor;
        c.sum = 0;
        c.inverse = kOne / factor;
    }
    return r;
}

void ReleaseResampler(Resampler* resampler) { delete resampler; }

size_t ResampleOutputCapacity(const Resampler* r, uint32_t inBytes) {
    if (!r) return 0;
    const uint64_t n = inBytes / (static_cast<uint32_t>(r->inChannels) * 2u);
    if (CopiesUnchanged(*r)) return n * static_cast<uint64_t>(r->inChannels) * 2;
    const ResamplerChannel& c = r->channels[0];
    const uint64_t averaged = c.factor > 1 ? n / static_cast<uint64_t>(c.factor) + 1 : n;
    const uint64_t step = static_cast<uint64_t>(c.step);
    const uint64_t frames = c.step == kOne ? averaged : (averaged * kOne + step - 1) / step + 2;
    const uint64_t classic = static_cast<uint64_t>(static_cast<double>(n) * r->ratio) + 16;
    return std::max(frames, classic) * static_cast<uint64_t>(r->outChannels) * 2;
}

int Resample(Resampler* r, const void* in, void* out, uint32_t inBytes) {
    if (!r) return 0;
    const size_t n = inBytes / (static_cast<uint32_t>(r->inChannels) * 2u);
    const auto* src = static_cast<const uint8_t*>(in);
    auto* dst = static_cast<uint8_t*>(out);
    if (CopiesUnchanged(*r)) {
        const size_t bytes = n * static_cast<size_t>(r->inChannels) * 2;
        if (bytes > INT_MAX) return 0;
        if (bytes) std::memcpy(dst, src, bytes);
        return static_cast<int>(bytes);
    }
    if (ResampleOutputCapacity(r, inBytes) > INT_MAX) return 0;

    size_t m;
    if (r->outChannels == 1 && r->inChannels == 2) {
        if (r->mixed.size() < n) r->mixed.resize(n);
        int16_t* mixed = r->mixed.data();
        for (size_t i = 0; i < n; ++i)
            mixed[i] = static_cast<int16_t>((LoadSample(src + 4 * i) + LoadSample(src + 4 * i + 2)) >> 1);
        m = ConvertChannel(r->channels[0], Samples{reinterpret_cast<const uint8_t*>(mixed), 2}, n, Sink{dst, 2},
                           r->averaged);
    } else if (r->outChannels == 1) {
        m = ConvertChannel(r->channels[0], Samples{src, 2}, n, Sink{dst, 2}, r->averaged);
    } else if (r->inChannels == 1) {
        // 1 -> 2: convert into the left slots, then copy each to the right.
        m = ConvertChannel(r->channels[0], Samples{src, 2}, n, Sink{dst, 4}, r->averaged);
        for (size_t k = 0; k < m; ++k) std::memcpy(dst + 4 * k + 2, dst + 4 * k, 2);
    } else {
        // 2 -> 2 or 6: each channel converts straight into its output slot.
        const size_t frame = static_cast<size_t>(r->outChannels) * 2;
        const size_t rightSlot = r->outChannels == 2 ? 2 : 4;
        ConvertChannel(r->channels[0], Samples{src, 4}, n, Sink{dst, frame}, r->averaged);
        m = ConvertChannel(r->channels[1], Samples{src + 2, 4}, n, Sink{dst + rightSlot, frame}, r->averaged);
        if (r->outChannels == 6) {
            for (size_t k = 0; k < m; ++k) {
                uint8_t* f = dst + k * frame;
                const int16_t left = LoadSample(f), right = LoadSample(f + 4);
                StoreSample(f + 2, static_cast<int16_t>(left / 2 + right / 2));
                std::memset(f + 6, 0, 6);
            }
        }
    }
    return static_cast<int>(static_cast<size_t>(r->outChannels) * m * 2);
}

}  // namespace tesvano
