// Each of the six effects streams on one thread while a host's other threads use it, as
// in a filter graph with an open settings page: one writes parameters (single fields,
// whole blocks, presets, saved records loaded and saved), one registers and unregisters
// notification windows and reads the formats, one stops and starts streaming (and, while
// stopped, connects another format). Streaming and the state changes are serialised by a
// receive lock, as the filter's framework does; everything else meets the streaming thread
// only where the core says it may. Under ThreadSanitizer (preset native-tsan) any data race
// is reported; in every build the streams must end and the stores hold valid blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "core/effects/catalog.h"
#include "core/frame/memory_stream.h"
#include "core/frame/stream_host.h"
#include "test_util.h"

namespace {

constexpr int kBuffers = 300;

// Counts change notices; called under the parameter store's lock.
class CountingSink final : public mw::NotifySink {
 public:
  bool WindowExists(std::uintptr_t window) override { return window % 5 != 0; }
  void Post(std::uintptr_t, std::uint32_t) override { ++posts; }
  int posts = 0;
};

// The streaming side of one effect of either kind.
struct Streamer {
  mw::Effect& effect;
  mw::InPlaceFrame* inPlace;
  mw::CopyingFrame* copying;

  mw::HResult Start() { return inPlace ? inPlace->StartStreaming() : copying->StartStreaming(); }
  mw::HResult Stop() { return inPlace ? inPlace->StopStreaming() : copying->StopStreaming(); }
  mw::HResult Receive(mw::MediaBuffer& b, mw::Downstream& d) {
    return inPlace ? inPlace->Receive(b, d) : copying->Receive(b, d);
  }
  mw::HResult EndOfStream(mw::Downstream& d) {
    return inPlace ? inPlace->EndOfStream(&d) : copying->EndOfStream(&d);
  }
  // What a host reads from its threads.
  void ReadFormats() {
    std::uint8_t bytes[mw::EffectFormat::kBytes];
    if (inPlace) {
      static_cast<mw::InPlaceEffect&>(effect).GetFormat(bytes);
    } else {
      copying->GetFormat(0, bytes);
      copying->GetFormat(1, bytes);
      std::uint32_t rate = 0;
      copying->GetSampleRate(&rate);
    }
  }
};

void StreamWhileOthersWrite(const mw::EffectDescription& d, int encoding) {
  auto owner = mw::CreateEffect(d);
  mw::Effect& effect = *owner;
  auto* inPlace = dynamic_cast<mw::InPlaceEffect*>(&effect);
  auto* copying = dynamic_cast<mw::CopyingEffect*>(&effect);
  Streamer s{effect, inPlace ? &inPlace->Frame() : nullptr,
             copying ? &copying->Frame() : nullptr};
  CountingSink sink;
  effect.Params().SetNotifySink(&sink);

  const mwtest::FormatCase& f = mwtest::AllFormats()[encoding];
  auto block = mwtest::FormatBlock(f, 2, 8000);
  ASSERT_EQ(effect.Connect(block.data(), 16), mw::S_OK);
  std::mutex receiveLock;  // the framework's receive lock
  bool streaming = false;  // under receiveLock
  {
    std::lock_guard<std::mutex> g(receiveLock);
    streaming = mw::Succeeded(s.Start());
    ASSERT_TRUE(streaming);
  }
  std::atomic<bool> done{false};
  std::atomic<int> endsDelivered{0};

  std::thread streamer([&] {
    std::mt19937 rng(1);
    mw::SinkDownstream down(4096, [](const std::uint8_t*, std::size_t) { return mw::S_OK; });
    const auto signal = mwtest::MakeSignal(f, 2, 512, 3);
    mw::HeapBuffer sample(signal.size());
    for (int i = 0; i < kBuffers; ++i) {
      std::lock_guard<std::mutex> g(receiveLock);
      if (!streaming) continue;
      const std::size_t bytes = rng() % signal.size();
      std::memcpy(sample.Data(), signal.data(), bytes);
      sample.SetActualLength(static_cast<std::int32_t>(bytes));
      sample.SetDiscontinuity(i % 50 == 0);
      EXPECT_GE(s.Receive(sample, down), 0);
      if (copying != nullptr && i % 37 == 0) {
        // A sample carrying a new rate: the copying filters follow it while streaming.
        block = mwtest::FormatBlock(f, 2, 8000 + 1000 * (i % 3));
        copying->Frame().SetMediaType(mw::kPinInput, block.data(), 16);
        copying->Frame().SetMediaType(mw::kPinOutput, block.data(), 16);
      }
      if (i % 40 == 39) {
        EXPECT_GE(s.EndOfStream(down), 0);
        endsDelivered = down.EndOfStreams();
      }
    }
    done = true;
  });

  std::thread writer([&] {
    std::mt19937 rng(2);
    mw::ParamStore& store = effect.Params();
    std::vector<std::uint8_t> raw(store.BlockSize());
    while (!done) {
      switch (rng() % 5) {
        case 0:
          store.Put(rng() % store.Table().count, static_cast<std::int32_t>(rng() % 2000) - 1000);
          break;
        case 1:
          for (auto& b : raw) b = static_cast<std::uint8_t>(rng());
          store.SetParameters(raw.data());
          break;
        case 2:
          effect.ApplyPreset(static_cast<std::int32_t>(rng() % effect.PresetCount()));
          break;
        case 3: {
          mw::MemoryStream saved;
          effect.Save(saved, rng() % 2 == 0);
          mw::MemoryStream again(saved.Bytes().data(), saved.Bytes().size());
          effect.Load(again);
          break;
        }
        default: {
          std::int32_t v = 0;
          store.Get(rng() % store.Table().count, &v);
          effect.IsDirty();
          break;
        }
      }
    }
  });

  std::thread pages([&] {
    std::mt19937 rng(3);
    while (!done) {
      const std::uintptr_t window = 1 + rng() % 6;
      effect.Params().RegisterNotifyWindow(window, rng() % 2 ? mw::ParamStore::kPageNotifyId : 0);
      s.ReadFormats();
    }
  });

  std::thread states([&] {
    std::mt19937 rng(4);
    while (!done) {
      {
        std::lock_guard<std::mutex> g(receiveLock);
        EXPECT_EQ(s.Stop(), mw::S_OK);
        streaming = false;
        if (rng() % 4 == 0) {
          // Stopped: a connection with another format (the other channel count).
          const auto other = mwtest::FormatBlock(f, 1 + rng() % 2, 8000);
          effect.Connect(other.data(), 16);
        }
        streaming = mw::Succeeded(s.Start());
      }
      s.ReadFormats();
      std::this_thread::yield();
    }
  });

  streamer.join();
  writer.join();
  pages.join();
  states.join();
  {
    std::lock_guard<std::mutex> g(receiveLock);
    s.Stop();
  }
  // The store holds a block its own rules accept: saved and loaded, it is the same.
  mw::MemoryStream saved;
  ASSERT_EQ(effect.Save(saved, true), mw::S_OK);
  auto fresh = mw::CreateEffect(d);
  mw::MemoryStream again(saved.Bytes().data(), saved.Bytes().size());
  EXPECT_EQ(fresh->Load(again), mw::S_OK);
  std::vector<std::uint8_t> a(effect.Params().BlockSize()), b(a.size());
  effect.Params().GetParameters(a.data());
  fresh->Params().GetParameters(b.data());
  EXPECT_TRUE(a == b) << d.cliName;
  EXPECT_GT(endsDelivered.load(), 0) << d.cliName;
  effect.Params().SetNotifySink(nullptr);
}

class EveryEffect : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryEffect, StreamsWhileOtherThreadsWriteAndStartAndStop) {
  const mw::EffectDescription* d = mw::FindEffect(GetParam());
  ASSERT_NE(d, nullptr);
  for (int encoding : {1, 4}) StreamWhileOthersWrite(*d, encoding);
}

INSTANTIATE_TEST_SUITE_P(Threads, EveryEffect,
                         ::testing::Values("delay", "chorus", "reverb", "multitap", "pitch",
                                           "stretch"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param);
                         });

}  // namespace
