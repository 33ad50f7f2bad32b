// What every settings page shares, in the system's property frame: the context menu opened
// by the mouse and by the keyboard, Help and the About box, change notices from other
// threads and other pages, the frame's OK, and the command-line host's settings command.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mwppack1/mwppack1.h"
#include "page_harness.h"

namespace uitest {
namespace {

using Fields = std::vector<std::int32_t>;

constexpr int kDelayEdit = 3014;
constexpr int kFeedbackBox = 3012;
const int kDelayField = MW_FIELD(SimpleDelayParams, DelayTime);

class PageMenu : public ModuleSuite {};

// Rows 1 to the last of the filter's preset table, by name.
std::vector<std::string> PresetNames(IUnknown* filter) {
  std::vector<std::string> names;
  Ref<IEffectPresets> presets(Query<IEffectPresets>(filter, IID_IEffectPresets));
  LONG count = 0;
  if (presets.Get() == nullptr || FAILED(presets->GetPresetCount(&count))) return names;
  for (LONG row = 1; row < count; ++row) {
    wchar_t name[260] = L"";
    if (FAILED(presets->GetPresetName(row, name, 260))) continue;
    char text[260] = "";
    WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr);
    names.push_back(text);
  }
  return names;
}

void CloseMenus() {
  for (int i = 0; i < 3 && FindMenuWindow() != nullptr; ++i) Key(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([] { return FindMenuWindow() == nullptr; }, 5000));
}

TEST_F(PageMenu, RightClickListsPresetsHelpAndAbout) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  RightClickAt(FreePointOfPage(Module(), *page.frame, kSimpleDelayKind.dialog));
  ASSERT_TRUE(PumpUntil([] { return FindMenuWindow() != nullptr; }, 5000));
  HMENU menu = MenuOf(FindMenuWindow());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(MenuTexts(menu), (std::vector<std::string>{"Presets", "-", "Help", "About..."}));
  EXPECT_EQ(GetMenuItemID(menu, 2), 41000u);
  EXPECT_EQ(GetMenuItemID(menu, 3), 41001u);
  HMENU presets = GetSubMenu(menu, 0);
  ASSERT_NE(presets, nullptr);
  const std::vector<std::string> names = MenuTexts(presets);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names, PresetNames(page.filter.Get()));
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    EXPECT_EQ(GetMenuItemID(presets, i), static_cast<UINT>(40500 + i));
  }
  // The menu with its Presets submenu open, over the page, as a person sees it.
  Key(VK_DOWN);
  Key(VK_RIGHT);
  Pump(200);
  RECT area;
  GetWindowRect(page.frame->Frame(), &area);
  area.right += 260;
  SavePng(CaptureScreen(area), "simple-delay-context-menu");
  CloseMenus();
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// Shift+F10 (with the focus on a control that leaves the menu to the page) opens the menu at
// the page's horizontal centre, a quarter of its height down.
TEST_F(PageMenu, KeyboardOpensTheMenuAtTheCentreAQuarterDown) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  // The check box takes the focus, clicked twice to leave it as it was.
  const std::string before = SaveRecord(page.filter.Get());
  ClickAt(page.frame->Centre(kFeedbackBox));
  Pump(static_cast<int>(GetDoubleClickTime()) + 50);
  ClickAt(page.frame->Centre(kFeedbackBox));
  ASSERT_TRUE(PumpUntil([&] { return SaveRecord(page.filter.Get()) == before; }, 5000));
  Key(VK_F10, true);
  ASSERT_TRUE(PumpUntil([] { return FindMenuWindow() != nullptr; }, 5000));
  RECT pageRect, menuRect;
  GetWindowRect(page.frame->Page(), &pageRect);
  GetWindowRect(FindMenuWindow(), &menuRect);
  EXPECT_EQ(menuRect.left, pageRect.left + (pageRect.right - pageRect.left) / 2);
  EXPECT_EQ(menuRect.top, pageRect.top + (pageRect.bottom - pageRect.top) / 4);
  CloseMenus();
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// Opens the context menu and chooses one of its last two items (Help, About...).
void ChooseFromMenu(HMODULE module, const OpenPage& page, bool about) {
  RightClickAt(FreePointOfPage(module, *page.frame, kSimpleDelayKind.dialog));
  ASSERT_TRUE(PumpUntil([] { return FindMenuWindow() != nullptr; }, 5000));
  // Up from none is the last item, About...; once more is Help.
  Keys(about ? std::vector<WORD>{VK_UP, VK_RETURN} : std::vector<WORD>{VK_UP, VK_UP, VK_RETURN});
}

TEST_F(PageMenu, AboutBoxOpensOverThePageAndClosesWithOk) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  ChooseFromMenu(Module(), page, true);
  HWND about = AwaitWindow(page.frame->ThreadId(), "About Vantor 1 Plug-In Pack");
  ASSERT_NE(about, nullptr);
  std::vector<std::string> texts;
  for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    texts.push_back(WindowText(child));
  }
  for (const char* line : {"Vantor 1 Plug-In Pack", "Version 1.0f (Build 211)", "OK"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), line), texts.end()) << line;
  }
  // Centred over the window that owns it, its top a third of the free height down.
  RECT owner, box;
  GetWindowRect(GetWindow(about, GW_OWNER), &owner);
  GetWindowRect(about, &box);
  const int ownerCentre = (owner.left + owner.right) / 2, boxCentre = (box.left + box.right) / 2;
  EXPECT_LE(std::abs(ownerCentre - boxCentre), 1);
  const int freeHeight = (owner.bottom - owner.top) - (box.bottom - box.top);
  EXPECT_LE(std::abs(box.top - (owner.top + freeHeight / 3)), 1);
  RECT area;
  UnionRect(&area, &owner, &box);
  SavePng(CaptureScreen(area), "about-box");
  ClickAt(POINT{(box.left + box.right) / 2, box.top});  // the caption: nothing happens
  EXPECT_TRUE(IsWindow(about));
  HWND ok = GetDlgItem(about, IDOK);
  RECT okRect;
  GetWindowRect(ok, &okRect);
  ClickAt(POINT{(okRect.left + okRect.right) / 2, (okRect.top + okRect.bottom) / 2});
  EXPECT_TRUE(PumpUntil([about] { return !IsWindow(about); }, 5000));
  // The page goes on working.
  TypeInto(*page.frame, kDelayEdit, "0.5");
  EXPECT_TRUE(PumpUntil(
      [&] { return Block(page.filter.Get(), kSimpleDelayKind)[kDelayField] == 500; }, 5000));
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// The banner's "About" item opens the same box.
TEST_F(PageMenu, BannerAboutItemOpensTheAboutBox) {
  OpenPage page(Module(), kChorusKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  RECT banner;
  GetWindowRect(page.frame->Item(2), &banner);
  // The items end at the banner's right edge: "?" last, "About" before it.
  ClickAt(POINT{banner.right - 32, (banner.top + banner.bottom) / 2});
  HWND about = AwaitWindow(page.frame->ThreadId(), "About Vantor 1 Plug-In Pack");
  ASSERT_NE(about, nullptr);
  Key(VK_RETURN);  // OK is the default button
  EXPECT_TRUE(PumpUntil([about] { return !IsWindow(about); }, 5000));
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// Without help files, Help and F1 show nothing and the page goes on working.
TEST_F(PageMenu, HelpWithoutHelpFilesDoesNothingVisible) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  const std::vector<HWND> before = ThreadWindows(page.frame->ThreadId());
  ChooseFromMenu(Module(), page, false);
  ASSERT_TRUE(PumpUntil([] { return FindMenuWindow() == nullptr; }, 5000));
  ClickAt(page.frame->Centre(kDelayEdit));
  Key(VK_F1);
  Pump(500);
  EXPECT_EQ(ThreadWindows(page.frame->ThreadId()), before);
  TypeInto(*page.frame, kDelayEdit, "1.25");
  EXPECT_TRUE(PumpUntil(
      [&] { return Block(page.filter.Get(), kSimpleDelayKind)[kDelayField] == 1250; }, 5000));
  EXPECT_EQ(page.frame->Text(kDelayEdit), "1.250");
  EXPECT_EQ(page.frame->Close(), S_OK);
}

class PageNotices : public ModuleSuite {};

// A reference filter's record after one of its presets.
std::string PresetRecord(HMODULE module, int row) {
  Ref<IUnknown> filter(CreateFromModule(module, CLSID_MwSimpleDelay));
  Ref<IEffectPresets> presets(Query<IEffectPresets>(filter.Get(), IID_IEffectPresets));
  if (presets.Get() == nullptr || FAILED(presets->ApplyPreset(row))) return {};
  return SaveRecord(filter.Get());
}

std::string DelayText(std::int32_t ms) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%03d", ms / 1000, ms % 1000);
  return text;
}

// A preset applied and a record loaded on another thread reach the open page as notices.
TEST_F(PageNotices, ChangesFromAnotherThreadRefreshThePage) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  IUnknown* filter = page.filter.Get();
  std::thread([filter] {
    Ref<IEffectPresets> presets(Query<IEffectPresets>(filter, IID_IEffectPresets));
    presets->ApplyPreset(3);
  }).join();
  const std::int32_t presetDelay = Block(filter, kSimpleDelayKind)[kDelayField];
  EXPECT_TRUE(
      PumpUntil([&] { return page.frame->Text(kDelayEdit) == DelayText(presetDelay); }, 5000));
  const std::string record = PresetRecord(Module(), 4);
  std::thread([filter, &record] { EXPECT_EQ(LoadRecord(filter, record), S_OK); }).join();
  const std::int32_t loadedDelay = Block(filter, kSimpleDelayKind)[kDelayField];
  ASSERT_NE(loadedDelay, presetDelay);
  EXPECT_TRUE(
      PumpUntil([&] { return page.frame->Text(kDelayEdit) == DelayText(loadedDelay); }, 5000));
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// A value changed without a notice shows once a notice with any code arrives.
TEST_F(PageNotices, ANoticeWithAnyCodeRefreshesEverything) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  Ref<ISimpleDelayParams> params(
      Query<ISimpleDelayParams>(page.filter.Get(), IID_ISimpleDelayParams));
  std::int32_t delay = 10;
  const std::int32_t levels[] = {-800, -801, -799, -1};  // at, below and above the floor
  int i = 0;
  for (WORD code : {WORD{100}, WORD{0}, WORD{1}, WORD{0xFFFF}}) {
    delay += 111;
    params->put_DelayTime(delay);  // single fields post no notice
    params->put_DryOut(levels[i++]);
    Pump(100);
    EXPECT_NE(page.frame->Text(kDelayEdit), DelayText(delay));
    PostMessageA(page.frame->Page(), WM_COMMAND, MAKEWPARAM(32700, code), 0);
    EXPECT_TRUE(PumpUntil([&] { return page.frame->Text(kDelayEdit) == DelayText(delay); }, 5000))
        << "code " << code;
    ExpectShowsFilter(*page.frame, page.filter.Get(), kSimpleDelayKind,
                      "code " + std::to_string(code));
  }
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// Two pages on one filter both hear its notices; a third is refused by the filter, hears
// none, and still writes what the user does.
TEST_F(PageNotices, TwoPagesRefreshAThirdWorksWithoutNotices) {
  Ref<IUnknown> filter(CreateFromModule(Module(), CLSID_MwSimpleDelay));
  ASSERT_NE(filter.Get(), nullptr);
  std::vector<std::unique_ptr<FrameOnThread>> frames;
  for (int i = 0; i < 3; ++i) {
    frames.push_back(std::make_unique<FrameOnThread>(
        Module(), filter.Get(), CLSID_MwSimpleDelayPage, L"Marrowind Simple Delay"));
    ASSERT_TRUE(frames.back()->Open());
  }
  const std::string before = frames[2]->Text(kDelayEdit);
  const std::string record = PresetRecord(Module(), 4);
  IUnknown* object = filter.Get();
  std::thread([object, &record] { EXPECT_EQ(LoadRecord(object, record), S_OK); }).join();
  const std::string loaded = DelayText(Block(filter.Get(), kSimpleDelayKind)[kDelayField]);
  ASSERT_NE(loaded, before);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(PumpUntil([&] { return frames[i]->Text(kDelayEdit) == loaded; }, 5000))
        << "page " << i;
  }
  Pump(300);
  EXPECT_EQ(frames[2]->Text(kDelayEdit), before);
  // The third frame is on top: typing into it reaches the filter.
  TypeInto(*frames[2], kDelayEdit, "2.5");
  EXPECT_TRUE(
      PumpUntil([&] { return Block(filter.Get(), kSimpleDelayKind)[kDelayField] == 2500; }, 5000));
  EXPECT_EQ(frames[2]->Text(kDelayEdit), "2.500");
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) EXPECT_EQ((*it)->Close(), S_OK);
}

// The frame's OK closes it; the filter keeps what the page wrote.
TEST_F(PageNotices, OkClosesTheFrameAndTheFilterKeepsItsValues) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  TypeInto(*page.frame, kDelayEdit, "3.75");
  ASSERT_TRUE(PumpUntil(
      [&] { return Block(page.filter.Get(), kSimpleDelayKind)[kDelayField] == 3750; }, 5000));
  const std::string record = SaveRecord(page.filter.Get());
  HWND ok = GetDlgItem(page.frame->Frame(), IDOK);
  ASSERT_NE(ok, nullptr);
  RECT r;
  GetWindowRect(ok, &r);
  HWND frame = page.frame->Frame();
  ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  EXPECT_TRUE(PumpUntil([frame] { return !IsWindow(frame); }, 3000));
  EXPECT_EQ(page.frame->Close(), S_OK);
  EXPECT_EQ(SaveRecord(page.filter.Get()), record);
}

// A control's text, also of another process's window (GetWindowText reads only captions
// there).
std::string ControlText(HWND control) {
  char text[128] = "";
  SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// mwfx.exe started with the arguments on the command line (no process when it could not
// start), and its exit status once it ends (~0u when it did not end in time).
PROCESS_INFORMATION StartMwfx(const std::string& arguments) {
  std::string command = "\"" + ExeFolder() + "mwfx.exe\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 &process);
  return process;
}

DWORD ExitStatus(const PROCESS_INFORMATION& process, DWORD milliseconds) {
  if (process.hProcess == nullptr) return ~0u;
  DWORD code = ~0u;
  if (WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, ~0u);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

DWORD RunMwfx(const std::string& arguments) { return ExitStatus(StartMwfx(arguments), 30000); }

// mwfx settings: the record loaded is what the page shows; the page's change lands in the
// record written when the frame closes.
TEST_F(PageNotices, CommandLineSettingsRoundTripsARecord) {
  const std::string folder = ExeFolder();
  const std::string in = folder + "ui-settings-in.rec", out = folder + "ui-settings-out.rec";
  const std::string record = PresetRecord(Module(), 3);
  ASSERT_FALSE(record.empty());
  std::ofstream(in, std::ios::binary)
      .write(record.data(), static_cast<std::streamsize>(record.size()));
  DeleteFileA(out.c_str());
  const PROCESS_INFORMATION process =
      StartMwfx("settings delay --load-record \"" + in + "\" --save-record \"" + out + "\"");
  ASSERT_NE(process.hProcess, nullptr);
  HWND frame = nullptr, dialog = nullptr;
  PumpUntil(
      [&] {
        for (HWND w : ProcessWindows(process.dwProcessId)) {
          if ((dialog = FindPageDialog(w)) != nullptr) frame = w;
        }
        return frame != nullptr;
      },
      15000);
  ASSERT_NE(frame, nullptr) << "the settings frame did not open";
  Ref<IUnknown> expected(CreateFromModule(Module(), CLSID_MwSimpleDelay));
  ASSERT_EQ(LoadRecord(expected.Get(), record), S_OK);
  Fields fields = Block(expected.Get(), kSimpleDelayKind);
  EXPECT_EQ(ControlText(GetDlgItem(dialog, kDelayEdit)), DelayText(fields[kDelayField]));
  RECT r;
  GetWindowRect(GetDlgItem(dialog, kDelayEdit), &r);
  ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  Key(VK_HOME);
  Key(VK_END, true);
  TypeText("4.321");
  Key(VK_TAB);
  EXPECT_TRUE(
      PumpUntil([&] { return ControlText(GetDlgItem(dialog, kDelayEdit)) == "4.321"; }, 5000));
  GetWindowRect(GetDlgItem(frame, IDOK), &r);
  ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  EXPECT_EQ(ExitStatus(process, 15000), 0u);
  std::ifstream written(out, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(written)),
                          std::istreambuf_iterator<char>());
  Ref<IUnknown> result(CreateFromModule(Module(), CLSID_MwSimpleDelay));
  ASSERT_EQ(LoadRecord(result.Get(), saved), S_OK);
  fields[kDelayField] = 4321;
  EXPECT_EQ(Block(result.Get(), kSimpleDelayKind), fields);
}

std::uint32_t BigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// mwfx settings --picture: a PNG of the whole frame as it showed, and the frame closed
// without waiting for the user; a picture that cannot be written is refused before the
// frame opens.
TEST_F(PageNotices, CommandLineTakesAPictureOfThePage) {
  const std::string png = ExeFolder() + "ui-settings-page.png";
  DeleteFileA(png.c_str());
  ASSERT_EQ(RunMwfx("settings chorus --picture \"" + png + "\""), 0u);
  std::ifstream file(png, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)),
                          std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 33u);
  EXPECT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
  EXPECT_EQ(bytes.compare(12, 4, "IHDR"), 0);
  // The frame a page of the same effect opens in has the picture's size.
  OpenPage page(Module(), kChorusKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  RECT r{};
  GetWindowRect(page.frame->Frame(), &r);
  EXPECT_EQ(BigEndian(bytes, 16), static_cast<std::uint32_t>(r.right - r.left));
  EXPECT_EQ(BigEndian(bytes, 20), static_cast<std::uint32_t>(r.bottom - r.top));
  // Three bytes a pixel and a filter byte a row, in stored blocks: nearly all of it.
  EXPECT_GT(bytes.size(), (r.right - r.left) * 3u * (r.bottom - r.top));
  EXPECT_EQ(page.frame->Close(), S_OK);

  const std::string nowhere = ExeFolder() + "no-such-folder\\page.png";
  EXPECT_EQ(RunMwfx("settings chorus --picture \"" + nowhere + "\""), 1u);
  EXPECT_EQ(GetFileAttributesA(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace uitest
