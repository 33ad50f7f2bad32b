#include <windows.h>
#include <initguid.h>  // instantiates the SDK identifiers

#include "module_fixture.h"

namespace mwtest {

Module& Module::Get() {
  static Module m;
  return m;
}

Module::Module() {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  path_ = exe;
  path_ = path_.substr(0, path_.find_last_of(L"\\/") + 1) + L"mwppack1.dll";
  module_ = LoadLibraryW(path_.c_str());
  if (module_ == nullptr) return;
  getClassObject_ = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<NoArgsFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
  register_ = reinterpret_cast<NoArgsFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
  unregister_ = reinterpret_cast<NoArgsFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllUnregisterServer")));
}

HRESULT Module::GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return getClassObject_ != nullptr ? getClassObject_(clsid, iid, out) : E_FAIL;
}
HRESULT Module::CanUnloadNow() { return canUnloadNow_ != nullptr ? canUnloadNow_() : E_FAIL; }
HRESULT Module::Register() { return register_ != nullptr ? register_() : E_FAIL; }
HRESULT Module::Unregister() { return unregister_ != nullptr ? unregister_() : E_FAIL; }

HRESULT Module::Create(REFCLSID clsid, IUnknown* outer, REFIID iid, void** out) {
  IClassFactory* factory = nullptr;
  HRESULT hr = GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, out);
  factory->Release();
  return hr;
}

}  // namespace mwtest
