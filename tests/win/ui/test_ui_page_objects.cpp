// The settings pages as component objects: made by the module's class factories,
// counted while they live, aggregated, and their IPropertyPage answers as a host meets them
// outside a frame (the page's window placed in a window of the test).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "../counting_outer.h"
#include "page_harness.h"

namespace uitest {
namespace {

using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

HRESULT CanUnloadNow(HMODULE module) {
  auto fn = reinterpret_cast<CanUnloadFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return fn != nullptr ? fn() : E_FAIL;
}

using Outer = mwtest::CountingOuter;

// A host's page site that records the status changes the page reports.
struct Site : IPropertyPageSite {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD) override {
    ++statusChanges;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* id) override {
    *id = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
  ULONG refs = 1;
  int statusChanges = 0;
};

class PageObject : public ModuleSuite, public ::testing::WithParamInterface<const PageKind*> {
 protected:
  const PageKind& Kind() const { return *GetParam(); }
  IPropertyPage* NewPage() {
    Ref<IUnknown> object(CreateFromModule(Module(), *Kind().page));
    return object.Get() != nullptr ? Query<IPropertyPage>(object.Get(), IID_IPropertyPage)
                                   : nullptr;
  }
};

TEST_P(PageObject, MadeByItsFactoryAndCountedWhileItLives) {
  ASSERT_EQ(CanUnloadNow(Module()), S_OK);
  Ref<IUnknown> object(CreateFromModule(Module(), *Kind().page));
  ASSERT_NE(object.Get(), nullptr);
  EXPECT_EQ(CanUnloadNow(Module()), S_FALSE);
  Ref<IPropertyPage> page(Query<IPropertyPage>(object.Get(), IID_IPropertyPage));
  EXPECT_NE(page.Get(), nullptr);
  // A page, not a filter.
  Ref<IPersist> filter(Query<IPersist>(object.Get(), IID_IPersist));
  EXPECT_EQ(filter.Get(), nullptr);
  object.Reset();
  EXPECT_EQ(CanUnloadNow(Module()), S_FALSE);  // the page interface still holds it
  page.Reset();
  EXPECT_EQ(CanUnloadNow(Module()), S_OK);
}

TEST_P(PageObject, AggregatedPageDelegatesItsUnknown) {
  Outer outer;
  outer.inner = CreateFromModule(Module(), *Kind().page, &outer);
  ASSERT_NE(outer.inner, nullptr);
  IPropertyPage* page = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the query's reference went to the outer object
  IUnknown* identity = nullptr;
  const int queries = outer.queries;
  ASSERT_EQ(page->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, &outer);
  EXPECT_EQ(outer.queries, queries + 1);
  identity->Release();
  page->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(CanUnloadNow(Module()), S_FALSE);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(CanUnloadNow(Module()), S_OK);
}

TEST_P(PageObject, PageInfoHasTitleMeasuredSizeAndHelpFile) {
  Ref<IPropertyPage> page(NewPage());
  ASSERT_NE(page.Get(), nullptr);
  EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_EQ(info.cb, sizeof info);
  char title[64] = "";
  WideCharToMultiByte(CP_ACP, 0, info.pszTitle, -1, title, sizeof title, nullptr, nullptr);
  EXPECT_STREQ(title, Kind().title);
  EXPECT_EQ(info.pszDocString, nullptr);
  EXPECT_EQ(info.dwHelpContext, 0u);
  // The help file sits beside the module, named after it, when no help folder is set.
  ASSERT_NE(info.pszHelpFile, nullptr);
  std::wstring help(info.pszHelpFile);
  wchar_t module[MAX_PATH] = L"";
  GetModuleFileNameW(Module(), module, MAX_PATH);
  std::wstring expected(module);
  expected = expected.substr(0, expected.rfind(L'.')) + L".chm";
  EXPECT_EQ(_wcsicmp(help.c_str(), expected.c_str()), 0);
  // The size is the template's, in this display's dialog units.
  SIZE units{};
  ASSERT_FALSE(ReadDialogTemplate(Module(), Kind().dialog, &units).empty());
  Host host(600, 400, "page");
  RECT place{0, 0, 500, 300};
  ASSERT_EQ(page->Activate(host.window(), &place, FALSE), S_OK);
  HWND dialog = FindPageDialog(host.window());
  ASSERT_NE(dialog, nullptr);
  RECT mapped{0, 0, units.cx, units.cy};
  MapDialogRect(dialog, &mapped);
  EXPECT_EQ(info.size.cx, mapped.right);
  EXPECT_EQ(info.size.cy, mapped.bottom);
  EXPECT_EQ(page->Deactivate(), S_OK);
  CoTaskMemFree(info.pszTitle);
  CoTaskMemFree(info.pszHelpFile);
}

TEST_P(PageObject, ConnectionRules) {
  Ref<IPropertyPage> page(NewPage());
  ASSERT_NE(page.Get(), nullptr);
  Ref<IUnknown> filter(CreateFromModule(Module(), *Kind().filter));
  ASSERT_NE(filter.Get(), nullptr);
  // Disconnecting what was never connected.
  EXPECT_EQ(page->SetObjects(0, nullptr), E_UNEXPECTED);
  IUnknown* none = nullptr;
  EXPECT_EQ(page->SetObjects(1, &none), E_POINTER);
  // An object without the effect's parameters (another page) is refused.
  Ref<IUnknown> other(CreateFromModule(Module(), *Kind().page));
  IUnknown* wrong = other.Get();
  EXPECT_EQ(page->SetObjects(1, &wrong), E_NOINTERFACE);
  EXPECT_EQ(page->SetObjects(0, nullptr), E_UNEXPECTED);
  IUnknown* object = filter.Get();
  EXPECT_EQ(page->SetObjects(1, &object), S_OK);
  EXPECT_EQ(page->SetObjects(1, &object), S_OK);  // connects again, the old link dropped
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page->SetObjects(0, nullptr), E_UNEXPECTED);
  // The page kept no reference to the filter.
  filter->AddRef();
  EXPECT_EQ(filter->Release(), 1u);
}

TEST_P(PageObject, NeverDirtyAndApplyLeavesTheFilterAlone) {
  Ref<IPropertyPage> page(NewPage());
  ASSERT_NE(page.Get(), nullptr);
  Ref<IUnknown> filter(CreateFromModule(Module(), *Kind().filter));
  ASSERT_NE(filter.Get(), nullptr);
  Site site;
  ASSERT_EQ(page->SetPageSite(&site), S_OK);
  IUnknown* object = filter.Get();
  ASSERT_EQ(page->SetObjects(1, &object), S_OK);
  Host host(600, 400, "page");
  RECT place{0, 0, 500, 300};
  ASSERT_EQ(page->Activate(host.window(), &place, FALSE), S_OK);
  host.Settle();
  // Every check box of the page is clicked: the filter changes, the page stays clean.
  HWND dialog = FindPageDialog(host.window());
  ASSERT_NE(dialog, nullptr);
  SIZE units{};
  int boxes = 0;
  for (const TemplateItem& item : ReadDialogTemplate(Module(), Kind().dialog, &units)) {
    HWND control = GetDlgItem(dialog, item.id);
    char name[32] = "";
    GetClassNameA(control, name, sizeof name);
    const LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    if (_stricmp(name, "Button") != 0 || type != BS_AUTOCHECKBOX || !IsWindowEnabled(control)) {
      continue;  // a radio button already checked changes nothing
    }
    const std::string before = SaveRecord(filter.Get());
    ClickAt(Host::OnScreen(control, 6, 6));
    EXPECT_TRUE(PumpUntil([&] { return SaveRecord(filter.Get()) != before; }, 5000))
        << "check box " << item.id;
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    ++boxes;
  }
  // Every page but Time Stretch's has check boxes.
  EXPECT_EQ(boxes > 0, &Kind() != &kTimeStretchKind);
  const std::string before = SaveRecord(filter.Get());
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(SaveRecord(filter.Get()), before);
  EXPECT_EQ(site.statusChanges, 0);
  EXPECT_EQ(page->Help(nullptr), E_NOTIMPL);
  EXPECT_EQ(page->TranslateAccelerator(nullptr), E_NOTIMPL);
  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page->SetPageSite(nullptr), S_OK);
  EXPECT_EQ(site.refs, 1u);
}

INSTANTIATE_TEST_SUITE_P(Pages, PageObject,
                         ::testing::Values(&kSimpleDelayKind, &kChorusKind, &kReverbKind,
                                           &kMultiTapKind, &kPitchShiftKind,
                                           &kTimeStretchKind),
                         [](const auto& info) {
                           std::string name = info.param->name;
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

}  // namespace
}  // namespace uitest
