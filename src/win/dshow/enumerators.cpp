#include "win/dshow/enumerators.h"

#include <new>

#include "win/dshow/base_filter.h"
#include "win/dshow/com.h"
#include "win/dshow/media_type.h"

namespace mw::ds {
namespace {

// An enumerator over what `Items::Source` hands out by position. `Items` says how:
// Fetch(source, position, &item) puts out the item (with its own reference or copy) or
// answers false past the end; Exists(source, position) only asks.
template <class Interface, const IID* kIid, class Items>
class Enumerator final : public SingleInterface<Interface, kIid> {
 public:
  using Source = typename Items::Source;
  using Item = typename Items::Item;

  static HRESULT Create(Source* source, ULONG position, Interface** out) {
    if (out == nullptr) return E_POINTER;
    auto* e = new (std::nothrow) Enumerator(source, position);
    if (e == nullptr) return E_OUTOFMEMORY;
    e->AddRef();
    *out = e;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override {
    if (items == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    while (n < count && Items::Fetch(source_, position_, &items[n])) {
      ++position_;
      ++n;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    while (count > 0 && Items::Exists(source_, position_)) {
      ++position_;
      --count;
    }
    return count == 0 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Interface** out) override {
    return Create(source_, position_, out);
  }

 private:
  Enumerator(Source* source, ULONG position) : source_(source), position_(position) {
    source_->AddRef();
  }
  ~Enumerator() override { source_->Release(); }

  Source* source_;
  ULONG position_;
};

struct PinItems {
  using Source = BaseFilter;
  using Item = IPin*;
  static bool Exists(BaseFilter* filter, ULONG position) {
    return position < static_cast<ULONG>(filter->PinCount());
  }
  static bool Fetch(BaseFilter* filter, ULONG position, IPin** pin) {
    if (!Exists(filter, position)) return false;
    *pin = filter->GetPin(static_cast<int>(position));
    (*pin)->AddRef();
    return true;
  }
};

struct MediaTypeItems {
  using Source = BasePin;
  using Item = AM_MEDIA_TYPE*;
  static bool Exists(BasePin* pin, ULONG position) {
    AM_MEDIA_TYPE raw{};
    if (pin->GetMediaType(static_cast<int>(position), &raw) != S_OK) return false;
    FreeMediaTypeContents(raw);
    return true;
  }
  static bool Fetch(BasePin* pin, ULONG position, AM_MEDIA_TYPE** type) {
    AM_MEDIA_TYPE raw{};
    if (pin->GetMediaType(static_cast<int>(position), &raw) != S_OK) return false;
    *type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (*type == nullptr) {
      FreeMediaTypeContents(raw);
      return false;
    }
    **type = raw;  // the enumerated copy owns raw's format block now
    return true;
  }
};

}  // namespace

HRESULT NewPinEnumerator(BaseFilter* filter, IEnumPins** out) {
  return Enumerator<IEnumPins, &IID_IEnumPins, PinItems>::Create(filter, 0, out);
}

HRESULT NewMediaTypeEnumerator(BasePin* pin, IEnumMediaTypes** out) {
  return Enumerator<IEnumMediaTypes, &IID_IEnumMediaTypes, MediaTypeItems>::Create(pin, 0, out);
}

}  // namespace mw::ds
