#include "win/com_effect.h"

#include <initguid.h>  // instantiates the SDK's identifiers for this program

#include "mwppack1/mwppack1.h"

#include <cstring>

#include "win/files.h"

namespace mwfx {
namespace {

// Every effect's parameter interface has one shape: IUnknown's three operations,
// GetParameters, SetParameters, GetFormat and RegisterNotifyWindow, then a get_X/put_X pair
// per field in the order of the effect's field table (ISimpleDelayParams: DryOut, DelayOut,
// Feedback, DelayTime, DecayTime). So get_X of the table's field i is the operation at slot
// 7 + 2i and put_X the one after it, which is how a host that knows the table, not the
// interface's declaration, calls them. Integer fields pass 32 bits (LONG or DWORD alike);
// floating-point fields pass a double.
constexpr std::size_t kFirstAccessorSlot = 7;

template <class Fn>
Fn Slot(IUnknown* params, std::size_t index) {
  void* const* slots = *reinterpret_cast<void* const* const*>(params);
  return reinterpret_cast<Fn>(slots[index]);
}

HRESULT PutField(IUnknown* params, std::size_t field, LONG value) {
  using Put = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, LONG value);
  return Slot<Put>(params, kFirstAccessorSlot + 2 * field + 1)(params, value);
}

HRESULT PutDoubleField(IUnknown* params, std::size_t field, double value) {
  using Put = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, double value);
  return Slot<Put>(params, kFirstAccessorSlot + 2 * field + 1)(params, value);
}

HRESULT GetField(IUnknown* params, std::size_t field, LONG* value) {
  using Get = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, LONG* value);
  return Slot<Get>(params, kFirstAccessorSlot + 2 * field)(params, value);
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

HRESULT ModuleClassObject(const CLSID& clsid, IClassFactory** factory, std::string* error) {
  *factory = nullptr;
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
  const HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory));
  if (FAILED(hr)) *error = Narrow(path) + " does not serve the class (" + HexStatus(hr) + ")";
  return hr;
}

HRESULT ComEffect::CreateFromModule(const CLSID& clsid, std::string* error) {
  IClassFactory* factory = nullptr;
  HRESULT hr = ModuleClassObject(clsid, &factory, error);
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter_));
  factory->Release();
  if (FAILED(hr)) *error = "mwppack1.dll cannot create the filter (" + HexStatus(hr) + ")";
  return hr;
}

bool ComEffect::Create(const mw::EffectDescription& entry, std::string* error) {
  table_ = &entry.params;
  CLSID clsid;
  static_assert(sizeof clsid == sizeof entry.filterClsid, "a class id is a GUID");
  std::memcpy(&clsid, &entry.filterClsid, sizeof clsid);

  // Registered: through the registry. Otherwise from the module beside the program.
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void**>(&filter_)))) {
    filter_ = nullptr;
    std::string why;
    if (FAILED(CreateFromModule(clsid, &why))) {
      *error = std::string("cannot create the ") + entry.filterName + " filter: " + why;
      return false;
    }
  }
  HRESULT hr = filter_->QueryInterface(IID_IEffectPresets, reinterpret_cast<void**>(&presets_));
  if (SUCCEEDED(hr)) {
    hr = filter_->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist_));
  }
  // The record's tag is the parameter interface's identifier.
  IID paramsIid;
  static_assert(sizeof paramsIid == sizeof entry.record.tag, "an IID is a GUID");
  std::memcpy(&paramsIid, &entry.record.tag, sizeof paramsIid);
  if (SUCCEEDED(hr)) hr = filter_->QueryInterface(paramsIid, reinterpret_cast<void**>(&params_));
  if (FAILED(hr)) {
    *error = std::string("the ") + entry.filterName + " filter lacks an interface (" +
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

bool ComEffect::IsDouble(std::size_t field) const {
  return table_->fields[field].type == mw::FieldType::Float64;
}

mw::HResult ComEffect::Put(std::size_t field, std::int32_t value) {
  if (field >= table_->count) return E_INVALIDARG;
  // A floating-point field takes the integer as a double, as the store would convert it.
  if (IsDouble(field)) return PutDoubleField(params_, field, value);
  return PutField(params_, field, value);
}

mw::HResult ComEffect::PutDouble(std::size_t field, double value) {
  if (field >= table_->count || !IsDouble(field)) return E_INVALIDARG;
  return PutDoubleField(params_, field, value);
}

mw::HResult ComEffect::Get(std::size_t field, std::int32_t* value) {
  if (value == nullptr) return E_POINTER;
  if (field >= table_->count || IsDouble(field)) return E_INVALIDARG;
  LONG v = 0;
  const HRESULT hr = GetField(params_, field, &v);
  *value = v;
  return hr;
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
