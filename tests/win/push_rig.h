// A filter chain driven by the test itself, without a graph manager: a push source of our
// own (whose samples carry the flags, times and media types the test chooses, in buffers
// of the size it chooses) -> an effect filter -> WavSink, connected pin to pin. The test's
// thread is the streaming thread. The sink's inspector records what each delivered sample
// carried.
#pragma once

#include "graph_util.h"

namespace mwtest {

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
  LONG BufferBytes() const { return bufferBytes_; }

 private:
  void Disconnect();

  PushSource* source_ = nullptr;
  Ptr<IBaseFilter> effect_;
  mwfx::WavSink* sink_ = nullptr;
  LONG bufferBytes_ = 0;
  std::vector<SeenSample> seen_;
};

}  // namespace mwtest
