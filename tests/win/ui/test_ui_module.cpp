// The module's UI work at load and unload: its window classes come and go with it, and its
// resources (version, cursors, pictures, texts) read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ui/builtin_strings.h"
#include "core/ui/string_table.h"
#include "ui_harness.h"
#include "win/ui/resource_ids.h"
#include "win/ui/util/ui_module.h"

namespace uitest {
namespace {

struct ClassExpectation {
  const char* name;
  int windowBytes;
  bool arrow;        // the standard arrow as the class cursor (else none)
  int background;    // system colour index
};

const ClassExpectation kClasses[] = {
    {"MwPpack1Bld211_Fader_Class", sizeof(LONG_PTR), false, COLOR_BTNFACE},
    {"MwPpack1Bld211_Trackbar_Class", sizeof(LONG_PTR), true, COLOR_BTNFACE},
    {"MwPpack1Bld211_Static_Class", 2 * sizeof(LONG_PTR), true, COLOR_WINDOW},
    {"MwPpack1Bld211_Logo_Class", sizeof(LONG_PTR), true, COLOR_WINDOW},
};

bool ClassExists(HINSTANCE instance, const char* name, WNDCLASSEXA* out = nullptr) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  const bool found = GetClassInfoExA(instance, name, &wc) != FALSE;
  if (out != nullptr) *out = wc;
  return found;
}

// No other test holds the module between test suites.
void ExpectUnloaded() {
  ASSERT_EQ(GetModuleHandleA("mwppack1.dll"), nullptr) << "the module is still loaded";
}

TEST(ModuleLoad, ClassesComeAndGoWithTheModuleAndALaterLoadWorks) {
  ExpectUnloaded();
  for (int round = 0; round < 2; ++round) {
    HMODULE module = LoadLibraryA(LoadedModule::Path().c_str());
    ASSERT_NE(module, nullptr);
    for (const ClassExpectation& c : kClasses) {
      WNDCLASSEXA wc{};
      ASSERT_TRUE(ClassExists(module, c.name, &wc)) << c.name;
      EXPECT_EQ(wc.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS))
          << c.name;
      EXPECT_EQ(wc.cbWndExtra, c.windowBytes) << c.name;
      EXPECT_EQ(wc.hCursor, c.arrow ? LoadCursorA(nullptr, IDC_ARROW) : nullptr) << c.name;
      EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(c.background + 1)))
          << c.name;
      EXPECT_EQ(wc.hInstance, module) << c.name;
      // A global class is found from any module of the process.
      EXPECT_TRUE(ClassExists(GetModuleHandleA(nullptr), c.name)) << c.name;
      // Each class makes windows, and they go away cleanly.
      HWND w = CreateWindowExA(0, c.name, "", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, module,
                               nullptr);
      EXPECT_NE(w, nullptr) << c.name;
      EXPECT_NE(GetWindowLongPtrA(w, c.windowBytes - static_cast<int>(sizeof(LONG_PTR))), 0)
          << c.name << ": its state lives in the last slot";
      DestroyWindow(w);
    }
    ASSERT_TRUE(FreeLibrary(module));
    ExpectUnloaded();
    for (const ClassExpectation& c : kClasses) {
      EXPECT_FALSE(ClassExists(module, c.name)) << c.name;
      EXPECT_FALSE(ClassExists(GetModuleHandleA(nullptr), c.name)) << c.name;
    }
  }
}

LRESULT CALLBACK PlainProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

TEST(ModuleLoad, AClassTakenBeforeLoadIsLeftToItsOwner) {
  ExpectUnloaded();
  // Another module of the process holds the trackbar's name first.
  WNDCLASSEXA mine{};
  mine.cbSize = sizeof mine;
  mine.style = CS_GLOBALCLASS;
  mine.lpfnWndProc = PlainProcedure;
  mine.hInstance = GetModuleHandleA(nullptr);
  mine.lpszClassName = kClasses[1].name;
  ASSERT_NE(RegisterClassExA(&mine), 0);
  HMODULE module = LoadLibraryA(LoadedModule::Path().c_str());
  ASSERT_NE(module, nullptr);
  WNDCLASSEXA wc{};
  ASSERT_TRUE(ClassExists(GetModuleHandleA(nullptr), kClasses[1].name, &wc));
  EXPECT_EQ(wc.lpfnWndProc, &PlainProcedure);
  EXPECT_TRUE(ClassExists(module, kClasses[0].name));
  EXPECT_TRUE(ClassExists(module, kClasses[2].name));
  EXPECT_TRUE(ClassExists(module, kClasses[3].name));
  ASSERT_TRUE(FreeLibrary(module));
  // Unloading took only what the module had registered.
  EXPECT_TRUE(ClassExists(GetModuleHandleA(nullptr), kClasses[1].name));
  EXPECT_FALSE(ClassExists(GetModuleHandleA(nullptr), kClasses[0].name));
  EXPECT_TRUE(UnregisterClassA(kClasses[1].name, GetModuleHandleA(nullptr)));
}

std::string VersionString(const std::vector<char>& data, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
      value == nullptr) {
    return "<missing>";
  }
  return std::string(value, length > 0 ? length - 1 : 0);
}

TEST(ModuleResources, VersionReadsBack) {
  const std::string path = LoadedModule::Path();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 211u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 211u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(VersionString(data, "ProductName"), "Vantor 1 Plug-In Pack");
  EXPECT_EQ(VersionString(data, "CompanyName"), "Marrowind");
  EXPECT_EQ(VersionString(data, "ProductVersion"), "1.0f (Build 211)");
  EXPECT_EQ(VersionString(data, "FileVersion"), "1.0.0.211");
  EXPECT_EQ(VersionString(data, "OriginalFilename"), "mwppack1.dll");
}

TEST(ModuleResources, PicturesCursorsAndTexts) {
  LoadedModule module;
  ASSERT_NE(module.handle(), nullptr);
  // The banner pictures: packed 119 x 20 bitmaps, 8 bits per pixel, 40-byte header.
  for (int id : {5, 6, 7}) {
    HRSRC found = FindResourceA(module.handle(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
    ASSERT_NE(found, nullptr) << id;
    const auto* header = static_cast<const BITMAPINFOHEADER*>(
        LockResource(LoadResource(module.handle(), found)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, 119);
    EXPECT_EQ(header->biHeight, 20);
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_GE(SizeofResource(module.handle(), found), 40u + 256 * 4 + 120 * 20);
  }
  for (int id : {4, 27, 28}) {
    HCURSOR cursor = LoadCursorA(module.handle(), MAKEINTRESOURCEA(id));
    ASSERT_NE(cursor, nullptr) << id;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info)) << id;
    EXPECT_FALSE(info.fIcon);
    BITMAP mask{};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, 32) << id;
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  }
  // The hand points with its finger tip; the thumb pointers with the arrow's tip.
  ICONINFO hand{};
  GetIconInfo(LoadCursorA(module.handle(), MAKEINTRESOURCEA(4)), &hand);
  EXPECT_EQ(hand.xHotspot, 5u);
  EXPECT_EQ(hand.yHotspot, 0u);
  if (hand.hbmMask != nullptr) DeleteObject(hand.hbmMask);
  if (hand.hbmColor != nullptr) DeleteObject(hand.hbmColor);
  // The UI texts sit at their identifier plus the base, the page titles at their own.
  char text[32];
  ASSERT_GT(LoadStringA(module.handle(), MW_UI_STRING_RESOURCE_BASE + 4282, text, sizeof text),
            0);
  EXPECT_STREQ(text, "-Inf.");
  ASSERT_GT(LoadStringA(module.handle(), MW_UI_STRING_RESOURCE_BASE + 1020, text, sizeof text),
            0);
  EXPECT_STREQ(text, mw::BuiltinUiString(1020));
}

// A module's own text wins over the built-in one, without its "^*" marker; identifiers it
// has no text for keep the built-in texts.
TEST(ModuleResources, ResourceTextsOverrideTheBuiltInOnes) {
  HMODULE texts = LoadLibraryExA((ExeFolder() + "ui_texts_override.dll").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(texts, nullptr);
  const mw::ui::ModuleStringResources resources(texts);
  mw::UiStringTable table(&resources);
  ASSERT_EQ(table.RegisterBuiltinBlock(4000, 307), S_OK);
  ASSERT_EQ(table.RegisterBuiltinBlock(1000, 187), S_OK);
  EXPECT_STREQ(table.Get(1020), "Standard");          // "^*Standard" in the resources
  EXPECT_STREQ(table.Get(4282), "-Unendl.");          // no marker
  EXPECT_STREQ(table.Get(1021), mw::BuiltinUiString(1021));  // none: the built-in text
  EXPECT_STREQ(table.Get(4281), "Err.");
  FreeLibrary(texts);
}

}  // namespace
}  // namespace uitest
