#include "win/settings_frame.h"

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstring>
#include <string>

#include "win/com_effect.h"
#include "win/files.h"

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

  CLSID page;
  static_assert(sizeof page == sizeof entry.pageClsid, "a class id is a GUID");
  std::memcpy(&page, &entry.pageClsid, sizeof page);
  PageClass pageClass(entry, page);

  IUnknown* object = effect.Filter();
  const std::wstring caption = Widen(entry.filterName);
  const HRESULT hr = OleCreatePropertyFrame(nullptr, 0, 0, caption.c_str(), 1, &object, 1,
                                            &page, GetUserDefaultLCID(), 0, nullptr);
  if (FAILED(hr)) throw Error("cannot open the settings page (" + HexStatus(hr) + ")");

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
