// A renderer that keeps what it is given: one input pin "In" that accepts audio described
// by a wave format block, and collects the bytes of every sample it receives, in order,
// for the host to write to a WAV file.
//
// It behaves as a renderer towards the filter graph: it reports itself as one (so the
// graph counts it when deciding that playback is complete), answers IMediaSeeking on the
// filter by forwarding to the filter upstream, and signals EC_COMPLETE for each end of
// stream, but only while running (an end of stream reached while paused is signalled when
// the graph runs).
//
// Threads: Receive and EndOfStream arrive on the upstream streaming thread, serialised by
// the filter's receive lock; state changes and flushes arrive on the application's thread.
// Lock order: filter lock, then receive lock, then the event lock (a leaf).
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "win/dshow/base_filter.h"
#include "win/dshow/seeking.h"

namespace mwfx {

class WavSink;

class WavSinkInputPin final : public mw::ds::InputPin {
 public:
  explicit WavSinkInputPin(WavSink* sink);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }

 protected:
  HRESULT OnReceive(IMediaSample* sample) override;
  HRESULT OnEndOfStream() override;
  HRESULT OnBeginFlush() override;

 private:
  WavSink* sink_;
};

class WavSink final : public mw::ds::BaseFilter, public IAMFilterMiscFlags {
 public:
  // Takes the bytes of each received sample. A failure is returned to the upstream
  // filter (which stops streaming) and kept for WriteStatus.
  using Writer = std::function<HRESULT(const BYTE* data, std::size_t bytes)>;

  // A new sink with one reference held by the caller.
  static HRESULT Create(WavSink** out);

  MW_DELEGATE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

  // IAMFilterMiscFlags
  ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  int PinCount() override { return 1; }
  mw::ds::BasePin* GetPin(int index) override;

  // Received bytes go to `writer` instead of being kept; set it while stopped. An empty
  // writer returns to keeping them.
  void SetWriter(Writer writer);
  // Sees every sample received while streaming, before its bytes are taken (for hosts
  // that look at flags, times, types or sizes). Set it while stopped; empty: none.
  using Inspector = std::function<void(IMediaSample* sample)>;
  void SetInspector(Inspector inspector);
  // The bytes kept since the last start of streaming (Stopped to Paused), in order.
  std::vector<BYTE> TakeData();
  // Bytes received since the last start of streaming.
  std::uint64_t BytesReceived() const;
  // Whether end of stream has arrived since the last start of streaming or flush.
  bool EndOfStreamReceived();
  // The first failure of the writer since the last start, or S_OK.
  HRESULT WriteStatus();
  // The connected media type's format block (empty while unconnected).
  std::vector<BYTE> ConnectedFormat();

  // Called by the pin, with the receive lock held (OnBeginFlush excepted).
  HRESULT OnReceive(IMediaSample* sample);
  HRESULT OnEndOfStream();
  void OnBeginFlush();

 protected:
  // A new stream on leaving Stopped: nothing of the previous one is kept.
  HRESULT InitStreaming() override;
  // Completion is signalled while running only.
  HRESULT StartRunning(REFERENCE_TIME start) override;
  HRESULT StopRunning() override;
  HRESULT CleanupStreaming() override;

 private:
  WavSink();
  ~WavSink() override;
  // Sets running_ or endOfStream_ under the event lock, and signals completion.
  void SetEventFlag(bool WavSink::*flag, bool on);

  WavSinkInputPin pin_;
  mw::ds::SeekingPassThrough seeking_;
  CRITICAL_SECTION eventLock_;
  Writer writer_;
  Inspector inspector_;
  std::vector<BYTE> data_;
  std::atomic<std::uint64_t> received_{0};
  std::atomic<HRESULT> writeStatus_{S_OK};
  // Under the event lock.
  bool running_ = false;
  bool endOfStream_ = false;
};

}  // namespace mwfx
