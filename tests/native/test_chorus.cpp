// The Chorus engine: its parameters, presets and record, its set-up numbers, its voices,
// what a change keeps, and its output against a plain frame-by-frame model of the voices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "effects/chorus/chorus.h"
#include "effects/chorus/oscillator_sine.h"
#include "frame/exact_math.h"
#include "frame/memory_stream.h"
#include "test_util.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;

const FormatCase kF64 = AllFormats()[4];

// Field indices, in the accessor (and block) order.
enum Field {
  kInputGain, kDryOut, kChorusOut, kChorusSize, kFeedback, kInvertChorusPhase,
  kChorusOutDelay, kModulationRate, kModulationDepth, kAttenuateHighs, kHighCutoff,
  kInvertFeedbackPhase,
};

constexpr ChorusParams kDefault = {0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0};

std::unique_ptr<mw::InPlaceEffect> NewChorus() {
  return mw::CreateEffect(*mw::FindEffect("chorus"));
}

ChorusParams With(ChorusParams p, Field f, std::int32_t v) {
  reinterpret_cast<std::int32_t*>(&p)[f] = v;
  return p;
}

// An effect connected to a format and started, driven buffer by buffer.
struct Rig {
  std::unique_ptr<mw::InPlaceEffect> effect = NewChorus();
  mw::ChorusEngine& engine = static_cast<mw::ChorusEngine&>(effect->Engine());
  mw::HResult start = mw::E_UNEXPECTED;
  std::uint16_t channels;

  Rig(std::uint16_t ch, std::uint32_t rate, const ChorusParams& p,
      const FormatCase& f = kF64)
      : channels(ch) {
    effect->Params().SetParameters(&p);
    const auto block = mwtest::FormatBlock(f, ch, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    start = effect->Frame().StartStreaming();
  }
  std::vector<double> Run(std::vector<double> x, int mode = mw::kModeNormal) {
    std::uint32_t frames = static_cast<std::uint32_t>(x.size() / channels);
    EXPECT_EQ(engine.ProcessFloat64(mode, x.data(), &frames), mw::S_OK);
    EXPECT_EQ(frames, x.size() / channels);
    return x;
  }
  void Put(Field f, std::int32_t v) { effect->Params().Put(f, v); }
};

std::vector<double> Impulse(std::size_t frames, std::uint16_t channels = 1, int c = 0) {
  std::vector<double> x(frames * channels, 0.0);
  x[c] = 1.0;
  return x;
}

// ---------------------------------------------------------------------------------------
// A plain model of the voices, frame by frame with ExactSin and fmod, for comparison with
// the engine's blocks, sine tables and filter shortcut.

struct ModelVoice {
  std::vector<double> line = std::vector<double>(6500, 0.0);
  long long write = 0, baseDelay = 0, counter = 0, period = 0;
  double step = 0.0, state = 0.0;
};

struct Model {
  explicit Model(double r) : rate(r) {}
  double rate;
  ModelVoice v[3];
  int voices = 1;
  double gIn = 0, gDry = 0, level = 0, pL = 0, pR = 0, w[3] = {}, fb = 0, a = 0, a1 = 1;
  long long delay = 0, depth = 0;
  const double m[3] = {1.0, 0.811731, 1.132329};

  static double Gain(std::int32_t v) { return v > -600 ? mw::ExactPow(10.0, v * 0.005) : 0.0; }

  void Common(const ChorusParams& p) {
    gIn = Gain(p.InputGain);
    gDry = Gain(p.DryOut);
    level = Gain(p.ChorusOut);
    if (p.InvertChorusPhase) level = -level;
    fb = p.Feedback * 0.01;
    if (p.InvertFeedbackPhase) fb = -fb;
    const long long r = static_cast<long long>(rate);
    a = p.AttenuateHighs && p.HighCutoff < r / 2 ? mw::ExactExp(-6.283185307179586 *
                                                                p.HighCutoff / rate)
                                                 : 0.0;
    a1 = 1.0 - a;
    pL = 0.9 * level;
    pR = 0.95 * level;
    w[0] = 0.9 * level;
    w[1] = 0.9 * w[0];
    w[2] = 0.9 * w[1];
    for (int i = 0; i < 3; ++i) {
      v[i].period = static_cast<long long>(rate * m[i] * 1000 / p.ModulationRate);
      v[i].step = 6.28318530718 / v[i].period;
    }
  }
  void Full(const ChorusParams& p) {
    voices = p.ChorusSize;
    Common(p);
    delay = static_cast<long long>(rate * p.ChorusOutDelay * 0.0001);
    depth = static_cast<long long>(p.ModulationDepth * 0.01 * delay);
    for (int i = 0; i < 3; ++i) {
      std::fill(v[i].line.begin(), v[i].line.end(), 0.0);
      v[i].write = 0;
      v[i].state = 0.0;
      v[i].baseDelay = static_cast<long long>(delay * m[i]);
    }
  }
  void Partial(const ChorusParams& p) {
    Common(p);
    depth = static_cast<long long>(p.ModulationDepth * 0.01 * delay);
  }
  void Reset(const ChorusParams& p) {
    for (auto& x : v) x.counter = 0;
    Full(p);
  }
  double Read(ModelVoice& x) {
    const double d = x.baseDelay + depth * mw::ExactSin(x.counter * x.step);
    double pos = std::fmod(x.write + d, 6500.0);
    if (pos < 0) pos += 6500.0;
    if (pos >= 6500.0) pos -= 6500.0;
    const int i = static_cast<int>(pos);
    const int j = i + 1 == 6500 ? 0 : i + 1;
    const double r = x.line[i] + (x.line[j] - x.line[i]) * (pos - i);
    double s = a1 * r + a * x.state;
    if (std::fabs(s) < 2e-11) s = 0.0;
    x.state = s;
    if (++x.counter >= x.period) x.counter = 0;
    return s;
  }
  static void Write(ModelVoice& x, double in) {
    x.line[x.write] = in;
    x.write = x.write == 0 ? 6499 : x.write - 1;
  }
  double Mono(double u) {
    const double x0 = u * gIn;
    const double s0 = Read(v[0]);
    double y = s0 * w[0] + x0 * gDry;
    Write(v[0], x0 + s0 * fb);
    for (int i = 1; i < voices; ++i) {
      const double s = Read(v[i]);
      Write(v[i], y + s * fb);
      y = y + s * w[i];
    }
    return y;
  }
  void Stereo(double& l, double& r) {
    const double xL = l * gIn, xR = r * gIn;
    const double s0 = Read(v[0]);
    l = xL * gDry + s0 * pL;
    r = xR * gDry + s0 * pR;
    Write(v[0], (xL + xR) * 0.5 + s0 * fb);
    for (int i = 1; i < voices; ++i) {
      const double s = Read(v[i]);
      Write(v[i], (l + r) * 0.5 + s * fb);
      l = l + s * pL;
      r = r + s * pR;
    }
  }
};

template <class Codec>
void ModelSamples(Model& model, std::uint8_t* bytes, std::size_t frames, int channels) {
  auto* s = reinterpret_cast<typename Codec::Stored*>(bytes);
  for (std::size_t n = 0; n < frames; ++n, s += channels) {
    if (channels == 1) {
      s[0] = Codec::Encode(model.Mono(Codec::Decode(s[0])));
    } else {
      double l = Codec::Decode(s[0]), r = Codec::Decode(s[1]);
      model.Stereo(l, r);
      s[0] = Codec::Encode(l);
      s[1] = Codec::Encode(r);
    }
  }
}

void ModelBuffer(Model& model, const FormatCase& f, std::uint8_t* bytes, std::size_t frames,
                 int channels) {
  switch (f.format) {
    case mw::SampleFormat::Pcm8:
      return ModelSamples<mw::Pcm8Codec>(model, bytes, frames, channels);
    case mw::SampleFormat::Pcm16:
      return ModelSamples<mw::Pcm16Codec>(model, bytes, frames, channels);
    case mw::SampleFormat::Pcm32:
      return ModelSamples<mw::Pcm32Codec>(model, bytes, frames, channels);
    case mw::SampleFormat::Float32:
      return ModelSamples<mw::Float32Codec>(model, bytes, frames, channels);
    case mw::SampleFormat::Float64:
      return ModelSamples<mw::Float64Codec>(model, bytes, frames, channels);
  }
}

// A change of one field before a given buffer.
struct Change {
  int beforeBuffer;
  Field field;
  std::int32_t value;
};

// The engine through the frame's dispatch, buffer by buffer (the first one flagged as a
// discontinuity), with changes between buffers; and the model doing the same.
std::vector<std::uint8_t> RunEngine(const FormatCase& f, std::uint16_t ch, std::uint32_t rate,
                                    const ChorusParams& p, std::vector<std::uint8_t> data,
                                    std::uint32_t bufferFrames,
                                    const std::vector<Change>& changes = {}) {
  Rig rig(ch, rate, p, f);
  EXPECT_EQ(rig.start, mw::S_OK);
  const std::size_t align = f.bits / 8 * ch;
  const std::size_t total = data.size() / align;
  int buffer = 0;
  for (std::size_t at = 0; at < total; at += bufferFrames, ++buffer) {
    for (const Change& c : changes) {
      if (c.beforeBuffer == buffer) rig.Put(c.field, c.value);
    }
    std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(bufferFrames, total - at));
    EXPECT_EQ(mw::DispatchLoop(rig.engine, rig.effect->Frame().Format(),
                               at == 0 ? mw::kModeDiscontinuity : mw::kModeNormal,
                               data.data() + at * align, &n),
              mw::S_OK);
  }
  return data;
}

std::vector<std::uint8_t> RunModel(const FormatCase& f, std::uint16_t ch, std::uint32_t rate,
                                   ChorusParams p, std::vector<std::uint8_t> data,
                                   std::uint32_t bufferFrames,
                                   const std::vector<Change>& changes = {}) {
  Model model(static_cast<double>(rate));
  model.Reset(p);
  const std::size_t align = f.bits / 8 * ch;
  const std::size_t total = data.size() / align;
  int buffer = 0;
  for (std::size_t at = 0; at < total; at += bufferFrames, ++buffer) {
    bool any = false, full = false;
    for (const Change& c : changes) {
      if (c.beforeBuffer != buffer) continue;
      const std::int32_t old = reinterpret_cast<std::int32_t*>(&p)[c.field];
      reinterpret_cast<std::int32_t*>(&p)[c.field] = c.value;
      if (old != c.value) {
        any = true;
        full = full || c.field == kChorusSize || c.field == kChorusOutDelay;
      }
    }
    if (full) model.Full(p); else if (any) model.Partial(p);
    const std::size_t n = std::min<std::size_t>(bufferFrames, total - at);
    ModelBuffer(model, f, data.data() + at * align, n, ch);
  }
  return data;
}

// ---------------------------------------------------------------------------------------

TEST(ChorusInterface, FieldsRangesAndFlags) {
  const mw::ParamTable& t = mw::kChorusInfo.params;
  const char* names[] = {"InputGain", "DryOut", "ChorusOut", "ChorusSize", "Feedback",
                         "InvertChorusPhase", "ChorusOutDelay", "ModulationRate",
                         "ModulationDepth", "AttenuateHighs", "HighCutoff",
                         "InvertFeedbackPhase"};
  ASSERT_EQ(t.count, 12u);
  EXPECT_EQ(t.blockSize, 48u);
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_STREQ(t.fields[i].name, names[i]);
    EXPECT_EQ(t.fields[i].offset, 4 * i);
  }

  auto e = NewChorus();
  mw::ParamStore& s = e->Params();
  const std::int32_t below[] = {-601, -601, -601, 0, -1, -5, 0, 0, 0, -7, 99, 9};
  const std::int32_t low[] = {-600, -600, -600, 1, 0, -5, 1, 1, 1, -7, 100, 9};
  const std::int32_t above[] = {1, 1, 1, 4, 101, 12, 1001, 20001, 101, 3, 10001, -2};
  const std::int32_t high[] = {0, 0, 0, 3, 100, 12, 1000, 20000, 100, 3, 10000, -2};
  for (std::size_t i = 0; i < 12; ++i) {
    std::int32_t got = 0;
    EXPECT_EQ(s.Put(i, below[i]), mw::S_OK);
    s.Get(i, &got);
    EXPECT_EQ(got, low[i]) << names[i];
    EXPECT_EQ(s.Put(i, above[i]), mw::S_OK);
    s.Get(i, &got);
    EXPECT_EQ(got, high[i]) << names[i];
  }

  // The whole-block setter clamps too, and says so.
  ChorusParams p = With(kDefault, kChorusSize, 4);
  EXPECT_EQ(s.SetParameters(&p), mw::E_FAIL);
  s.GetParameters(&p);
  EXPECT_EQ(p.ChorusSize, 3);
  p = With(kDefault, kInvertFeedbackPhase, 77);  // flags are not checked
  EXPECT_EQ(s.SetParameters(&p), mw::S_OK);
}

TEST(ChorusInterface, RecordAndPresets) {
  auto e = NewChorus();
  mw::MemoryStream out;
  ASSERT_EQ(e->Save(out, true), mw::S_OK);
  const std::vector<std::uint8_t>& bytes = out.Bytes();
  ASSERT_EQ(bytes.size(), 68u);
  EXPECT_EQ(e->SizeMax(), 68u);
  const std::uint8_t header[] = {0x44, 0x00, 0x00, 0x00, 0x83, 0x2D, 0x1B, 0x4F, 0xA7, 0x63,
                                 0xD0, 0x11, 0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F};
  EXPECT_EQ(std::memcmp(bytes.data(), header, sizeof header), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 20, &kDefault, 48), 0);

  // A Simple Delay record is refused.
  auto delay = mwtest::NewDelay();
  mw::MemoryStream other;
  delay->Save(other, true);
  mw::MemoryStream in(other.Bytes().data(), other.Bytes().size());
  EXPECT_EQ(e->Load(in), mw::E_FAIL);

  const char* names[] = {
      "(Default)", "Default all parameters", "Fast flange 1", "Fast flange 2",
      "Slow flange 1", "Slow flange 2", "Slow flange 3", "Slow flange 4", "Chorus/vibrato 1",
      "Chorus/vibrato 2", "Chorus 1", "Chorus 2", "Chorus 3", "Chorus 4", "Chorus 5",
      "Cheap TV", "Echo-vibrato 1", "Echo-vibrato 2", "Echo-vibrato 3", "Echo-vibrato 4",
      "Vibrato-verb 1", "Vibrato-verb 2", "Vibrato-verb 3", "Hard flange"};
  ASSERT_EQ(e->PresetCount(), 24);
  for (int i = 0; i < 24; ++i) {
    const char* name = nullptr;
    ASSERT_EQ(e->PresetName(i, &name), mw::S_OK);
    EXPECT_STREQ(name, names[i]);
    // Every row is inside the ranges: applying it never needs a correction.
    EXPECT_EQ(e->ApplyPreset(i), mw::S_OK) << i;
  }
  EXPECT_EQ(e->ApplyPreset(24), mw::E_INVALIDARG);
  EXPECT_EQ(e->ApplyPreset(-1), mw::E_INVALIDARG);

  ChorusParams p;
  e->ApplyPreset(15);
  e->Params().GetParameters(&p);
  const ChorusParams cheapTv = {-20, 0, 0, 2, 0, 1, 1, 100, 100, 0, 5000, 0};
  EXPECT_EQ(std::memcmp(&p, &cheapTv, 48), 0);
  e->ApplyPreset(23);
  e->Params().GetParameters(&p);
  const ChorusParams hard = {-20, -31, -31, 1, 90, 0, 8, 500, 75, 0, 5000, 0};
  EXPECT_EQ(std::memcmp(&p, &hard, 48), 0);
  for (int i : {0, 1, 10}) {
    e->ApplyPreset(i);
    e->Params().GetParameters(&p);
    EXPECT_EQ(std::memcmp(&p, &kDefault, 48), 0) << i;
  }
}

TEST(ChorusSetup, DelaysInSamples) {
  // 0.1 ms at 44.1 kHz: 4.41 samples, the second voice 4 x 0.811731.
  Rig a(1, 44100, With(kDefault, kChorusOutDelay, 1));
  EXPECT_EQ(a.engine.BaseDelay(), 4);
  EXPECT_EQ(a.engine.VoiceDelay(0), 4);
  EXPECT_EQ(a.engine.VoiceDelay(1), 3);
  EXPECT_EQ(a.engine.VoiceDelay(2), 4);

  Rig b(2, 44100, kDefault);
  EXPECT_EQ(b.engine.BaseDelay(), 1764);
  EXPECT_EQ(b.engine.VoiceDelay(1), 1431);
  EXPECT_EQ(b.engine.VoiceDelay(2), 1997);
  EXPECT_EQ(b.engine.Depth(), 52);  // 3 % of 1764 = 52.92
  EXPECT_EQ(b.engine.VoiceCount(), 3);

  // The depth is at least 1 %, but below 100 samples of delay 1 % truncates to nothing.
  EXPECT_EQ(Rig(1, 44100, With(With(kDefault, kChorusOutDelay, 22), kModulationDepth, 1))
                .engine.Depth(), 0);  // D = 97
  EXPECT_EQ(Rig(1, 44100, With(With(kDefault, kChorusOutDelay, 23), kModulationDepth, 1))
                .engine.Depth(), 1);  // D = 101
  // 29 x 0.01 x 100 evaluates to 28.999999999999996: the product in its written order.
  Rig c(1, 8000, With(With(kDefault, kChorusOutDelay, 125), kModulationDepth, 29));
  EXPECT_EQ(c.engine.BaseDelay(), 100);
  EXPECT_EQ(c.engine.Depth(), 28);
}

TEST(ChorusSetup, OscillatorPeriods) {
  Rig a(1, 44100, kDefault);  // 0.8 Hz
  EXPECT_EQ(a.engine.Period(0), 55125);
  EXPECT_EQ(a.engine.Period(1), 44746);
  EXPECT_EQ(a.engine.Period(2), 62419);
  EXPECT_EQ(a.engine.Step(0), 6.28318530718 / 55125);
  // 48000 x 1.132329 x 1000 / 792 evaluates just below 68626.
  Rig b(1, 48000, With(kDefault, kModulationRate, 792));
  EXPECT_EQ(b.engine.Period(2), 68625);
  // A period below one frame (a sample rate of 1 Hz) holds the oscillator still.
  Rig c(1, 1, With(kDefault, kModulationRate, 20000));
  EXPECT_EQ(c.engine.Period(0), 0);
  EXPECT_EQ(c.engine.Step(0), 0.0);
  std::vector<double> y = c.Run(std::vector<double>(50, 0.25));
  for (double v : y) EXPECT_TRUE(std::isfinite(v));
}

TEST(ChorusSetup, LevelsFeedbackAndHighCut) {
  Rig a(2, 44100, {-20, -600, -44, 3, 37, 1, 400, 800, 3, 1, 5000, 1});
  EXPECT_EQ(a.engine.InputGain(), mw::ExactPow(10.0, -20 * 0.005));
  EXPECT_EQ(a.engine.DryGain(), 0.0);
  const double level = -mw::ExactPow(10.0, -44 * 0.005);
  EXPECT_EQ(a.engine.Level(), level);
  EXPECT_EQ(a.engine.PanLeft(), 0.9 * level);
  EXPECT_EQ(a.engine.PanRight(), 0.95 * level);
  EXPECT_EQ(a.engine.VoiceGain(0), 0.9 * level);
  EXPECT_EQ(a.engine.VoiceGain(1), 0.9 * (0.9 * level));  // not 0.81 x level
  EXPECT_EQ(a.engine.VoiceGain(2), 0.9 * (0.9 * (0.9 * level)));
  EXPECT_EQ(a.engine.Fb(), -(37 * 0.01));
  EXPECT_EQ(a.engine.HighCut(), mw::ExactExp(-6.283185307179586 * 5000 / 44100.0));
  EXPECT_EQ(a.engine.HighCutComplement(), 1.0 - a.engine.HighCut());

  // The corner must lie below half the rate, halved as an integer.
  EXPECT_EQ(Rig(1, 10000, With(kDefault, kAttenuateHighs, 1)).engine.HighCut(), 0.0);
  EXPECT_GT(Rig(1, 10002, With(kDefault, kAttenuateHighs, 1)).engine.HighCut(), 0.0);
  EXPECT_EQ(Rig(1, 9999, With(With(kDefault, kAttenuateHighs, 1), kHighCutoff, 4999))
                .engine.HighCut(), 0.0);
  EXPECT_GT(Rig(1, 10000, With(With(kDefault, kAttenuateHighs, 1), kHighCutoff, 4999))
                .engine.HighCut(), 0.0);
  Rig off(1, 44100, kDefault);  // the filter is off unless asked for
  EXPECT_EQ(off.engine.HighCut(), 0.0);
  EXPECT_EQ(off.engine.HighCutComplement(), 1.0);
}

// A still voice (depth 0) reads whole samples: the echoes of an impulse are exact.
TEST(ChorusVoices, EchoesOfAnImpulse) {
  // 0.1 ms at 44.1 kHz: voices at 4 and 3 samples; no dry signal, level 0 dB.
  const ChorusParams base = {0, -600, 0, 1, 50, 0, 1, 800, 1, 0, 5000, 0};
  {
    Rig r(1, 44100, base);
    const std::vector<double> y = r.Run(Impulse(20));
    for (int n = 0; n < 20; ++n) {
      const double expect = n == 4 ? 0.9 : n == 8 ? 0.9 * (50 * 0.01) :
                            n == 12 ? 0.9 * ((50 * 0.01) * (50 * 0.01)) : n == 16 ?
                            0.9 * (((50 * 0.01) * (50 * 0.01)) * (50 * 0.01)) : 0.0;
      EXPECT_EQ(y[n], expect) << n;
    }
  }
  {
    Rig r(1, 44100, With(base, kInvertFeedbackPhase, 1));
    const std::vector<double> y = r.Run(Impulse(10));
    EXPECT_EQ(y[4], 0.9);
    EXPECT_EQ(y[8], -(0.9 * 0.5));
  }
  {
    // Two voices in series: the second one hears the first one's whole output. Without a
    // dry signal its line gets only the first voice's echo.
    Rig r(1, 44100, With(With(base, kChorusSize, 2), kFeedback, 0));
    const std::vector<double> y = r.Run(Impulse(10));
    EXPECT_EQ(y[3], 0.0);
    EXPECT_EQ(y[4], 0.9);
    EXPECT_EQ(y[7], 0.9 * (0.9 * 0.9));
    Rig d(1, 44100, With(With(With(base, kChorusSize, 2), kFeedback, 0), kDryOut, 0));
    const std::vector<double> z = d.Run(Impulse(10));
    EXPECT_EQ(z[0], 1.0);
    EXPECT_EQ(z[3], 0.9 * 0.9);
    EXPECT_EQ(z[4], 0.9);
    EXPECT_EQ(z[7], 0.9 * (0.9 * 0.9));
  }
  {
    // Stereo: the line hears the mean of both sides; the wet read goes out 0.9 left and
    // 0.95 right, inverted with the chorus phase.
    Rig r(2, 44100, With(With(base, kFeedback, 0), kInvertChorusPhase, 1));
    const std::vector<double> y = r.Run(Impulse(10, 2, 1));
    EXPECT_EQ(y[8], 0.5 * -0.9);
    EXPECT_EQ(y[9], 0.5 * -0.95);
    for (std::size_t i = 0; i < y.size(); ++i) {
      if (i != 8 && i != 9) {
        EXPECT_EQ(y[i], 0.0) << i;
      }
    }
  }
}

TEST(ChorusVoices, HighCutSmoothsTheRead) {
  Rig r(1, 44100, {0, -600, 0, 1, 0, 0, 1, 800, 1, 1, 5000, 0});
  const double a = r.engine.HighCut();
  const std::vector<double> y = r.Run(Impulse(12));
  EXPECT_EQ(y[3], 0.0);
  double state = (1.0 - a) * 1.0 + a * 0.0;
  EXPECT_EQ(y[4], state * 0.9);
  for (int n = 5; n < 12; ++n) {
    state = (1.0 - a) * 0.0 + a * state;
    EXPECT_EQ(y[n], state * 0.9) << n;
  }
}

TEST(ChorusVoices, EngineMatchesThePlainModel) {
  struct Case {
    std::uint32_t rate;
    ChorusParams p;
  };
  std::vector<Case> cases;
  for (int i = 0; i < 24; ++i) {
    ChorusParams p;
    std::memcpy(&p, mw::kChorusInfo.presets.Block(i), sizeof p);
    cases.push_back({i % 2 ? 44100u : 22050u, p});
  }
  // Extremes: full depth at the shortest delay (reads at negative delays wrap to the far
  // end of the line), full feedback with the filter, the longest delay at 96 kHz (voice 2
  // beyond the line), a corner just below half the rate.
  cases.push_back({44100, {0, 0, 0, 3, 100, 0, 1, 20000, 100, 1, 5000, 1}});
  cases.push_back({8000, {0, -30, 0, 3, 100, 1, 1, 7000, 100, 0, 5000, 0}});
  cases.push_back({96000, {0, -60, -20, 3, 90, 0, 1000, 20000, 100, 1, 10000, 0}});
  cases.push_back({20002, {-10, -20, -10, 2, 60, 0, 300, 3000, 50, 1, 10000, 1}});
  cases.push_back({8000, {0, -600, -600, 3, 100, 1, 1000, 1, 100, 1, 100, 1}});

  // The formats take turns; every case runs mono and stereo.
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const FormatCase& f = AllFormats()[i % 5];
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 4000, 17);
      const auto got = RunEngine(f, ch, c.rate, c.p, input, 1000);
      const auto want = RunModel(f, ch, c.rate, c.p, input, 1000);
      EXPECT_TRUE(got == want) << "case " << i << ", " << f.bits << " bits, " << ch
                               << " channels";
    }
  }
}

// ---------------------------------------------------------------------------------------

TEST(ChorusChanges, SizeOrDelayRestartSilentOtherChangesKeepTheSound) {
  const ChorusParams base = {0, -600, 0, 1, 0, 0, 1, 800, 1, 0, 5000, 0};  // echo at 4
  struct Step {
    Field field;
    std::int32_t value;
    bool keeps;
  };
  const Step steps[] = {
      {kChorusOut, -60, true},     {kFeedback, 30, true},      {kModulationRate, 900, true},
      {kModulationDepth, 50, true}, {kInvertChorusPhase, 1, true}, {kDryOut, 0, true},
      {kChorusSize, 2, false},     {kChorusOutDelay, 2, false},
  };
  for (const Step& s : steps) {
    Rig r(1, 44100, base);
    r.Run(std::vector<double>(100, 0.0));
    const std::int64_t counter = r.engine.Counter(0);
    r.Run(Impulse(2));  // the impulse is in the line, two frames before its echo
    r.Put(s.field, s.value);
    const std::vector<double> y = r.Run(std::vector<double>(6, 0.0));
    double peak = 0.0;
    for (double v : y) peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(peak > 0.0, s.keeps) << s.field;
    // The oscillators run on through every change.
    EXPECT_EQ(r.engine.Counter(0), (counter + 8) % r.engine.Period(0)) << s.field;
  }

  // A whole block written again re-initialises even when nothing differs.
  Rig r(1, 44100, base);
  r.Run(Impulse(2));
  r.effect->Params().SetParameters(&base);
  for (double v : r.Run(std::vector<double>(6, 0.0))) EXPECT_EQ(v, 0.0);

  // Setting the size from 3 to 1 and back clears the lines each time.
  Rig t(1, 44100, With(base, kChorusSize, 3));
  t.Run(Impulse(2));
  t.Put(kChorusSize, 1);
  t.Run(Impulse(2));
  t.Put(kChorusSize, 3);
  for (double v : t.Run(std::vector<double>(10, 0.0))) EXPECT_EQ(v, 0.0);
}

// Changes between buffers act at the next buffer, with the full or partial re-initialisation
// their field calls for; the plain model applies the same rule. The slower rates outgrow the
// sine tables sized at the start.
TEST(ChorusChanges, ChangesBetweenBuffersMatchTheModel) {
  const std::vector<Change> changes = {
      {2, kChorusOut, -30},       {3, kModulationRate, 3000}, {3, kModulationDepth, 100},
      {4, kFeedback, 80},         {4, kModulationRate, 700},  {5, kAttenuateHighs, 1},
      {5, kHighCutoff, 2000},
      {6, kChorusSize, 2},        {7, kInvertFeedbackPhase, 1}, {8, kChorusOutDelay, 30},
      {9, kChorusSize, 2},        {10, kModulationRate, 1},   {11, kInputGain, -100},
  };
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 12 * 500, 23);
      const ChorusParams p = {0, -40, -20, 3, 40, 0, 50, 2000, 60, 0, 5000, 0};
      EXPECT_TRUE(RunEngine(f, ch, 22050, p, input, 500, changes) ==
                  RunModel(f, ch, 22050, p, input, 500, changes))
          << f.bits << " bits, " << ch << " channels";
    }
  }
}

TEST(ChorusChanges, DiscontinuityClearsTheSoundAndTheOscillators) {
  const ChorusParams base = {0, -600, 0, 1, 50, 0, 1, 800, 1, 0, 5000, 0};
  Rig r(1, 44100, base);
  // The first buffer after the start may carry the flag: nothing is reset again.
  std::vector<double> y = r.Run(Impulse(6), mw::kModeDiscontinuity);
  EXPECT_EQ(y[4], 0.9);
  EXPECT_EQ(r.engine.Counter(0), 6);
  r.Run(Impulse(2));
  y = r.Run(std::vector<double>(20, 0.0), mw::kModeDiscontinuity);
  for (double v : y) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(r.engine.Counter(0), 20);
  EXPECT_EQ(r.engine.WriteIndex(0), 6500u - 20);
}

// ---------------------------------------------------------------------------------------

TEST(ChorusStreaming, NoTailAtEndOfStream) {
  for (const FormatCase& f : AllFormats()) {
    auto e = NewChorus();
    const auto input = mwtest::MakeSignal(f, 2, 1000, 5);
    const auto out = mwtest::RunThrough(*e, f, 2, 8000, input, 300);
    EXPECT_EQ(out.size(), input.size());
  }
  // Graph-less: no tail, and a limited call is finished at once without touching anything.
  auto e = NewChorus();
  mw::InPlaceFrame& frame = e->Frame();
  ASSERT_EQ(frame.Initialize(1, 8000), mw::S_OK);
  std::vector<float> x = {0.5f, 0.25f, 0.125f};
  e->Params().Put(kDryOut, -100);
  EXPECT_EQ(frame.Process(x.data(), 3, true), 1);
  EXPECT_EQ(x[0], 0.5f);
  EXPECT_EQ(frame.ParametersChanged(), mw::S_OK);  // still pending
  std::uint32_t n = 3;
  EXPECT_EQ(frame.ProcessTail(x.data(), &n), 1);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(frame.Process(x.data(), 3, false), mw::S_OK);
  EXPECT_EQ(x[0], static_cast<float>(0.5 * mw::ExactPow(10.0, -100 * 0.005)));
  n = 3;
  EXPECT_EQ(frame.ProcessTail(x.data(), &n), 1);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(frame.UpdateParameters(false), mw::S_FALSE);
  EXPECT_EQ(frame.Stop(), mw::S_OK);
  mw::ChorusEngine& engine = static_cast<mw::ChorusEngine&>(e->Engine());
  EXPECT_FALSE(engine.HasLines());
  // A buffer after the stop sets up again before it touches any sample memory.
  EXPECT_EQ(frame.Process(x.data(), 3, false), mw::S_OK);
  EXPECT_TRUE(engine.HasLines());
}

TEST(ChorusStreaming, OutputIndependentOfBufferSize) {
  const ChorusParams p = {-10, -30, -20, 3, 60, 0, 40, 5000, 80, 1, 3000, 0};
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 2100, 3);
      std::vector<std::uint8_t> reference;
      for (std::uint32_t size : {4096u, 1u, 7u, 256u, 257u, 1000u}) {
        auto e = NewChorus();
        e->Params().SetParameters(&p);
        const auto out = mwtest::RunThrough(*e, f, ch, 16000, input, size);
        if (reference.empty()) reference = out;
        EXPECT_TRUE(out == reference) << f.bits << " bits, " << ch << " channels, buffers of "
                                      << size;
      }
    }
  }
}

TEST(ChorusStreaming, NeutralSettingsPassEveryCodeThrough) {
  // No chorus level: every voice adds s x 0 and the dry path has unity gain.
  const ChorusParams p = {0, 0, -600, 3, 100, 0, 20, 20000, 100, 1, 1000, 1};
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 777, 8);
      auto e = NewChorus();
      e->Params().SetParameters(&p);
      EXPECT_TRUE(mwtest::RunThrough(*e, f, ch, 44100, input, 100) == input) << f.bits;
    }
  }
}

// ---------------------------------------------------------------------------------------

TEST(OscillatorSine, EqualsExactSin) {
  std::size_t checked = 0;
  // Every phase of a few oscillators, as the voices use them.
  for (long long period : {1LL, 2LL, 3LL, 7LL, 1789LL, 2205LL, 44746LL, 62419LL}) {
    const double step = 6.28318530718 / period;
    for (long long k = 0; k < period; ++k, ++checked) {
      const double x = k * step;
      ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << period << " " << k;
    }
  }
  // Arguments past a full turn (a counter left beyond a shortened period), negative ones,
  // tiny ones and the neighbours of multiples of pi/2.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> wide(-1.0e5, 1.0e5), turn(0.0, 7.0);
  for (int i = 0; i < 20000; ++i, checked += 2) {
    const double a = wide(rng), b = turn(rng);
    ASSERT_EQ(mw::OscillatorSine(a), mw::ExactSin(a)) << a;
    ASSERT_EQ(mw::OscillatorSine(b), mw::ExactSin(b)) << b;
  }
  for (int q = -8; q <= 8; ++q) {
    double x = q * 1.5707963267948966;
    for (int i = 0; i < 40; ++i, ++checked) {
      ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << x;
      x = std::nextafter(x, 1e9);
    }
  }
  for (double x : {1e-300, 5e-324, 1e-9, -0.0, 0.0, 6.5, 2e5, 1e300}) {
    ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << x;
  }
  EXPECT_GT(checked, 150000u);
}

}  // namespace
