// The sink's own rules, driven directly with samples of our allocator and a recording
// stand-in for the graph's event sink: what it accepts, what it keeps, and when it says
// EC_COMPLETE.
#include <windows.h>
#include <dshow.h>
#include <evcode.h>
#include <mmreg.h>
#include <gtest/gtest.h>

#include <vector>

#include "win/dshow/allocator.h"
#include "module_fixture.h"
#include "win/wav_sink.h"

namespace {

using mwtest::ComTest;
using mwtest::Ptr;

// Enough of a filter graph for a filter to join it: its event sink records what it is told.
class RecordingGraph final : public IFilterGraph, public IMediaEventSink {
 public:
  struct Event {
    long code;
    LONG_PTR param1, param2;
  };
  std::vector<Event> events;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph)) {
      *out = static_cast<IFilterGraph*>(this);
    } else if (IsEqualIID(iid, IID_IMediaEventSink)) {
      *out = static_cast<IMediaEventSink*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // Nothing else of the graph is asked for.
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Notify(long code, LONG_PTR p1, LONG_PTR p2) override {
    events.push_back({code, p1, p2});
    return S_OK;
  }

  int Completions() const {
    int n = 0;
    for (const Event& e : events) n += e.code == EC_COMPLETE;
    return n;
  }
};

class SinkRules : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_EQ(mwfx::WavSink::Create(&sink_), S_OK);
    filter_ = static_cast<IBaseFilter*>(sink_);
    ASSERT_EQ(filter_->FindPin(L"In", pin_.Out()), S_OK);
    ASSERT_EQ(pin_->QueryInterface(IID_IMemInputPin, input_.OutVoid()), S_OK);
    ASSERT_EQ(mw::ds::MemAllocator::Create(allocator_.Out()), S_OK);
    ALLOCATOR_PROPERTIES want{2, 64, 1, 0}, got{};
    ASSERT_EQ(allocator_->SetProperties(&want, &got), S_OK);
    ASSERT_EQ(allocator_->Commit(), S_OK);
  }
  void TearDown() override {
    pin_.Reset();
    input_.Reset();
    if (sink_ != nullptr) {
      filter_->Stop();
      filter_->JoinFilterGraph(nullptr, nullptr);
      sink_->Release();
    }
    if (allocator_) allocator_->Decommit();
    allocator_.Reset();
    ComTest::TearDown();
  }

  // Delivers `bytes` through the pin as one sample; returns Receive's answer.
  HRESULT Send(const std::vector<BYTE>& bytes) {
    IMediaSample* sample = nullptr;
    HRESULT hr = allocator_->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    std::copy(bytes.begin(), bytes.end(), p);
    sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
    hr = input_->Receive(sample);
    sample->Release();
    return hr;
  }

  mwfx::WavSink* sink_ = nullptr;
  IBaseFilter* filter_ = nullptr;
  Ptr<IPin> pin_;
  Ptr<IMemInputPin> input_;
  Ptr<IMemAllocator> allocator_;
};

AM_MEDIA_TYPE AudioType(WAVEFORMATEX* wf, ULONG bytes) {
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Audio;
  mt.subtype = MEDIASUBTYPE_PCM;
  mt.formattype = FORMAT_WaveFormatEx;
  mt.cbFormat = bytes;
  mt.pbFormat = reinterpret_cast<BYTE*>(wf);
  return mt;
}

TEST_F(SinkRules, IsARendererWithSeekingAndAcceptsAudioOnly) {
  Ptr<IAMFilterMiscFlags> flags;
  ASSERT_EQ(filter_->QueryInterface(IID_IAMFilterMiscFlags, flags.OutVoid()), S_OK);
  EXPECT_EQ(flags->GetMiscFlags(), static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER));
  Ptr<IMediaSeeking> seeking;
  ASSERT_EQ(filter_->QueryInterface(IID_IMediaSeeking, seeking.OutVoid()), S_OK);
  Ptr<IUnknown> a, b;
  ASSERT_EQ(flags->QueryInterface(IID_IUnknown, a.OutVoid()), S_OK);
  ASSERT_EQ(seeking->QueryInterface(IID_IUnknown, b.OutVoid()), S_OK);
  EXPECT_EQ(a.Get(), b.Get());

  WAVEFORMATEX wf{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  AM_MEDIA_TYPE mt = AudioType(&wf, sizeof wf);
  EXPECT_EQ(pin_->QueryAccept(&mt), S_OK);
  mt.majortype = MEDIATYPE_Video;
  EXPECT_EQ(pin_->QueryAccept(&mt), S_FALSE);
  mt = AudioType(&wf, 14);  // a block too short for WAVEFORMATEX
  EXPECT_EQ(pin_->QueryAccept(&mt), S_FALSE);
  mt = AudioType(&wf, sizeof wf);
  mt.formattype = FORMAT_None;
  EXPECT_EQ(pin_->QueryAccept(&mt), S_FALSE);
  mt = AudioType(&wf, sizeof wf);
  wf.nBlockAlign = 0;
  EXPECT_EQ(pin_->QueryAccept(&mt), S_FALSE);
}

TEST_F(SinkRules, KeepsWhatArrivesInOrderAndSignalsCompletionOnlyWhileRunning) {
  RecordingGraph graph;
  ASSERT_EQ(filter_->JoinFilterGraph(&graph, L"sink"), S_OK);
  const std::vector<BYTE> a = {1, 2, 3, 4}, b = {5, 6}, c = {7, 8, 9};

  EXPECT_EQ(Send(a), VFW_E_WRONG_STATE);  // stopped
  EXPECT_EQ(pin_->EndOfStream(), VFW_E_WRONG_STATE);

  ASSERT_EQ(filter_->Pause(), S_OK);
  EXPECT_EQ(Send(a), S_OK);
  EXPECT_EQ(pin_->EndOfStream(), S_OK);
  EXPECT_EQ(graph.Completions(), 0);  // paused: held back
  EXPECT_TRUE(sink_->EndOfStreamReceived());
  EXPECT_EQ(Send(b), VFW_E_SAMPLE_REJECTED_EOS);

  ASSERT_EQ(filter_->Run(0), S_OK);
  ASSERT_EQ(graph.Completions(), 1);  // given when the graph runs
  EXPECT_EQ(graph.events.back().param1, S_OK);
  EXPECT_EQ(graph.events.back().param2, reinterpret_cast<LONG_PTR>(filter_));

  // A flush drops the end of stream; what arrives while flushing is dropped too.
  ASSERT_EQ(pin_->BeginFlush(), S_OK);
  EXPECT_FALSE(sink_->EndOfStreamReceived());
  EXPECT_EQ(Send(c), S_FALSE);
  EXPECT_EQ(pin_->EndOfStream(), S_OK);
  ASSERT_EQ(pin_->EndFlush(), S_OK);
  EXPECT_FALSE(sink_->EndOfStreamReceived());
  EXPECT_EQ(graph.Completions(), 1);

  EXPECT_EQ(Send(b), S_OK);
  EXPECT_EQ(pin_->EndOfStream(), S_OK);
  EXPECT_EQ(graph.Completions(), 2);  // running: at once

  // Each run counts afresh in the graph, so the end is reported again.
  ASSERT_EQ(filter_->Pause(), S_OK);
  ASSERT_EQ(filter_->Run(0), S_OK);
  EXPECT_EQ(graph.Completions(), 3);
  EXPECT_EQ(sink_->BytesReceived(), a.size() + b.size());

  ASSERT_EQ(filter_->Stop(), S_OK);
  EXPECT_FALSE(sink_->EndOfStreamReceived());
  std::vector<BYTE> both(a);
  both.insert(both.end(), b.begin(), b.end());
  EXPECT_TRUE(sink_->TakeData() == both);

  // A new stream starts empty and with no end reached.
  ASSERT_EQ(filter_->Run(0), S_OK);
  EXPECT_EQ(graph.Completions(), 3);
  EXPECT_EQ(sink_->BytesReceived(), 0u);
  EXPECT_EQ(Send(c), S_OK);
  ASSERT_EQ(filter_->Stop(), S_OK);
  EXPECT_TRUE(sink_->TakeData() == c);
}

TEST_F(SinkRules, AWriterTakesTheBytesAndItsFailureStopsTheStream) {
  std::vector<BYTE> written;
  HRESULT answer = S_OK;
  sink_->SetWriter([&](const BYTE* data, std::size_t bytes) {
    written.insert(written.end(), data, data + bytes);
    return answer;
  });
  ASSERT_EQ(filter_->Run(0), S_OK);
  EXPECT_EQ(Send({1, 2}), S_OK);
  answer = E_OUTOFMEMORY;
  EXPECT_EQ(Send({3}), E_OUTOFMEMORY);
  EXPECT_EQ(sink_->WriteStatus(), E_OUTOFMEMORY);
  answer = S_OK;
  EXPECT_EQ(Send({4}), E_OUTOFMEMORY);  // nothing more after a failure
  EXPECT_TRUE(written == std::vector<BYTE>({1, 2, 3}));
  EXPECT_EQ(sink_->BytesReceived(), 2u);
  ASSERT_EQ(filter_->Stop(), S_OK);
  EXPECT_TRUE(sink_->TakeData().empty());  // a writer's bytes are not kept as well

  ASSERT_EQ(filter_->Pause(), S_OK);  // a new stream clears the failure
  EXPECT_EQ(sink_->WriteStatus(), S_OK);
  EXPECT_EQ(Send({5}), S_OK);
}

}  // namespace
