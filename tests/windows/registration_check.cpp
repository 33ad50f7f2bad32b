// What DllRegisterServer and DllUnregisterServer leave behind, seen the way a host sees it:
// the component keys in the registry, the default filter category through the device
// enumerator and the filter mapper, and the first filter mapper's own keys.
//
// Run by check_registration.sh in a Wine prefix of its own, once per state:
//   registration_check --phase=registered --dll=C:\...\mwppack1.dll
//   registration_check --phase=unregistered
//   registration_check --phase=in-process --dll=C:\...\mwppack1.dll
// "registered" and "unregistered" check what regsvr32 left; "in-process" loads the module
// itself, registers, checks, unregisters twice and checks again.
#include <windows.h>
#include <initguid.h>  // instantiates the identifiers of the headers below
#include <dshow.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The filter mapper's converter between filter records and their packed registry form
// (FilterData). The mingw-w64 headers do not declare it.
DEFINE_GUID(IID_IAMFilterData, 0x97F7C4D4, 0x547B, 0x4A5F, 0x83, 0x32, 0x53, 0x64, 0x30, 0xAD, 0x2E,
            0x4D);
struct IAMFilterData : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ParseFilterData(BYTE* data, ULONG size, BYTE** filter) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateFilterData(REGFILTER2* filter, BYTE** data,
                                                     ULONG* size) = 0;
};

namespace {

// ---------------------------------------------------------------------------------------
// What must be registered. One row per class of the module, in any order; the key name is
// spelled exactly as it must appear in the registry.

struct ClassRow {
  const wchar_t* key;   // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal
  const wchar_t* name;  // the default value of CLSID\{key}
  bool filter;          // filters are also registered with the filter mapper; pages are not
};

const ClassRow kClasses[] = {
    {L"{3C41A870-5E2D-11D0-9D27-4E7A91C2D05F}", L"Marrowind Simple Delay", true},
    {L"{61D7C5A0-4B19-11D0-9D27-4E7A91C2D05F}", L"Marrowind Multi-Tap Delay", true},
    {L"{2A93F640-7C58-11D0-9D27-4E7A91C2D05F}", L"Marrowind Reverb", true},
    {L"{4F1B2D80-63A7-11D0-9D27-4E7A91C2D05F}", L"Marrowind Chorus", true},
};

// Every filter of the module has the same registration record: never picked by automatic
// graph building, one audio input pin and one audio output pin.
constexpr DWORD kMeritDoNotUse = 0x200000;
struct PinRow {
  const wchar_t* name;
  bool output;
};
const PinRow kPins[] = {{L"Input", false}, {L"Output", true}};

// The default filter category's key, and the first filter mapper's list of filters.
const wchar_t kCategoryKey[] = L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance";
const wchar_t kOldMapperFilters[] = L"Filter";

// ---------------------------------------------------------------------------------------
// Options and small helpers.

std::wstring g_dllPath;  // the module's expected full path

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
  return s;
}

GUID ParseGuid(const std::wstring& text) {
  GUID g{};
  if (FAILED(CLSIDFromString(text.c_str(), &g))) {
    ADD_FAILURE() << "not a GUID: " << Narrow(text);
  }
  return g;
}

std::wstring GuidString(const GUID& g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  return text;
}

bool SameText(const std::wstring& a, const std::wstring& b, bool ignoreCase) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), ignoreCase) == CSTR_EQUAL;
}

// Registry reads from HKEY_CLASSES_ROOT. Missing keys and values read as nothing.
class Key {
 public:
  explicit Key(const std::wstring& path) {
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  bool Exists() const { return key_ != nullptr; }

  std::optional<std::wstring> String(const wchar_t* value) const {
    DWORD type = 0, bytes = 0;
    if (key_ == nullptr ||
        RegQueryValueExW(key_, value, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::nullopt;
    }
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::wstring(data.data());
  }

  std::optional<DWORD> Dword(const wchar_t* value) const {
    DWORD type = 0, data = 0, bytes = sizeof data;
    if (key_ == nullptr ||
        RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
      return std::nullopt;
    }
    return data;
  }

  // The names of the subkeys, as stored.
  std::vector<std::wstring> Subkeys() const {
    std::vector<std::wstring> names;
    if (key_ == nullptr) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }

 private:
  HKEY key_ = nullptr;
};

std::wstring Join(const std::wstring& a, const std::wstring& b) { return a + L"\\" + b; }

// Holds a COM interface pointer and releases it.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  ~Ptr() { Reset(); }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// ---------------------------------------------------------------------------------------
// The default filter category as a host reads it.

// One entry of the category: its moniker's display name and its property bag.
struct CategoryEntry {
  std::wstring displayName;
  std::wstring store;  // "sw", "cm", ...: the part of "@device:sw:..." naming where it lives
  std::wstring friendlyName;
  std::vector<BYTE> filterData;
};

std::optional<std::wstring> ReadBagString(IPropertyBag* bag, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  std::optional<std::wstring> result;
  if (SUCCEEDED(bag->Read(name, &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal != nullptr) {
    result = std::wstring(v.bstrVal, SysStringLen(v.bstrVal));
  }
  VariantClear(&v);
  return result;
}

std::vector<BYTE> ReadBagBytes(IPropertyBag* bag, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  std::vector<BYTE> bytes;
  if (SUCCEEDED(bag->Read(name, &v, nullptr)) && v.vt == (VT_ARRAY | VT_UI1) &&
      v.parray != nullptr) {
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
      const BYTE* p = static_cast<const BYTE*>(data);
      bytes.assign(p, p + v.parray->rgsabound[0].cElements);
      SafeArrayUnaccessData(v.parray);
    }
  }
  VariantClear(&v);
  return bytes;
}

// The entries of an enumeration whose "CLSID" property names `clsid`.
std::vector<CategoryEntry> EntriesOf(IEnumMoniker* monikers, const GUID& clsid) {
  std::vector<CategoryEntry> found;
  if (monikers == nullptr) return found;  // an empty category
  for (;;) {
    Ptr<IMoniker> moniker;
    if (monikers->Next(1, moniker.Out(), nullptr) != S_OK) break;
    Ptr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) {
      continue;
    }
    const std::optional<std::wstring> id = ReadBagString(bag.Get(), L"CLSID");
    GUID g{};
    if (!id || FAILED(CLSIDFromString(id->c_str(), &g)) || !IsEqualCLSID(g, clsid)) continue;
    CategoryEntry e;
    LPOLESTR display = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(nullptr, nullptr, &display)) && display != nullptr) {
      e.displayName = display;
      CoTaskMemFree(display);
    }
    const std::wstring prefix = L"@device:";
    if (e.displayName.compare(0, prefix.size(), prefix) == 0) {
      e.store = e.displayName.substr(prefix.size(),
                                     e.displayName.find(L':', prefix.size()) - prefix.size());
    }
    e.friendlyName = ReadBagString(bag.Get(), L"FriendlyName").value_or(L"");
    e.filterData = ReadBagBytes(bag.Get(), L"FilterData");
    found.push_back(std::move(e));
  }
  return found;
}

std::vector<CategoryEntry> CategoryEntries(const GUID& clsid) {
  Ptr<ICreateDevEnum> devices;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.OutVoid());
  EXPECT_EQ(hr, S_OK) << "device enumerator";
  if (FAILED(hr)) return {};
  Ptr<IEnumMoniker> monikers;
  hr = devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, monikers.Out(), 0);
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
  return EntriesOf(monikers.Get(), clsid);
}

// A filter record as the filter mapper reads it back from FilterData.
struct DecodedPin {
  DWORD flags = 0;
  std::vector<std::pair<GUID, GUID>> types;
  UINT mediums = 0;
  bool hasCategory = false;
};
struct DecodedFilter {
  DWORD merit = 0;
  std::vector<DecodedPin> pins;
};

std::optional<DecodedFilter> Decode(std::vector<BYTE> data) {
  Ptr<IAMFilterData> parser;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAMFilterData, parser.OutVoid());
  EXPECT_EQ(hr, S_OK) << "IAMFilterData";
  if (FAILED(hr) || data.empty()) return std::nullopt;
  BYTE* out = nullptr;
  hr = parser->ParseFilterData(data.data(), static_cast<ULONG>(data.size()), &out);
  EXPECT_EQ(hr, S_OK) << "ParseFilterData";
  if (FAILED(hr) || out == nullptr) return std::nullopt;
  // The result is the address of a pointer to the REGFILTER2, not the REGFILTER2 itself.
  // Who owns which part of it differs between implementations, so it is left allocated:
  // this program decodes a handful of records and exits.
  const REGFILTER2* rf = *reinterpret_cast<REGFILTER2**>(out);
  DecodedFilter f;
  f.merit = rf->dwMerit;
  if (rf->dwVersion == 2) {
    for (ULONG i = 0; i < rf->cPins2; ++i) {
      const REGFILTERPINS2& p = rf->rgPins2[i];
      DecodedPin pin;
      pin.flags = p.dwFlags;
      for (UINT t = 0; t < p.nMediaTypes; ++t) {
        const REGPINTYPES& type = p.lpMediaType[t];
        pin.types.emplace_back(type.clsMajorType ? *type.clsMajorType : GUID_NULL,
                               type.clsMinorType ? *type.clsMinorType : GUID_NULL);
      }
      pin.mediums = p.nMediums;
      pin.hasCategory = p.clsPinCategory != nullptr && !IsEqualGUID(*p.clsPinCategory, GUID_NULL);
      f.pins.push_back(pin);
    }
  } else if (rf->dwVersion == 1) {
    for (ULONG i = 0; i < rf->cPins; ++i) {
      const REGFILTERPINS& p = rf->rgPins[i];
      DecodedPin pin;
      pin.flags = (p.bRendered ? REG_PINFLAG_B_RENDERER : 0) |
                  (p.bOutput ? REG_PINFLAG_B_OUTPUT : 0) | (p.bZero ? REG_PINFLAG_B_ZERO : 0) |
                  (p.bMany ? REG_PINFLAG_B_MANY : 0);
      for (UINT t = 0; t < p.nMediaTypes; ++t) {
        const REGPINTYPES& type = p.lpMediaType[t];
        pin.types.emplace_back(type.clsMajorType ? *type.clsMajorType : GUID_NULL,
                               type.clsMinorType ? *type.clsMinorType : GUID_NULL);
      }
      f.pins.push_back(pin);
    }
  } else {
    ADD_FAILURE() << "filter record of version " << rf->dwVersion;
    return std::nullopt;
  }
  return f;
}

// How many filters of `clsid` the filter mapper offers for a connection between the given
// input and output types (a major and a minor type each) at or above `merit`.
int MatchingFilters(const GUID& clsid, DWORD merit, const GUID (&in)[2], const GUID (&out)[2],
                    BOOL render) {
  Ptr<IFilterMapper2> mapper;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFilterMapper2, mapper.OutVoid());
  EXPECT_EQ(hr, S_OK) << "IFilterMapper2";
  if (FAILED(hr)) return -1;
  Ptr<IEnumMoniker> monikers;
  hr = mapper->EnumMatchingFilters(monikers.Out(), 0, FALSE, merit, TRUE, 1, in, nullptr, nullptr,
                                   render, TRUE, 1, out, nullptr, nullptr);
  EXPECT_EQ(hr, S_OK) << "EnumMatchingFilters";
  return static_cast<int>(EntriesOf(monikers.Get(), clsid).size());
}

// ---------------------------------------------------------------------------------------
// The checks, one group per thing a host relies on. Each adds failures with the class row
// in their trace.

std::wstring ClassKey(const ClassRow& row) { return Join(L"CLSID", row.key); }

// CLSID\{id}: the name, the module's full path and the threading model, under a key whose
// name is spelled in upper-case hexadecimal.
void CheckComponentKeys(const ClassRow& row) {
  Key classes(L"CLSID");
  ASSERT_TRUE(classes.Exists());
  int spelled = 0, present = 0;
  for (const std::wstring& name : classes.Subkeys()) {
    if (SameText(name, row.key, true)) {
      ++present;
      if (SameText(name, row.key, false)) ++spelled;
    }
  }
  ASSERT_EQ(present, 1) << "CLSID\\" << Narrow(row.key);
  EXPECT_EQ(spelled, 1) << "key name not in upper-case registry form";

  Key cls(ClassKey(row));
  EXPECT_EQ(cls.String(nullptr).value_or(L"<none>"), std::wstring(row.name));
  Key server(Join(ClassKey(row), L"InprocServer32"));
  ASSERT_TRUE(server.Exists());
  const std::wstring path = server.String(nullptr).value_or(L"<none>");
  EXPECT_TRUE(SameText(path, g_dllPath, true))
      << "InprocServer32 is " << Narrow(path) << ", module is " << Narrow(g_dllPath);
  EXPECT_EQ(server.String(L"ThreadingModel").value_or(L"<none>"), L"Both");
}

void CheckFilterRecord(const DecodedFilter& f) {
  EXPECT_EQ(f.merit, kMeritDoNotUse);
  ASSERT_EQ(f.pins.size(), std::size(kPins));
  for (size_t i = 0; i < f.pins.size(); ++i) {
    SCOPED_TRACE(Narrow(kPins[i].name));
    const DecodedPin& pin = f.pins[i];
    // Not rendered, not zero instances, not many; the direction is the only flag.
    EXPECT_EQ(pin.flags, kPins[i].output ? DWORD{REG_PINFLAG_B_OUTPUT} : DWORD{0});
    ASSERT_EQ(pin.types.size(), 1u);
    EXPECT_EQ(GuidString(pin.types[0].first), GuidString(MEDIATYPE_Audio));
    EXPECT_EQ(GuidString(pin.types[0].second), GuidString(GUID_NULL));
    EXPECT_EQ(pin.mediums, 0u);
    EXPECT_FALSE(pin.hasCategory);
  }
}

// The default filter category lists the filter once per registration mechanism: the
// second filter mapper's record ("sw", from CLSID\{category}\Instance\{id}) and the device
// enumerator's copy of the first mapper's record ("cm", rebuilt from Filter\{id} on every
// enumeration). Each must be there once, with the name and the full record.
void CheckFilterCategory(const ClassRow& row) {
  const GUID clsid = ParseGuid(row.key);
  const std::vector<CategoryEntry> entries = CategoryEntries(clsid);
  int sw = 0, cm = 0;
  for (const CategoryEntry& e : entries) {
    SCOPED_TRACE(Narrow(e.displayName));
    if (e.store == L"sw") {
      ++sw;
    } else if (e.store == L"cm") {
      ++cm;
    } else {
      ADD_FAILURE() << "listed from an unexpected store";
    }
    EXPECT_EQ(e.friendlyName, std::wstring(row.name));
    ASSERT_FALSE(e.filterData.empty()) << "no FilterData";
    const std::optional<DecodedFilter> f = Decode(e.filterData);
    ASSERT_TRUE(f.has_value());
    CheckFilterRecord(*f);
  }
  EXPECT_EQ(sw, 1) << "entries from the filter mapper's record";
  EXPECT_EQ(cm, 1) << "entries from the first filter mapper's record";

  Key instance(Join(kCategoryKey, row.key));
  EXPECT_TRUE(instance.Exists());
  EXPECT_EQ(instance.String(L"FriendlyName").value_or(L"<none>"), std::wstring(row.name));
}

// The mapper offers the filter for audio connections at its merit, and for nothing that its
// merit, its pins' types or their flags exclude.
void CheckMapperMatches(const ClassRow& row) {
  const GUID clsid = ParseGuid(row.key);
  const GUID pcm[2] = {MEDIATYPE_Audio, MEDIASUBTYPE_PCM};
  const GUID anyAudio[2] = {MEDIATYPE_Audio, GUID_NULL};
  const GUID video[2] = {MEDIATYPE_Video, GUID_NULL};
  EXPECT_GE(MatchingFilters(clsid, kMeritDoNotUse, pcm, pcm, FALSE), 1);
  EXPECT_GE(MatchingFilters(clsid, kMeritDoNotUse, anyAudio, anyAudio, FALSE), 1);
  EXPECT_EQ(MatchingFilters(clsid, kMeritDoNotUse + 1, pcm, pcm, FALSE), 0) << "merit";
  EXPECT_EQ(MatchingFilters(clsid, kMeritDoNotUse, video, pcm, FALSE), 0) << "input type";
  EXPECT_EQ(MatchingFilters(clsid, kMeritDoNotUse, pcm, video, FALSE), 0) << "output type";
  EXPECT_EQ(MatchingFilters(clsid, kMeritDoNotUse, pcm, pcm, TRUE), 0) << "rendered input";
}

// The first filter mapper's keys: Filter\{id} with the name, the merit beside the component
// keys, and the two pins by name with their flags and their one media type.
void CheckOldMapperKeys(const ClassRow& row) {
  EXPECT_EQ(Key(Join(kOldMapperFilters, row.key)).String(nullptr).value_or(L"<none>"),
            std::wstring(row.name));
  EXPECT_EQ(Key(ClassKey(row)).Dword(L"Merit").value_or(0), kMeritDoNotUse);

  const std::wstring pinsPath = Join(ClassKey(row), L"Pins");
  std::vector<std::wstring> names = Key(pinsPath).Subkeys();
  ASSERT_EQ(names.size(), std::size(kPins));
  for (const PinRow& expected : kPins) {
    SCOPED_TRACE(Narrow(expected.name));
    int spelled = 0;
    for (const std::wstring& n : names) spelled += SameText(n, expected.name, false) ? 1 : 0;
    ASSERT_EQ(spelled, 1) << "no pin key named exactly so";
    const std::wstring pinPath = Join(pinsPath, expected.name);
    Key pin(pinPath);
    EXPECT_EQ(pin.Dword(L"Direction").value_or(99), expected.output ? 1u : 0u);
    EXPECT_EQ(pin.Dword(L"IsRendered").value_or(99), 0u);
    EXPECT_EQ(pin.Dword(L"AllowedZero").value_or(99), 0u);
    EXPECT_EQ(pin.Dword(L"AllowedMany").value_or(99), 0u);
    const std::vector<std::wstring> majors = Key(Join(pinPath, L"Types")).Subkeys();
    ASSERT_EQ(majors.size(), 1u);
    EXPECT_EQ(GuidString(ParseGuid(majors[0])), GuidString(MEDIATYPE_Audio));
    const std::vector<std::wstring> minors =
        Key(Join(Join(pinPath, L"Types"), majors[0])).Subkeys();
    ASSERT_EQ(minors.size(), 1u);
    EXPECT_EQ(GuidString(ParseGuid(minors[0])), GuidString(GUID_NULL));
  }
}

// A page class is a component only: nothing of it reaches the filter mapper.
void CheckNoFilterRegistration(const ClassRow& row) {
  EXPECT_TRUE(CategoryEntries(ParseGuid(row.key)).empty()) << "listed as a filter";
  EXPECT_FALSE(Key(Join(kCategoryKey, row.key)).Exists());
  EXPECT_FALSE(Key(Join(kOldMapperFilters, row.key)).Exists());
  EXPECT_FALSE(Key(ClassKey(row)).Dword(L"Merit").has_value());
  EXPECT_FALSE(Key(Join(ClassKey(row), L"Pins")).Exists());
}

void CheckRegistered(const ClassRow& row) {
  SCOPED_TRACE(Narrow(row.name));
  {
    SCOPED_TRACE("component keys");
    CheckComponentKeys(row);
  }
  if (row.filter) {
    {
      SCOPED_TRACE("default filter category");
      CheckFilterCategory(row);
    }
    {
      SCOPED_TRACE("filter mapper matches");
      CheckMapperMatches(row);
    }
    {
      SCOPED_TRACE("first filter mapper's keys");
      CheckOldMapperKeys(row);
    }
  } else {
    CheckNoFilterRegistration(row);
  }
}

// Nothing of the class is left: no component key (and so no old-mapper merit or pins), no
// filter mapper record, no first-mapper record, and no entry in the category.
void CheckUnregistered(const ClassRow& row) {
  SCOPED_TRACE(Narrow(row.name));
  EXPECT_FALSE(Key(ClassKey(row)).Exists()) << "CLSID\\{id} is left";
  EXPECT_FALSE(Key(Join(kCategoryKey, row.key)).Exists()) << "Instance\\{id} is left";
  EXPECT_FALSE(Key(Join(kOldMapperFilters, row.key)).Exists()) << "Filter\\{id} is left";
  const std::vector<CategoryEntry> entries = CategoryEntries(ParseGuid(row.key));
  for (const CategoryEntry& e : entries) ADD_FAILURE() << "still listed: " << Narrow(e.displayName);
}

// ---------------------------------------------------------------------------------------
// The tests. check_registration.sh selects them by phase.

class Registration : public ::testing::TestWithParam<ClassRow> {};

TEST_P(Registration, Registered) { CheckRegistered(GetParam()); }
TEST_P(Registration, Unregistered) { CheckUnregistered(GetParam()); }

std::string RowName(const ::testing::TestParamInfo<ClassRow>& info) {
  std::string name;
  for (const wchar_t* p = info.param.name; *p != L'\0'; ++p) {
    if ((*p >= L'A' && *p <= L'Z') || (*p >= L'a' && *p <= L'z') || (*p >= L'0' && *p <= L'9')) {
      name += static_cast<char>(*p);
    }
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Classes, Registration, ::testing::ValuesIn(kClasses), RowName);

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

// Calls an entry point on a thread of its own that has not initialised COM, as an installer
// that loads the module itself may.
HRESULT CallOnFreshThread(EntryPoint entry) {
  HRESULT hr = E_UNEXPECTED;
  std::thread([&] { hr = entry(); }).join();
  return hr;
}

TEST(InProcess, RegisterThenUnregisterTwice) {
  HMODULE module = LoadLibraryW(g_dllPath.c_str());
  ASSERT_NE(module, nullptr) << "LoadLibrary " << Narrow(g_dllPath) << ": " << GetLastError();
  const auto registerServer = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  const auto unregisterServer = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);

  ASSERT_EQ(CallOnFreshThread(registerServer), S_OK);
  for (const ClassRow& row : kClasses) CheckRegistered(row);

  // Unregistering what is no longer registered is no failure.
  EXPECT_EQ(CallOnFreshThread(unregisterServer), S_OK) << "first DllUnregisterServer";
  EXPECT_EQ(CallOnFreshThread(unregisterServer), S_OK) << "second DllUnregisterServer";
  for (const ClassRow& row : kClasses) CheckUnregistered(row);
  FreeLibrary(module);
}

// COM on the main thread as regsvr32 has it.
class OleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::wstring phase;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg.rfind(L"--phase=", 0) == 0) {
      phase = arg.substr(8);
    } else if (arg.rfind(L"--dll=", 0) == 0) {
      g_dllPath = arg.substr(6);
    } else {
      std::fprintf(stderr, "unknown argument: %s\n", Narrow(arg).c_str());
      return 2;
    }
  }
  const char* filter = nullptr;
  if (phase == L"registered") {
    filter = "Classes/Registration.Registered/*";
  } else if (phase == L"unregistered") {
    filter = "Classes/Registration.Unregistered/*";
  } else if (phase == L"in-process") {
    filter = "InProcess.*";
  }
  if (filter == nullptr || (phase != L"unregistered" && g_dllPath.empty())) {
    std::fprintf(stderr,
                 "usage: registration_check --phase=registered|in-process --dll=PATH\n"
                 "       registration_check --phase=unregistered\n");
    return 2;
  }
  ::testing::GTEST_FLAG(filter) = filter;
  ::testing::AddGlobalTestEnvironment(new OleEnvironment);
  return RUN_ALL_TESTS();
}
