// The bundle's library as a host loads it: real-time safety of run() while every control
// sweeps its range, hosts that break the rules, restarts, and Pitch Shift's reported
// latency against the core's own stream. Allocation and lock calls are counted by
// interposing the C library's functions in this program; only calls made inside run()
// count.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "core/effects/catalog.h"
#include "core/frame/effect_format.h"
#include "lv2/plugin_table.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {
bool g_inRun = false;
std::uint64_t g_allocations = 0, g_frees = 0, g_locks = 0;
using MutexLock = int (*)(pthread_mutex_t*);
// The C library's own lock, found before anything runs.
const MutexLock g_realLock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
  if (g_inRun) ++g_allocations;
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  if (g_inRun) ++g_allocations;
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  if (g_inRun) ++g_allocations;
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (g_inRun && p != nullptr) ++g_frees;
  __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t* m) {
  if (g_inRun) ++g_locks;
  return g_realLock(m);
}
}

namespace {

using mw::lv2::ControlPort;
using mw::lv2::PluginInfo;

// The library, loaded once as a host loads it.
const LV2_Descriptor* Descriptor(const std::string& uri) {
  static void* library = dlopen(MW_LV2_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
  for (std::uint32_t i = 0; entry != nullptr; ++i) {
    const LV2_Descriptor* d = entry(i);
    if (d == nullptr) break;
    if (uri == d->URI) return d;
  }
  return nullptr;
}

// One instance with every port connected to buffers of its own.
struct Host {
  Host(const PluginInfo& p, std::uint32_t channels, double rate, std::uint32_t maxFrames = 8192)
      : plugin(p), channels(channels), in(channels, std::vector<float>(maxFrames)),
        out(channels, std::vector<float>(maxFrames)) {
    d = Descriptor(mw::lv2::PluginUri(p, channels));
    if (d == nullptr) return;
    h = d->instantiate(d, rate, "", nullptr);
    if (h == nullptr) return;
    for (std::uint32_t c = 0; c < channels; ++c) {
      d->connect_port(h, c, in[c].data());
      d->connect_port(h, channels + c, out[c].data());
    }
    if (p.reportsLatency) d->connect_port(h, 2 * channels, &latency);
    const std::uint32_t first = mw::lv2::FirstControlPort(p, channels);
    for (const ControlPort& port : p.controls) controls.push_back(float(port.defaultValue));
    for (std::size_t k = 0; k < controls.size(); ++k) {
      d->connect_port(h, first + static_cast<std::uint32_t>(k), &controls[k]);
    }
  }
  ~Host() {
    if (h != nullptr) d->cleanup(h);
  }
  void Run(std::uint32_t frames) {
    g_inRun = true;
    d->run(h, frames);
    g_inRun = false;
  }
  // Noise of a fixed pattern, different per channel and call.
  void Fill(std::uint32_t frames) {
    for (std::uint32_t c = 0; c < channels; ++c) {
      for (std::uint32_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        in[c][i] = static_cast<float>(static_cast<std::int32_t>(seed) * (0.5 / 2147483648.0));
      }
    }
  }
  std::size_t Find(const std::string& symbol) const {
    for (std::size_t k = 0; k < plugin.controls.size(); ++k) {
      if (plugin.controls[k].symbol == symbol) return k;
    }
    return SIZE_MAX;
  }

  const PluginInfo& plugin;
  std::uint32_t channels;
  const LV2_Descriptor* d = nullptr;
  LV2_Handle h = nullptr;
  std::vector<std::vector<float>> in, out;
  std::vector<float> controls;
  float latency = -1.0f;
  std::uint32_t seed = 1;
};

struct Variant {
  const PluginInfo* plugin;
  std::uint32_t channels;
};

void PrintTo(const Variant& v, std::ostream* os) {
  *os << mw::lv2::PluginUri(*v.plugin, v.channels);
}

std::vector<Variant> Variants() {
  std::vector<Variant> v;
  for (const PluginInfo& p : mw::lv2::Plugins()) {
    v.push_back({&p, 2});
    v.push_back({&p, 1});
  }
  return v;
}

std::string Name(const testing::TestParamInfo<Variant>& info) {
  return std::string(info.param.plugin->effect->cliName) +
         (info.param.channels == 1 ? "_mono" : "_stereo");
}

class EachPlugin : public testing::TestWithParam<Variant> {};

// Every control port swept from its minimum to its maximum (each whole value of a short
// range, sixteen steps of a long one), a block run after each value, in blocks of varying
// size: run() neither allocates, frees nor locks, and its output stays finite.
TEST_P(EachPlugin, RunNeitherAllocatesNorLocksWhileEveryControlSweeps) {
  Host host(*GetParam().plugin, GetParam().channels, 48000);
  ASSERT_NE(host.h, nullptr);
  host.d->activate(host.h);
  g_allocations = g_frees = g_locks = 0;
  const std::uint32_t sizes[] = {1, 64, 1000, 4096};
  std::size_t step = 0;
  for (std::size_t k = 0; k < host.controls.size(); ++k) {
    const ControlPort& port = host.plugin.controls[k];
    const double span = port.maximum - port.minimum;
    const int steps = span <= 32 && port.kind != mw::lv2::PortKind::kReal ? int(span) : 16;
    for (int s = 0; s <= steps; ++s) {
      host.controls[k] = float(port.minimum + span * s / (steps > 0 ? steps : 1));
      const std::uint32_t n = sizes[step++ % 4];
      host.Fill(n);
      host.Run(n);
      for (std::uint32_t c = 0; c < host.channels; ++c) {
        for (std::uint32_t i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(host.out[c][i]));
      }
    }
    host.controls[k] = float(port.defaultValue);
  }
  EXPECT_EQ(g_allocations, 0u);
  EXPECT_EQ(g_frees, 0u);
  EXPECT_EQ(g_locks, 0u);
  host.d->deactivate(host.h);
}

// A host that breaks the rules: run before activate and after deactivate gives silence; a
// block of no frames touches nothing; an unconnected control keeps its value, and values
// that are no number, infinite or far out of range are refused or clamped; an unconnected
// audio port gives silence on the connected ones.
TEST_P(EachPlugin, BadHostsGetSilenceAndNoCrash) {
  Host host(*GetParam().plugin, GetParam().channels, 44100);
  ASSERT_NE(host.h, nullptr);
  const std::uint32_t n = 256;
  host.Fill(n);
  std::fill(host.out[0].begin(), host.out[0].end(), 7.0f);
  host.Run(n);
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(host.out[0][i], 0.0f) << "before activate";

  host.d->activate(host.h);
  std::fill(host.out[0].begin(), host.out[0].end(), 7.0f);
  host.Run(0);
  EXPECT_EQ(host.out[0][0], 7.0f) << "a block of no frames writes nothing";

  const std::uint32_t first = mw::lv2::FirstControlPort(host.plugin, host.channels);
  host.d->connect_port(host.h, first, nullptr);  // the first control, unconnected
  host.Run(n);
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(host.out[0][i]));

  for (float wild : {NAN, INFINITY, -INFINITY, 3e38f, -3e38f}) {  // out-of-range controls
    for (float& c : host.controls) c = wild;
    host.Run(n);
    for (std::uint32_t i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(host.out[0][i])) << wild;
  }

  host.d->connect_port(host.h, 0, nullptr);  // the first audio input, unconnected
  std::fill(host.out[0].begin(), host.out[0].end(), 7.0f);
  host.Run(n);
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(host.out[0][i], 0.0f) << "no input";

  host.d->connect_port(host.h, 0, host.in[0].data());
  host.d->deactivate(host.h);
  std::fill(host.out[0].begin(), host.out[0].end(), 7.0f);
  host.Run(n);
  for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(host.out[0][i], 0.0f) << "after deactivate";
}

// Rates no effect can work at are refused at instantiate.
TEST_P(EachPlugin, RatesOutsideTheWorkingRangeAreRefused) {
  const LV2_Descriptor* d = Descriptor(mw::lv2::PluginUri(*GetParam().plugin,
                                                          GetParam().channels));
  ASSERT_NE(d, nullptr);
  for (double rate : {0.0, 1.0, 999.0, 44100.5, 10e6, -48000.0, std::nan("")}) {
    LV2_Handle h = d->instantiate(d, rate, "", nullptr);
    EXPECT_EQ(h, nullptr) << rate;
    if (h != nullptr) d->cleanup(h);
  }
  for (double rate : {8000.0, 44100.0, 192000.0}) {
    LV2_Handle h = d->instantiate(d, rate, "", nullptr);
    EXPECT_NE(h, nullptr) << rate;
    if (h != nullptr) d->cleanup(h);
  }
}

// A restart of transport (deactivate, activate) starts the effect afresh: the output
// equals a new instance's, whatever the first run left behind.
TEST_P(EachPlugin, ARestartResetsTheEffectAsANewInstance) {
  Host used(*GetParam().plugin, GetParam().channels, 44100);
  Host fresh(*GetParam().plugin, GetParam().channels, 44100);
  ASSERT_NE(used.h, nullptr);
  ASSERT_NE(fresh.h, nullptr);
  used.d->activate(used.h);
  for (int i = 0; i < 20; ++i) {
    used.Fill(4096);
    used.Run(4096);
  }
  used.d->deactivate(used.h);
  used.d->activate(used.h);
  fresh.d->activate(fresh.h);
  used.seed = fresh.seed = 99;
  for (int i = 0; i < 5; ++i) {
    used.Fill(3000);
    fresh.Fill(3000);
    used.Run(3000);
    fresh.Run(3000);
    for (std::uint32_t c = 0; c < used.channels; ++c) {
      ASSERT_EQ(std::memcmp(used.out[c].data(), fresh.out[c].data(), 3000 * sizeof(float)), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, EachPlugin, testing::ValuesIn(Variants()), Name);

// The counters see what the library does: its instantiate allocates and locks (the
// parameter store before it is made single-threaded), and a lock taken here counts.
TEST(Counters, SeeTheLibrarysAllocationsAndLocks) {
  const LV2_Descriptor* d = Descriptor(mw::lv2::PluginUri(mw::lv2::Plugins()[0], 2));
  ASSERT_NE(d, nullptr);
  g_allocations = g_frees = g_locks = 0;
  g_inRun = true;
  LV2_Handle h = d->instantiate(d, 48000, "", nullptr);
  d->cleanup(h);
  pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&m);
  pthread_mutex_unlock(&m);
  g_inRun = false;
  EXPECT_GT(g_allocations, 0u);
  EXPECT_GT(g_frees, 0u);
  EXPECT_GT(g_locks, 1u);
}

// The core's own stream of the same float input, as the command-line host makes it.
std::vector<float> CoreStream(const mw::EffectDescription& effect, std::uint32_t channels,
                              std::uint32_t rate, const std::vector<float>& input,
                              std::int32_t mode, double ratio) {
  std::unique_ptr<mw::Effect> e = mw::CreateEffect(effect);
  mw::ParamStore& params = e->Params();
  params.Put(static_cast<std::size_t>(effect.params.Find("PreserveDuration")), 1);
  params.Put(static_cast<std::size_t>(effect.params.Find("Mode")), mode);
  params.PutDouble(static_cast<std::size_t>(effect.params.Find("Ratio")), ratio);
  std::uint8_t format[mw::EffectFormat::kBytes];
  mw::EffectFormat::Float32(static_cast<std::uint16_t>(channels), rate).ToBytes(format);
  e->Connect(format, sizeof format);
  std::size_t read = 0;
  std::vector<float> out;
  e->RunWholeStream(
      4096, 16384,
      [&](std::uint8_t* buffer, std::size_t bytes) -> std::int64_t {
        const std::size_t n = std::min(bytes, (input.size() - read) * sizeof(float));
        std::memcpy(buffer, input.data() + read, n);
        read += n / sizeof(float);
        return static_cast<std::int64_t>(n);
      },
      [&](const std::uint8_t* data, std::size_t bytes) -> mw::HResult {
        const float* f = reinterpret_cast<const float*>(data);
        out.insert(out.end(), f, f + bytes / sizeof(float));
        return mw::S_OK;
      });
  return out;
}

// Pitch Shift delivers the core's stream delayed by exactly the latency it reports, for
// every splice mode, ratios down and far up, in host blocks of several sizes.
TEST(PitchLatency, OutputIsTheCoreStreamDelayedByTheReportedLatency) {
  const PluginInfo* pitch = nullptr;
  for (const PluginInfo& p : mw::lv2::Plugins()) {
    if (p.reportsLatency) pitch = &p;
  }
  ASSERT_NE(pitch, nullptr);
  const std::uint32_t rate = 8000, frames = 45000, channels = 2;
  const std::uint32_t blocks[] = {1, 333, 2048};
  int round = 0;
  const std::int32_t modes = static_cast<std::int32_t>(
      pitch->controls[Host(*pitch, 1, rate).Find("Mode")].maximum) + 1;
  for (std::int32_t mode = 0; mode < modes; ++mode) {
    for (double ratio : {0.5, 1.5, 3.0, 8.0}) {
      const std::uint32_t block = blocks[round++ % 3];
      Host host(*pitch, channels, rate, block);
      ASSERT_NE(host.h, nullptr);
      host.controls[host.Find("Mode")] = float(mode);
      host.controls[host.Find("Ratio")] = float(ratio);
      host.d->activate(host.h);
      std::vector<float> input, output;
      for (std::uint32_t done = 0; done < frames; done += block) {
        host.Fill(block);
        for (std::uint32_t i = 0; i < block; ++i) {
          for (std::uint32_t c = 0; c < channels; ++c) input.push_back(host.in[c][i]);
        }
        host.Run(block);
        for (std::uint32_t i = 0; i < block; ++i) {
          for (std::uint32_t c = 0; c < channels; ++c) output.push_back(host.out[c][i]);
        }
      }
      const std::size_t latency = static_cast<std::size_t>(host.latency) * channels;
      ASSERT_GT(latency, 0u);
      ASSERT_LT(latency, output.size()) << "mode " << mode << " ratio " << ratio;
      const std::vector<float> core =
          CoreStream(*pitch->effect, channels, rate, input, mode, double(float(ratio)));
      const std::size_t n = output.size() - latency;
      ASSERT_GE(core.size(), n);
      for (std::size_t i = 0; i < latency; ++i) ASSERT_EQ(output[i], 0.0f);
      EXPECT_EQ(std::memcmp(output.data() + latency, core.data(), n * sizeof(float)), 0)
          << "mode " << mode << " ratio " << ratio << " block " << block;
    }
  }
}

}  // namespace
