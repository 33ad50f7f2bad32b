#include "graph_util.h"

#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "core/frame/memory_stream.h"
#include "win/dshow/media_type.h"

namespace mwtest {

void NewFilter(const EffectCase& e, Ptr<IBaseFilter>& filter) {
  EXPECT_EQ(Module::Get().Create(*e.clsid, nullptr, IID_IBaseFilter, filter.OutVoid()), S_OK);
  mw::MemoryStream record;
  NewEffect(e.cliName, 0, e.settings)->Save(record, true);
  Ptr<IPersistStream> persist;
  Ptr<IStream> stream;
  EXPECT_EQ(filter->QueryInterface(IID_IPersistStream, persist.OutVoid()), S_OK);
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()), S_OK);
  ULONG n = 0;
  stream->Write(record.Bytes().data(), static_cast<ULONG>(record.Bytes().size()), &n);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(persist->Load(stream.Get()), S_OK);
}

std::vector<std::uint8_t> CoreOutput(const EffectCase& e, const FormatCase& f,
                                     std::uint16_t channels, std::uint32_t rate,
                                     const std::vector<std::uint8_t>& input,
                                     std::uint32_t inFrames) {
  auto effect = NewEffect(e.cliName, 0, e.settings);
  return RunThrough(*effect, f, channels, rate, input, inFrames, nullptr, inFrames * 4);
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::size_t from,
                                std::size_t to) {
  return std::vector<std::uint8_t>(v.begin() + from, v.begin() + to);
}

HRESULT GetFormat(IBaseFilter* filter, const IID& params, DWORD which, WAVEFORMATEX* wf) {
  Ptr<IUnknown> p;
  if (FAILED(filter->QueryInterface(params, p.OutVoid()))) return E_NOINTERFACE;
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, DWORD, WAVEFORMATEX*);
  return reinterpret_cast<Fn>((*reinterpret_cast<void***>(p.Get()))[5])(p.Get(), which, wf);
}

IPin* PinOf(IBaseFilter* filter, const wchar_t* name) {
  IPin* pin = nullptr;
  filter->FindPin(name, &pin);
  if (pin != nullptr) pin->Release();
  return pin;
}

LONG AllocatorBytes(IPin* inputPin) {
  Ptr<IMemInputPin> input;
  Ptr<IMemAllocator> allocator;
  ALLOCATOR_PROPERTIES props{};
  if (FAILED(inputPin->QueryInterface(IID_IMemInputPin, input.OutVoid())) ||
      FAILED(input->GetAllocator(allocator.Out())) || FAILED(allocator->GetProperties(&props))) {
    return -1;
  }
  return props.cbBuffer;
}

ScratchDir::ScratchDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  wchar_t name[64];
  static LONG counter = 0;
  swprintf(name, 64, L"mwgraph-%lx-%lx", GetCurrentProcessId(), InterlockedIncrement(&counter));
  dir_ = std::wstring(base) + name;
  CreateDirectoryW(dir_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((dir_ + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW((dir_ + L"\\" + found.cFileName).c_str());
      }
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(dir_.c_str());
}

void WriteWav(const std::wstring& path, const FormatCase& f, std::uint16_t channels,
              std::uint32_t rate, const std::vector<std::uint8_t>& samples, bool extensible) {
  std::vector<std::uint8_t> b;
  auto put = [&b](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto tag = [&b](const char* t) { b.insert(b.end(), t, t + 4); };
  const std::uint16_t align = static_cast<std::uint16_t>(f.bits / 8 * channels);
  tag("RIFF");
  put(0, 4);  // the RIFF size, set below
  tag("WAVE");
  tag("fmt ");
  put(extensible ? 40 : 18, 4);
  put(extensible ? 0xFFFE : f.tag, 2);
  put(channels, 2);
  put(rate, 4);
  put(align * rate, 4);
  put(align, 2);
  put(f.bits, 2);
  put(extensible ? 22 : 0, 2);
  if (extensible) {
    const std::uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    put(f.bits, 2);
    put(channels == 1 ? 0x4 : 0x3, 4);
    put(f.tag, 2);
    b.insert(b.end(), tail, tail + 14);
  }
  if (f.tag != 1 || extensible) {
    tag("fact");
    put(4, 4);
    put(static_cast<std::uint32_t>(samples.size() / align), 4);
  }
  tag("data");
  put(static_cast<std::uint32_t>(samples.size()), 4);
  b.insert(b.end(), samples.begin(), samples.end());
  if (samples.size() & 1) b.push_back(0);
  const std::uint32_t riff = static_cast<std::uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
  FILE* out = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::fwrite(b.data(), 1, b.size(), out), b.size());
  std::fclose(out);
}

EffectGraph::~EffectGraph() {
  if (Control() != nullptr) Control()->Stop();
  if (sink_ != nullptr) sink_->Release();
}

bool EffectGraph::Build(const std::wstring& file, IBaseFilter* effect) {
  effect->AddRef();
  *effect_.Out() = effect;
  EXPECT_EQ(mwfx::WavSink::Create(&sink_), S_OK);
  if (sink_ == nullptr) return false;
  std::string error;
  const HRESULT hr = graph_.Build(file, effect, static_cast<IBaseFilter*>(sink_), &error);
  EXPECT_EQ(hr, S_OK) << error;
  return SUCCEEDED(hr);
}

HRESULT EffectGraph::WaitForComplete(DWORD ms) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start <= ms;) {
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (graph_.Events()->GetEvent(&code, &p1, &p2, 50) != S_OK) continue;
    graph_.Events()->FreeEventParams(code, p1, p2);
    if (code == EC_COMPLETE) return S_OK;
    if (code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) {
      return FAILED(static_cast<HRESULT>(p1)) ? static_cast<HRESULT>(p1) : E_FAIL;
    }
  }
  return E_ABORT;
}

HRESULT EffectGraph::RunFrom(LONGLONG position, DWORD ms) {
  HRESULT hr = Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                       AM_SEEKING_NoPositioning);
  if (SUCCEEDED(hr)) hr = Control()->Run();
  if (SUCCEEDED(hr)) hr = WaitForComplete(ms);
  const HRESULT stopped = Control()->Stop();
  return FAILED(hr) ? hr : stopped;
}

bool EffectGraph::SinkFlushing() const {
  return static_cast<mw::ds::InputPin*>(sink_->GetPin(0))->Flushing();
}

HoldingWriter::HoldingWriter(EffectGraph& g, int holdAt, DWORD timeoutMs)
    : g_(g), holdAt_(holdAt), timeout_(timeoutMs) {
  held_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_.Sink()->SetWriter([this](const BYTE* data, std::size_t bytes) {
    bytes_.insert(bytes_.end(), data, data + bytes);
    if (++calls_ == holdAt_) {
      heldBytes_ = bytes_.size();
      SetEvent(held_);
      const DWORD start = GetTickCount();
      while (!g_.SinkFlushing() && g_.Sink()->State() != State_Stopped &&
             GetTickCount() - start < timeout_) {
        Sleep(5);
      }
    }
    return S_OK;
  });
}

HoldingWriter::~HoldingWriter() { CloseHandle(held_); }

bool HoldingWriter::WaitHeld() { return WaitForSingleObject(held_, timeout_) == WAIT_OBJECT_0; }


class PushPin final : public mw::ds::OutputPin {
 public:
  explicit PushPin(mw::ds::BaseFilter* filter) : OutputPin(filter, L"Out") {}
  void Offer(const AM_MEDIA_TYPE& type, LONG bufferBytes) {
    offered_.Set(type);
    bufferBytes_ = bufferBytes;
  }
  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override {
    if (index != 0 || offered_.Empty()) return VFW_S_NO_MORE_ITEMS;
    return mw::ds::CopyMediaType(*type, offered_.Get());
  }
  HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
    ALLOCATOR_PROPERTIES want{2, bufferBytes_, 1, 0}, actual{};
    return allocator->SetProperties(&want, &actual);
  }

 private:
  mw::ds::MediaType offered_;
  LONG bufferBytes_ = 0;
};

class PushSource final : public mw::ds::BaseFilter {
 public:
  PushSource() : BaseFilter(nullptr, CLSID_NULL), pin_(this) { NonDelegatingAddRef(); }
  int PinCount() override { return 1; }
  mw::ds::BasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
  PushPin& Pin() { return pin_; }

 private:
  PushPin pin_;
};

WaveType::WaveType(const FormatCase& f, std::uint16_t channels, std::uint32_t rate) {
  wf_.wFormatTag = f.tag;
  wf_.nChannels = channels;
  wf_.nSamplesPerSec = rate;
  wf_.wBitsPerSample = f.bits;
  wf_.nBlockAlign = static_cast<WORD>(f.bits / 8 * channels);
  wf_.nAvgBytesPerSec = wf_.nBlockAlign * rate;
  mt_.majortype = MEDIATYPE_Audio;
  mt_.subtype = f.tag == 1 ? MEDIASUBTYPE_PCM : MEDIASUBTYPE_IEEE_FLOAT;
  mt_.bFixedSizeSamples = TRUE;
  mt_.lSampleSize = wf_.nBlockAlign;
  mt_.formattype = FORMAT_WaveFormatEx;
  mt_.cbFormat = sizeof wf_;
  mt_.pbFormat = reinterpret_cast<BYTE*>(&wf_);
}

void InspectSamples(mwfx::WavSink* sink, std::vector<SeenSample>* out) {
  sink->SetInspector([sink, out](IMediaSample* s) {
    SeenSample seen;
    seen.offset = sink->BytesReceived();
    seen.size = s->GetSize();
    seen.actual = s->GetActualDataLength();
    seen.discontinuity = s->IsDiscontinuity() == S_OK;
    seen.syncPoint = s->IsSyncPoint() == S_OK;
    seen.hasTime = SUCCEEDED(s->GetTime(&seen.start, &seen.stop));
    seen.hasMediaTime = SUCCEEDED(s->GetMediaTime(&seen.mediaStart, &seen.mediaStop));
    AM_MEDIA_TYPE* type = nullptr;
    if (s->GetMediaType(&type) == S_OK && type != nullptr) {
      if (type->pbFormat != nullptr && type->cbFormat >= 16) {
        seen.typeRate = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat)->nSamplesPerSec;
      }
      mw::ds::DeleteMediaType(type);
    }
    out->push_back(seen);
  });
}

PushRig::PushRig() {
  source_ = new PushSource();
  EXPECT_EQ(mwfx::WavSink::Create(&sink_), S_OK);
  InspectSamples(sink_, &seen_);
}

PushRig::~PushRig() {
  Stop();
  Disconnect();
  sink_->Release();
  source_->Release();
}

IPin* PushRig::EffectPin(PIN_DIRECTION direction) const {
  IPin* pin = nullptr;
  effect_->FindPin(direction == PINDIR_INPUT ? L"Input" : L"Output", &pin);
  if (pin != nullptr) pin->Release();  // the filter keeps it
  return pin;
}

IPin* PushRig::SourcePin() const { return &source_->Pin(); }

HRESULT PushRig::ConnectInput(IBaseFilter* effect, const AM_MEDIA_TYPE& type, LONG bufferBytes) {
  effect->AddRef();
  *effect_.Out() = effect;
  bufferBytes_ = bufferBytes;
  source_->Pin().Offer(type, bufferBytes);
  return source_->Pin().Connect(EffectPin(PINDIR_INPUT), &type);
}

HRESULT PushRig::ConnectOutput() {
  return EffectPin(PINDIR_OUTPUT)->Connect(sink_->GetPin(0), nullptr);
}

HRESULT PushRig::ReconnectInput(const AM_MEDIA_TYPE& type) {
  source_->Pin().Disconnect();
  EffectPin(PINDIR_INPUT)->Disconnect();
  source_->Pin().Offer(type, bufferBytes_);
  return source_->Pin().Connect(EffectPin(PINDIR_INPUT), &type);
}

HRESULT PushRig::Run() {
  IBaseFilter* chain[] = {sink_, effect_.Get(), source_};
  for (IBaseFilter* f : chain) {
    const HRESULT hr = f->Pause();
    if (FAILED(hr)) return hr;
  }
  for (IBaseFilter* f : chain) {
    const HRESULT hr = f->Run(0);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT PushRig::Push(const std::uint8_t* data, std::size_t bytes, const PushFlags& flags) {
  IMediaSample* s = nullptr;
  HRESULT hr = source_->Pin().GetDeliveryBuffer(&s, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* p = nullptr;
  s->GetPointer(&p);
  const LONG n = static_cast<LONG>(std::min<std::size_t>(bytes, s->GetSize()));
  std::memcpy(p, data, n);
  s->SetActualDataLength(n);
  s->SetDiscontinuity(flags.discontinuity);
  s->SetSyncPoint(flags.syncPoint);
  if (flags.times) {
    REFERENCE_TIME start = flags.start, stop = flags.stop;
    LONGLONG mediaStart = flags.mediaStart, mediaStop = flags.mediaStop;
    s->SetTime(&start, &stop);
    s->SetMediaTime(&mediaStart, &mediaStop);
  }
  if (flags.type != nullptr) s->SetMediaType(const_cast<AM_MEDIA_TYPE*>(flags.type));
  hr = source_->Pin().Deliver(s);
  s->Release();
  return hr;
}

HRESULT PushRig::PushAll(const std::vector<std::uint8_t>& input) {
  PushFlags first;
  first.discontinuity = true;
  for (std::size_t at = 0; at < input.size(); at += bufferBytes_) {
    const std::size_t n = std::min<std::size_t>(bufferBytes_, input.size() - at);
    const HRESULT hr = Push(input.data() + at, n, at == 0 ? first : PushFlags{});
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

HRESULT PushRig::EndOfStream() { return source_->Pin().DeliverEndOfStream(); }

HRESULT PushRig::Stop() {
  HRESULT hr = source_->Stop();
  if (effect_) {
    const HRESULT e = effect_->Stop();
    if (SUCCEEDED(hr)) hr = e;
  }
  const HRESULT k = sink_->Stop();
  return SUCCEEDED(hr) ? k : hr;
}

// Pins hold their peers: both ends let go, so that every filter can be freed.
void PushRig::Disconnect() {
  if (!effect_) return;
  IPin* pins[] = {&source_->Pin(), EffectPin(PINDIR_INPUT), EffectPin(PINDIR_OUTPUT),
                  sink_->GetPin(0)};
  for (IPin* p : pins) p->Disconnect();
}

}  // namespace mwtest
