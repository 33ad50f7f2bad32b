// An outer object for aggregation tests: it counts the references and queries that reach it
// and hands every interface but IUnknown to the inner object it aggregates.
#pragma once

#include <windows.h>

namespace mwtest {

class CountingOuter : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++queries;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner != nullptr ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  IUnknown* inner = nullptr;
  int queries = 0;
  ULONG refs = 1;
};

}  // namespace mwtest
