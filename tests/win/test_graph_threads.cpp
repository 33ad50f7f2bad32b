// Threads under Wine. A real graph per effect streams while another thread changes the
// parameters and applies presets without pause, and a third registers and unregisters a
// window for change notices and pumps its messages: every run completes, and the stream
// is whole. And the copying filters' media types: samples carrying new types replace the
// pins' types on the streaming thread while a host thread asks the pins for their types,
// which must always come back whole.
#include <cstring>
#include <cwchar>
#include <string>

#include "graph_util.h"
#include "reliability_util.h"

namespace {

using mwtest::AllModuleEffects;
using mwtest::ComTest;
using mwtest::EffectGraph;
using mwtest::FormatCase;
using mwtest::ModuleEffect;
using mwtest::ParamChanger;
using mwtest::Ptr;
using mwtest::PushFlags;
using mwtest::PushRig;
using mwtest::ScratchDir;
using mwtest::WaveType;

constexpr DWORD kTimeout = 60000;

// Registers a window of its own for change notices, pumps its messages and unregisters,
// over and over, on a thread of its own; counts the notices it was posted.
class NoticeWindow {
 public:
  NoticeWindow(const ModuleEffect& e, IBaseFilter* filter)
      : thread_([this, &e, filter] { Run(e, filter); }) {}
  ~NoticeWindow() {
    stop_ = true;
    thread_.join();
  }
  int Notices() const { return notices_; }

 private:
  void Run(const ModuleEffect& e, IBaseFilter* filter) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      mwtest::ParamsAccess p(e, filter);
      HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
      while (!stop_) {
        p.RegisterNotifyWindow(window, 32700);
        for (int i = 0; i < 20; ++i) {
          MSG msg;
          while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_COMMAND && LOWORD(msg.wParam) == 32700) ++notices_;
          }
          Sleep(1);
        }
        p.RegisterNotifyWindow(window, 0);
      }
      DestroyWindow(window);
    }
    CoUninitialize();
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> notices_{0};
  std::thread thread_;
};

class GraphThreads : public ComTest {};

TEST_F(GraphThreads, EveryEffectStreamsWhileParametersAndPresetsChange) {
  ScratchDir dir;
  const FormatCase& f = mwtest::AllFormats()[1];
  const std::uint32_t rate = 8000;
  const auto input = mwtest::MakeSignal(f, 2, 20 * rate, 77);  // 20 s
  mwtest::WriteWav(dir.Path(L"in.wav"), f, 2, rate, input, false);
  for (const ModuleEffect& e : AllModuleEffects()) {
    SCOPED_TRACE(e.core->cliName);
    Ptr<IBaseFilter> filter;
    ASSERT_EQ(mwtest::NewEffectFilter(e, filter), S_OK);
    for (int run = 0; run < 3; ++run) {
      EffectGraph g;
      ASSERT_TRUE(g.Build(dir.Path(L"in.wav"), filter.Get()));
      std::uint64_t changes = 0;
      int notices = 0;
      {
        ParamChanger changer(e, filter.Get(), 10 + run, 0);
        NoticeWindow window(e, filter.Get());
        ASSERT_EQ(g.Control()->Run(), S_OK);
        EXPECT_EQ(g.WaitForComplete(kTimeout), S_OK);
        changer.Stop();
        changes = changer.Changes();
        notices = window.Notices();
      }
      ASSERT_EQ(g.Control()->Stop(), S_OK);
      EXPECT_GT(changes, 0u);
      EXPECT_GT(notices, 0);
      const std::uint64_t got = g.Sink()->BytesReceived();
      EXPECT_EQ(got % 4, 0u);
      // An in-place effect passes every input byte on, then its tail.
      if (!e.Copying()) {
        EXPECT_GE(got, input.size());
      }
      EXPECT_GT(got, 0u);
    }
  }
}

// The type a pin reports: a wave format block of one of the two rates streamed.
void ExpectWhole(const AM_MEDIA_TYPE& t, std::atomic<int>* seen) {
  if (t.pbFormat == nullptr || t.cbFormat < sizeof(WAVEFORMATEX)) {
    ADD_FAILURE() << "a type without a whole format block";
    return;
  }
  const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(t.pbFormat);
  EXPECT_TRUE(wf->nSamplesPerSec == 22050 || wf->nSamplesPerSec == 32000) << wf->nSamplesPerSec;
  EXPECT_EQ(wf->nChannels, 2);
  ++*seen;
}

// A block read after it was freed must show as one: where the image's GlobalFlag asks for
// heap free checking, freed blocks are filled with a pattern (0xFEEEFEEE). The test runs
// itself again in a process started with that flag, set for this program in the registry
// of the test's own Wine prefix for the run.
constexpr wchar_t kCheckedChild[] = L"MW_HEAP_FREE_CHECK";

DWORD RunSelfWithHeapFreeChecking(const wchar_t* filter) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const wchar_t* name = std::wcsrchr(exe, L'\\') != nullptr ? std::wcsrchr(exe, L'\\') + 1 : exe;
  const std::wstring key =
      std::wstring(L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\") +
      name;
  HKEY k = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                      nullptr) != ERROR_SUCCESS) {
    return 0xFFFFFFFF;
  }
  const DWORD freeCheck = 0x20;  // FLG_HEAP_ENABLE_FREE_CHECK
  RegSetValueExW(k, L"GlobalFlag", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&freeCheck),
                 sizeof freeCheck);
  SetEnvironmentVariableW(kCheckedChild, L"1");
  std::wstring command = std::wstring(L"\"") + exe + L"\" --gtest_filter=" + filter;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  DWORD code = 0xFFFFFFFE;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 300000);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  SetEnvironmentVariableW(kCheckedChild, nullptr);
  RegDeleteValueW(k, L"GlobalFlag");
  RegCloseKey(k);
  return code;
}

TEST_F(GraphThreads, PinTypesReadWhileSamplesChangeThem) {
  if (GetEnvironmentVariableW(kCheckedChild, nullptr, 0) == 0) {
    EXPECT_EQ(RunSelfWithHeapFreeChecking(L"GraphThreads.PinTypesReadWhileSamplesChangeThem"), 0u);
    return;
  }

  const FormatCase& f = mwtest::AllFormats()[1];
  const LONG bufferBytes = 2000;
  const auto input = mwtest::MakeSignal(f, 2, 500, 3);
  for (const ModuleEffect& e : AllModuleEffects()) {
    if (!e.Copying()) continue;  // the in-place filters keep the type of their connection
    SCOPED_TRACE(e.core->cliName);
    PushRig rig;
    Ptr<IBaseFilter> filter;
    ASSERT_EQ(mwtest::NewEffectFilter(e, filter), S_OK);
    WaveType slow(f, 2, 22050), fast(f, 2, 32000);
    ASSERT_EQ(rig.ConnectInput(filter.Get(), slow.Get(), bufferBytes), S_OK);
    ASSERT_EQ(rig.ConnectOutput(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);

    std::atomic<bool> done{false};
    std::atomic<int> seen{0};
    auto ask = [&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      IPin* pins[] = {rig.EffectPin(PINDIR_INPUT), rig.EffectPin(PINDIR_OUTPUT)};
      while (!done) {
        for (IPin* pin : pins) {
          AM_MEDIA_TYPE t{};
          if (pin->ConnectionMediaType(&t) == S_OK) ExpectWhole(t, &seen);
          mw::ds::FreeMediaTypeContents(t);
        }
        Ptr<IEnumMediaTypes> types;
        if (SUCCEEDED(pins[1]->EnumMediaTypes(types.Out()))) {
          AM_MEDIA_TYPE* t = nullptr;
          if (types->Next(1, &t, nullptr) == S_OK) {
            ExpectWhole(*t, &seen);
            mw::ds::DeleteMediaType(t);
          }
        }
        pins[0]->QueryAccept(&fast.Get());
      }
      CoUninitialize();
    };
    std::thread hosts[] = {std::thread(ask), std::thread(ask)};
    // Samples go on for a few seconds while the host threads read types.
    const DWORD start = GetTickCount();
    for (int i = 0; i < 400 || GetTickCount() - start < 4000; ++i) {
      PushFlags flags;
      flags.discontinuity = i == 0;
      flags.type = i % 2 == 0 ? &fast.Get() : &slow.Get();
      ASSERT_EQ(rig.Push(input.data(), bufferBytes, flags), S_OK);
    }
    done = true;
    for (std::thread& host : hosts) host.join();
    EXPECT_EQ(rig.EndOfStream(), S_OK);
    ASSERT_EQ(rig.Stop(), S_OK);
    EXPECT_GT(seen, 1000);
  }
}

}  // namespace
