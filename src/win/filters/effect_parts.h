// The COM interface parts of every effect filter object: each is one interface whose
// IUnknown is the filter's controlling object, and each reaches the portable effect
// through the filter. Property pages, persistence and presets are common to all six
// effects; the parameter interface part is completed by each effect with its accessors.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <strmif.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/effects/effect.h"
#include "core/frame/effect_format.h"
#include "mwppack1/mwppack1.h"
#include "win/dshow/com.h"

namespace mw {

// Change notices as posted window messages.
class WindowNotifySink final : public NotifySink {
 public:
  bool WindowExists(std::uintptr_t window) override;
  void Post(std::uintptr_t window, std::uint32_t wparam) override;
};

// What the parts of a filter object reach through it: the controlling object and the
// portable effect. Both kinds of effect filter are one.
class EffectObject {
 public:
  virtual IUnknown* ControllingUnknown() = 0;
  virtual Effect& CoreEffect() = 0;

 protected:
  ~EffectObject() = default;
};

// A part of the filter object: one COM interface whose IUnknown is the filter's
// controlling object.
template <class Interface>
class FilterPart : public Interface {
 public:
  explicit FilterPart(EffectObject* f) : f_(f) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return f_->ControllingUnknown()->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return f_->ControllingUnknown()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return f_->ControllingUnknown()->Release(); }

 protected:
  EffectObject* f_;
};

class SpecifyPagesPart final : public FilterPart<ISpecifyPropertyPages> {
 public:
  using FilterPart::FilterPart;
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;
};

class PersistStreamPart final : public FilterPart<IPersistStream> {
 public:
  using FilterPart::FilterPart;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
};

class PresetsPart final : public FilterPart<IEffectPresets> {
 public:
  using FilterPart::FilterPart;
  HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* count) override;
  HRESULT STDMETHODCALLTYPE GetPresetName(LONG index, WCHAR* buffer, LONG chars) override;
  HRESULT STDMETHODCALLTYPE ApplyPreset(LONG index) override;
};

// The interfaces every effect filter answers after its parameter interface, and the
// change notices of its parameters as window messages.
class CommonParts {
 public:
  CommonParts(EffectObject* host, ParamStore& params);
  ~CommonParts();
  CommonParts(const CommonParts&) = delete;
  CommonParts& operator=(const CommonParts&) = delete;
  // ISpecifyPropertyPages, IPersistStream, IEffectPresets in that order; E_NOINTERFACE
  // for any other.
  HRESULT Query(REFIID iid, void** out);

 private:
  ParamStore& params_;
  WindowNotifySink notifySink_;
  SpecifyPagesPart pages_;
  PersistStreamPart persist_;
  PresetsPart presets_;
};

static_assert(sizeof(WAVEFORMATEX) == EffectFormat::kBytes, "WAVEFORMATEX is 18 bytes");

// The shared part of every effect's parameter interface, on the effect filter of its kind
// (`Filter`); the accessor pairs are added by each effect in its published slot order,
// from its field table.
template <class Filter, class Interface, class Block>
class ParamBlockPart : public FilterPart<Interface> {
 public:
  explicit ParamBlockPart(Filter* f) : FilterPart<Interface>(f), filter_(f) {}
  HRESULT STDMETHODCALLTYPE GetParameters(Block* block) override {
    return Store().GetParameters(block);
  }
  HRESULT STDMETHODCALLTYPE SetParameters(const Block* block) override {
    return Store().SetParameters(block);
  }
  HRESULT STDMETHODCALLTYPE RegisterNotifyWindow(HWND window, DWORD id) override {
    return Store().RegisterNotifyWindow(reinterpret_cast<std::uintptr_t>(window), id);
  }

 protected:
  ParamStore& Store() { return filter_->CoreEffect().Params(); }
  // A field as the interface's 32-bit integer type (LONG or DWORD): the same 32 bits.
  template <class Int>
  HRESULT Get(std::size_t field, Int* value) {
    static_assert(std::is_integral_v<Int> && sizeof(Int) == 4, "a 32-bit integer");
    if (value == nullptr) return E_POINTER;
    std::int32_t v = 0;
    const HRESULT hr = Store().Get(field, &v);
    *value = static_cast<Int>(v);
    return hr;
  }
  template <class Int>
  HRESULT Put(std::size_t field, Int value) {
    static_assert(std::is_integral_v<Int> && sizeof(Int) == 4, "a 32-bit integer");
    return Store().Put(field, static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
  }
  HRESULT Get(std::size_t field, double* value) {
    if (value == nullptr) return E_POINTER;
    return Store().GetDouble(field, value);
  }
  HRESULT Put(std::size_t field, double value) { return Store().PutDouble(field, value); }

  // A wave format that `get` writes as the effect's 18 bytes, handed out when it succeeds.
  template <class Getter>
  static HRESULT CopyFormat(WAVEFORMATEX* format, Getter get) {
    if (format == nullptr) return E_POINTER;
    std::uint8_t bytes[EffectFormat::kBytes];
    const HRESULT hr = get(bytes);
    if (SUCCEEDED(hr)) std::memcpy(format, bytes, sizeof bytes);
    return hr;
  }

  Filter* filter_;
};

}  // namespace mw

// One get/put pair of a parameter interface, bound to the field at `index` of the table,
// with the interface's type for the value: LONG, DWORD or double.
#define MW_TYPED_PARAM_ACCESSORS(Type, Name, index)                                        \
  HRESULT STDMETHODCALLTYPE get_##Name(Type* value) override {                             \
    return this->Get(index, value);                                                        \
  }                                                                                        \
  HRESULT STDMETHODCALLTYPE put_##Name(Type value) override { return this->Put(index, value); }
#define MW_PARAM_ACCESSORS(Name, index) MW_TYPED_PARAM_ACCESSORS(LONG, Name, index)
#define MW_DWORD_PARAM_ACCESSORS(Name, index) MW_TYPED_PARAM_ACCESSORS(DWORD, Name, index)
#define MW_DOUBLE_PARAM_ACCESSORS(Name, index) MW_TYPED_PARAM_ACCESSORS(double, Name, index)
