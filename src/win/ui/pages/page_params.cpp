#include "win/ui/pages/page_params.h"

namespace mw::ui {
namespace {

constexpr std::size_t kGetFormatSlot = 5;
constexpr std::size_t kRegisterNotifyWindowSlot = 6;
constexpr std::size_t kFirstAccessorSlot = 7;

template <class Fn>
Fn SlotOf(IUnknown* object, std::size_t slot) {
  void* const* table = *reinterpret_cast<void* const* const*>(object);
  return reinterpret_cast<Fn>(table[slot]);
}

template <class Value>
using Getter = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, Value* value);
template <class Value>
using Setter = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, Value value);

}  // namespace

bool PageParamsInterface::Known(std::size_t field, FieldType type) const {
  if (field >= effect_.params.count) return false;
  const bool isDouble = effect_.params.fields[field].type == FieldType::Float64;
  return isDouble == (type == FieldType::Float64);
}

bool PageParamsInterface::Get(std::size_t field, std::int32_t* value) {
  if (!Known(field, FieldType::Int32)) return false;
  LONG v = 0;  // LONG and DWORD fields alike: 32 bits
  const HRESULT hr =
      SlotOf<Getter<LONG>>(params_, kFirstAccessorSlot + 2 * field)(params_, &v);
  *value = static_cast<std::int32_t>(v);
  return SUCCEEDED(hr);
}

void PageParamsInterface::Put(std::size_t field, std::int32_t value) {
  if (!Known(field, FieldType::Int32)) return;
  SlotOf<Setter<LONG>>(params_, kFirstAccessorSlot + 2 * field + 1)(params_,
                                                                    static_cast<LONG>(value));
}

bool PageParamsInterface::GetDouble(std::size_t field, double* value) {
  if (!Known(field, FieldType::Float64)) return false;
  return SUCCEEDED(
      SlotOf<Getter<double>>(params_, kFirstAccessorSlot + 2 * field)(params_, value));
}

void PageParamsInterface::PutDouble(std::size_t field, double value) {
  if (!Known(field, FieldType::Float64)) return;
  SlotOf<Setter<double>>(params_, kFirstAccessorSlot + 2 * field + 1)(params_, value);
}

bool PageParamsInterface::SampleRate(std::uint32_t* rate) {
  if (effect_.kind != EffectKind::kCopying) return false;
  DWORD r = 0;
  const std::size_t slot = kFirstAccessorSlot + 2 * effect_.params.count;
  const HRESULT hr = SlotOf<Getter<DWORD>>(params_, slot)(params_, &r);
  *rate = r;
  return hr == S_OK;
}

bool PageParamsInterface::Channels(int* channels) {
  WAVEFORMATEX format{};
  HRESULT hr;
  if (effect_.kind == EffectKind::kCopying) {
    // The input's format.
    using GetFormat = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, DWORD, WAVEFORMATEX*);
    hr = SlotOf<GetFormat>(params_, kGetFormatSlot)(params_, 0, &format);
  } else {
    using GetFormat = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, WAVEFORMATEX*);
    hr = SlotOf<GetFormat>(params_, kGetFormatSlot)(params_, &format);
  }
  *channels = format.nChannels;
  return SUCCEEDED(hr);
}

HRESULT PageParamsInterface::RegisterNotifyWindow(HWND window, DWORD id) {
  using Register = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, HWND, DWORD);
  return SlotOf<Register>(params_, kRegisterNotifyWindowSlot)(params_, window, id);
}

}  // namespace mw::ui
