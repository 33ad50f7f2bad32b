// The Reverb engine: its set-up numbers, its outputs against a plain transcription of its
// formulas, what survives a change, discontinuities, tails and the direct count-down.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/reverb/reverb.h"
#include "frame/exact_math.h"
#include "frame/memory_stream.h"
#include "frame/sample_memory.h"
#include "test_util.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;

const FormatCase kF64 = AllFormats()[4];
constexpr double kPi = 3.141592653589793;

// DryOut, ReverbOut, EarlyOut, ReverbMode, EarlyStyle, DecayTime, PreDelay, AttenuateBass,
// BassCutoff, AttenuateHighs, HighCutoff.
constexpr ReverbParams kDefault = {0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000};
// Only the comb bank, straight through: no dry, no early reflections, no pre-delay.
constexpr ReverbParams kCombsOnly = {-800, 0, -800, 0, 3, 25, 0, 0, 20, 0, 12000};

std::unique_ptr<mw::InPlaceEffect> NewReverb() {
  return mw::CreateEffect(*mw::FindEffect("reverb"));
}

void Put(mw::InPlaceEffect& e, const char* field, std::int32_t v) {
  const int i = e.Params().Table().Find(field);
  ASSERT_GE(i, 0) << field;
  EXPECT_EQ(e.Params().Put(static_cast<std::size_t>(i), v), mw::S_OK);
}

std::int32_t Get(mw::InPlaceEffect& e, const char* field) {
  std::int32_t v = 0;
  EXPECT_EQ(e.Params().Get(static_cast<std::size_t>(e.Params().Table().Find(field)), &v),
            mw::S_OK);
  return v;
}

struct Rig {
  std::unique_ptr<mw::InPlaceEffect> effect = NewReverb();
  mw::ReverbEngine& engine = static_cast<mw::ReverbEngine&>(effect->Engine());
  mw::HResult start = mw::E_UNEXPECTED;

  Rig(std::uint16_t channels, std::uint32_t rate, const ReverbParams& p,
      const FormatCase& f = kF64) {
    effect->Params().SetParameters(&p);
    const auto block = mwtest::FormatBlock(f, channels, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    start = effect->Frame().StartStreaming();
  }
  std::uint16_t Channels() const { return effect->Frame().Format().nChannels; }
  // Runs interleaved doubles through the engine as one buffer.
  std::vector<double> Run(std::vector<double> x, int mode = mw::kModeNormal,
                          mw::HResult expect = mw::S_OK) {
    std::uint32_t frames = static_cast<std::uint32_t>(x.size() / Channels());
    EXPECT_EQ(engine.ProcessFloat64(mode, x.data(), &frames), expect);
    return x;
  }
  std::vector<double> Silence(std::size_t frames) {
    return Run(std::vector<double>(frames * Channels(), 0.0));
  }
};

std::vector<double> Impulse(std::size_t frames, std::uint16_t channels, std::uint16_t c = 0) {
  std::vector<double> x(frames * channels, 0.0);
  x[c] = 1.0;
  return x;
}

// Deterministic noise in [-0.5, 0.5), interleaved.
std::vector<double> Noise(std::size_t frames, std::uint16_t channels, std::uint32_t seed = 1) {
  std::vector<double> x(frames * channels);
  std::uint32_t v = seed;
  for (double& s : x) {
    v = v * 1664525u + 1013904223u;
    s = static_cast<double>(v >> 8) / 16777216.0 - 0.5;
  }
  return x;
}

// The first frame at which channel c is not zero, or -1.
long FirstSound(const std::vector<double>& y, std::uint16_t channels, std::uint16_t c) {
  for (std::size_t i = 0; i * channels + c < y.size(); ++i) {
    if (y[i * channels + c] != 0.0) return static_cast<long>(i);
  }
  return -1;
}

bool AllZero(const std::vector<double>& y) {
  return std::all_of(y.begin(), y.end(), [](double v) { return v == 0.0; });
}

// ---------------------------------------------------------------------------------------
// A plain transcription of the formulas, over whole histories instead of circular lines,
// for a few rows of the tables (typed in again here, not taken from the engine).

struct ModelMode {
  int row, lines;
  double ms[10];
};
const ModelMode kModelModes[] = {
    {0, 10, {23.583, 47.049, 25.481, 27.493, 29.67, 34.518, 32.056, 37.317, 40.358, 19.941}},
    {1, 8, {23.161, 18.481, 20.611, 16.035, 26.45, 29.281, 12.957, 33.46}},
    {6, 10, {46.463, 89.887, 53.024, 58.824, 83.067, 70.527, 3901.707, 76.433, 64.719, 31.627}},
    {16, 9, {31.737, 15.013, 11.528, 36.037, 19.131, 5.439, 9.41, 26.433, 7.437}},
    {17, 10, {3.101, 18.37, 12.86, 11.063, 5.027, 15.513, 6.544, 9.539, 21.734, 7.924}},
};
struct ModelStyle {
  int row;
  double ms[3];
  int gain[3], pan[3];
};
const ModelStyle kModelStyles[] = {
    {0, {6.113, 17.041, 29.231}, {46, -60, 21}, {-72, 71, -6}},
    {3, {16.011, 30.058, 55.013}, {79, -80, 40}, {64, -100, -26}},
    {8, {16.011, 30.058, 55.013}, {79, -80, 40}, {80, 90, 25}},
};

template <class Row, std::size_t N>
const Row& FindRow(const Row (&rows)[N], int row) {
  for (const Row& r : rows) {
    if (r.row == row) return r;
  }
  ADD_FAILURE() << "no model row " << row;
  return rows[0];
}

// Output frames (input followed by `tail` frames of silence) for interleaved input x.
std::vector<double> Model(const std::vector<double>& input, int ch, std::uint32_t rateHz,
                          const ReverbParams& p, std::size_t tail) {
  const double flush = std::ldexp(1.0, -32);
  const double rate = rateHz;
  const double ms = rate * 0.001;
  const ModelMode& mode = FindRow(kModelModes, std::clamp(p.ReverbMode, 0, 18));
  const ModelStyle& style = FindRow(kModelStyles, std::clamp(p.EarlyStyle, 0, 9));
  std::vector<double> x = input;
  x.resize(input.size() + tail * ch, 0.0);
  const std::size_t frames = x.size() / ch;

  const double dry = p.DryOut > -800 ? mw::ExactPow(10.0, p.DryOut * 0.005) : 0.0;
  const double wet = p.ReverbOut > -800 ? mw::ExactPow(10.0, p.ReverbOut * 0.005) : 0.0;
  const double early =
      p.EarlyOut > -800 ? mw::ExactPow(10.0, p.EarlyOut * 0.005) * 0.01 : 0.0;
  const double T = p.DecayTime * 0.1;

  struct Comb {
    long D;
    double G, state = 0.0;
    bool flush;
    std::vector<double> written;
  };
  auto comb = [&](double delayMs, bool flushState) {
    const double d = delayMs * 0.001;
    Comb c{std::max(1L, static_cast<long>(std::trunc(rate * d + 0.5))),
           mw::ExactPow(10.0, -3 * d / T), 0.0, flushState, {}};
    return c;
  };
  std::vector<Comb> combs;
  for (int i = 0; i < mode.lines; ++i) combs.push_back(comb(mode.ms[i], ch == 2 && i < 2));
  if (ch == 2) {
    combs.push_back(comb(mode.ms[0] * 0.93, true));
    combs.push_back(comb(mode.ms[1] * 1.06, true));
  }
  const long P = std::max(1L, static_cast<long>(std::trunc(p.PreDelay * ms)));

  const double offsets[3] = {0.051, 0.151, 0.078};
  long L[3];
  double gl[3], gr[3];
  for (int k = 0; k < 3; ++k) {
    L[k] = static_cast<long>(std::trunc((style.ms[k] + offsets[k]) * ms));
    const double g = style.gain[k];
    const double xk = (style.pan[k] + 100) * 0.005;
    gl[k] = ch == 1 ? g : (1 - xk) * g;
    gr[k] = xk * g;
  }
  auto swapTaps = [&](int i, int j) {
    std::swap(L[i], L[j]);
    std::swap(gl[i], gl[j]);
    std::swap(gr[i], gr[j]);
  };
  if (L[0] > L[1]) swapTaps(0, 1);
  if (L[1] > L[2]) swapTaps(1, 2);

  double a = 0.0;
  if (p.AttenuateHighs && p.HighCutoff < rate) {
    a = mw::ExactExp(-12.56637061436 * p.HighCutoff / rate);
  }
  double c1 = 0, c2 = 0, g = 0;
  if (p.AttenuateBass) {
    const double xb = p.BassCutoff / rate;
    double f = xb < 0.011337868480725623 ? 0.45454545454545453 * xb : 0.30303030303030304 * xb;
    f = std::clamp(f, 0.0004, 0.49);
    const double pi = 3.141592653589793;
    const double r = mw::ExactExp(-pi * f / 0.1);
    c1 = 2 * r * mw::ExactCos(2 * pi * f);
    c2 = mw::ExactExp(-2 * pi * f / 0.1);
    g = 1 - c1 + c2;
  }

  std::vector<double> sums[2];
  std::vector<double> out(x.size());
  double hs = 0, s1 = 0, s2 = 0;
  auto in = [&](std::size_t t, long back, int c) {
    return static_cast<long>(t) >= back ? x[(t - back) * ch + c] : 0.0;
  };
  for (std::size_t t = 0; t < frames; ++t) {
    const double uL = x[t * ch], uR = ch == 2 ? x[t * ch + 1] : 0.0;
    double h = ch == 1 ? (1 - a) * uL + a * hs : (1 - a) * (uL + uR) * 0.5 + a * hs;
    if (std::fabs(h) < flush) h = 0;
    hs = h;
    if (p.AttenuateBass) {
      double y = g * h + c1 * s1 - c2 * s2;
      if (std::fabs(y) < flush) y = 0;
      s2 = s1;
      s1 = y;
      h = h - y;
    }
    auto step = [&](Comb& cb) {
      const double y = static_cast<long>(t) >= cb.D ? cb.written[t - cb.D] : 0.0;
      cb.state = (1 - a) * y + a * cb.state;
      if (cb.flush && std::fabs(cb.state) < flush) cb.state = 0;
      cb.written.push_back((cb.state + h) * cb.G);
      return y;
    };
    if (ch == 1) {
      double sum = 0;
      for (Comb& cb : combs) sum += step(cb);
      sums[0].push_back(sum);
    } else {
      double S = 0;
      for (int i = 2; i < mode.lines; ++i) S += step(combs[i]);
      double left = S;
      left += step(combs[0]);
      left += step(combs[1]);
      double right = S;
      right += step(combs[mode.lines]);
      right += step(combs[mode.lines + 1]);
      sums[0].push_back(left);
      sums[1].push_back(right);
    }
    for (int c = 0; c < ch; ++c) {
      const double r = static_cast<long>(t) >= P - 1 ? sums[c][t - (P - 1)] : 0.0;
      double e;
      if (ch == 1) {
        e = (in(t, L[0], 0) * gl[0] + in(t, L[1], 0) * gl[1] + in(t, L[2], 0) * gl[2]) * early;
      } else {
        const double* gk = c == 0 ? gl : gr;
        double v[3];
        for (int k = 0; k < 3; ++k) v[k] = in(t, L[k], 0) + in(t, L[k], 1);
        e = gk[0] * v[0] * early + gk[1] * v[1] * early + gk[2] * v[2] * early;
      }
      const double u = c == 0 ? uL : uR;
      out[t * ch + c] = e + r * wet + u * dry;
    }
  }
  return out;
}

// The model for a stored format: decode, model, encode.
template <class Codec>
std::vector<std::uint8_t> ModelCoded(const std::vector<std::uint8_t>& bytes, int ch,
                                     std::uint32_t rate, const ReverbParams& p,
                                     std::size_t tail) {
  using Stored = typename Codec::Stored;
  std::vector<double> x(bytes.size() / sizeof(Stored));
  for (std::size_t i = 0; i < x.size(); ++i) {
    Stored s;
    std::memcpy(&s, bytes.data() + i * sizeof s, sizeof s);
    x[i] = Codec::Decode(s);
  }
  const std::vector<double> y = Model(x, ch, rate, p, tail);
  std::vector<std::uint8_t> out(y.size() * sizeof(Stored));
  for (std::size_t i = 0; i < y.size(); ++i) {
    const Stored s = Codec::Encode(y[i]);
    std::memcpy(out.data() + i * sizeof s, &s, sizeof s);
  }
  return out;
}

std::vector<std::uint8_t> ModelFor(const FormatCase& f, const std::vector<std::uint8_t>& bytes,
                                   int ch, std::uint32_t rate, const ReverbParams& p,
                                   std::size_t tail) {
  switch (f.format) {
    case mw::SampleFormat::Pcm8: return ModelCoded<mw::Pcm8Codec>(bytes, ch, rate, p, tail);
    case mw::SampleFormat::Pcm16: return ModelCoded<mw::Pcm16Codec>(bytes, ch, rate, p, tail);
    case mw::SampleFormat::Pcm32: return ModelCoded<mw::Pcm32Codec>(bytes, ch, rate, p, tail);
    case mw::SampleFormat::Float32:
      return ModelCoded<mw::Float32Codec>(bytes, ch, rate, p, tail);
    case mw::SampleFormat::Float64:
      return ModelCoded<mw::Float64Codec>(bytes, ch, rate, p, tail);
  }
  return {};
}

// ---------------------------------------------------------------------------------------

TEST(ReverbParamsTable, AccessorOrderRangesAndUnclampedIndices) {
  auto e = NewReverb();
  const char* order[] = {"ReverbMode", "EarlyStyle", "DryOut", "ReverbOut",
                         "EarlyOut", "DecayTime", "PreDelay", "AttenuateBass",
                         "AttenuateHighs", "BassCutoff", "HighCutoff"};
  ASSERT_EQ(e->Params().Table().count, 11u);
  for (int i = 0; i < 11; ++i) EXPECT_STREQ(e->Params().Table().fields[i].name, order[i]);

  struct Case {
    const char* field;
    std::int32_t in, stored;
  };
  const Case cases[] = {
      {"DryOut", -801, -800},      {"DryOut", 5, 0},          {"ReverbOut", -9999, -800},
      {"EarlyOut", 1, 0},          {"DecayTime", 4, 5},       {"DecayTime", 51, 50},
      {"PreDelay", -1, 0},         {"PreDelay", 201, 200},    {"AttenuateBass", 2, 1},
      {"AttenuateHighs", -1, 0},   {"BassCutoff", 9, 10},     {"BassCutoff", 20000, 5000},
      {"HighCutoff", 99, 100},     {"HighCutoff", 15001, 15000},
      {"ReverbMode", 25, 25},      {"ReverbMode", -3, -3},    {"EarlyStyle", 10, 10},
  };
  for (const Case& c : cases) {
    Put(*e, c.field, c.in);
    EXPECT_EQ(Get(*e, c.field), c.stored) << c.field << " " << c.in;
  }

  ReverbParams p = kDefault;
  p.ReverbMode = 99;
  p.EarlyStyle = -4;
  EXPECT_EQ(e->Params().SetParameters(&p), mw::S_OK);  // the indices are not checked
  p.HighCutoff = 50;
  EXPECT_EQ(e->Params().SetParameters(&p), mw::E_FAIL);
  ReverbParams q;
  e->Params().GetParameters(&q);
  EXPECT_EQ(q.HighCutoff, 100);
  EXPECT_EQ(q.ReverbMode, 99);
}

TEST(ReverbParamsTable, RecordAndPresets) {
  auto e = NewReverb();
  EXPECT_EQ(e->SizeMax(), 64u);
  mw::MemoryStream s;
  ASSERT_EQ(e->Save(s, true), mw::S_OK);
  const std::vector<std::uint8_t> head = {0x40, 0, 0, 0, 0x43, 0xF6, 0x93, 0x2A, 0x58, 0x7C,
                                          0xD0, 0x11, 0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2,
                                          0xD0, 0x5F};
  ASSERT_EQ(s.Bytes().size(), 64u);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), s.Bytes().begin()));
  const std::int32_t fields[11] = {0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(mw::GetLe32(s.Bytes().data() + 20 + 4 * i),
                                         static_cast<std::uint32_t>(fields[i])) << i;

  const char* names[] = {"(Default)", "Default all parameters", "Bright hall", "Cathedral",
                         "Dense room", "Long hall", "Medium hall", "Medium room",
                         "Metal tank", "Plate", "Sewer", "Small hall", "Very long hall"};
  ASSERT_EQ(e->PresetCount(), 13);
  for (int i = 0; i < 13; ++i) {
    const char* name = nullptr;
    ASSERT_EQ(e->PresetName(i, &name), mw::S_OK);
    EXPECT_STREQ(name, names[i]);
  }
  const char* name = nullptr;
  EXPECT_EQ(e->PresetName(13, &name), mw::E_INVALIDARG);
  EXPECT_EQ(e->ApplyPreset(-1), mw::E_INVALIDARG);
  ASSERT_EQ(e->ApplyPreset(12), mw::S_OK);
  ReverbParams q;
  e->Params().GetParameters(&q);
  const ReverbParams veryLong = {0, -418, -300, 4, 5, 50, 45, 1, 100, 1, 10000};
  EXPECT_EQ(std::memcmp(&q, &veryLong, sizeof q), 0);
}

TEST(ReverbSetup, TailIsWholeSecondsOfTheDecay) {
  for (std::int32_t d = 5; d <= 9; ++d) {
    ReverbParams p = kDefault;
    p.DecayTime = d;
    EXPECT_EQ(Rig(1, 44100, p).engine.TailLength(), 0) << d;
  }
  const std::pair<std::int32_t, std::int64_t> cases[] = {
      {10, 44100}, {25, 88200}, {29, 88200}, {30, 132300}, {50, 220500}};
  for (const auto& [decay, frames] : cases) {
    ReverbParams p = kDefault;
    p.DecayTime = decay;
    Rig r(2, 44100, p);
    EXPECT_EQ(r.engine.TailLength(), frames) << decay;
    EXPECT_EQ(r.engine.TailRemaining(), frames) << decay;
    EXPECT_EQ(r.engine.CountDown(), frames) << decay;
  }
}

TEST(ReverbSetup, LineLengthsAndGains) {
  ReverbParams p = kDefault;
  p.ReverbMode = 6;
  Rig mono(1, 44100, p);
  EXPECT_EQ(mono.engine.LineCount(), 10);
  EXPECT_EQ(mono.engine.LineLength(6), 172065u);  // 3901.707 ms, not 39 ms
  EXPECT_EQ(mono.engine.LineLength(9), 1395u);    // 1394.75 rounds up
  EXPECT_FALSE(mono.engine.LineUsed(mw::ReverbEngine::kExtraLeft));

  p.ReverbMode = 0;
  Rig stereo(2, 44100, p);
  EXPECT_EQ(stereo.engine.LineLength(0), 1040u);   // 1040.01
  EXPECT_EQ(stereo.engine.LineLength(mw::ReverbEngine::kExtraLeft), 967u);   // 21.93 ms
  EXPECT_EQ(stereo.engine.LineLength(mw::ReverbEngine::kExtraRight), 2199u); // 49.87 ms
  // Every line falls by 60 dB over the decay of 2.5 s.
  for (int i : {0, 5, 9, mw::ReverbEngine::kExtraLeft, mw::ReverbEngine::kExtraRight}) {
    const double g = stereo.engine.LineGain(i);
    EXPECT_GT(g, 0.0);
    EXPECT_LT(g, 1.0);
  }
  EXPECT_NEAR(std::pow(stereo.engine.LineGain(0), 2.5 / 0.023583), 0.001, 1e-12);
  EXPECT_NEAR(std::pow(stereo.engine.LineGain(mw::ReverbEngine::kExtraRight),
                       2.5 / (0.047049 * 1.06)),
              0.001, 1e-12);

  p.ReverbMode = 1;  // eight lines
  EXPECT_EQ(Rig(2, 44100, p).engine.LineCount(), 8);
  EXPECT_FALSE(Rig(2, 44100, p).engine.LineUsed(8));
}

TEST(ReverbSetup, PreDelayAndEarlyTaps) {
  ReverbParams p = kCombsOnly;
  EXPECT_EQ(Rig(1, 44100, p).engine.PreDelayLength(), 1u);
  p.PreDelay = 1;
  EXPECT_EQ(Rig(1, 44100, p).engine.PreDelayLength(), 44u);
  p.PreDelay = 200;
  EXPECT_EQ(Rig(1, 8000, p).engine.PreDelayLength(), 1600u);

  // Through the output: the shortest line of mode 0 (19.941 ms: 879 frames) sounds first,
  // then the pre-delay of 1 ms adds 43 frames.
  p.PreDelay = 0;
  EXPECT_EQ(FirstSound(Rig(1, 44100, p).Run(Impulse(1000, 1)), 1, 0), 879);
  p.PreDelay = 1;
  EXPECT_EQ(FirstSound(Rig(1, 44100, p).Run(Impulse(1000, 1)), 1, 0), 879 + 43);

  // Style 3 at 44100 Hz: 16.062, 30.209 and 55.091 ms.
  ReverbParams q = kDefault;
  Rig m(1, 44100, q);
  EXPECT_EQ(m.engine.TapDelay(0), 708u);
  EXPECT_EQ(m.engine.TapDelay(1), 1332u);
  EXPECT_EQ(m.engine.TapDelay(2), 2429u);
  EXPECT_EQ(m.engine.EarlyLength(), 2429u);
  EXPECT_EQ(m.engine.TapGain(0, 0), 79.0);
  Rig s(2, 44100, q);
  EXPECT_NEAR(s.engine.TapGain(0, 0), 0.18 * 79, 1e-12);  // pan 64
  EXPECT_NEAR(s.engine.TapGain(0, 1), 0.82 * 79, 1e-12);
  EXPECT_EQ(s.engine.TapGain(1, 0), -80.0);  // pan -100: all left
  EXPECT_EQ(s.engine.TapGain(1, 1), 0.0);
}

TEST(ReverbSetup, LevelsAndFilters) {
  ReverbParams p = kDefault;
  p.EarlyOut = -800;
  EXPECT_EQ(Rig(1, 44100, p).engine.Early(), 0.0);
  p.EarlyOut = -799;
  EXPECT_GT(Rig(1, 44100, p).engine.Early(), 0.0);
  p.EarlyOut = 0;
  p.DryOut = 0;
  p.ReverbOut = -200;
  Rig r(1, 44100, p);
  EXPECT_EQ(r.engine.Early(), 0.01);
  EXPECT_EQ(r.engine.Dry(), 1.0);
  EXPECT_NEAR(r.engine.Wet(), 0.1, 1e-15);

  // The high-cut is tested against the full rate, not half of it.
  p.HighCutoff = 15000;
  EXPECT_NEAR(Rig(1, 22050, p).engine.HighCut(), std::exp(-4 * kPi * 15000 / 22050), 1e-11);
  EXPECT_EQ(Rig(1, 15000, p).engine.HighCut(), 0.0);
  p.HighCutoff = 12000;
  p.AttenuateHighs = 0;
  EXPECT_EQ(Rig(1, 44100, p).engine.HighCut(), 0.0);

  // Bass-cut design: 20 Hz at 44100 Hz is below the lowest corner, f = 0.0004.
  Rig b(1, 44100, kDefault);
  const double r0 = std::exp(-kPi * 0.0004 / 0.1);
  EXPECT_NEAR(b.engine.BassC2(), std::exp(-2 * kPi * 0.0004 / 0.1), 1e-15);
  EXPECT_NEAR(b.engine.BassC1(), 2 * r0 * std::cos(2 * kPi * 0.0004), 1e-15);
  // 2000 Hz at 44100 Hz is above 500/44100: f = x / 3.3; 200 Hz below it: f = x / 2.2.
  p = kDefault;
  p.BassCutoff = 2000;
  const double f1 = 2000.0 / 44100 / 3.3;
  EXPECT_NEAR(Rig(1, 44100, p).engine.BassC2(), std::exp(-2 * kPi * f1 / 0.1), 1e-14);
  p.BassCutoff = 200;
  const double f2 = 200.0 / 44100 / 2.2;
  EXPECT_NEAR(Rig(1, 44100, p).engine.BassC2(), std::exp(-2 * kPi * f2 / 0.1), 1e-14);
  p.BassCutoff = 5000;
  EXPECT_NEAR(Rig(1, 1000, p).engine.BassC2(), std::exp(-2 * kPi * 0.49 / 0.1), 1e-16);
}

TEST(ReverbSetup, OutOfRangeIndicesUseTheLastOrFirstRow) {
  ReverbParams p = kDefault;
  p.ReverbMode = 25;
  p.EarlyStyle = 12;
  Rig high(2, 8000, p);
  EXPECT_EQ(high.engine.Mode(), 18);
  EXPECT_EQ(high.engine.Style(), 9);
  p.ReverbMode = -7;
  p.EarlyStyle = -1;
  Rig low(1, 8000, p);
  EXPECT_EQ(low.engine.Mode(), 0);
  EXPECT_EQ(low.engine.Style(), 0);

  p.ReverbMode = 18;
  p.EarlyStyle = 9;
  Rig same(2, 8000, p);
  const auto x = mwtest::MakeSignal(kF64, 2, 600, 4);
  std::vector<double> in(x.size() / 8);
  std::memcpy(in.data(), x.data(), x.size());
  EXPECT_EQ(high.Run(in), same.Run(in));
}

// The engine's outputs, tail included, equal the plain model for every format, both
// channel counts and any buffer size.
TEST(ReverbOutput, MatchesTheFormulasInEveryFormatAndBufferSize) {
  struct Setting {
    std::uint32_t rate;
    ReverbParams p;
  };
  const Setting settings[] = {
      {8000, {0, -350, -200, 0, 3, 10, 30, 1, 20, 1, 12000}},     // highs off: above the rate
      {11025, {-60, 0, 0, 17, 8, 12, 1, 1, 400, 1, 3000}},
      {4000, {-30, -100, -50, 16, 0, 15, 0, 1, 1000, 0, 5000}},
      {3000, {0, -160, -200, 6, 3, 10, 15, 0, 20, 1, 1000}},
  };
  for (const Setting& s : settings) {
    for (const auto& f : AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        const auto input = mwtest::MakeSignal(f, ch, 1200, 11 + ch);
        const std::size_t tail = static_cast<std::size_t>(s.p.DecayTime / 10) * s.rate;
        const auto expected = ModelFor(f, input, ch, s.rate, s.p, tail);
        for (std::uint32_t buffer : {1u, 7u, 4096u}) {
          if (buffer == 1 && f.format != mw::SampleFormat::Pcm16) continue;
          auto e = NewReverb();
          e->Params().SetParameters(&s.p);
          const auto out = mwtest::RunThrough(*e, f, ch, s.rate, input, buffer);
          ASSERT_EQ(out.size(), expected.size())
              << mw::SampleFormatName(f.format) << " " << ch << " " << buffer;
          EXPECT_TRUE(out == expected)
              << mw::SampleFormatName(f.format) << " ch " << ch << " buffer " << buffer
              << " rate " << s.rate;
        }
      }
    }
  }
}

// Near 2^-32 only the input filters and, in stereo, the lines that feed one side are
// flushed to zero; everything else keeps its tiny values.
TEST(ReverbOutput, TinySignalsFollowTheFlushRules) {
  const ReverbParams p = {-800, 0, 0, 0, 3, 30, 0, 1, 100, 1, 2000};
  for (std::uint16_t ch : {1, 2}) {
    std::vector<double> x = Noise(3000, ch, 7);
    for (double& v : x) v *= 1.5e-9;
    std::vector<std::uint8_t> bytes(x.size() * 8);
    std::memcpy(bytes.data(), x.data(), bytes.size());
    auto e = NewReverb();
    e->Params().SetParameters(&p);
    const auto out = mwtest::RunThrough(*e, kF64, ch, 4000, bytes, 512);
    EXPECT_TRUE(out == ModelFor(kF64, bytes, ch, 4000, p, 3 * 4000)) << ch;
  }
}

TEST(ReverbOutput, StereoRoutingAndEarlyReflectionsFromBothChannels) {
  // Mode 17 at 44100 Hz: line 0 (3.101 ms, 137 frames) is the shortest that feeds the
  // left, the extra line of 2.884 ms (127 frames) the shortest that feeds the right.
  ReverbParams p = kCombsOnly;
  p.ReverbMode = 17;
  Rig r(2, 44100, p);
  const auto y = r.Run(Impulse(400, 2, 0));
  EXPECT_EQ(FirstSound(y, 2, 0), 137);
  EXPECT_EQ(FirstSound(y, 2, 1), 127);

  // Everything wet is fed by both channels alike: the same impulse in either channel gives
  // the same output.
  ReverbParams q = kDefault;
  q.DryOut = -800;
  q.EarlyOut = 0;
  Rig left(2, 8000, q), right(2, 8000, q);
  const auto a = left.Run(Impulse(3000, 2, 0));
  const auto b = right.Run(Impulse(3000, 2, 1));
  EXPECT_EQ(a, b);
  EXPECT_FALSE(AllZero(a));
}

TEST(ReverbOutput, InputsBelowTheFlushLevelNeverReachTheLines) {
  ReverbParams p = kCombsOnly;
  p.AttenuateHighs = 1;
  Rig r(1, 8000, p);
  EXPECT_TRUE(AllZero(r.Run(std::vector<double>(3000, 2.0e-10))));
  EXPECT_FALSE(AllZero(r.Run(std::vector<double>(3000, 3.0e-10))));
}

TEST(ReverbOutput, BassCutRemovesSteadyInputFromTheReverb) {
  ReverbParams p = kCombsOnly;
  p.DecayTime = 5;
  p.BassCutoff = 1000;
  Rig off(1, 8000, p);
  p.AttenuateBass = 1;
  Rig on(1, 8000, p);
  const std::vector<double> dc(16000, 0.5);
  const auto a = off.Run(dc);
  const auto b = on.Run(dc);
  EXPECT_GT(std::fabs(a.back()), 0.1);
  EXPECT_LT(std::fabs(b.back()), 1e-6);
}

TEST(ReverbChanges, LevelDecayAndFilterChangesKeepTheSound) {
  const std::pair<const char*, std::int32_t> changes[] = {
      {"DryOut", -100},        {"ReverbOut", -100},     {"EarlyOut", -300},
      {"DecayTime", 10},       {"AttenuateBass", 1},    {"BassCutoff", 200},
      {"AttenuateHighs", 0},   {"HighCutoff", 3000}};
  for (const auto& [field, value] : changes) {
    ReverbParams p = kDefault;
    p.AttenuateBass = 0;
    Rig r(2, 8000, p);
    r.Run(Noise(400, 2));
    const std::uint64_t allocations = mw::SampleAllocationCount();
    Put(*r.effect, field, value);
    EXPECT_FALSE(AllZero(r.Silence(2000))) << field;
    EXPECT_EQ(mw::SampleAllocationCount(), allocations) << field;
  }
  // A dry level change in silence changes nothing at all: the update keeps every line and
  // every state.
  ReverbParams p = kDefault;
  p.AttenuateBass = 0;
  Rig a(2, 8000, p), b(2, 8000, p);
  a.Run(Noise(400, 2));
  b.Run(Noise(400, 2));
  Put(*b.effect, "DryOut", -300);
  EXPECT_EQ(a.Silence(3000), b.Silence(3000));
  // A new decay reaches the running lines at the next buffer (what they already hold
  // comes out as it was written).
  Put(*b.effect, "DecayTime", 5);
  const auto before = a.Silence(1000);
  const auto after = b.Silence(1000);
  const std::size_t shortest = 2 * 160;  // 19.941 ms at 8000 Hz
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + shortest, after.begin()));
  EXPECT_NE(before, after);
  EXPECT_EQ(b.engine.TailLength(), 0);
}

TEST(ReverbChanges, ModeStylePreDelayOrAWholeBlockRestartSilent) {
  const std::pair<const char*, std::int32_t> changes[] = {
      {"ReverbMode", 5}, {"ReverbMode", 40}, {"EarlyStyle", 1}, {"PreDelay", 31}};
  for (const auto& [field, value] : changes) {
    Rig r(2, 8000, kDefault);
    r.Run(Noise(400, 2));
    Put(*r.effect, field, value);
    EXPECT_TRUE(AllZero(r.Silence(3000))) << field;
  }
  Rig r(1, 8000, kDefault);
  r.Run(Noise(400, 1));
  r.effect->ApplyPreset(0);  // the same values, but a whole block
  EXPECT_TRUE(AllZero(r.Silence(3000)));

  Rig same(1, 8000, kDefault);
  same.Run(Noise(400, 1));
  Put(*same.effect, "ReverbMode", 0);  // unchanged: nothing happens
  EXPECT_FALSE(AllZero(same.Silence(3000)));
}

TEST(ReverbChanges, DiscontinuityClearsTheSoundOnlyAfterTheFirstBuffer) {
  Rig r(1, 8000, kDefault);
  r.Run(Noise(100, 1), mw::kModeDiscontinuity);  // just reset: nothing lost
  EXPECT_FALSE(AllZero(r.Silence(1000)));
  const auto y = r.Run(std::vector<double>(1000, 0.0), mw::kModeDiscontinuity);
  EXPECT_TRUE(AllZero(y));
  EXPECT_EQ(r.engine.TailRemaining(), r.engine.TailLength());
}

TEST(ReverbChanges, FreedOrMissingLinesAreBuiltBeforeUse) {
  Rig r(1, 8000, kDefault);
  r.effect->Frame().StopStreaming();
  EXPECT_FALSE(r.engine.HasBuffers());
  std::vector<double> tail(10, 0.0);
  std::uint32_t frames = 10;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeTail, tail.data(), &frames), 1);
  EXPECT_EQ(frames, 0u);
  const auto y = r.Run(Impulse(100, 1));
  EXPECT_EQ(y[0], 1.0);
  EXPECT_TRUE(r.engine.HasBuffers());

  // A channel count changed under the engine rebuilds rather than reading missing lines.
  const auto stereo = mwtest::FormatBlock(kF64, 2, 8000);
  r.effect->Frame().SetMediaType(mw::kPinInput, stereo.data());
  const auto z = r.Run(Impulse(100, 2, 1));
  EXPECT_EQ(z[1], 1.0);
  EXPECT_TRUE(r.engine.LineUsed(mw::ReverbEngine::kExtraRight));
}

TEST(ReverbChanges, LinesThatCannotExistAreOutOfMemoryAndRetried) {
  ReverbParams p = kDefault;
  p.ReverbMode = 6;  // a line of 3.9 s: more than 2^32 samples at this rate
  Rig r(1, 4294967295u, p);
  EXPECT_EQ(r.start, mw::E_OUTOFMEMORY);
  EXPECT_FALSE(r.engine.HasBuffers());
  std::vector<double> x(4, 0.5);
  r.Run(x, mw::kModeNormal, mw::E_OUTOFMEMORY);
  EXPECT_EQ(r.Run(x, mw::kModeNormal, mw::E_OUTOFMEMORY), x);  // tried again, untouched
  std::uint32_t frames = 4;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeTail, x.data(), &frames), 1);
  EXPECT_EQ(frames, 0u);
  // The next buffer after the format allows the lines works.
  const auto block = mwtest::FormatBlock(kF64, 1, 8000);
  r.effect->Frame().SetMediaType(mw::kPinInput, block.data());
  EXPECT_EQ(r.Run(x)[0], 0.5);
}

TEST(ReverbTail, EndOfStreamProducesWholeSecondsOfTail) {
  const auto& f16 = AllFormats()[1];
  for (std::int32_t decay : {5, 9, 10, 25}) {
    ReverbParams p = kDefault;
    p.DecayTime = decay;
    auto e = NewReverb();
    e->Params().SetParameters(&p);
    const auto input = mwtest::MakeSignal(f16, 2, 700, 5);
    const auto out = mwtest::RunThrough(*e, f16, 2, 1000, input, 250);
    EXPECT_EQ(out.size(), input.size() + std::size_t(decay / 10) * 1000 * 4) << decay;
  }
}

class CountingDownstream : public mw::Downstream {
 public:
  explicit CountingDownstream(std::size_t bytes) : buffer_(bytes) {}
  mw::HResult GetDeliveryBuffer(mw::MediaBuffer** b) override {
    *b = &buffer_;
    return mw::S_OK;
  }
  mw::HResult Deliver(mw::MediaBuffer* b) override {
    lengths.push_back(b->ActualLength());
    return mw::S_OK;
  }
  void ReleaseBuffer(mw::MediaBuffer*) override {}
  mw::HResult DeliverEndOfStream() override {
    ++ends;
    return mw::S_OK;
  }
  std::vector<std::int32_t> lengths;
  int ends = 0;

 private:
  mw::HeapBuffer buffer_;
};

TEST(ReverbTail, TailBuffersEndExactlyAndChangesWaitForTheNextBuffer) {
  const auto& f32 = AllFormats()[3];
  Rig r(1, 1000, kDefault, f32);  // a tail of 2000 frames
  mw::HeapBuffer in(500 * 4);
  CountingDownstream down(500 * 4);
  in.SetActualLength(500 * 4);
  ASSERT_EQ(r.effect->Frame().Receive(in, down), mw::S_OK);
  ASSERT_EQ(r.effect->Frame().EndOfStream(&down), mw::S_OK);
  EXPECT_EQ(down.lengths, (std::vector<std::int32_t>{2000, 2000, 2000, 2000, 2000}));
  EXPECT_EQ(down.ends, 1);

  // The tail used up: another end of stream after new input gives one empty buffer.
  CountingDownstream again(500 * 4);
  in.SetActualLength(500 * 4);
  r.effect->Frame().Receive(in, again);
  r.effect->Frame().EndOfStream(&again);
  EXPECT_EQ(again.lengths, (std::vector<std::int32_t>{2000, 0}));

  // A change during the tail neither ends it nor is lost.
  Rig t(1, 1000, kDefault);
  t.Run(Impulse(100, 1));
  Put(*t.effect, "DryOut", -800);
  std::vector<double> silence(300, 0.0);
  std::uint32_t frames = 300;
  EXPECT_EQ(t.engine.ProcessFloat64(mw::kModeTail, silence.data(), &frames), mw::S_OK);
  EXPECT_EQ(frames, 300u);
  EXPECT_EQ(t.engine.TailRemaining(), 1700);
  EXPECT_EQ(t.engine.Dry(), 1.0);
  EXPECT_TRUE(t.engine.ChangePending());
  t.Silence(1);  // applied now
  EXPECT_EQ(t.engine.Dry(), 0.0);
  EXPECT_FALSE(t.engine.ChangePending());
  EXPECT_EQ(t.engine.TailRemaining(), 2000);
}

TEST(ReverbDirect, CountDownStartsFromTheTailLength) {
  auto e = NewReverb();
  mw::InPlaceFrame& frame = e->Frame();
  auto& engine = static_cast<mw::ReverbEngine&>(e->Engine());
  ASSERT_EQ(frame.Initialize(1, 1000), mw::S_OK);
  EXPECT_EQ(engine.CountDown(), 2000);
  std::vector<float> x(1500, 0.0f);
  EXPECT_EQ(frame.Process(x.data(), 1500, true), mw::S_OK);
  EXPECT_EQ(engine.CountDown(), 500);
  std::vector<float> y(1000, 7.0f);
  EXPECT_EQ(frame.Process(y.data(), 1000, true), mw::S_OK);
  EXPECT_NE(y[499], 7.0f);
  EXPECT_EQ(y[500], 7.0f);  // beyond the count-down: untouched
  EXPECT_EQ(frame.Process(y.data(), 10, true), 1);
  // The tail of what the limited calls processed can still be collected.
  std::vector<float> t(100, 0.0f);
  std::uint32_t n = 100;
  EXPECT_EQ(frame.ProcessTail(t.data(), &n), mw::S_OK);
  EXPECT_EQ(n, 100u);
  EXPECT_FALSE(std::all_of(t.begin(), t.end(), [](float v) { return v == 0.0f; }));

  // A change taken by a limited call is applied by the next unlimited one.
  Put(*e, "DryOut", -800);
  std::vector<float> z(10, 0.0f);
  EXPECT_EQ(frame.Process(z.data(), 10, false), mw::S_OK);  // re-arms
  EXPECT_EQ(engine.CountDown(), 2000);
  Put(*e, "DryOut", 0);
  std::vector<float> w(4, 0.25f);
  EXPECT_EQ(frame.Process(w.data(), 4, true), mw::S_OK);
  EXPECT_EQ(engine.Dry(), 0.0);
  EXPECT_TRUE(engine.ChangePending());
  EXPECT_EQ(frame.UpdateParameters(false), mw::S_OK);
  EXPECT_EQ(engine.Dry(), 1.0);
  EXPECT_EQ(frame.UpdateParameters(false), mw::S_FALSE);
}

}  // namespace
