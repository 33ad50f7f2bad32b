// What DllRegisterServer and DllUnregisterServer leave behind, seen the way a host sees it:
// the component keys, the default filter category and the first filter mapper's keys.
// check_registration.sh runs it in a Wine prefix of its own, once per state:
//   --phase=registered --dll=C:\...\mwppack1.dll   what regsvr32 left
//   --phase=unregistered
//   --phase=in-process --dll=C:\...\mwppack1.dll   registers, checks, unregisters twice, checks
#include <windows.h>
#include <initguid.h>  // instantiates the identifiers of the headers below
#include <dshow.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The filter mapper's decoder of packed filter records (FilterData); the mingw-w64 headers
// do not declare it. Only its first method is used.
DEFINE_GUID(IID_IAMFilterData, 0x97F7C4D4, 0x547B, 0x4A5F, 0x83, 0x32, 0x53, 0x64, 0x30, 0xAD, 0x2E,
            0x4D);
struct IAMFilterData : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ParseFilterData(BYTE* data, ULONG size, BYTE** filter) = 0;
};

namespace {

// One row per class of the module. The key is spelled exactly as the registry must hold it.
struct ClassRow {
  const wchar_t* key;
  const wchar_t* name;
  bool filter;  // filters are also registered with the filter mapper; pages are not
};
const ClassRow kClasses[] = {
    {L"{D2486E15-3B9F-11D1-8C5A-4E7A91C2D05F}", L"Marrowind Time Stretch", true},
    {L"{1B7E9C41-92D3-11D0-9D27-4E7A91C2D05F}", L"MwTime Property Page", false},
    {L"{C8E35F20-8A64-11D0-9D27-4E7A91C2D05F}", L"Marrowind Pitch Shift", true},
    {L"{C8E35F21-8A64-11D0-9D27-4E7A91C2D05F}", L"MwPitchs Property Page", false},
    {L"{3C41A870-5E2D-11D0-9D27-4E7A91C2D05F}", L"Marrowind Simple Delay", true},
    {L"{3C41A871-5E2D-11D0-9D27-4E7A91C2D05F}", L"RaZuder Property Page", false},
    {L"{61D7C5A0-4B19-11D0-9D27-4E7A91C2D05F}", L"Marrowind Multi-Tap Delay", true},
    {L"{61D7C5A1-4B19-11D0-9D27-4E7A91C2D05F}", L"MwEchomt Property Page", false},
    {L"{2A93F640-7C58-11D0-9D27-4E7A91C2D05F}", L"Marrowind Reverb", true},
    {L"{2A93F641-7C58-11D0-9D27-4E7A91C2D05F}", L"MwReverb Property Page", false},
    {L"{4F1B2D80-63A7-11D0-9D27-4E7A91C2D05F}", L"Marrowind Chorus", true},
    {L"{4F1B2D81-63A7-11D0-9D27-4E7A91C2D05F}", L"DuZeradi Property Page", false},
};

// Every filter: never picked by automatic graph building; an audio input and an audio output.
constexpr DWORD kMerit = 0x200000;
struct PinRow {
  const wchar_t* name;
  bool output;
};
const PinRow kPins[] = {{L"Input", false}, {L"Output", true}};

const std::wstring kCategoryKey = L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\";

std::wstring g_dllPath;

GUID Guid(const std::wstring& text) {
  GUID g{};
  if (FAILED(CLSIDFromString(text.c_str(), &g))) ADD_FAILURE() << "not a GUID: " << text;
  return g;
}

std::wstring GuidText(const GUID& g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  return text;
}

// Reads of HKEY_CLASSES_ROOT; missing keys and values read as nothing.
bool Exists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}
std::wstring String(const std::wstring& path, const wchar_t* value) {
  wchar_t data[1024];
  DWORD bytes = sizeof data;
  return RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), value, RRF_RT_REG_SZ, nullptr, data,
                      &bytes) == ERROR_SUCCESS
             ? data
             : L"<none>";
}
std::optional<DWORD> Dword(const std::wstring& path, const wchar_t* value) {
  DWORD data = 0, bytes = sizeof data;
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data,
                   &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return data;
}
// The subkeys' names as stored (the registry itself ignores case).
std::vector<std::wstring> Subkeys(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return names;
  }
  wchar_t name[256];
  for (DWORD i = 0, length = 256;
       RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = 256) {
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

// Holds a COM interface pointer and releases it.
template <class T>
struct Ptr {
  T* p = nullptr;
  ~Ptr() {
    if (p != nullptr) p->Release();
  }
  T* operator->() const { return p; }
  void** Out() { return reinterpret_cast<void**>(&p); }
};

// The default filter category's entries for `clsid`, as a host reads them through the
// device enumerator.
struct Entry {
  std::wstring display, friendlyName;
  std::vector<BYTE> filterData;
};
std::vector<Entry> CategoryEntries(const GUID& clsid) {
  std::vector<Entry> found;
  Ptr<ICreateDevEnum> devices;
  Ptr<IEnumMoniker> monikers;
  EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICreateDevEnum, devices.Out()),
            S_OK);
  if (devices.p == nullptr ||
      devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, &monikers.p, 0) != S_OK) {
    return found;  // S_FALSE: an empty category
  }
  for (;;) {
    Ptr<IMoniker> moniker;
    Ptr<IPropertyBag> bag;
    if (monikers->Next(1, &moniker.p, nullptr) != S_OK) break;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.Out()))) continue;
    VARIANT id, name, data;
    for (VARIANT* v : {&id, &name, &data}) VariantInit(v);
    GUID g{};
    if (SUCCEEDED(bag->Read(L"CLSID", &id, nullptr)) && id.vt == VT_BSTR &&
        SUCCEEDED(CLSIDFromString(id.bstrVal, &g)) && IsEqualCLSID(g, clsid)) {
      Entry e;
      LPOLESTR display = nullptr;
      if (SUCCEEDED(moniker->GetDisplayName(nullptr, nullptr, &display))) {
        e.display = display;
        CoTaskMemFree(display);
      }
      if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
        e.friendlyName = name.bstrVal;
      }
      void* bytes = nullptr;
      if (SUCCEEDED(bag->Read(L"FilterData", &data, nullptr)) && data.vt == (VT_ARRAY | VT_UI1) &&
          SUCCEEDED(SafeArrayAccessData(data.parray, &bytes))) {
        e.filterData.assign(static_cast<BYTE*>(bytes),
                            static_cast<BYTE*>(bytes) + data.parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(data.parray);
      }
      found.push_back(e);
    }
    for (VARIANT* v : {&id, &name, &data}) VariantClear(v);
  }
  return found;
}

// A FilterData record, decoded by the filter mapper, must be the filter's: the merit, and
// each pin with its direction as its only flag and one audio type of any subtype.
void CheckFilterData(std::vector<BYTE> data) {
  Ptr<IAMFilterData> parser;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IAMFilterData, parser.Out()),
            S_OK);
  ASSERT_FALSE(data.empty()) << "no FilterData";
  BYTE* out = nullptr;
  ASSERT_EQ(parser->ParseFilterData(data.data(), static_cast<ULONG>(data.size()), &out), S_OK);
  // `out` holds a pointer to the record. Ownership of its parts differs between
  // implementations, so it is left allocated: this program decodes a handful and exits.
  const REGFILTER2& rf = **reinterpret_cast<REGFILTER2**>(out);
  ASSERT_EQ(rf.dwVersion, 2u);
  EXPECT_EQ(rf.dwMerit, kMerit);
  ASSERT_EQ(rf.cPins2, std::size(kPins));
  for (size_t i = 0; i < std::size(kPins); ++i) {
    SCOPED_TRACE(kPins[i].name);
    const REGFILTERPINS2& pin = rf.rgPins2[i];
    EXPECT_EQ(pin.dwFlags, kPins[i].output ? DWORD{REG_PINFLAG_B_OUTPUT} : DWORD{0});
    ASSERT_EQ(pin.nMediaTypes, 1u);
    EXPECT_EQ(GuidText(*pin.lpMediaType[0].clsMajorType), GuidText(MEDIATYPE_Audio));
    const GUID* minor = pin.lpMediaType[0].clsMinorType;
    EXPECT_EQ(GuidText(minor ? *minor : GUID_NULL), GuidText(GUID_NULL));
    EXPECT_EQ(pin.nMediums, 0u);
    EXPECT_TRUE(pin.clsPinCategory == nullptr || IsEqualGUID(*pin.clsPinCategory, GUID_NULL));
  }
}

void CheckRegistered(const ClassRow& row) {
  SCOPED_TRACE(row.name);
  const std::wstring cls = L"CLSID\\" + std::wstring(row.key);
  const GUID clsid = Guid(row.key);

  // CLSID\{id}, spelled in upper-case hexadecimal, with the name, full path and model.
  int spelled = 0;
  for (const std::wstring& name : Subkeys(L"CLSID")) spelled += name == row.key;
  ASSERT_EQ(spelled, 1) << "no key named exactly CLSID\\" << row.key;
  EXPECT_EQ(String(cls, nullptr), row.name);
  const std::wstring path = String(cls + L"\\InprocServer32", nullptr);
  EXPECT_EQ(CompareStringOrdinal(path.c_str(), -1, g_dllPath.c_str(), -1, TRUE), CSTR_EQUAL)
      << "InprocServer32 is " << path << ", module is " << g_dllPath;
  EXPECT_EQ(String(cls + L"\\InprocServer32", L"ThreadingModel"), L"Both");

  if (!row.filter) {  // a page is a component only
    EXPECT_TRUE(CategoryEntries(clsid).empty()) << "listed as a filter";
    EXPECT_FALSE(Exists(kCategoryKey + row.key));
    EXPECT_FALSE(Exists(L"Filter\\" + std::wstring(row.key)));
    EXPECT_FALSE(Dword(cls, L"Merit").has_value());
    EXPECT_FALSE(Exists(cls + L"\\Pins"));
    return;
  }

  // The default category lists the filter once per mechanism: the filter mapper's record
  // ("@device:sw:", from Instance\{id}) and the device enumerator's copy of the first
  // mapper's record ("@device:cm:", rebuilt from Filter\{id}).
  int sw = 0, cm = 0;
  for (const Entry& e : CategoryEntries(clsid)) {
    SCOPED_TRACE(e.display);
    sw += e.display.rfind(L"@device:sw:", 0) == 0;
    cm += e.display.rfind(L"@device:cm:", 0) == 0;
    EXPECT_EQ(e.friendlyName, row.name);
    CheckFilterData(e.filterData);
  }
  EXPECT_EQ(sw, 1) << "entries from the filter mapper's record";
  EXPECT_EQ(cm, 1) << "entries from the first filter mapper's record";
  EXPECT_EQ(String(kCategoryKey + row.key, L"FriendlyName"), row.name);

  // The first mapper's keys: Filter\{id}, the merit, and the pins by name.
  EXPECT_EQ(String(L"Filter\\" + std::wstring(row.key), nullptr), row.name);
  EXPECT_EQ(Dword(cls, L"Merit").value_or(0), kMerit);
  std::vector<std::wstring> pinKeys = Subkeys(cls + L"\\Pins");
  ASSERT_EQ(pinKeys.size(), std::size(kPins));
  for (const PinRow& expected : kPins) {
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(std::count(pinKeys.begin(), pinKeys.end(), expected.name), 1)
        << "no pin key named exactly so";
    const std::wstring pin = cls + L"\\Pins\\" + expected.name;
    const std::pair<const wchar_t*, DWORD> values[] = {{L"Direction", expected.output ? 1u : 0u},
                                                       {L"IsRendered", 0},
                                                       {L"AllowedZero", 0},
                                                       {L"AllowedMany", 0}};
    for (const auto& [value, want] : values) {
      EXPECT_EQ(Dword(pin, value).value_or(99), want) << value;
    }
    const std::vector<std::wstring> majors = Subkeys(pin + L"\\Types");
    ASSERT_EQ(majors.size(), 1u);
    EXPECT_EQ(GuidText(Guid(majors[0])), GuidText(MEDIATYPE_Audio));
    const std::vector<std::wstring> minors = Subkeys(pin + L"\\Types\\" + majors[0]);
    ASSERT_EQ(minors.size(), 1u);
    EXPECT_EQ(GuidText(Guid(minors[0])), GuidText(GUID_NULL));
  }
}

// Nothing of the class is left, and it is no longer listed.
void CheckUnregistered(const ClassRow& row) {
  SCOPED_TRACE(row.name);
  EXPECT_FALSE(Exists(L"CLSID\\" + std::wstring(row.key)));
  EXPECT_FALSE(Exists(kCategoryKey + row.key));
  EXPECT_FALSE(Exists(L"Filter\\" + std::wstring(row.key)));
  for (const Entry& e : CategoryEntries(Guid(row.key))) {
    ADD_FAILURE() << "still listed: " << e.display;
  }
}

TEST(Registration, Registered) {
  for (const ClassRow& row : kClasses) CheckRegistered(row);
}

TEST(Registration, Unregistered) {
  for (const ClassRow& row : kClasses) CheckUnregistered(row);
}

// The entry points are called on a thread that has not initialised COM, as an installer
// loading the module itself may. Unregistering what is no longer registered is no failure.
TEST(InProcess, RegisterThenUnregisterTwice) {
  HMODULE module = LoadLibraryW(g_dllPath.c_str());
  ASSERT_NE(module, nullptr) << "LoadLibrary " << g_dllPath << ": " << GetLastError();
  auto call = [module](const char* entry) {
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    const auto fn = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(module, entry)));
    HRESULT hr = E_NOINTERFACE;
    if (fn != nullptr) std::thread([&] { hr = fn(); }).join();
    return hr;
  };
  ASSERT_EQ(call("DllRegisterServer"), S_OK);
  for (const ClassRow& row : kClasses) CheckRegistered(row);
  EXPECT_EQ(call("DllUnregisterServer"), S_OK) << "first";
  EXPECT_EQ(call("DllUnregisterServer"), S_OK) << "second";
  for (const ClassRow& row : kClasses) CheckUnregistered(row);
  FreeLibrary(module);
}

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
      std::fwprintf(stderr, L"unknown argument: %ls\n", arg.c_str());
      return 2;
    }
  }
  const char* filter = phase == L"registered"     ? "Registration.Registered"
                       : phase == L"unregistered" ? "Registration.Unregistered"
                       : phase == L"in-process"   ? "InProcess.*"
                                                  : nullptr;
  if (filter == nullptr || (phase != L"unregistered" && g_dllPath.empty())) {
    std::fprintf(stderr,
                 "usage: registration_check --phase=registered|in-process --dll=PATH\n"
                 "       registration_check --phase=unregistered\n");
    return 2;
  }
  ::testing::GTEST_FLAG(filter) = filter;
  if (FAILED(OleInitialize(nullptr))) return 1;  // COM on the main thread as regsvr32 has it
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
