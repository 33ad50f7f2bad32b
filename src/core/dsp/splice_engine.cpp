#include "core/dsp/splice_engine.h"

#include <cmath>
#include <cstring>
#include <new>

#if MW_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mw {

const SpliceMode kSpliceModes[kSpliceModeCount] = {
    {1094, 300, 15, 2, 15, 2500},  // Music 1
    {1095, 275, 22, 2, 20, 10000}, // Music 2
    {1096, 150, 15, 2, 15, 1500},  // Music 3
    {1097, 220, 15, 4, 15, 1500},  // Music 4
    {1098, 190, 15, 2, 15, 1500},  // Music 5
    {1099, 150, 15, 3, 10, 1000},  // Music 6
    {1100, 90, 15, 2, 30, 2500},   // Speech 1
    {1101, 78, 12, 2, 10, 2000},   // Speech 2
    {1102, 80, 12, 4, 10, 2000},   // Speech 3
    {1103, 150, 25, 2, 30, 2500},  // Solo instruments 1
    {1104, 130, 25, 3, 30, 2500},  // Solo instruments 2
    {1105, 110, 25, 2, 30, 2500},  // Solo instruments 3
    {1106, 75, 10, 2, 10, 1000},   // Solo instruments 4
    {1107, 90, 15, 2, 12, 2000},   // Solo instruments 5
    {1108, 85, 15, 4, 12, 2000},   // Solo instruments 6
    {1109, 95, 15, 8, 12, 2000},   // Solo instruments 7
    {1110, 50, 5, 2, 3, 1000},     // Drums 1
    {1111, 70, 9, 2, 8, 2000},     // Drums 2
    {1112, 50, 7, 2, 8, 1000},     // Drums 3
};

namespace {

// (rate x milliseconds) / 1000, truncated; wide enough that no rate overflows it.
std::int32_t Span(std::uint32_t rate, std::uint32_t ms) {
  const std::uint64_t v = std::uint64_t{rate} * ms / 1000;
  return v > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(v);
}

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// `n` copies of `v`: in place when the vector holds enough, else in new memory that
// replaces the old.
template <class T>
void Fresh(std::vector<T>& v, std::size_t n, T value) {
  if (v.capacity() < n) Release(v);
  v.assign(n, value);
}

// The sums of one block of candidates: lane j of vector v is candidate m0 + v x lanes + j,
// summing (y'[i] + x'[m0 + v x lanes + j + i])^2 over i in order. `xd` points at x'[m0].
template <class T, int kBytes>
inline void BlockSums(const T* yd, const T* xd, std::int32_t n, T* out) {
  typedef T Vec __attribute__((vector_size(kBytes)));
  constexpr int kLanes = kBytes / sizeof(T);
  // Four named accumulators rather than an array: the compiler keeps them in registers
  // (an array it left in memory, each step a load and a store).
  Vec a0 = {}, a1 = {}, a2 = {}, a3 = {};
  for (std::int32_t i = 0; i < n; ++i) {
    const T yv = yd[i];
    Vec x0, x1, x2, x3;
    std::memcpy(&x0, xd + i, sizeof x0);
    std::memcpy(&x1, xd + i + kLanes, sizeof x1);
    std::memcpy(&x2, xd + i + 2 * kLanes, sizeof x2);
    std::memcpy(&x3, xd + i + 3 * kLanes, sizeof x3);
    const Vec t0 = x0 + yv, t1 = x1 + yv, t2 = x2 + yv, t3 = x3 + yv;
    a0 += t0 * t0;
    a1 += t1 * t1;
    a2 += t2 * t2;
    a3 += t3 * t3;
  }
  std::memcpy(out, &a0, sizeof a0);
  std::memcpy(out + kLanes, &a1, sizeof a1);
  std::memcpy(out + 2 * kLanes, &a2, sizeof a2);
  std::memcpy(out + 3 * kLanes, &a3, sizeof a3);
}

// Candidates per block: four vectors of 16 bytes, or of 32 where the processor has the
// wider registers (each lane still computes exactly what a 16-byte lane does).
constexpr int kBlockBytes = 4 * 16;
constexpr int kWideBlockBytes = 4 * 32;

#if defined(__x86_64__) && !defined(_WIN32)
template <class T>
__attribute__((target("avx"))) void WideBlockSums(const T* yd, const T* xd, std::int32_t n,
                                                  T* out) {
  BlockSums<T, 32>(yd, xd, n, out);
}
bool HasAvxVectors() {
  static const bool has = __builtin_cpu_supports("avx");
  return has;
}
#else
template <class T>
void WideBlockSums(const T* yd, const T* xd, std::int32_t n, T* out) {
  BlockSums<T, 16>(yd, xd, n, out);
}
bool HasAvxVectors() { return false; }
#endif

// y[k] = y[k] + w[k] x[k] for k from `from` on, 16 bytes of lanes a step, each lane as the
// scalar formula; returns where the whole steps end.
template <class T>
std::int32_t WeightedSum(T* y, const T* w, const T* x, std::int32_t from, std::int32_t end) {
  typedef T Vec __attribute__((vector_size(16)));
  constexpr std::int32_t kLanes = 16 / sizeof(T);
  std::int32_t k = from;
  for (; k + kLanes <= end; k += kLanes) {
    Vec a, b, c;
    std::memcpy(&a, y + k, sizeof a);
    std::memcpy(&b, w + k, sizeof b);
    std::memcpy(&c, x + k, sizeof c);
    a = a + b * c;
    std::memcpy(y + k, &a, sizeof a);
  }
  return k;
}

}  // namespace

#if MW_WIDE_KERNELS
namespace {

// Four single-precision values as 16-bit codes, each lane as Pcm16Codec::Encode: scaled, a
// NaN made zero, clamped (maximum, then minimum: the scalar tests' picks once the NaNs are
// gone), truncated.
__attribute__((target("avx2"))) inline __m128i FourCodes16(const float* y) {
  __m256d t = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(y)), _mm256_set1_pd(32768.0));
  t = _mm256_and_pd(t, _mm256_cmp_pd(t, t, _CMP_EQ_OQ));
  t = _mm256_min_pd(_mm256_max_pd(t, _mm256_set1_pd(-32768.0)), _mm256_set1_pd(32767.0));
  return _mm256_cvttpd_epi32(t);
}

}  // namespace

__attribute__((target("avx2"))) std::int32_t WideStereo16(const float* y0, const float* y1,
                                                          std::int32_t n, std::int16_t* o) {
  std::int32_t j = 0;
  for (; j + 4 <= n; j += 4) {
    const __m128i l = FourCodes16(y0 + j), r = FourCodes16(y1 + j);
    const __m128i frames = _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * j), frames);
  }
  return j;
}
#endif

SpliceSizes SpliceSizesFor(const SpliceMode& mode, std::uint32_t sampleRate) {
  SpliceSizes s{};
  s.frame = Span(sampleRate, mode.frameMs);
  s.outputHop = s.frame / 2;
  s.crossfade = std::min(Span(sampleRate, mode.crossfadeMs), s.outputHop - 1);
  s.range = std::min(s.outputHop - s.crossfade, Span(sampleRate, mode.searchMs));
  s.step = static_cast<std::int32_t>(mode.step);
  if (sampleRate < 32000) {
    s.step = static_cast<std::int32_t>(std::uint64_t{mode.step} * sampleRate / 44100);
    if (s.step == 0) s.step = 1;
  }
  s.accept = static_cast<float>(mode.threshold) * 0.01f;
  return s;
}

std::int32_t InputHopFor(std::int32_t outputHop, std::int32_t frame, double ratio) {
  const double t = std::trunc(static_cast<double>(outputHop) / ratio + 0.5);
  if (!(t >= 1.0)) return 1;
  if (t > static_cast<double>(frame)) return frame;
  return static_cast<std::int32_t>(t);
}

template <class T>
HResult SpliceCore<T>::Configure(const SpliceMode& mode, std::uint32_t sampleRate,
                                 double ratio, std::uint32_t channels) {
  ready_ = false;
  if (channels < 1 || channels > 2) return E_INVALIDARG;
  const SpliceSizes s = SpliceSizesFor(mode, sampleRate);
  // A frame needs at least one output frame and a crossfade that is not negative.
  if (s.outputHop < 1 || s.crossfade < 0) return E_FAIL;
  // Buffers that are large enough are cleared where they lie (a restart while streaming
  // allocates nothing); others are released before the new ones are made.
  if (channels != channels_) Free();
  sizes_ = s;
  channels_ = channels;
  const BufferSizes n = BufferSizesFor(s);
  try {
    for (std::uint32_t c = 0; c < channels; ++c) {
      Fresh(input_[c], n.input, T(0));
      Fresh(acc_[c], n.frame, T(0));
      Fresh(searchIn_[c], n.searchIn, T(0));
      Fresh(searchAcc_[c], n.searchAcc, T(0));
      Fresh(sums_[c], n.sums, T(0));
    }
    Fresh(window_, n.frame, T(1));
  } catch (const std::bad_alloc&) {
    Free();
    return E_OUTOFMEMORY;
  }
  const std::int32_t H = s.outputHop, X = s.crossfade;
  if (X > 1) {
    const T x = static_cast<T>(X);
    for (std::int32_t k = 0; k < X; ++k) window_[k] = static_cast<T>(k) / x;
    for (std::int32_t k = H + 1; k <= H + X; ++k) window_[k] = static_cast<T>(H + X - k) / x;
    for (std::int32_t k = H + X + 1; k < s.frame; ++k) window_[k] = T(0);
  }
  SetRatio(ratio);
  outLength_ = H;
  fill_ = 0;
  base_ = 0;
  outputPhase_ = false;
  readPos_ = 0;
  ready_ = true;
  return S_OK;
}

template <class T>
typename SpliceCore<T>::BufferSizes SpliceCore<T>::BufferSizesFor(const SpliceSizes& s) {
  BufferSizes n;
  n.frame = static_cast<std::size_t>(s.frame);
  const std::size_t step = static_cast<std::size_t>(s.step);
  const std::size_t candidates = (static_cast<std::size_t>(s.range) + step - 1) / step;
  // Room for whole blocks of the widest kind.
  constexpr std::size_t kMostCandidates = kWideBlockBytes / sizeof(T);
  const std::size_t blocks = (candidates + kMostCandidates - 1) / kMostCandidates;
  n.input = kWindowSpan * n.frame;
  n.searchIn = blocks * kMostCandidates + candidates + 1;
  n.searchAcc = candidates + 1;
  n.sums = blocks * kMostCandidates;
  return n;
}

template <class T>
HResult SpliceCore<T>::ReserveForAllModes(std::uint32_t sampleRate, std::uint32_t channels) {
  if (channels < 1 || channels > 2) return E_INVALIDARG;
  if (channels != channels_) Free();
  channels_ = channels;
  try {
    for (const SpliceMode& mode : kSpliceModes) {
      const SpliceSizes s = SpliceSizesFor(mode, sampleRate);
      if (s.outputHop < 1 || s.crossfade < 0) continue;
      const BufferSizes n = BufferSizesFor(s);
      for (std::uint32_t c = 0; c < channels; ++c) {
        input_[c].reserve(n.input);
        acc_[c].reserve(n.frame);
        searchIn_[c].reserve(n.searchIn);
        searchAcc_[c].reserve(n.searchAcc);
        sums_[c].reserve(n.sums);
      }
      window_.reserve(n.frame);
    }
  } catch (const std::bad_alloc&) {
    Free();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

template <class T>
void SpliceCore<T>::SetRatio(double ratio) {
  inputHop_ = InputHopFor(sizes_.outputHop, sizes_.frame, ratio);
  refill_ = sizes_.frame - inputHop_;
}

template <class T>
void SpliceCore<T>::Free() {
  ready_ = false;
  for (int c = 0; c < 2; ++c) {
    Release(input_[c]);
    Release(acc_[c]);
    Release(searchIn_[c]);
    Release(searchAcc_[c]);
    Release(sums_[c]);
  }
  Release(window_);
}

template <class T>
void SpliceCore<T>::AddFrame(std::int32_t p) {
  const std::int32_t X = sizes_.crossfade, H = sizes_.outputHop;
  const T* w = window_.data();
  const bool plain = PlainKernels();
  for (std::uint32_t c = 0; c < channels_; ++c) {
    T* y = acc_[c].data();
    const T* x = Window(c) + p;
    std::int32_t k = 0;
    if (firstFrame_) {
      for (; k < X; ++k) y[k] = x[k];
    }
    if (!plain) k = WeightedSum(y, w, x, k, X + H);
    for (; k < X + H; ++k) y[k] = y[k] + w[k] * x[k];
  }
  firstFrame_ = false;
}

template <class T>
void SpliceCore<T>::ShiftAfterFrame() {
  const std::int32_t F = sizes_.frame, A = inputHop_, H = sizes_.outputHop;
  const std::int32_t X = sizes_.crossfade;
  // The window moves A frames on instead of its samples moving back; only when it would
  // run past the buffer do the frames it keeps move to the start. Either way its last A
  // frames keep the values they had (a drain reads them before any input replaces them).
  const std::size_t next = base_ + static_cast<std::size_t>(A);
  const bool rewind = next + static_cast<std::size_t>(F) > input_[0].size();
  for (std::uint32_t c = 0; c < channels_; ++c) {
    T* x = input_[c].data();
    T* to = x + (rewind ? 0 : next);
    if (rewind) std::memmove(to, x + next, sizeof(T) * static_cast<std::size_t>(F - A));
    std::memcpy(to + (F - A), x + base_ + (F - A), sizeof(T) * static_cast<std::size_t>(A));
    // The next frame adds into [0, X + H) only: the crossfade carried over, then zeros.
    T* y = acc_[c].data();
    std::memmove(y, y + H, sizeof(T) * static_cast<std::size_t>(X));
    std::fill(y + X, y + X + H, T(0));
  }
  base_ = rewind ? 0 : next;
}

template <class T>
std::int32_t SpliceCore<T>::FindSpliceOffsetPlain() const {
  const std::int32_t R = sizes_.range, S = sizes_.step;
  const T accept = static_cast<T>(sizes_.accept);
  T e[2] = {0, 0};
  for (std::uint32_t c = 0; c < channels_; ++c) {
    const T* y = acc_[c].data();
    T sum = 0;
    for (std::int32_t i = 0; i < R; i += S) sum += y[i] * y[i];
    e[c] = accept * sum;
  }
  T best = 0;
  std::int32_t bestOffset = 0;
  for (std::int32_t p = 0; p < R; p += S) {
    T s[2] = {0, 0};
    for (std::uint32_t c = 0; c < channels_; ++c) {
      const T* y = acc_[c].data();
      const T* x = Window(c) + p;
      T sum = 0;
      for (std::int32_t i = 0; i < R; i += S) {
        const T t = y[i] + x[i];
        sum += t * t;
      }
      s[c] = sum;
    }
    if (channels_ == 1) {
      if (s[0] > e[0]) return p;
    } else if (s[0] > e[0] && s[1] > e[1]) {
      return p;
    }
    const T total = channels_ == 1 ? s[0] : s[0] + s[1];
    if (total > best) {
      best = total;
      bestOffset = p;
    }
  }
  return bestOffset;
}

// The same search, several candidates at once: candidate m (offset p = mS) sums
// (y[nS] + x[(m + n)S])^2 over n in order, so the decimated copies y'[n] = y[nS] and
// x'[k] = x[kS] make the samples of neighbouring candidates neighbours in memory. Each
// vector lane is one candidate summing in index order; the lanes are then examined in
// candidate order, exactly as the plain search would.
template <class T>
std::int32_t SpliceCore<T>::FindSpliceOffset() {
  const std::int32_t R = sizes_.range, S = sizes_.step;
  if (R <= 0) return 0;
  const std::int32_t n = (R + S - 1) / S;  // terms per sum, and candidates
  const T accept = static_cast<T>(sizes_.accept);
  const bool wide = HasAvxVectors();
  const std::int32_t perBlock =
      static_cast<std::int32_t>((wide ? kWideBlockBytes : kBlockBytes) / sizeof(T));
  const std::int32_t blocks = (n + perBlock - 1) / perBlock;

  T e[2] = {0, 0};
  for (std::uint32_t c = 0; c < channels_; ++c) {
    const T* y = acc_[c].data();
    const T* x = Window(c);
    T* yd = searchAcc_[c].data();
    T* xd = searchIn_[c].data();
    T sum = 0;
    for (std::int32_t i = 0; i < n; ++i) {
      yd[i] = y[i * S];
      sum += yd[i] * yd[i];
    }
    e[c] = accept * sum;
    // x' up to the last sample any candidate reads; the rest stays zero.
    const std::int32_t used = 2 * n - 1;
    for (std::int32_t k = 0; k < used; ++k) xd[k] = x[k * S];
  }

  T best = 0;
  std::int32_t bestOffset = 0;
  for (std::int32_t b = 0; b < blocks; ++b) {
    const std::int32_t m0 = b * perBlock;
    for (std::uint32_t c = 0; c < channels_; ++c) {
      const T* yd = searchAcc_[c].data();
      const T* xd = searchIn_[c].data() + m0;
      T* out = sums_[c].data() + m0;
      if (wide) {
        WideBlockSums<T>(yd, xd, n, out);
      } else {
        BlockSums<T, 16>(yd, xd, n, out);
      }
    }
    const std::int32_t end = std::min(n, m0 + perBlock);
    for (std::int32_t m = m0; m < end; ++m) {
      const T s0 = sums_[0][m];
      if (channels_ == 1) {
        if (s0 > e[0]) return m * S;
        if (s0 > best) {
          best = s0;
          bestOffset = m * S;
        }
      } else {
        const T s1 = sums_[1][m];
        if (s0 > e[0] && s1 > e[1]) return m * S;
        const T total = s0 + s1;
        if (total > best) {
          best = total;
          bestOffset = m * S;
        }
      }
    }
  }
  return bestOffset;
}

template class SpliceCore<float>;
template class SpliceCore<double>;

}  // namespace mw
