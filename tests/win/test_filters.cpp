// Every effect filter through COM as a host sees it, driven by the portable core's tables:
// the accessor slots of its parameter interface, records through storage streams, presets
// with their wide names, the interfaces it answers, its page and class; for Simple Delay
// the header's named accessors, change notices to real windows and direct processing; for
// the copying filters their formats before connection and the ratio's rule.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/dsp/exact_math.h"
#include "core/effects/catalog.h"
#include "module_fixture.h"

namespace {

using mwtest::Module;
using mwtest::Ptr;

struct FilterCase {
  const char* cliName;
  const CLSID* clsid;
  const IID* params;
  const CLSID* page;
  std::uint32_t recordBytes;
  LONG presets;
  bool inPlace;  // only the in-place effects process float buffers directly
};

const FilterCase kFilters[] = {
    {"stretch", &CLSID_MwTimeStretch, &IID_ITimeStretchParams, &CLSID_MwTimeStretchPage, 52, 4,
     false},
    {"pitch", &CLSID_MwPitchShift, &IID_IPitchShiftParams, &CLSID_MwPitchShiftPage, 68, 6, false},
    {"delay", &CLSID_MwSimpleDelay, &IID_ISimpleDelayParams, &CLSID_MwSimpleDelayPage, 40, 7,
     true},
    {"multitap", &CLSID_MwMultiTapDelay, &IID_IMultiTapParams, &CLSID_MwMultiTapDelayPage, 160,
     26, true},
    {"reverb", &CLSID_MwReverb, &IID_IReverbParams, &CLSID_MwReverbPage, 64, 13, true},
    {"chorus", &CLSID_MwChorus, &IID_IChorusParams, &CLSID_MwChorusPage, 68, 24, true},
};

void* Slot(IUnknown* p, int index) { return (*reinterpret_cast<void***>(p))[index]; }
using BlockSlot = HRESULT(STDMETHODCALLTYPE*)(void*, void*);
template <class T>
using PutSlot = HRESULT(STDMETHODCALLTYPE*)(void*, T);
template <class T>
using GetSlot = HRESULT(STDMETHODCALLTYPE*)(void*, T*);

// A new object of a class from the module, asked for the interface `out` holds.
template <class I>
void Create(const CLSID& clsid, const IID& iid, Ptr<I>& out) {
  ASSERT_EQ(Module::Get().Create(clsid, nullptr, iid, out.OutVoid()), S_OK);
}

std::vector<BYTE> Contents(IStream* s) {
  STATSTG st{};
  s->Stat(&st, STATFLAG_NONAME);
  std::vector<BYTE> bytes(static_cast<std::size_t>(st.cbSize.QuadPart));
  LARGE_INTEGER zero{};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG n = 0;
  if (!bytes.empty()) s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
  return bytes;
}

std::vector<BYTE> Save(IPersistStream* persist, BOOL clearDirty = TRUE) {
  Ptr<IStream> s;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.Out()), S_OK);
  EXPECT_EQ(persist->Save(s.Get(), clearDirty), S_OK);
  return Contents(s.Get());
}

HRESULT Load(IPersistStream* persist, const std::vector<BYTE>& bytes) {
  Ptr<IStream> s;
  CreateStreamOnHGlobal(nullptr, TRUE, s.Out());
  ULONG n = 0;
  if (!bytes.empty()) s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
  LARGE_INTEGER zero{};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  return persist->Load(s.Get());
}

class AllFilters : public mwtest::ComTest {};

// Each get/put pair, called by slot as a host calls it (integer fields pass 32 bits,
// floating-point fields a double), reaches its own field of the block and no other.
TEST_F(AllFilters, AccessorSlotsFollowTheFieldTable) {
  for (const FilterCase& f : kFilters) {
    const mw::ParamTable& table = mw::FindEffect(f.cliName)->params;
    Ptr<IUnknown> params;
    ASSERT_EQ(Module::Get().Create(*f.clsid, nullptr, *f.params, params.OutVoid()), S_OK);
    auto getParameters = reinterpret_cast<BlockSlot>(Slot(params.Get(), 3));
    for (std::size_t i = 0; i < table.count; ++i) {
      const mw::FieldInfo& field = table.fields[i];
      const bool isDouble = field.type == mw::FieldType::Float64;
      const std::size_t width = isDouble ? 8 : 4;
      std::vector<std::uint8_t> before(table.blockSize), after(table.blockSize);
      ASSERT_EQ(getParameters(params.Get(), before.data()), S_OK);
      void* const put = Slot(params.Get(), 8 + 2 * static_cast<int>(i));
      void* const get = Slot(params.Get(), 7 + 2 * static_cast<int>(i));
      std::uint8_t want[8];  // in range and unlike what is stored
      HRESULT put_hr, get_hr;
      bool read_back;
      if (isDouble) {
        double current, read = 0;
        std::memcpy(&current, before.data() + field.offset, 8);
        const double value = !field.ranged ? current + 1.5
                             : static_cast<double>(current != field.min ? field.min : field.max);
        std::memcpy(want, &value, 8);
        put_hr = reinterpret_cast<PutSlot<double>>(put)(params.Get(), value);
        get_hr = reinterpret_cast<GetSlot<double>>(get)(params.Get(), &read);
        read_back = read == value;
      } else {
        std::int32_t current;
        LONG read = 0;
        std::memcpy(&current, before.data() + field.offset, 4);
        const std::int64_t value = !field.ranged ? current + 1
                                   : current != field.min ? field.min : field.max;
        std::memcpy(want, &value, 4);
        put_hr = reinterpret_cast<PutSlot<LONG>>(put)(params.Get(), static_cast<LONG>(value));
        get_hr = reinterpret_cast<GetSlot<LONG>>(get)(params.Get(), &read);
        read_back = read == value;
      }
      EXPECT_TRUE(put_hr == S_OK && get_hr == S_OK && read_back) << f.cliName << " " << field.name;
      ASSERT_EQ(getParameters(params.Get(), after.data()), S_OK);
      EXPECT_EQ(std::memcmp(after.data() + field.offset, want, width), 0)
          << f.cliName << " " << field.name;
      std::memcpy(after.data() + field.offset, before.data() + field.offset, width);
      EXPECT_EQ(after, before) << f.cliName << " " << field.name << " moved another field";
    }
  }
}

// The record through storage streams: its size and tag; a record saved by one filter after
// a preset restores another's block exactly; refused records change nothing. Presets by
// index with wide names; the interfaces each filter answers, its page and its class.
TEST_F(AllFilters, RecordsPresetsAndInterfaces) {
  for (const FilterCase& f : kFilters) {
    SCOPED_TRACE(f.cliName);
    const mw::EffectDescription& info = *mw::FindEffect(f.cliName);
    Ptr<IPersistStream> a, b;
    ASSERT_EQ(Module::Get().Create(*f.clsid, nullptr, IID_IPersistStream, a.OutVoid()), S_OK);
    ASSERT_EQ(Module::Get().Create(*f.clsid, nullptr, IID_IPersistStream, b.OutVoid()), S_OK);
    ULARGE_INTEGER max{};
    EXPECT_EQ(a->GetSizeMax(&max), S_OK);
    EXPECT_EQ(max.QuadPart, f.recordBytes);
    EXPECT_EQ(a->IsDirty(), S_OK);  // a new filter applied its default preset
    const std::vector<BYTE> fresh = Save(b.Get());
    EXPECT_EQ(b->IsDirty(), S_FALSE);

    Ptr<IEffectPresets> presets;
    ASSERT_EQ(a->QueryInterface(IID_IEffectPresets, presets.OutVoid()), S_OK);
    LONG count = 0;
    EXPECT_EQ(presets->GetPresetCount(&count), S_OK);
    EXPECT_EQ(count, f.presets);
    WCHAR name[260];
    for (LONG i = 0; i < count; ++i) {
      ASSERT_EQ(presets->GetPresetName(i, name, 260), S_OK);
      const char* expected = mw::BuiltinUiString(info.presets.NameId(i));
      EXPECT_EQ(std::wstring(name), std::wstring(expected, expected + std::strlen(expected))) << i;
    }
    for (LONG bad : {count, -1L}) {
      EXPECT_EQ(presets->GetPresetName(bad, name, 260), E_INVALIDARG);
      EXPECT_EQ(presets->ApplyPreset(bad), E_INVALIDARG);
    }
    EXPECT_EQ(presets->ApplyPreset(count - 1), S_OK);
    const std::vector<BYTE> record = Save(a.Get(), FALSE);
    EXPECT_EQ(a->IsDirty(), S_OK);
    ASSERT_EQ(record.size(), f.recordBytes);
    EXPECT_EQ(record[0], f.recordBytes);
    EXPECT_EQ(std::memcmp(record.data() + 4, f.params, 16), 0);
    std::vector<std::vector<BYTE>> bad = {record, record, record, {}};
    bad[0][0] = 44;
    bad[1][5] ^= 0x40;
    bad[2].resize(31);
    for (const auto& r : bad) {
      EXPECT_EQ(Load(b.Get(), r), E_FAIL);
      EXPECT_EQ(Save(b.Get()), fresh);
    }
    ASSERT_EQ(Load(b.Get(), record), S_OK);
    EXPECT_EQ(Save(b.Get()), record);
    EXPECT_EQ(b->Load(nullptr), E_POINTER);

    for (const IID* iid : {f.params, &IID_ISpecifyPropertyPages, &IID_IBaseFilter,
                           &IID_IMediaFilter, &IID_IPersist, &IID_IAMovieSetup}) {
      Ptr<IUnknown> part;
      EXPECT_EQ(a->QueryInterface(*iid, part.OutVoid()), S_OK);
    }
    Ptr<IUnknown> direct;
    EXPECT_EQ(a->QueryInterface(IID_IEffectDirectProcess, direct.OutVoid()),
              f.inPlace ? S_OK : E_NOINTERFACE);
    Ptr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(a->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()), S_OK);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], *f.page));
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    Ptr<IBaseFilter> filter;
    ASSERT_EQ(a->QueryInterface(IID_IBaseFilter, filter.OutVoid()), S_OK);
    CLSID id{}, id2{};
    EXPECT_EQ(a->GetClassID(&id), S_OK);
    EXPECT_EQ(filter->GetClassID(&id2), S_OK);
    EXPECT_TRUE(IsEqualGUID(id, *f.clsid) && IsEqualGUID(id2, *f.clsid));
    EXPECT_EQ(a->GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(filter->GetClassID(nullptr), E_POINTER);
  }
}

// Simple Delay's accessors as the SDK header declares them reach their own fields; a name
// cut to a small buffer is still terminated.
TEST_F(AllFilters, SimpleDelayAccessorsByName) {
  Ptr<ISimpleDelayParams> p;
  Create(CLSID_MwSimpleDelay, IID_ISimpleDelayParams, p);
  struct Named {
    HRESULT (STDMETHODCALLTYPE ISimpleDelayParams::*put)(LONG);
    HRESULT (STDMETHODCALLTYPE ISimpleDelayParams::*get)(LONG*);
    LONG value;
  };
  const Named named[] = {  // in block order: Feedback, DelayTime, DecayTime, DelayOut, DryOut
      {&ISimpleDelayParams::put_Feedback, &ISimpleDelayParams::get_Feedback, 7},
      {&ISimpleDelayParams::put_DelayTime, &ISimpleDelayParams::get_DelayTime, 4321},
      {&ISimpleDelayParams::put_DecayTime, &ISimpleDelayParams::get_DecayTime, 123},
      {&ISimpleDelayParams::put_DelayOut, &ISimpleDelayParams::get_DelayOut, -456},
      {&ISimpleDelayParams::put_DryOut, &ISimpleDelayParams::get_DryOut, -123},
  };
  for (int i = 0; i < 5; ++i) {
    SimpleDelayParams before{}, after{};
    p->GetParameters(&before);
    EXPECT_EQ((p.Get()->*named[i].put)(named[i].value), S_OK);
    p->GetParameters(&after);
    reinterpret_cast<std::int32_t*>(&before)[i] = named[i].value;
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << i;
    LONG v = 0;
    EXPECT_EQ((p.Get()->*named[i].get)(&v), S_OK);
    EXPECT_EQ(v, named[i].value);
  }
  WAVEFORMATEX wf{};
  EXPECT_EQ(p->GetFormat(&wf), VFW_E_NOT_CONNECTED);
  Ptr<IEffectPresets> presets;
  ASSERT_EQ(p->QueryInterface(IID_IEffectPresets, presets.OutVoid()), S_OK);
  WCHAR tiny[5];
  EXPECT_EQ(presets->GetPresetName(2, tiny, 5), S_OK);
  EXPECT_STREQ(tiny, L"Echo");
}

// A message-only window that collects what is posted to it.
class NoticeWindow {
 public:
  NoticeWindow()
      : window_(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {}
  ~NoticeWindow() { Destroy(); }
  HWND Handle() const { return window_; }
  void Destroy() {
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
  }
  std::vector<WPARAM> Commands() {
    std::vector<WPARAM> out;
    MSG msg;
    while (PeekMessageA(&msg, window_, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
      out.push_back(msg.wParam);
    }
    return out;
  }

 private:
  HWND window_;
};

// The slots' rules are the parameter store's (tested with it); here the notices reach real
// windows as posted commands, and a destroyed window is found out by the platform.
TEST_F(AllFilters, ChangeNoticesReachRegisteredWindows) {
  Ptr<ISimpleDelayParams> params;
  Ptr<IEffectPresets> presets;
  Ptr<IPersistStream> persist;
  Create(CLSID_MwSimpleDelay, IID_ISimpleDelayParams, params);
  ASSERT_EQ(params->QueryInterface(IID_IEffectPresets, presets.OutVoid()), S_OK);
  ASSERT_EQ(params->QueryInterface(IID_IPersistStream, persist.OutVoid()), S_OK);
  NoticeWindow a, b;
  ASSERT_NE(a.Handle(), nullptr);
  EXPECT_EQ(params->RegisterNotifyWindow(a.Handle(), 32700), S_OK);
  EXPECT_EQ(params->RegisterNotifyWindow(b.Handle(), 32701), S_OK);
  presets->ApplyPreset(3);
  EXPECT_EQ(a.Commands(), std::vector<WPARAM>{MAKEWPARAM(32700, 100)});
  EXPECT_EQ(b.Commands(), std::vector<WPARAM>{MAKEWPARAM(32701, 100)});
  params->put_DelayTime(777);  // plain writes announce nothing
  EXPECT_TRUE(a.Commands().empty());
  ASSERT_EQ(Load(persist.Get(), Save(persist.Get())), S_OK);  // a loaded record is announced
  EXPECT_EQ(a.Commands(), std::vector<WPARAM>{MAKEWPARAM(32700, 100)});
  // A window destroyed without unregistering frees its slot at the next notice.
  a.Destroy();
  presets->ApplyPreset(1);
  NoticeWindow c;
  EXPECT_EQ(params->RegisterNotifyWindow(c.Handle(), 32700), S_OK);
}

// Direct processing through COM: an impulse comes back after the delay, the tail lasts the
// delay plus the decay time; without a stream received the tail is empty.
TEST_F(AllFilters, SimpleDelayDirectProcessing) {
  Ptr<ISimpleDelayParams> params;
  Ptr<IEffectDirectProcess> direct;
  Create(CLSID_MwSimpleDelay, IID_ISimpleDelayParams, params);
  ASSERT_EQ(params->QueryInterface(IID_IEffectDirectProcess, direct.OutVoid()), S_OK);
  const SimpleDelayParams echo = {1, 10, 10, 0, 0};  // 441 frames at 44100 Hz, one second
  ASSERT_EQ(params->SetParameters(&echo), S_OK);
  ASSERT_EQ(direct->Initialize(1, 44100), S_OK);
  std::vector<float> x(1000, 0.0f);
  x[0] = 1.0f;
  ASSERT_EQ(direct->Process(x.data(), 1000, FALSE), S_OK);
  for (int i = 0; i < 1000; ++i) {
    const float want = i == 0 || i == 441 ? 1.0f
                       : i == 882 ? static_cast<float>(mw::ExactPow(0.0316, 1.0 / 100.0)) : 0.0f;
    ASSERT_EQ(x[i], want) << i;
  }
  DWORD total = 0;
  HRESULT hr = S_OK;
  while (hr == S_OK) {
    std::vector<float> tail(4096, 0.0f);
    DWORD n = 4096;
    hr = direct->ProcessTail(tail.data(), &n);
    total += n;
  }
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(total, 44100u + 441u);
  EXPECT_EQ(direct->Stop(), S_OK);
  ASSERT_EQ(direct->Initialize(2, 8000), S_OK);
  float buf[8] = {};
  DWORD n = 4;
  EXPECT_EQ(direct->ProcessTail(buf, &n), S_FALSE);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(direct->Initialize(3, 8000), E_INVALIDARG);
  EXPECT_EQ(direct->ParametersChanged(), S_FALSE);
  params->put_DryOut(-5);
  EXPECT_EQ(direct->ParametersChanged(), S_OK);
  EXPECT_EQ(direct->UpdateParameters(FALSE, 0, 0), S_OK);
  EXPECT_EQ(direct->ParametersChanged(), S_FALSE);
}

// Both copying interfaces before any connection: no format on either side (nor on one that
// does not exist), and the rate a page assumes meanwhile, also through the slot after the
// last accessor pair.
template <class I>
void ExpectUnconnected(I* params, int fields) {
  for (DWORD which : {0u, 1u, 2u, 0xFFFFFFFFu}) {
    WAVEFORMATEX wf{};
    EXPECT_EQ(params->GetFormat(which, &wf), VFW_E_NOT_CONNECTED) << which;
  }
  EXPECT_EQ(params->GetFormat(0, nullptr), E_POINTER);
  DWORD rate = 0;
  EXPECT_EQ(params->GetSampleRate(&rate), E_FAIL);
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(params->GetSampleRate(nullptr), E_POINTER);
  rate = 0;
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, DWORD*);
  EXPECT_EQ(reinterpret_cast<Fn>(Slot(params, 7 + 2 * fields))(params, &rate), E_FAIL);
  EXPECT_EQ(rate, 44100u);
}

TEST_F(AllFilters, CopyingFiltersBeforeConnectionAndTheRatioRule) {
  Ptr<ITimeStretchParams> stretch;
  Ptr<IPitchShiftParams> p;
  Create(CLSID_MwTimeStretch, IID_ITimeStretchParams, stretch);
  Create(CLSID_MwPitchShift, IID_IPitchShiftParams, p);
  ExpectUnconnected(stretch.Get(), 5);
  ExpectUnconnected(p.Get(), 8);
  // A ratio that is not a positive finite number is refused, alone or in a block, and
  // leaves the block as it was.
  ASSERT_EQ(p->put_Ratio(1.25), S_OK);
  PitchShiftParams before{};
  ASSERT_EQ(p->GetParameters(&before), S_OK);
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {std::nan(""), 0.0, -0.0, -1.5, inf, -inf}) {
    EXPECT_EQ(p->put_Ratio(bad), E_INVALIDARG) << bad;
    PitchShiftParams block = before, after{};
    block.Ratio = bad;
    EXPECT_EQ(p->SetParameters(&block), E_INVALIDARG) << bad;
    p->GetParameters(&after);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << bad;
  }
  EXPECT_EQ(p->get_Ratio(nullptr), E_POINTER);
  EXPECT_EQ(p->put_Ratio(1e-9), S_OK);  // small but positive
}

}  // namespace
