#include "core/effects/delay/simple_delay.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/dsp/exact_math.h"
#include "core/dsp/lanes.h"
#include "core/dsp/levels.h"
#include "core/frame/sample_format.h"

#if MW_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mw {
namespace {

// Accessor order of the parameter interface (it differs from the block order).
constexpr FieldInfo kFields[] = {
    {"DryOut", offsetof(SimpleDelayParams, DryOut), FieldType::Int32, false, 0, 0, false},
    {"DelayOut", offsetof(SimpleDelayParams, DelayOut), FieldType::Int32, true, -800, 0, false},
    {"Feedback", offsetof(SimpleDelayParams, Feedback), FieldType::Int32, false, 0, 0, false},
    {"DelayTime", offsetof(SimpleDelayParams, DelayTime), FieldType::Int32, true, 1, 5000,
     false},
    {"DecayTime", offsetof(SimpleDelayParams, DecayTime), FieldType::Int32, true, 1, 200,
     false},
};
constexpr ParamTable kTable = {kFields, sizeof kFields / sizeof kFields[0],
                               sizeof(SimpleDelayParams)};

// Feedback, DelayTime, DecayTime, DelayOut, DryOut.
constexpr PresetRow<SimpleDelayParams> kPresetRows[] = {
    {1020, {0, 100, 1, -60, -60}},     // (Default)
    {1021, {0, 100, 1, -60, -60}},     // Default all parameters
    {1068, {1, 400, 20, -30, -90}},    // Echo chamber
    {1069, {0, 400, 20, -120, -90}},   // Slap-back echo
    {1070, {1, 1000, 30, -140, -40}},  // Grand Canyon
    {1071, {0, 1000, 20, 0, -800}},    // Shift selection forwards
    {1072, {0, 10, 1, 0, -800}},       // Pseudo-stereo
};
constexpr PresetTable kPresets(kPresetRows);

constexpr std::int32_t kMaxDelayTime = 5000;

#if MW_WIDE_KERNELS
// EchoRun for 16-bit samples with 32-byte vectors: four samples a step, each lane as the
// scalar formula and the codec's conversions.
template <class Working>
__attribute__((target("avx2"))) std::size_t WideEchoRun(std::int16_t* s, double* line,
                                                        std::size_t n, const Working& w) {
  const __m256d wet = _mm256_set1_pd(w.wet), dry = _mm256_set1_pd(w.dry);
  const __m256d fb = _mm256_set1_pd(w.fb), scale = _mm256_set1_pd(3.0517578125e-05);
  const __m256d up = _mm256_set1_pd(32768.0), lo = _mm256_set1_pd(-32768.0);
  const __m256d hi = _mm256_set1_pd(32767.0);
  std::size_t k = 0;
  for (; k + 4 <= n; k += 4) {
    const __m128i codes = _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<__m128i*>(s + k)));
    const __m256d x = _mm256_mul_pd(_mm256_cvtepi32_pd(codes), scale);
    const __m256d held = _mm256_loadu_pd(line + k);
    const __m256d y =
        _mm256_add_pd(_mm256_mul_pd(held, wet), _mm256_mul_pd(x, dry));
    // Scaled, a NaN made zero, clamped (maximum, then minimum: the scalar tests' picks
    // once the NaNs are gone), truncated, packed.
    __m256d t = _mm256_mul_pd(y, up);
    t = _mm256_and_pd(t, _mm256_cmp_pd(t, t, _CMP_EQ_OQ));
    t = _mm256_min_pd(_mm256_max_pd(t, lo), hi);
    const __m128i out = _mm256_cvttpd_epi32(t);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(s + k), _mm_packs_epi32(out, out));
    _mm256_storeu_pd(line + k, _mm256_add_pd(_mm256_mul_pd(fb, held), x));
  }
  return k;
}
#endif

// One stretch of samples that meets the line without wrapping: each sample adds the echo
// held in its slot to its dry part, and the slot keeps the input plus the fed-back echo.
// V's lanes take neighbouring samples; the rest go one at a time.
template <class Codec, class V, class Working>
void EchoRun(typename Codec::Stored* s, double* line, std::size_t n, const Working& w) {
  using L = Lanes<V>;
  const V wet = L::Splat(w.wet), dry = L::Splat(w.dry), fb = L::Splat(w.fb);
  std::size_t k = 0;
  if constexpr (L::kCount == 2) {
    for (; k + 4 <= n; k += 4) {
      V x0, x1;
      FourSamples<Codec>::Decode(s + k, &x0, &x1);
      const V held0 = L::Load(line + k), held1 = L::Load(line + k + 2);
      FourSamples<Codec>::Encode(s + k, held0 * wet + x0 * dry, held1 * wet + x1 * dry);
      L::Store(line + k, fb * held0 + x0);
      L::Store(line + k + 2, fb * held1 + x1);
    }
  }
  for (; k + L::kCount <= n; k += L::kCount) {
    const V x = LaneCodec<Codec, V>::Decode(s + k);
    const V held = L::Load(line + k);
    LaneCodec<Codec, V>::Encode(s + k, held * wet + x * dry);
    L::Store(line + k, fb * held + x);
  }
  if (L::kCount > 1 && k < n) EchoRun<Codec, double>(s + k, line + k, n - k, w);
}

}  // namespace

const EffectDescription kSimpleDelay = {
    "delay",
    MW_FILTER_NAME("Simple Delay"),
    "RaZuder Property Page",
    ids::CLSID_MwSimpleDelay,
    ids::CLSID_MwSimpleDelayPage,
    {ids::IID_ISimpleDelayParams},
    kTable,
    kPresets,
    EffectKind::kInPlace,
    &NewEngine<SimpleDelayEngine>,
    nullptr,
};

SimpleDelayEngine::SimpleDelayEngine() : EffectEngine(kTable, kBufferPolicy) {}

HResult SimpleDelayEngine::Setup(const SimpleDelayParams& p, bool keep) {
  if (!HasUsableFormat()) {
    valid_ = false;
    return E_UNEXPECTED;
  }
  const std::uint32_t channels = format_->nChannels;
  const std::uint32_t rate = format_->nSamplesPerSec;

  wet_ = LevelToGain(p.DelayOut, kLevelFloor);
  dry_ = LevelToGain(p.DryOut, kLevelFloor);

  // channels x rate x DelayTime / 1000, rounded half up (the block keeps DelayTime in range;
  // the bounds here only keep the product inside 64 bits).
  std::int64_t delay = p.DelayTime;
  if (delay < 0) delay = 0;
  if (delay > kMaxDelayTime) delay = kMaxDelayTime;
  std::uint64_t length = (std::uint64_t{channels} * rate * static_cast<std::uint64_t>(delay) +
                          500) / 1000;
  if (length < 2) length = 2;
  if (length > UINT32_MAX) {
    valid_ = false;
    return E_OUTOFMEMORY;
  }

  double tail = 0.0;
  if (p.Feedback != 0) {
    tail = std::trunc(static_cast<double>(rate) * static_cast<double>(channels) *
                      static_cast<double>(p.DecayTime) * 0.1);
    if (!(tail > 0.0)) tail = 0.0;
    if (tail > static_cast<double>(UINT32_MAX)) tail = static_cast<double>(UINT32_MAX);
  }
  tailSamples_ = static_cast<std::uint32_t>(tail);

  const double ratio = static_cast<double>(tailSamples_) / static_cast<double>(length);
  fb_ = ratio < 0.1 ? 0.0 : ExactPow(0.0316, 1.0 / ratio);

  if (line_ != nullptr && lineLength_ == length) {
    if (!keep) std::memset(line_.get(), 0, sizeof(double) * lineLength_);
    valid_ = true;
    return S_OK;
  }

  valid_ = false;
  if (!FreshSamples(line_, lineCapacity_, static_cast<std::size_t>(length), SampleReserve())) {
    return E_OUTOFMEMORY;
  }
  lineLength_ = static_cast<std::uint32_t>(length);

  std::uint64_t remaining = (std::uint64_t{tailSamples_} + lineLength_) / channels;
  if (remaining > UINT32_MAX) remaining = UINT32_MAX;
  for (std::uint32_t c = 0; c < 2; ++c) {
    channels_[c].position = c;
    channels_[c].tailRemaining = static_cast<std::uint32_t>(remaining);
  }
  ArmCountDown();
  valid_ = true;
  return S_OK;
}

std::size_t SimpleDelayEngine::LargestSampleCount() const {
  const std::uint64_t length =
      (std::uint64_t{format_->nChannels} * format_->nSamplesPerSec * kMaxDelayTime + 500) / 1000;
  return static_cast<std::size_t>(length < 2 ? 2 : length);
}

HResult SimpleDelayEngine::Free() {
  line_.reset();
  lineCapacity_ = 0;
  valid_ = false;
  return S_OK;
}

template <class Codec>
HResult SimpleDelayEngine::Loop(int mode, typename Codec::Stored* buffer,
                                std::uint32_t* frames, bool limited) {
  using Stored = typename Codec::Stored;
  const LoopStart start =
      BeginLoop(mode, buffer, frames, limited, Codec::kFormat == SampleFormat::Float32);
  if (!start.run) return start.result;
  const std::uint32_t channels = format_->nChannels;
  const std::uint32_t count = start.count;

  bool finished = false;
  std::uint32_t produced = count;
  const Working w{line_.get(), lineLength_, channels, wet_, dry_, fb_};
  constexpr bool kPcm8 = Codec::kFormat == SampleFormat::Pcm8;
  const bool silentTail = kPcm8 && mode == kModeTail;
  // One channel, or two whose positions move in step (an even line, each channel on its
  // own parity, the second one sample behind the first): the buffer's samples meet the
  // line's in one run each way round the line, so the loop runs without a wrap test.
  const std::uint32_t first = channels_[0].position;
  if (!silentTail && (channels == 1 || (lineLength_ % 2 == 0 && first % 2 == 0 &&
                                        channels_[1].position == first + 1 &&
                                        (mode != kModeTail || channels_[1].tailRemaining ==
                                                                  channels_[0].tailRemaining)))) {
    const std::uint32_t n = mode == kModeTail ? TakeTail(count, channels_[0].tailRemaining,
                                                         &finished)
                                              : count;
    if (channels == 2 && mode == kModeTail) channels_[1].tailRemaining = channels_[0].tailRemaining;
    std::uint32_t pos = first;
    Stored* s = buffer;
    for (std::size_t left = std::size_t{n} * channels; left > 0;) {
      const std::size_t run = std::min<std::size_t>(left, lineLength_ - pos);
      if (PlainKernels()) {
        EchoRun<Codec, double>(s, w.line + pos, run, w);
#if MW_WIDE_KERNELS
      } else if (Codec::kFormat == SampleFormat::Pcm16 && HasWideVectors()) {
        std::int16_t* samples = reinterpret_cast<std::int16_t*>(s);
        const std::size_t done = WideEchoRun(samples, w.line + pos, run, w);
        EchoRun<Codec, F64x2>(s + done, w.line + pos + done, run - done, w);
#endif
      } else {
        EchoRun<Codec, F64x2>(s, w.line + pos, run, w);
      }
      s += run;
      left -= run;
      pos += static_cast<std::uint32_t>(run);
      if (pos == lineLength_) pos = 0;
    }
    channels_[0].position = pos;
    if (channels == 2) channels_[1].position = pos + 1;
    *frames = n;
    return finished ? kTailFinished : S_OK;
  }
  for (std::uint32_t c = 0; c < channels; ++c) {
    Channel& ch = channels_[c];
    const std::uint32_t n =
        mode == kModeTail ? TakeTail(count, ch.tailRemaining, &finished) : count;
    produced = n;

    std::uint32_t pos = ch.position;
    Stored* s = buffer + c;
    if (silentTail) {
      // The 8-bit tail feeds exact silence without reading the buffer.
      for (std::uint32_t i = 0; i < n; ++i, s += channels) {
        *s = Codec::Encode(ProcessSample(w, 0.0, c, pos));
      }
    } else {
      for (std::uint32_t i = 0; i < n; ++i, s += channels) {
        *s = Codec::Encode(ProcessSample(w, Codec::Decode(*s), c, pos));
      }
    }
    ch.position = pos;
  }
  *frames = produced;
  return finished ? kTailFinished : S_OK;
}

MW_DEFINE_FORMAT_LOOPS(SimpleDelayEngine)

}  // namespace mw
