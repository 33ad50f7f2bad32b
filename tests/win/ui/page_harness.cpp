#include <initguid.h>  // instantiates the identifiers of the SDK header

#include "page_harness.h"

#include <olectl.h>

#include <cstring>

#include "page_testing.h"

namespace uitest {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The template's data as 16-bit units, read forward.
struct TemplateReader {
  const BYTE* at;
  WORD Word() {
    WORD w;
    std::memcpy(&w, at, 2);
    at += 2;
    return w;
  }
  DWORD Dword() {
    DWORD d;
    std::memcpy(&d, at, 4);
    at += 4;
    return d;
  }
  // A string or an ordinal (0xFFFF then the number).
  std::string SzOrOrd() {
    WORD first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    std::string s;
    for (WORD c = first; c != 0; c = Word()) s += static_cast<char>(c);
    return s;
  }
  void AlignDword(const BYTE* base) {
    while ((at - base) % 4 != 0) ++at;
  }
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

void Input(const std::vector<INPUT>& inputs) {
  SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

bool UseXdotool() {
  const char* mode = std::getenv("MW_UI_INPUT");
  return mode != nullptr && std::strcmp(mode, "xdotool") == 0;
}

}  // namespace

std::vector<TemplateItem> ReadDialogTemplate(HMODULE module, int dialogId, SIZE* size) {
  std::vector<TemplateItem> items;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(dialogId), MAKEINTRESOURCEA(5));
  if (found == nullptr) return items;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  TemplateReader r{base};
  // DLGTEMPLATEEX: version 1, signature 0xFFFF.
  if (r.Word() != 1 || r.Word() != 0xFFFF) return items;
  r.Dword();  // help id
  r.Dword();  // extended style
  const DWORD style = r.Dword();
  const WORD count = r.Word();
  r.Word();  // x
  r.Word();  // y
  size->cx = static_cast<SHORT>(r.Word());
  size->cy = static_cast<SHORT>(r.Word());
  r.SzOrOrd();  // menu
  r.SzOrOrd();  // class
  r.SzOrOrd();  // title
  if (style & DS_SETFONT) {
    r.Word();  // point size
    r.Word();  // weight
    r.Word();  // italic and character set
    r.SzOrOrd();
  }
  for (WORD i = 0; i < count; ++i) {
    r.AlignDword(base);
    r.Dword();  // help id
    r.Dword();  // extended style
    r.Dword();  // style
    TemplateItem item;
    const SHORT x = static_cast<SHORT>(r.Word()), y = static_cast<SHORT>(r.Word());
    const SHORT cx = static_cast<SHORT>(r.Word()), cy = static_cast<SHORT>(r.Word());
    item.rect = {x, y, x + cx, y + cy};
    item.id = static_cast<int>(r.Dword());
    item.className = r.SzOrOrd();
    r.SzOrOrd();  // text
    const WORD extra = r.Word();
    r.at += extra;
    items.push_back(item);
  }
  return items;
}

IUnknown* CreateFromModule(HMODULE module, const CLSID& clsid, IUnknown* outer) {
  auto get = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  if (get == nullptr ||
      FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  IUnknown* object = nullptr;
  if (FAILED(factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&object)))) {
    object = nullptr;
  }
  factory->Release();
  return object;
}

std::vector<HWND> ThreadWindows(DWORD threadId) {
  std::vector<HWND> list;
  EnumThreadWindows(threadId, CollectWindow, reinterpret_cast<LPARAM>(&list));
  return list;
}

std::vector<HWND> ProcessWindows(DWORD processId) {
  std::vector<HWND> all, mine;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == processId) mine.push_back(w);
  }
  return mine;
}

std::string WindowText(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A page dialog is the child that holds a banner of its own.
static BOOL CALLBACK FindBannerParent(HWND child, LPARAM found) {
  char name[64] = "";
  HWND banner = GetDlgItem(child, 2);
  if (banner != nullptr && GetParent(banner) == child &&
      GetClassNameA(banner, name, sizeof name) > 0 &&
      std::strcmp(name, "MwPpack1Bld211_Logo_Class") == 0) {
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
  }
  return TRUE;
}

HWND FindPageDialog(HWND frame) {
  HWND found = nullptr;
  EnumChildWindows(frame, FindBannerParent, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindMenuWindow() {
  HWND menu = FindWindowA("#32768", nullptr);
  return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

FrameOnThread::FrameOnThread(HMODULE module, IUnknown* object, const CLSID& pageClsid,
                             const wchar_t* caption, POINT at) {
  object->AddRef();
  thread_ = std::thread(&FrameOnThread::Run, this, module, object, pageClsid,
                        std::wstring(caption), at);
  // The frame, then the page inside it.
  PumpUntil(
      [this] {
        if (threadId_ == 0) return false;
        for (HWND w : ThreadWindows(threadId_)) {
          if (HWND page = FindPageDialog(w)) {
            frame_ = w;
            page_ = page;
            return true;
          }
        }
        return result_ != E_PENDING;  // the frame failed
      },
      10000);
  // The frame is drawn and mapped on the display before anything points at it.
  Pump(300);
}

FrameOnThread::~FrameOnThread() { Close(); }

void FrameOnThread::Run(HMODULE module, IUnknown* object, CLSID pageClsid,
                        std::wstring caption, POINT at) {
  threadId_ = GetCurrentThreadId();
  OleInitialize(nullptr);
  auto get = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  IUnknown* factory = nullptr;
  DWORD cookie = 0;
  if (get != nullptr &&
      SUCCEEDED(get(pageClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    CoRegisterClassObject(pageClsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();
  }
  result_ = OleCreatePropertyFrame(nullptr, static_cast<UINT>(at.x), static_cast<UINT>(at.y),
                                   caption.c_str(), 1, &object, 1, &pageClsid,
                                   LOCALE_USER_DEFAULT, 0, nullptr);
  if (cookie != 0) CoRevokeClassObject(cookie);
  object->Release();
  OleUninitialize();
}

HRESULT FrameOnThread::Close() {
  if (!thread_.joinable()) return result_;
  if (frame_ != nullptr && IsWindow(frame_)) {
    PostMessageA(frame_, WM_COMMAND, IDCANCEL, 0);
  } else if (threadId_ != 0) {
    // The frame never showed: whatever the thread has open is cancelled, and its modal loop
    // told to end, so that a failed test ends instead of waiting for it.
    for (HWND w : ThreadWindows(threadId_)) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
  }
  thread_.join();
  frame_ = page_ = nullptr;
  return result_;
}

std::string FrameOnThread::Text(int id) const { return WindowText(Item(id)); }

POINT FrameOnThread::Centre(int id) const {
  RECT r{};
  GetWindowRect(Item(id), &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void RightClickAt(POINT screen) {
  MoveTo(screen);
  if (UseXdotool()) {
    Xdotool("click 3");
    Pump(150);
    return;
  }
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
  SendInput(2, in, sizeof(INPUT));
  Pump(30);
}

// The few keys the tests use, by their X names.
static const char* XKeyName(WORD vk) {
  return vk == VK_TAB      ? "Tab"
         : vk == VK_RETURN ? "Return"
         : vk == VK_ESCAPE ? "Escape"
         : vk == VK_F10    ? "F10"
         : vk == VK_F1     ? "F1"
         : vk == VK_DOWN   ? "Down"
         : vk == VK_RIGHT  ? "Right"
         : vk == VK_UP     ? "Up"
         : vk == VK_HOME   ? "Home"
         : vk == VK_END    ? "End"
                           : "space";
}

void Key(WORD vk, bool shift, bool ctrl) {
  if (UseXdotool()) {
    const char* name = XKeyName(vk);
    Xdotool("key " + std::string(ctrl ? "ctrl+" : "") + (shift ? "shift+" : "") + name);
    Pump(150);
    return;
  }
  std::vector<INPUT> in;
  if (ctrl) in.push_back(KeyInput(VK_CONTROL, false));
  if (shift) in.push_back(KeyInput(VK_SHIFT, false));
  in.push_back(KeyInput(vk, false));
  in.push_back(KeyInput(vk, true));
  if (shift) in.push_back(KeyInput(VK_SHIFT, true));
  if (ctrl) in.push_back(KeyInput(VK_CONTROL, true));
  Input(in);
  Pump(30);
}

void Keys(const std::vector<WORD>& keys) {
  if (UseXdotool()) {
    // One program for the whole sequence keeps the keys in their order.
    std::string names;
    for (WORD vk : keys) names += std::string(" ") + XKeyName(vk);
    Xdotool("key --delay 40" + names);
    Pump(150 + 60 * static_cast<int>(keys.size()));
    return;
  }
  for (WORD vk : keys) Key(vk);
}

void TypeText(const std::string& text) {
  if (UseXdotool()) {
    // "--" ends the options, so that a text starting with '-' is typed, not read as one.
    Xdotool("type --delay 20 -- \"" + text + "\"");
    Pump(100 + 40 * static_cast<int>(text.size()));
    return;
  }
  std::vector<INPUT> in;
  for (char c : text) {
    INPUT down{};
    down.type = INPUT_KEYBOARD;
    down.ki.wScan = static_cast<WORD>(static_cast<unsigned char>(c));
    down.ki.dwFlags = KEYEVENTF_UNICODE;
    INPUT up = down;
    up.ki.dwFlags |= KEYEVENTF_KEYUP;
    in.push_back(down);
    in.push_back(up);
  }
  Input(in);
  Pump(30);
}

}  // namespace uitest

namespace uitest {

std::string SaveRecord(IUnknown* filter) {
  Ref<IPersistStream> persist(Query<IPersistStream>(filter, IID_IPersistStream));
  Ref<IStream> stream;
  if (persist.Get() == nullptr || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out())) ||
      FAILED(persist->Save(stream.Get(), TRUE))) {
    return {};
  }
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (!bytes.empty()) stream->Read(&bytes[0], static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

HRESULT LoadRecord(IUnknown* filter, const std::string& bytes) {
  Ref<IPersistStream> persist(Query<IPersistStream>(filter, IID_IPersistStream));
  Ref<IStream> stream;
  if (persist.Get() == nullptr) return E_NOINTERFACE;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Out());
  ULONG written = 0;
  if (SUCCEEDED(hr)) hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  return SUCCEEDED(hr) ? persist->Load(stream.Get()) : hr;
}

const PageKind kSimpleDelayKind = {"simple-delay", &CLSID_MwSimpleDelay,
                                   &CLSID_MwSimpleDelayPage, L"Marrowind Simple Delay",
                                   "Simple Delay", 3001};
const PageKind kChorusKind = {"chorus", &CLSID_MwChorus, &CLSID_MwChorusPage,
                              L"Marrowind Chorus", "Chorus", 6001};
const PageKind kReverbKind = {"reverb", &CLSID_MwReverb, &CLSID_MwReverbPage,
                              L"Marrowind Reverb", "Reverb", 5001};
const PageKind kMultiTapKind = {"multi-tap",
                                &CLSID_MwMultiTapDelay,
                                &CLSID_MwMultiTapDelayPage,
                                L"Marrowind Multi-Tap Delay",
                                "Multi-Tap Delay",
                                4001};
const PageKind kPitchShiftKind = {"pitch-shift", &CLSID_MwPitchShift, &CLSID_MwPitchShiftPage,
                                  L"Marrowind Pitch Shift", "Pitch Shift", 2001};
const PageKind kTimeStretchKind = {"time-stretch", &CLSID_MwTimeStretch,
                                   &CLSID_MwTimeStretchPage, L"Marrowind Time Stretch",
                                   "Time Stretch", 1001};

OpenPage::OpenPage(HMODULE module, const PageKind& kind)
    : filter(CreateFromModule(module, *kind.filter)) {
  if (filter.Get() != nullptr) {
    frame = std::make_unique<FrameOnThread>(module, filter.Get(), *kind.page, kind.filterName);
  }
}

void TypeInto(const FrameOnThread& frame, int edit, const std::string& text) {
  ClickAt(frame.Centre(edit));
  Key(VK_HOME);
  Key(VK_END, true);
  TypeText(text);
  // The text is in the box before the focus leaves it.
  HWND box = frame.Item(edit);
  PumpUntil([&] { return WindowText(box) == text; }, 5000);
  Key(VK_TAB);
}

}  // namespace uitest

namespace uitest {

namespace {

template <class Params, class Interface>
std::vector<std::int32_t> BlockOf(IUnknown* filter, const IID& iid) {
  static_assert(sizeof(Params) % sizeof(std::int32_t) == 0, "a block of whole words");
  Ref<Interface> params(Query<Interface>(filter, iid));
  Params block{};
  if (params.Get() == nullptr || FAILED(params->GetParameters(&block))) return {};
  std::vector<std::int32_t> fields(sizeof block / sizeof(std::int32_t));
  std::memcpy(fields.data(), &block, sizeof block);
  return fields;
}

}  // namespace

std::vector<std::int32_t> Block(IUnknown* filter, const PageKind& kind) {
  if (&kind == &kSimpleDelayKind) {
    return BlockOf<SimpleDelayParams, ISimpleDelayParams>(filter, IID_ISimpleDelayParams);
  }
  if (&kind == &kChorusKind) return BlockOf<ChorusParams, IChorusParams>(filter, IID_IChorusParams);
  if (&kind == &kMultiTapKind) {
    return BlockOf<MultiTapParams, IMultiTapParams>(filter, IID_IMultiTapParams);
  }
  if (&kind == &kPitchShiftKind) {
    return BlockOf<PitchShiftParams, IPitchShiftParams>(filter, IID_IPitchShiftParams);
  }
  if (&kind == &kTimeStretchKind) {
    return BlockOf<TimeStretchParams, ITimeStretchParams>(filter, IID_ITimeStretchParams);
  }
  return BlockOf<ReverbParams, IReverbParams>(filter, IID_IReverbParams);
}

POINT FreePointOfPage(HMODULE module, const FrameOnThread& frame, int dialogId) {
  SIZE size{};
  const std::vector<TemplateItem> items = ReadDialogTemplate(module, dialogId, &size);
  for (int y = 20; y < size.cy; y += 2) {
    for (int x = 2; x < size.cx; x += 2) {
      bool free = true;
      for (const TemplateItem& item : items) {
        const RECT& r = item.rect;
        if (x >= r.left - 2 && x < r.right + 2 && y >= r.top - 2 && y < r.bottom + 2) free = false;
      }
      if (!free) continue;
      RECT at{x, y, x, y};
      MapDialogRect(frame.Page(), &at);
      POINT p{at.left, at.top};
      ClientToScreen(frame.Page(), &p);
      return p;
    }
  }
  return {0, 0};
}

HMENU MenuOf(HWND menu) {
  constexpr UINT kGetMenu = 0x01E1;  // the popup menu window's menu
  return reinterpret_cast<HMENU>(SendMessageA(menu, kGetMenu, 0, 0));
}

std::vector<std::string> MenuTexts(HMENU menu) {
  std::vector<std::string> texts;
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    char text[300] = "";
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      texts.push_back("-");
      continue;
    }
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    texts.push_back(text);
  }
  return texts;
}

HWND AwaitWindow(DWORD threadId, const std::string& caption, int milliseconds) {
  HWND found = nullptr;
  PumpUntil(
      [&] {
        for (HWND w : ThreadWindows(threadId)) {
          if (WindowText(w) == caption) found = w;
        }
        return found != nullptr;
      },
      milliseconds);
  return found;
}

}  // namespace uitest

namespace uitest {

void ExpectTemplateLayout(HMODULE module, const FrameOnThread& frame, int dialogId) {
  SIZE size{};
  const std::vector<TemplateItem> items = ReadDialogTemplate(module, dialogId, &size);
  ASSERT_FALSE(items.empty()) << "template " << dialogId;
  for (const TemplateItem& t : items) {
    if (t.id == 0xFFFF || t.id == -1) continue;  // unnamed labels
    HWND control = frame.Item(t.id);
    ASSERT_NE(control, nullptr) << "control " << t.id;
    // The dialog maps a control's origin and its size each on their own.
    RECT origin{t.rect.left, t.rect.top, t.rect.right - t.rect.left, t.rect.bottom - t.rect.top};
    MapDialogRect(frame.Page(), &origin);
    const RECT expected{origin.left, origin.top, origin.left + origin.right,
                        origin.top + origin.bottom};
    RECT actual;
    GetWindowRect(control, &actual);
    MapWindowPoints(nullptr, frame.Page(), reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left) << "control " << t.id;
    EXPECT_EQ(actual.top, expected.top) << "control " << t.id;
    EXPECT_EQ(actual.right, expected.right) << "control " << t.id;
    if (t.className != "#133") {
      EXPECT_EQ(actual.bottom, expected.bottom) << "control " << t.id;
    }
  }
}

void ChooseEntry(const FrameOnThread& frame, int id, int index) {
  auto dropped = [&] { return SendMessageA(frame.Item(id), CB_GETDROPPEDSTATE, 0, 0) != 0; };
  // A click soon after the last one on the same spot would be a double click.
  Pump(static_cast<int>(GetDoubleClickTime()) + 50);
  ClickAt(frame.Centre(id));
  ASSERT_TRUE(PumpUntil(dropped, 5000)) << "list " << id << " did not open for entry " << index;
  std::vector<WORD> keys{VK_HOME};
  keys.insert(keys.end(), static_cast<std::size_t>(index), VK_DOWN);
  keys.push_back(VK_RETURN);
  Keys(keys);
  ASSERT_TRUE(PumpUntil([&] { return !dropped(); }, 5000));
}

void ExpectShowsFilter(const FrameOnThread& frame, IUnknown* filter, const PageKind& kind,
                       const std::string& when) {
  std::size_t count = 0;
  const mw::pages::PageTable* const* tables = mw::pages::PageTables(&count);
  const mw::pages::PageTable* table = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (tables[i]->dialogId == kind.dialog) table = tables[i];
  }
  ASSERT_NE(table, nullptr) << kind.name;
  const std::vector<std::int32_t> block = Block(filter, kind);
  ASSERT_FALSE(block.empty()) << when;
  pagetest::PageRig model(*table);
  ASSERT_GE(model.effect->Params().SetParameters(block.data()), 0) << when;
  model.logic.UpdateControls(0);
  for (const auto& [id, want] : model.dialog.controls) {
    HWND control = frame.Item(id);
    ASSERT_NE(control, nullptr) << when << ": control " << id;
    char name[64] = "";
    GetClassNameA(control, name, sizeof name);
    const std::string kindOf = name;
    if (!want.text.empty()) {
      EXPECT_EQ(WindowText(control), want.text) << when << ": control " << id;
    }
    EXPECT_EQ(IsWindowEnabled(control) != FALSE, want.enabled) << when << ": control " << id;
    if (kindOf == "Button") {
      EXPECT_EQ(SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED, want.checked)
          << when << ": button " << id;
    }
    if (kindOf.find("_Trackbar_") != std::string::npos ||
        kindOf.find("_Fader_") != std::string::npos) {
      constexpr UINT kGetPos = 0x60A;
      EXPECT_EQ(SendMessageA(control, kGetPos, 0, 0), want.slider.position)
          << when << ": slider " << id;
    }
    if (!want.items.empty()) {
      const LRESULT at = SendMessageA(control, CB_GETCURSEL, 0, 0);
      EXPECT_EQ(SendMessageA(control, CB_GETITEMDATA, static_cast<WPARAM>(at), 0),
                model.dialog.ListData(id, want.selection))
          << when << ": list " << id;
    }
  }
}

}  // namespace uitest
