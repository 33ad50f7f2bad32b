#include "push_rig.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "win/dshow/media_type.h"

namespace mwtest {

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

PushRig::PushRig() {
  source_ = new PushSource();
  EXPECT_EQ(mwfx::WavSink::Create(&sink_), S_OK);
  sink_->SetInspector([this](IMediaSample* s) {
    SeenSample seen;
    seen.offset = sink_->BytesReceived();
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
    seen_.push_back(seen);
  });
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
