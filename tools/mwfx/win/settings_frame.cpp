#include "win/settings_frame.h"

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "png_file.h"
#include "win/com_effect.h"
#include "win/files.h"
#include "win/screen_picture.h"

namespace mwfx {
namespace {

class OleApartment {
 public:
  OleApartment() {
    const HRESULT hr = OleInitialize(nullptr);
    if (FAILED(hr)) throw Error("cannot start the component runtime (" + HexStatus(hr) + ")");
  }
  ~OleApartment() { OleUninitialize(); }
  OleApartment(const OleApartment&) = delete;
  OleApartment& operator=(const OleApartment&) = delete;
};

// The page's class where the frame finds it: registered with the system, or else made
// known to this process from the module beside the program for as long as the frame is
// open.
class PageClass {
 public:
  PageClass(const mw::EffectDescription& entry, const CLSID& clsid) {
    IClassFactory* factory = nullptr;
    if (SUCCEEDED(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)))) {
      factory->Release();
      return;
    }
    std::string error;
    const HRESULT hr = ModuleClassObject(clsid, &factory, &error);
    if (hr == CLASS_E_CLASSNOTAVAILABLE) {
      throw Error(std::string("the settings page of ") + entry.filterName +
                  " is not available yet");
    }
    if (FAILED(hr)) throw Error(error);
    const HRESULT reg = CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER,
                                              REGCLS_MULTIPLEUSE, &cookie_);
    factory->Release();
    if (FAILED(reg)) throw Error("cannot offer the settings page (" + HexStatus(reg) + ")");
  }
  ~PageClass() {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
  }
  PageClass(const PageClass&) = delete;
  PageClass& operator=(const PageClass&) = delete;

 private:
  DWORD cookie_ = 0;
};

// Takes the picture of the frame once it has been on the screen for a moment, then closes
// it as its Cancel button does. Driven by a timer of the thread that runs the frame, whose
// modal loop dispatches it.
class FramePicture {
 public:
  static constexpr UINT kTick = 100;            // milliseconds
  static constexpr int kSettleTicks = 5;        // shown and drawn before the picture
  static constexpr int kGiveUpTicks = 300;      // no frame after 30 s: give up

  explicit FramePicture(StagedFile* file) : file_(file) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, kTick, &FramePicture::Tick);
    if (timer_ == 0) throw Error("cannot time the picture of the settings page");
  }
  ~FramePicture() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  FramePicture(const FramePicture&) = delete;
  FramePicture& operator=(const FramePicture&) = delete;

  // After the frame has closed: the picture's file, or what went wrong.
  void Finish() {
    if (!error_.empty()) throw Error(error_);
    if (!taken_) throw Error("the settings page did not show; no picture was taken");
    if (!file_->Commit(&error_)) throw Error(error_);
  }

 private:
  static BOOL CALLBACK FindFrame(HWND window, LPARAM found) {
    char name[16] = "";
    if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) > 0 &&
        std::strcmp(name, "#32770") == 0) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }

  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_ != nullptr) current_->Step();
  }

  void Step() {
    if (done_) return;
    HWND frame = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FramePicture::FindFrame,
                      reinterpret_cast<LPARAM>(&frame));
    ++ticks_;
    if (frame == nullptr) {
      if (ticks_ >= kGiveUpTicks) done_ = true;
      return;
    }
    if (++shown_ == 1) {
      SetForegroundWindow(frame);
      RedrawWindow(frame, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    if (shown_ < kSettleTicks) return;
    done_ = true;
    Take(frame);
    PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
  }

  void Take(HWND frame) {
    RECT area{};
    std::vector<std::uint32_t> pixels;
    if (!GetWindowRect(frame, &area) || !ReadScreen(area, &pixels)) {
      error_ = "cannot read the settings page from the screen";
      return;
    }
    const std::vector<unsigned char> png =
        EncodePng(area.right - area.left, area.bottom - area.top, pixels.data());
    if (!file_->Write(png.data(), png.size(), &error_)) return;
    taken_ = true;
  }

  static FramePicture* current_;
  StagedFile* file_;
  UINT_PTR timer_ = 0;
  int ticks_ = 0;
  int shown_ = 0;
  bool done_ = false;
  bool taken_ = false;
  std::string error_;
};

FramePicture* FramePicture::current_ = nullptr;

}  // namespace

int EditSettings(const ProcessRequest& request) {
  const mw::EffectDescription& entry = *request.entry;
  OleApartment ole;
  ComEffect effect;
  std::string error;
  if (!effect.Create(entry, &error)) throw Error(error);
  ProcessRequest before = request;
  before.saveRecord.reset();  // the record is taken when the frame has been closed
  ApplySettings(effect, before);

  // A record that cannot be written is reported before the frame opens.
  StagedFile recordFile;
  if (request.saveRecord && !recordFile.Create(*request.saveRecord, &error)) throw Error(error);
  StagedFile pictureFile;
  if (request.picture && !pictureFile.Create(*request.picture, &error)) throw Error(error);

  CLSID page;
  static_assert(sizeof page == sizeof entry.pageClsid, "a class id is a GUID");
  std::memcpy(&page, &entry.pageClsid, sizeof page);
  PageClass pageClass(entry, page);

  IUnknown* object = effect.Filter();
  const std::wstring caption = Widen(entry.filterName);
  std::optional<FramePicture> picture;
  if (request.picture) picture.emplace(&pictureFile);
  const HRESULT hr = OleCreatePropertyFrame(nullptr, 0, 0, caption.c_str(), 1, &object, 1,
                                            &page, GetUserDefaultLCID(), 0, nullptr);
  if (FAILED(hr)) throw Error("cannot open the settings page (" + HexStatus(hr) + ")");
  if (picture) picture->Finish();

  if (request.saveRecord) {
    std::string record;
    const mw::HResult saved = effect.SaveRecord(&record);
    if (mw::Failed(saved)) throw Error("cannot save the record (" + HexStatus(saved) + ")");
    if (!recordFile.Write(record.data(), record.size(), &error) || !recordFile.Commit(&error)) {
      throw Error(error);
    }
  }
  return 0;
}

}  // namespace mwfx
