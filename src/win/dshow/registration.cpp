#include "win/dshow/registration.h"

#include <dshow.h>

#include <cwchar>

namespace mw::ds {
namespace {

constexpr HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

HRESULT SetValue(HKEY key, const wchar_t* name, const wchar_t* data) {
  const DWORD bytes = static_cast<DWORD>((std::wcslen(data) + 1) * sizeof(wchar_t));
  const LONG r = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes);
  return r == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(r);
}

HRESULT RegisterFilterWith(IFilterMapper2* mapper, const FilterSetup& s) {
  HRESULT hr = mapper->UnregisterFilter(nullptr, nullptr, *s.clsid);
  if (FAILED(hr) && hr != kFileNotFound) return hr;
  REGFILTER2 rf{};
  rf.dwVersion = 1;
  rf.dwMerit = s.merit;
  rf.cPins = s.pinCount;
  rf.rgPins = s.pins;
  return mapper->RegisterFilter(*s.clsid, s.name, nullptr, nullptr, nullptr, &rf);
}

HRESULT RegisterFilterWith(IFilterMapper* mapper, const FilterSetup& s) {
  HRESULT hr = mapper->RegisterFilter(*s.clsid, s.name, s.merit);
  for (ULONG p = 0; p < s.pinCount && SUCCEEDED(hr); ++p) {
    const REGFILTERPINS& pin = s.pins[p];
    hr = mapper->RegisterPin(*s.clsid, pin.strName, pin.bRendered, pin.bOutput, pin.bZero,
                             pin.bMany, pin.clsConnectsToFilter ? *pin.clsConnectsToFilter
                                                                : CLSID_NULL,
                             pin.strConnectsToPin);
    for (UINT t = 0; t < pin.nMediaTypes && SUCCEEDED(hr); ++t) {
      const REGPINTYPES& type = pin.lpMediaType[t];
      hr = mapper->RegisterPinType(*s.clsid, pin.strName,
                                   type.clsMajorType ? *type.clsMajorType : GUID_NULL,
                                   type.clsMinorType ? *type.clsMinorType : GUID_NULL);
    }
  }
  return hr;
}

}  // namespace

void ClassIdString(const CLSID& c, wchar_t out[39]) {
  swprintf(out, 39, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
           static_cast<unsigned long>(c.Data1), c.Data2, c.Data3, c.Data4[0], c.Data4[1],
           c.Data4[2], c.Data4[3], c.Data4[4], c.Data4[5], c.Data4[6], c.Data4[7]);
}

HRESULT WriteClassKeys(const CLSID& clsid, const wchar_t* name, const wchar_t* modulePath) {
  wchar_t id[39];
  ClassIdString(clsid, id);
  wchar_t path[80];
  swprintf(path, 80, L"CLSID\\%ls", id);
  HKEY key = nullptr, server = nullptr;
  LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                           nullptr);
  if (r != ERROR_SUCCESS) return HRESULT_FROM_WIN32(r);
  HRESULT hr = SetValue(key, nullptr, name);
  if (SUCCEEDED(hr)) {
    r = RegCreateKeyExW(key, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server,
                        nullptr);
    hr = r == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(r);
  }
  if (SUCCEEDED(hr)) hr = SetValue(server, nullptr, modulePath);
  if (SUCCEEDED(hr)) hr = SetValue(server, L"ThreadingModel", L"Both");
  if (server != nullptr) RegCloseKey(server);
  RegCloseKey(key);
  return hr;
}

LONG DeleteKeyTree(HKEY parent, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
    return ERROR_SUCCESS;  // nothing there
  }
  wchar_t child[256];
  for (;;) {
    DWORD length = sizeof child / sizeof child[0];
    if (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const LONG r = DeleteKeyTree(key, child);
    if (r != ERROR_SUCCESS) {
      RegCloseKey(key);
      return r;
    }
  }
  RegCloseKey(key);
  const LONG r = RegDeleteKeyW(parent, name);
  return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

HRESULT DeleteClassKeys(const CLSID& clsid) {
  wchar_t id[39];
  ClassIdString(clsid, id);
  HKEY classes = nullptr;
  LONG r = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ | KEY_WRITE, &classes);
  if (r != ERROR_SUCCESS) return S_OK;
  r = DeleteKeyTree(classes, id);
  RegCloseKey(classes);
  return r == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(r);
}

HRESULT RegisterWithOldMapper(const FilterSetup& setup, bool registering) {
  IFilterMapper* mapper = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFilterMapper, reinterpret_cast<void**>(&mapper));
  if (FAILED(hr)) return hr;
  if (registering) {
    hr = RegisterFilterWith(mapper, setup);
  } else {
    hr = mapper->UnregisterFilter(*setup.clsid);
    if (hr == kFileNotFound) hr = S_OK;
  }
  mapper->Release();
  return hr;
}

HRESULT RegisterFilters(const FilterSetup* const* setups, int count, bool registering) {
  IFilterMapper2* mapper2 = nullptr;
  IFilterMapper* mapper1 = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFilterMapper2, reinterpret_cast<void**>(&mapper2));
  if (FAILED(hr)) {
    hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                          reinterpret_cast<void**>(&mapper1));
  }
  for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
    const FilterSetup& s = *setups[i];
    if (mapper2 != nullptr) {
      if (registering) {
        hr = RegisterFilterWith(mapper2, s);
      } else {
        hr = mapper2->UnregisterFilter(nullptr, nullptr, *s.clsid);
        if (hr == kFileNotFound) hr = S_OK;
      }
    } else {
      if (registering) {
        hr = RegisterFilterWith(mapper1, s);
      } else {
        hr = mapper1->UnregisterFilter(*s.clsid);
        if (hr == kFileNotFound) hr = S_OK;
      }
    }
  }
  if (mapper2 != nullptr) mapper2->Release();
  if (mapper1 != nullptr) mapper1->Release();
  return hr;
}

}  // namespace mw::ds
