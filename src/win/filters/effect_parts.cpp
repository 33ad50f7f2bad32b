#include "win/filters/effect_parts.h"

#include "win/ui/util/ui_module.h"

#include <memory>
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
  std::uint32_t id = 0;
  const HRESULT hr = f_->CoreEffect().PresetNameId(index, &id);
  if (FAILED(hr)) return hr;
  // The module's text of the name (a translated module's resources), else the built-in one.
  const char* name = ui::GetUiString(id);
  if (name == nullptr) name = BuiltinUiString(id);
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

}  // namespace mw
