// The filter's interfaces as a host sees them: parameters in their published slots,
// presets, the persisted record, change notices to real windows, and direct processing.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/dsp/exact_math.h"
#include "module_fixture.h"

namespace {

using mwtest::ComTest;
using mwtest::Module;
using mwtest::Ptr;

class Interfaces : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_EQ(Module::Get().Create(CLSID_MwSimpleDelay, nullptr, IID_ISimpleDelayParams,
                                   params.OutVoid()),
              S_OK);
    ASSERT_EQ(params->QueryInterface(IID_IEffectPresets, presets.OutVoid()), S_OK);
    ASSERT_EQ(params->QueryInterface(IID_IPersistStream, persist.OutVoid()), S_OK);
    ASSERT_EQ(params->QueryInterface(IID_IEffectDirectProcess, direct.OutVoid()), S_OK);
  }
  void TearDown() override {
    params.Reset();
    presets.Reset();
    persist.Reset();
    direct.Reset();
    ComTest::TearDown();
  }
  SimpleDelayParams Block() {
    SimpleDelayParams p{};
    EXPECT_EQ(params->GetParameters(&p), S_OK);
    return p;
  }
  std::vector<BYTE> Save(BOOL clearDirty = TRUE) {
    Ptr<IStream> s;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.Out()), S_OK);
    EXPECT_EQ(persist->Save(s.Get(), clearDirty), S_OK);
    return Contents(s.Get());
  }
  static std::vector<BYTE> Contents(IStream* s) {
    STATSTG st{};
    s->Stat(&st, STATFLAG_NONAME);
    std::vector<BYTE> bytes(static_cast<std::size_t>(st.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG n = 0;
    if (!bytes.empty()) s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
    return bytes;
  }
  HRESULT Load(const std::vector<BYTE>& bytes) {
    Ptr<IStream> s;
    CreateStreamOnHGlobal(nullptr, TRUE, s.Out());
    ULONG n = 0;
    if (!bytes.empty()) s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    return persist->Load(s.Get());
  }

  Ptr<ISimpleDelayParams> params;
  Ptr<IEffectPresets> presets;
  Ptr<IPersistStream> persist;
  Ptr<IEffectDirectProcess> direct;
};

// Each accessor pair reaches its own field of the block: a host calls by slot.
TEST_F(Interfaces, AccessorSlotsReachTheirFields) {
  struct Slot {
    HRESULT (STDMETHODCALLTYPE ISimpleDelayParams::*put)(LONG);
    HRESULT (STDMETHODCALLTYPE ISimpleDelayParams::*get)(LONG*);
    LONG SimpleDelayParams::*field;
    LONG value;  // in range, and unlike every default
  };
  const Slot slots[] = {
      {&ISimpleDelayParams::put_DryOut, &ISimpleDelayParams::get_DryOut,
       reinterpret_cast<LONG SimpleDelayParams::*>(&SimpleDelayParams::DryOut), -123},
      {&ISimpleDelayParams::put_DelayOut, &ISimpleDelayParams::get_DelayOut,
       reinterpret_cast<LONG SimpleDelayParams::*>(&SimpleDelayParams::DelayOut), -456},
      {&ISimpleDelayParams::put_Feedback, &ISimpleDelayParams::get_Feedback,
       reinterpret_cast<LONG SimpleDelayParams::*>(&SimpleDelayParams::Feedback), 7},
      {&ISimpleDelayParams::put_DelayTime, &ISimpleDelayParams::get_DelayTime,
       reinterpret_cast<LONG SimpleDelayParams::*>(&SimpleDelayParams::DelayTime), 4321},
      {&ISimpleDelayParams::put_DecayTime, &ISimpleDelayParams::get_DecayTime,
       reinterpret_cast<LONG SimpleDelayParams::*>(&SimpleDelayParams::DecayTime), 123},
  };
  for (const Slot& s : slots) {
    const SimpleDelayParams before = Block();
    EXPECT_EQ((params.Get()->*s.put)(s.value), S_OK);
    SimpleDelayParams after = Block();
    EXPECT_EQ(after.*reinterpret_cast<int32_t SimpleDelayParams::*>(s.field), s.value);
    after.*reinterpret_cast<int32_t SimpleDelayParams::*>(s.field) =
        before.*reinterpret_cast<int32_t SimpleDelayParams::*>(s.field);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);  // nothing else moved
    LONG v = 0;
    EXPECT_EQ((params.Get()->*s.get)(&v), S_OK);
    EXPECT_EQ(v, s.value);
  }
}

TEST_F(Interfaces, SettersClampAndTheBlockSetterReports) {
  EXPECT_EQ(params->put_DelayTime(0), S_OK);
  LONG v = 0;
  params->get_DelayTime(&v);
  EXPECT_EQ(v, 1);
  SimpleDelayParams p{0, 0, 1, -60, -60};
  EXPECT_EQ(params->SetParameters(&p), E_FAIL);
  EXPECT_EQ(Block().DelayTime, 1);
  EXPECT_EQ(params->SetParameters(nullptr), E_POINTER);
  WAVEFORMATEX wf{};
  EXPECT_EQ(params->GetFormat(&wf), VFW_E_NOT_CONNECTED);
}

TEST_F(Interfaces, PresetsByIndexWithWideNames) {
  LONG count = 0;
  ASSERT_EQ(presets->GetPresetCount(&count), S_OK);
  EXPECT_EQ(count, 7);
  const wchar_t* names[] = {L"(Default)",
                            L"Default all parameters",
                            L"Echo chamber",
                            L"Slap-back echo",
                            L"Grand Canyon",
                            L"Shift selection forwards  (select one channel only)",
                            L"Pseudo-stereo (select one channel only)"};
  WCHAR name[260];
  for (LONG i = 0; i < count; ++i) {
    ASSERT_EQ(presets->GetPresetName(i, name, 260), S_OK);
    EXPECT_STREQ(name, names[i]);
  }
  EXPECT_EQ(presets->GetPresetName(7, name, 260), E_INVALIDARG);
  EXPECT_EQ(presets->GetPresetName(-1, name, 260), E_INVALIDARG);
  WCHAR tiny[5];
  EXPECT_EQ(presets->GetPresetName(2, tiny, 5), S_OK);
  EXPECT_STREQ(tiny, L"Echo");  // cut, but terminated
  EXPECT_EQ(presets->ApplyPreset(7), E_INVALIDARG);
  EXPECT_EQ(presets->ApplyPreset(2), S_OK);
  const SimpleDelayParams p = Block();
  EXPECT_EQ(p.Feedback, 1);
  EXPECT_EQ(p.DelayTime, 400);
  EXPECT_EQ(p.DecayTime, 20);
  EXPECT_EQ(p.DelayOut, -30);
  EXPECT_EQ(p.DryOut, -90);
}

TEST_F(Interfaces, RecordThroughStorageStreams) {
  ULARGE_INTEGER max{};
  EXPECT_EQ(persist->GetSizeMax(&max), S_OK);
  EXPECT_EQ(max.QuadPart, 40u);
  EXPECT_EQ(persist->IsDirty(), S_OK);  // a new filter applied its default preset
  const std::vector<BYTE> fresh = Save();
  ASSERT_EQ(fresh.size(), 40u);
  EXPECT_EQ(fresh[0], 40);
  EXPECT_EQ(std::memcmp(fresh.data() + 4, &IID_ISimpleDelayParams, 16), 0);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);

  presets->ApplyPreset(4);
  const std::vector<BYTE> canyon = Save(FALSE);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(Load(fresh), S_OK);
  EXPECT_EQ(Save(), fresh);

  // Refused records change nothing: wrong size, wrong tag, cut short.
  std::vector<std::vector<BYTE>> bad = {canyon, canyon, canyon, {}};
  bad[0][0] = 44;
  bad[1][5] ^= 0x40;
  bad[2].resize(31);
  for (const auto& b : bad) {
    EXPECT_EQ(Load(b), E_FAIL);
    EXPECT_EQ(Save(), fresh);
  }
  EXPECT_EQ(persist->Load(nullptr), E_POINTER);
}

// A message-only window that collects what is posted to it.
class NoticeWindow {
 public:
  NoticeWindow() {
    window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                              nullptr);
  }
  ~NoticeWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  HWND Handle() const { return window_; }
  void Destroy() {
    DestroyWindow(window_);
    window_ = nullptr;
  }
  // The wParam of every WM_COMMAND waiting for this window.
  std::vector<WPARAM> Commands() {
    std::vector<WPARAM> out;
    MSG msg;
    while (PeekMessageA(&msg, window_, WM_COMMAND, WM_COMMAND, PM_REMOVE)) out.push_back(msg.wParam);
    return out;
  }

 private:
  HWND window_;
};

TEST_F(Interfaces, ChangeNoticesReachRegisteredWindows) {
  NoticeWindow a, b, c;
  ASSERT_NE(a.Handle(), nullptr);
  EXPECT_EQ(params->RegisterNotifyWindow(a.Handle(), 32700), S_OK);
  EXPECT_EQ(params->RegisterNotifyWindow(b.Handle(), 32700), S_OK);
  EXPECT_EQ(params->RegisterNotifyWindow(c.Handle(), 32700), E_OUTOFMEMORY);

  presets->ApplyPreset(3);
  const std::vector<WPARAM> expected = {MAKEWPARAM(32700, 100)};
  EXPECT_EQ(a.Commands(), expected);
  EXPECT_EQ(b.Commands(), expected);
  EXPECT_TRUE(c.Commands().empty());

  params->put_DelayTime(777);  // plain writes announce nothing
  EXPECT_TRUE(a.Commands().empty());

  // A loaded record is announced, even to a page that registered after a departure.
  EXPECT_EQ(params->RegisterNotifyWindow(b.Handle(), 0), S_OK);
  EXPECT_EQ(params->RegisterNotifyWindow(c.Handle(), 32700), S_OK);
  ASSERT_EQ(Load(Save()), S_OK);
  EXPECT_EQ(a.Commands(), expected);
  EXPECT_TRUE(b.Commands().empty());
  EXPECT_EQ(c.Commands(), expected);

  // A window destroyed without unregistering frees its slot at the next notice.
  a.Destroy();
  presets->ApplyPreset(1);
  NoticeWindow d;
  EXPECT_EQ(params->RegisterNotifyWindow(d.Handle(), 32700), S_OK);
}

// Direct processing: an impulse comes back after the delay, and the tail lasts the delay
// plus the decay time.
TEST_F(Interfaces, DirectProcessingEchoAndTail) {
  ASSERT_EQ(params->put_DryOut(0), S_OK);
  ASSERT_EQ(params->put_DelayOut(0), S_OK);
  ASSERT_EQ(params->put_DelayTime(10), S_OK);   // 441 frames at 44100 Hz mono
  ASSERT_EQ(params->put_Feedback(1), S_OK);
  ASSERT_EQ(params->put_DecayTime(10), S_OK);   // one second
  ASSERT_EQ(direct->Initialize(1, 44100), S_OK);
  std::vector<float> x(1000, 0.0f);
  x[0] = 1.0f;
  ASSERT_EQ(direct->Process(x.data(), 1000, FALSE), S_OK);
  EXPECT_EQ(x[0], 1.0f);
  for (int i = 1; i < 441; ++i) ASSERT_EQ(x[i], 0.0f) << i;
  EXPECT_EQ(x[441], 1.0f);
  const double fb = mw::ExactPow(0.0316, 1.0 / (44100.0 / 441.0));
  EXPECT_EQ(x[882], static_cast<float>(fb));

  DWORD total = 0;
  for (;;) {
    std::vector<float> tail(4096, 0.0f);
    DWORD n = 4096;
    const HRESULT hr = direct->ProcessTail(tail.data(), &n);
    ASSERT_TRUE(SUCCEEDED(hr));
    total += n;
    if (hr == S_FALSE) break;
  }
  EXPECT_EQ(total, 44100u + 441u);
  EXPECT_EQ(direct->Stop(), S_OK);

  // Without a stream received, the tail is empty.
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

}  // namespace
