// The module's entry points: load and unload, class factories, object counting and
// self-registration.
#include <windows.h>
#include <initguid.h>  // instantiates the identifiers of the SDK header below
#include <strmif.h>
#include <vfwmsgs.h>

#include <new>

#include "win/dshow/com.h"
#include "win/dshow/registration.h"
#include "win/module/class_table.h"
#include "win/ui/controls/control_classes.h"
#include "win/ui/util/ui_module.h"
#include "mwppack1/mwppack1.h"

namespace mw {
namespace {

HINSTANCE g_module = nullptr;

class ClassFactory final : public ds::UnknownBase, public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : UnknownBase(nullptr), entry_(entry) {}

  MW_DELEGATE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IClassFactory)) {
      return ds::GetInterface(static_cast<IClassFactory*>(this), out);
    }
    return UnknownBase::NonDelegatingQueryInterface(iid, out);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    ds::UnknownBase* object = nullptr;
    HRESULT hr = entry_.create(outer, &object);
    if (object == nullptr) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    if (FAILED(hr)) {
      delete object;
      return hr;
    }
    // Hold a reference around the query so that a failed query frees the object.
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(iid, out);
    object->NonDelegatingRelease();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    ds::LockServer(lock != FALSE);
    return S_OK;
  }

 private:
  const ClassEntry& entry_;
};

HRESULT Win32Error(DWORD code) { return HRESULT_FROM_WIN32(code); }

bool NoSetupInterface(HRESULT hr) {
  return hr == E_NOINTERFACE || hr == VFW_E_NEED_OWNER;
}

// Pass one: the component keys (when registering) and the filter mapper records.
HRESULT RegisterPassOne(bool registering, const wchar_t* modulePath) {
  int count = 0;
  const ClassEntry* table = ClassTable(&count);
  if (registering) {
    for (int i = 0; i < count; ++i) {
      const HRESULT hr = ds::WriteClassKeys(*table[i].clsid, table[i].name, modulePath);
      if (FAILED(hr)) return hr;
    }
  }
  const HRESULT init = CoInitialize(nullptr);
  const ds::FilterSetup* setups[16];
  int filters = 0;
  for (int i = 0; i < count && filters < 16; ++i) {
    if (table[i].setup != nullptr) setups[filters++] = table[i].setup;
  }
  HRESULT hr = ds::RegisterFilters(setups, filters, registering);
  CoFreeUnusedLibraries();
  if (SUCCEEDED(init)) CoUninitialize();
  if (FAILED(hr)) return hr;
  if (!registering) {
    for (int i = 0; i < count; ++i) {
      hr = ds::DeleteClassKeys(*table[i].clsid);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

// Asks a class for IAMovieSetup and runs `step` on it; classes without it are skipped.
template <class Step>
HRESULT WithMovieSetup(const CLSID& clsid, Step step) {
  IAMovieSetup* setup = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IAMovieSetup,
                                reinterpret_cast<void**>(&setup));
  if (FAILED(hr)) {
    // Not offering it, needing an owner, or not registered at all: nothing to do.
    return NoSetupInterface(hr) || hr == REGDB_E_CLASSNOTREG ? S_OK : hr;
  }
  hr = step(setup);
  setup->Release();
  return hr;
}

}  // namespace
}  // namespace mw

using mw::ClassEntry;

namespace mw {
namespace {

constexpr char kProductName[] = "Vantor 1 Plug-In Pack";

void ProcessAttach(HINSTANCE instance) {
  ui::InitUiUtilities(instance);
  ui::LoadUiStringTable();
  ui::RegisterControlClasses(instance);
  ui::SetProductName(kProductName);
  // The framework's part: the instance handle; there are no per-class load functions.
  g_module = instance;
  DisableThreadLibraryCalls(instance);
}

void ProcessDetach(HINSTANCE instance, bool processEnding) {
  // When the whole process ends, the system takes the classes, fonts and memory back, and
  // other modules may already be gone: nothing of the UI is undone then.
  if (!processEnding) {
    ui::UnregisterControlClasses(instance);
    ui::ReleaseUiStringTable();
    ui::ShutdownUiUtilities();
  }
  g_module = nullptr;
}

}  // namespace
}  // namespace mw

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    mw::ProcessAttach(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    mw::ProcessDetach(instance, reserved != nullptr);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  const ClassEntry* entry = mw::FindClass(clsid);
  if (entry == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) mw::ClassFactory(*entry);
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->NonDelegatingAddRef();
  *out = static_cast<IClassFactory*>(factory);
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return mw::ds::ServerLocks() > 0 || mw::ds::ObjectsAlive() > 0 ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(mw::g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    return mw::Win32Error(n == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
  }
  HRESULT hr = mw::RegisterPassOne(true, path);
  if (FAILED(hr)) return hr;

  // Pass two: each class registers itself again through IAMovieSetup.
  const HRESULT init = CoInitialize(nullptr);
  int count = 0;
  const ClassEntry* table = mw::ClassTable(&count);
  for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
    hr = mw::ds::WriteClassKeys(*table[i].clsid, table[i].name, path);
    if (SUCCEEDED(hr)) {
      hr = mw::WithMovieSetup(*table[i].clsid, [](IAMovieSetup* s) {
        s->Unregister();
        return s->Register();
      });
    }
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return FAILED(hr) ? hr : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const HRESULT init = CoInitialize(nullptr);
  int count = 0;
  const ClassEntry* table = mw::ClassTable(&count);
  HRESULT hr = S_OK;
  for (int i = count - 1; i >= 0 && SUCCEEDED(hr); --i) {
    hr = mw::WithMovieSetup(*table[i].clsid, [](IAMovieSetup* s) { return s->Unregister(); });
    if (SUCCEEDED(hr)) hr = mw::ds::DeleteClassKeys(*table[i].clsid);
  }
  if (SUCCEEDED(init)) CoUninitialize();
  if (FAILED(hr)) return hr;
  return mw::RegisterPassOne(false, nullptr);
}
