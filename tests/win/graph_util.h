// Helpers of the graph tests: a scratch folder, WAV files written here (not by the code
// under test), effect filters from the module set up like a core effect, graphs from a file
// through an effect filter into a WavSink, and a chain driven by the test itself (a push
// source of our own -> an effect filter -> WavSink) whose samples carry the flags, times,
// sizes and media types the test chooses.
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

// An effect and its settings, for the filter from the module and for the core alike.
struct EffectCase {
  const char* cliName;
  const CLSID* clsid;
  Sets settings;
};

// The filter from the module, its settings reaching it as a record saved by the core.
void NewFilter(const EffectCase& e, Ptr<IBaseFilter>& filter);
// The whole stream through the core, in input buffers of `inFrames` frames and output
// buffers four times as large.
std::vector<std::uint8_t> CoreOutput(const EffectCase& e, const FormatCase& f,
                                     std::uint16_t channels, std::uint32_t rate,
                                     const std::vector<std::uint8_t>& input,
                                     std::uint32_t inFrames = 4096);
std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::size_t from,
                                std::size_t to);
// GetFormat(which) of a filter through its parameter interface's slot 5.
HRESULT GetFormat(IBaseFilter* filter, const IID& params, DWORD which, WAVEFORMATEX* wf);
IPin* PinOf(IBaseFilter* filter, const wchar_t* name);  // the filter keeps the reference
LONG AllocatorBytes(IPin* inputPin);

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
  // Seeks to `position` (100 ns units) and runs to completion.
  HRESULT RunFrom(LONGLONG position, DWORD ms);

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

// One sample as the sink saw it.
struct SeenSample {
  std::uint64_t offset = 0;  // bytes received before it
  LONG size = 0;
  LONG actual = 0;
  bool discontinuity = false;
  bool syncPoint = false;
  bool hasTime = false;
  REFERENCE_TIME start = 0, stop = 0;
  bool hasMediaTime = false;
  LONGLONG mediaStart = 0, mediaStop = 0;
  DWORD typeRate = 0;  // the rate of a media type the sample carried, else 0
};

// Records what each sample reaching the sink carried.
void InspectSamples(mwfx::WavSink* sink, std::vector<SeenSample>* seen);

// What a pushed sample carries besides its bytes.
struct PushFlags {
  bool discontinuity = false;
  bool syncPoint = false;
  bool times = false;
  REFERENCE_TIME start = 0, stop = 0;
  LONGLONG mediaStart = 0, mediaStop = 0;
  const AM_MEDIA_TYPE* type = nullptr;
};

// A wave format media type (18-byte format block) that owns its block.
class WaveType {
 public:
  WaveType(const FormatCase& f, std::uint16_t channels, std::uint32_t rate);
  const AM_MEDIA_TYPE& Get() const { return mt_; }
  WAVEFORMATEX& Format() { return wf_; }

 private:
  WAVEFORMATEX wf_{};
  AM_MEDIA_TYPE mt_{};
};

class PushSource;

// Push source -> effect -> WavSink, connected pin to pin without a graph manager; the
// test's thread is the streaming thread.
class PushRig {
 public:
  PushRig();
  ~PushRig();
  PushRig(const PushRig&) = delete;
  PushRig& operator=(const PushRig&) = delete;

  // Source -> effect input with `type` and input buffers of `bufferBytes`.
  HRESULT ConnectInput(IBaseFilter* effect, const AM_MEDIA_TYPE& type, LONG bufferBytes);
  // Effect output -> sink.
  HRESULT ConnectOutput();
  // Source -> effect input again, with another type (stopped).
  HRESULT ReconnectInput(const AM_MEDIA_TYPE& type);
  // Paused, then running: sink, effect, source.
  HRESULT Run();
  // One sample of up to a buffer's bytes; returns what the effect's input pin answered.
  HRESULT Push(const std::uint8_t* data, std::size_t bytes, const PushFlags& flags = {});
  // Pushes `input` in whole buffers, the first one a discontinuity; S_OK or the first failure.
  HRESULT PushAll(const std::vector<std::uint8_t>& input);
  HRESULT EndOfStream();
  HRESULT Stop();

  IPin* EffectPin(PIN_DIRECTION direction) const;
  IPin* SourcePin() const;
  mwfx::WavSink* Sink() const { return sink_; }
  const std::vector<SeenSample>& Seen() const { return seen_; }

 private:
  void Disconnect();

  PushSource* source_ = nullptr;
  Ptr<IBaseFilter> effect_;
  mwfx::WavSink* sink_ = nullptr;
  LONG bufferBytes_ = 0;
  std::vector<SeenSample> seen_;
};

}  // namespace mwtest
