// Helpers of the graph tests: a scratch folder, WAV files written here (not by the code
// under test), and graphs from a file through an effect filter into a WavSink.
#pragma once

// First: the core's test helpers name the core's status constants, which the platform
// headers would turn into macros.
#include "test_util.h"

#include <windows.h>
#include <dshow.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "module_fixture.h"
#include "win/audio_graph.h"
#include "win/wav_sink.h"

namespace mwtest {

// A folder under the temporary directory, removed with its files.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::wstring Path(const std::wstring& name) const { return dir_ + L"\\" + name; }

 private:
  std::wstring dir_;
};

// A WAV file of the format's samples, with an 18-byte (or, when `extensible`, 40-byte) fmt
// chunk, and a fact chunk for float samples.
void WriteWav(const std::wstring& path, const FormatCase& f, std::uint16_t channels,
              std::uint32_t rate, const std::vector<std::uint8_t>& samples, bool extensible);

// File Source (Async) -> WAVE parser -> an effect filter -> WavSink.
class EffectGraph {
 public:
  EffectGraph() = default;
  ~EffectGraph();
  EffectGraph(const EffectGraph&) = delete;
  EffectGraph& operator=(const EffectGraph&) = delete;

  // Returns false (with a test failure recorded) when the graph cannot be built.
  bool Build(const std::wstring& file, IBaseFilter* effect);
  // Waits for EC_COMPLETE in the event queue: S_OK, E_ABORT after `ms` without it, or the
  // failure an abort event carried.
  HRESULT WaitForComplete(DWORD ms);

  IBaseFilter* Effect() const { return effect_.Get(); }
  mwfx::WavSink* Sink() const { return sink_; }
  IMediaControl* Control() const { return graph_.Control(); }
  IMediaSeeking* Seeking() const { return graph_.Seeking(); }
  bool SinkFlushing() const;

 private:
  Ptr<IBaseFilter> effect_;
  mwfx::WavSink* sink_ = nullptr;
  mwfx::AudioGraph graph_;
};

// The same with Simple Delay from the module.
class DelayGraph : public EffectGraph {
 public:
  bool Build(const std::wstring& file, const SimpleDelayParams& params);
};

// Holds the streaming thread inside the sink at the `holdAt`-th buffer until the sink is
// flushed or stopped, so that the test can act in mid-stream. Everything received is kept.
class HoldingWriter {
 public:
  HoldingWriter(EffectGraph& g, int holdAt, DWORD timeoutMs);
  ~HoldingWriter();
  bool WaitHeld();
  // Read after the graph has stopped.
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::size_t HeldBytes() const { return heldBytes_; }

 private:
  EffectGraph& g_;
  int holdAt_;
  DWORD timeout_;
  int calls_ = 0;
  HANDLE held_;
  std::vector<std::uint8_t> bytes_;
  std::size_t heldBytes_ = 0;
};

}  // namespace mwtest
