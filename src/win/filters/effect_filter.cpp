#include "win/filters/effect_filter.h"

#include "win/filters/sample_adapters.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include <cstring>
#include <new>

namespace mw {
namespace {

// The host's storage stream as the record's byte stream.
class ComByteStream final : public ByteStream {
 public:
  explicit ComByteStream(IStream* s) : s_(s) {}
  HResult Read(void* buffer, std::uint32_t bytes, std::uint32_t* done) override {
    ULONG n = 0;
    const HRESULT hr = s_->Read(buffer, bytes, &n);
    *done = n;
    return hr;
  }
  HResult Write(const void* buffer, std::uint32_t bytes, std::uint32_t* done) override {
    ULONG n = 0;
    const HRESULT hr = s_->Write(buffer, bytes, &n);
    *done = n;
    return hr;
  }

 private:
  IStream* s_;
};

}  // namespace

bool WindowNotifySink::WindowExists(std::uintptr_t window) {
  return IsWindow(reinterpret_cast<HWND>(window)) != FALSE;
}

void WindowNotifySink::Post(std::uintptr_t window, std::uint32_t wparam) {
  PostMessageA(reinterpret_cast<HWND>(window), WM_COMMAND, wparam, 0);
}

// ---------------------------------------------------------------------------------------
// The filter

EffectInPlaceFilter::EffectInPlaceFilter(IUnknown* outer, const EffectDescription& effect)
    : TransInPlaceFilter(outer, AsGuid(effect.filterClsid)),
      core_(effect),
      common_(this, core_.Params()),
      direct_(this) {}

EffectInPlaceFilter::~EffectInPlaceFilter() = default;

CommonParts::CommonParts(EffectObject* host, ParamStore& params)
    : params_(params), pages_(host), persist_(host), presets_(host) {
  params_.SetNotifySink(&notifySink_);
}

CommonParts::~CommonParts() { params_.SetNotifySink(nullptr); }

HRESULT CommonParts::Query(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_ISpecifyPropertyPages)) return ds::GetInterface(&pages_, out);
  if (IsEqualIID(iid, IID_IPersistStream)) return ds::GetInterface(&persist_, out);
  if (IsEqualIID(iid, IID_IEffectPresets)) return ds::GetInterface(&presets_, out);
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE EffectInPlaceFilter::NonDelegatingQueryInterface(REFIID iid,
                                                                           void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, AsGuid(core_.Description().ParamsIid()))) return ds::GetInterface(ParamsInterface(), out);
  if (common_.Query(iid, out) == S_OK) return S_OK;
  if (IsEqualIID(iid, IID_IEffectDirectProcess)) return ds::GetInterface(&direct_, out);
  return TransInPlaceFilter::NonDelegatingQueryInterface(iid, out);
}

HRESULT EffectInPlaceFilter::CheckInputType(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  return mw::CheckInputType(ToProposed(*type));
}

HRESULT EffectInPlaceFilter::CheckTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*) {
  return S_OK;
}

HRESULT EffectInPlaceFilter::SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) {
  return core_.Frame().SetMediaType(direction == PINDIR_INPUT ? kPinInput : kPinOutput,
                                    type->pbFormat, type->cbFormat);
}

HRESULT EffectInPlaceFilter::StartStreaming() { return core_.Frame().StartStreaming(); }
HRESULT EffectInPlaceFilter::StopStreaming() { return core_.Frame().StopStreaming(); }

HRESULT EffectInPlaceFilter::Receive(IMediaSample* sample) {
  SampleBuffer buffer(sample);
  PinDownstream downstream(output_);
  return core_.Frame().Receive(buffer, downstream);
}

HRESULT EffectInPlaceFilter::Transform(IMediaSample* sample) {
  SampleBuffer buffer(sample);
  return core_.Frame().Transform(buffer);
}

HRESULT EffectInPlaceFilter::EndOfStream() {
  if (!output_.IsConnected()) return core_.Frame().EndOfStream(nullptr);
  PinDownstream downstream(output_);
  return core_.Frame().EndOfStream(&downstream);
}

// ---------------------------------------------------------------------------------------
// The parts

HRESULT STDMETHODCALLTYPE SpecifyPagesPart::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  std::memcpy(pages->pElems, &f_->CoreEffect().Description().pageClsid, sizeof(GUID));
  pages->cElems = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PersistStreamPart::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  std::memcpy(clsid, &f_->CoreEffect().Description().filterClsid, sizeof *clsid);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE PersistStreamPart::IsDirty() { return f_->CoreEffect().IsDirty(); }
HRESULT STDMETHODCALLTYPE PersistStreamPart::Load(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  ComByteStream s(stream);
  return f_->CoreEffect().Load(s);
}
HRESULT STDMETHODCALLTYPE PersistStreamPart::Save(IStream* stream, BOOL clearDirty) {
  if (stream == nullptr) return E_POINTER;
  ComByteStream s(stream);
  return f_->CoreEffect().Save(s, clearDirty != FALSE);
}
HRESULT STDMETHODCALLTYPE PersistStreamPart::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = f_->CoreEffect().SizeMax();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PresetsPart::GetPresetCount(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = f_->CoreEffect().PresetCount();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PresetsPart::GetPresetName(LONG index, WCHAR* buffer, LONG chars) {
  const char* name = nullptr;
  const HRESULT hr = f_->CoreEffect().PresetName(index, &name);
  if (FAILED(hr)) return hr;
  if (buffer == nullptr) return E_POINTER;
  if (chars <= 0) return S_OK;
  // A name that does not fit is cut, never left unterminated.
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, buffer, chars) == 0) {
    const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    buffer[0] = 0;
    if (n > 0) {
      std::unique_ptr<WCHAR[]> all(new (std::nothrow) WCHAR[n]);
      if (all != nullptr && MultiByteToWideChar(CP_ACP, 0, name, -1, all.get(), n) != 0) {
        std::memcpy(buffer, all.get(), sizeof(WCHAR) * (chars - 1));
        buffer[chars - 1] = 0;
      }
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PresetsPart::ApplyPreset(LONG index) {
  return f_->CoreEffect().ApplyPreset(index);
}

DirectProcessPart::DirectProcessPart(EffectInPlaceFilter* f) : FilterPart(f), filter_(f) {}

HRESULT STDMETHODCALLTYPE DirectProcessPart::Initialize(DWORD channels, DWORD rate) {
  return filter_->Core().Frame().Initialize(channels, rate);
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::Process(float* buffer, DWORD frames, BOOL limited) {
  return filter_->Core().Frame().Process(buffer, frames, limited != FALSE);
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::ProcessTail(float* buffer, DWORD* frames) {
  if (frames == nullptr) return E_POINTER;
  std::uint32_t n = *frames;
  const HRESULT hr = filter_->Core().Frame().ProcessTail(buffer, &n);
  *frames = n;
  return hr;
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::Stop() { return filter_->Core().Frame().Stop(); }
HRESULT STDMETHODCALLTYPE DirectProcessPart::ParametersChanged() {
  return filter_->Core().Frame().ParametersChanged();
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::UpdateParameters(BOOL reset, DWORD, DWORD) {
  return filter_->Core().Frame().UpdateParameters(reset != FALSE);
}

}  // namespace mw
