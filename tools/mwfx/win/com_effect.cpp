#include "win/com_effect.h"

#include <initguid.h>  // instantiates the SDK's identifiers for this program

#include "mwppack1/mwppack1.h"

#include <cstring>
#include <iterator>

#include "win/files.h"

namespace mwfx {
namespace {

using DelayPut = HRESULT(STDMETHODCALLTYPE ISimpleDelayParams::*)(LONG);

// Slot order of ISimpleDelayParams's setters.
const char* const kDelayFields[] = {"DryOut", "DelayOut", "Feedback", "DelayTime", "DecayTime"};
const DelayPut kDelayPuts[] = {
    &ISimpleDelayParams::put_DryOut,    &ISimpleDelayParams::put_DelayOut,
    &ISimpleDelayParams::put_Feedback,  &ISimpleDelayParams::put_DelayTime,
    &ISimpleDelayParams::put_DecayTime,
};
static_assert(std::size(kDelayFields) == std::size(kDelayPuts), "one name per setter");

HRESULT PutDelay(IUnknown* params, std::size_t field, LONG value) {
  if (field >= std::size(kDelayPuts)) return E_INVALIDARG;
  return (static_cast<ISimpleDelayParams*>(params)->*kDelayPuts[field])(value);
}

const ParamInterface kParamInterfaces[] = {
    {"delay", &IID_ISimpleDelayParams, kDelayFields, std::size(kDelayFields), &PutDelay},
};

const ParamInterface* FindParamInterface(const char* cliName) {
  for (const ParamInterface& p : kParamInterfaces) {
    if (std::strcmp(p.cliName, cliName) == 0) return &p;
  }
  return nullptr;
}

// The setters are reached by the field table's index, so the table must list the fields in
// the interface's slot order.
bool SameOrder(const ParamInterface& p, const mw::ParamTable& table) {
  if (p.fieldCount != table.count) return false;
  for (std::size_t i = 0; i < table.count; ++i) {
    if (std::strcmp(p.fieldNames[i], table.fields[i].name) != 0) return false;
  }
  return true;
}

std::wstring BesideProgram(const wchar_t* file) {
  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path(exe, n);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + file;
}

template <class T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

// A memory stream holding `bytes`, positioned at its start.
HRESULT StreamOf(const std::string& bytes, IStream** out) {
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, out);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  if (!bytes.empty()) {
    hr = (*out)->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  }
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = (*out)->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) ReleaseAndClear(*out);
  return hr;
}

}  // namespace

ComEffect::~ComEffect() {
  ReleaseAndClear(params_);
  ReleaseAndClear(persist_);
  ReleaseAndClear(presets_);
  ReleaseAndClear(filter_);
  // A module loaded from beside the program stays loaded until the process ends: the
  // graph may still hold objects of it while it is being torn down.
}

HRESULT ComEffect::CreateFromModule(const CLSID& clsid, std::string* error) {
  const std::wstring path = BesideProgram(L"mwppack1.dll");
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    *error = "mwppack1.dll is neither registered nor beside the program (" + Narrow(path) + ")";
    return HRESULT_FROM_WIN32(GetLastError());
  }
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (getClassObject == nullptr) {
    *error = Narrow(path) + " has no class factory entry";
    return E_NOINTERFACE;
  }
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter_));
    factory->Release();
  }
  if (FAILED(hr)) *error = Narrow(path) + " cannot create the filter (" + HexStatus(hr) + ")";
  return hr;
}

bool ComEffect::Create(const mw::CatalogEntry& entry, std::string* error) {
  binding_ = FindParamInterface(entry.cliName);
  if (binding_ == nullptr || !SameOrder(*binding_, entry.info->params)) {
    *error = std::string("this program cannot set the parameters of ") + entry.displayName;
    return false;
  }
  CLSID clsid;
  static_assert(sizeof clsid == sizeof entry.info->filterClsid, "a class id is a GUID");
  std::memcpy(&clsid, &entry.info->filterClsid, sizeof clsid);

  registered_ = SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                           reinterpret_cast<void**>(&filter_)));
  if (!registered_) {
    filter_ = nullptr;
    std::string why;
    if (FAILED(CreateFromModule(clsid, &why))) {
      *error = std::string("cannot create the ") + entry.displayName + " filter: " + why;
      return false;
    }
  }
  HRESULT hr = filter_->QueryInterface(IID_IEffectPresets, reinterpret_cast<void**>(&presets_));
  if (SUCCEEDED(hr)) {
    hr = filter_->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist_));
  }
  if (SUCCEEDED(hr)) hr = filter_->QueryInterface(*binding_->iid, reinterpret_cast<void**>(&params_));
  if (FAILED(hr)) {
    *error = std::string("the ") + entry.displayName + " filter lacks an interface (" +
             HexStatus(hr) + ")";
    return false;
  }
  return true;
}

std::int32_t ComEffect::PresetCount() {
  LONG count = 0;
  return SUCCEEDED(presets_->GetPresetCount(&count)) ? count : 0;
}

std::string ComEffect::PresetName(std::int32_t index) {
  WCHAR name[260] = {};
  if (FAILED(presets_->GetPresetName(index, name, 260))) return std::string();
  return Narrow(name);
}

mw::HResult ComEffect::ApplyPreset(std::int32_t index) { return presets_->ApplyPreset(index); }

mw::HResult ComEffect::Put(std::size_t field, std::int32_t value) {
  return binding_->put(params_, field, value);
}

mw::HResult ComEffect::LoadRecord(const std::string& bytes) {
  IStream* stream = nullptr;
  HRESULT hr = StreamOf(bytes, &stream);
  if (FAILED(hr)) return hr;
  hr = persist_->Load(stream);
  stream->Release();
  return hr;
}

mw::HResult ComEffect::SaveRecord(std::string* bytes) {
  IStream* stream = nullptr;
  HRESULT hr = StreamOf(std::string(), &stream);
  if (FAILED(hr)) return hr;
  hr = persist_->Save(stream, TRUE);
  STATSTG stat{};
  if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) {
    bytes->resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    if (!bytes->empty()) {
      hr = stream->Read(&(*bytes)[0], static_cast<ULONG>(bytes->size()), &read);
    }
    if (SUCCEEDED(hr) && read != bytes->size()) hr = E_FAIL;
  }
  stream->Release();
  return hr;
}

std::uint32_t ComEffect::RecordSize() {
  ULARGE_INTEGER size{};
  return SUCCEEDED(persist_->GetSizeMax(&size)) ? static_cast<std::uint32_t>(size.QuadPart) : 0;
}

}  // namespace mwfx
