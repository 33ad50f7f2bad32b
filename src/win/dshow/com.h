// Component-object plumbing shared by the filters, pins, allocators and factories:
// the non-delegating IUnknown that makes aggregation work, the module's live-object count,
// and small helpers.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace mw::ds {

// The IUnknown of an object as itself, never forwarded to an aggregating outer object.
// Its three slots have IUnknown's layout, so a pointer to it can stand in for an IUnknown.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

// Counts every live object of the module; the module may unload only at zero.
LONG ObjectsAlive();
LONG ServerLocks();
void LockServer(bool lock);

class UnknownBase : public INonDelegatingUnknown {
 public:
  // `outer` is the controlling object when aggregated, else null.
  explicit UnknownBase(IUnknown* outer);
  virtual ~UnknownBase();
  UnknownBase(const UnknownBase&) = delete;
  UnknownBase& operator=(const UnknownBase&) = delete;

  // The controlling IUnknown: the outer object, or this object's own IUnknown.
  IUnknown* Owner() const { return owner_; }

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

 protected:
  volatile LONG refs_ = 0;

 private:
  IUnknown* owner_;
};

// Holds a critical section for the life of a scope.
class Lock {
 public:
  explicit Lock(CRITICAL_SECTION* cs) : cs_(cs) { EnterCriticalSection(cs_); }
  ~Lock() { LeaveCriticalSection(cs_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION* cs_;
};

// Hands out `p` (already the right interface pointer) with a reference.
inline HRESULT GetInterface(IUnknown* p, void** out) {
  *out = p;
  p->AddRef();
  return S_OK;
}

inline IUnknown* AsUnknown(INonDelegatingUnknown* p) { return reinterpret_cast<IUnknown*>(p); }

// The IUnknown of a small, unaggregated object answering one interface. Its last release
// calls LastRelease, which by default deletes the object.
template <class Interface, const IID* kIid>
class SingleInterface : public Interface {
 public:
  virtual ~SingleInterface() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, *kIid)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) LastRelease();
    return static_cast<ULONG>(n);
  }

 protected:
  virtual void LastRelease() { delete this; }

 private:
  volatile LONG refs_ = 0;
};

}  // namespace mw::ds

// The three IUnknown slots of an interface implemented by an UnknownBase: all forwarded to
// the controlling object.
#define MW_DELEGATE_IUNKNOWN                                                              \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {             \
    return Owner()->QueryInterface(iid, out);                                             \
  }                                                                                       \
  ULONG STDMETHODCALLTYPE AddRef() override { return Owner()->AddRef(); }                 \
  ULONG STDMETHODCALLTYPE Release() override { return Owner()->Release(); }
