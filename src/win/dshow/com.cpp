#include "win/dshow/com.h"

namespace mw::ds {
namespace {
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;
}  // namespace

LONG ObjectsAlive() { return InterlockedCompareExchange(&g_objects, 0, 0); }
LONG ServerLocks() { return InterlockedCompareExchange(&g_locks, 0, 0); }
void LockServer(bool lock) {
  if (lock) InterlockedIncrement(&g_locks);
  else InterlockedDecrement(&g_locks);
}

UnknownBase::UnknownBase(IUnknown* outer)
    : owner_(outer != nullptr ? outer : AsUnknown(this)) {
  InterlockedIncrement(&g_objects);
}

UnknownBase::~UnknownBase() { InterlockedDecrement(&g_objects); }

HRESULT STDMETHODCALLTYPE UnknownBase::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = AsUnknown(this);
    NonDelegatingAddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE UnknownBase::NonDelegatingAddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG STDMETHODCALLTYPE UnknownBase::NonDelegatingRelease() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) {
    // Guard against re-entry while the destructor releases what it holds.
    refs_ = 1;
    delete this;
  }
  return static_cast<ULONG>(n);
}

}  // namespace mw::ds
