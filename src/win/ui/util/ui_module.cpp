#include "win/ui/util/ui_module.h"

#include <memory>
#include <mutex>

#include "core/ui/string_table.h"
#include "win/ui/resource_ids.h"
#include "win/ui/util/locale_win.h"
#include "win/ui/util/shared_fonts.h"

namespace mw::ui {
namespace {

// Everything the utilities hold between load and unload.
struct UiState {
  explicit UiState(HINSTANCE module) : resources(module), strings(&resources) {
    services.locale = &locale;
    services.numbers = &numbers;
    services.named = &named;
    services.ring = &ring;
    services.strings = &strings;
    services.isLeadByte = [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; };
  }

  LocaleSnapshot locale = ReadUserLocale();
  WinNumberFormatting numbers;
  NamedValues named;
  TempStringRing ring;
  ModuleStringResources resources;
  UiStringTable strings;
  std::mutex stringsLock;  // the table fills its cache on first use
  TextServices services;
};

HINSTANCE g_module = nullptr;
std::unique_ptr<UiState> g_state;
const LocaleSnapshot kDefaultLocale;
const TextServices kDefaultServices;
char g_productName[64] = "";

// The string table's block sizes: the general texts and the module's own.
constexpr std::uint32_t kGeneralFirst = 4000, kGeneralCount = 307;
constexpr std::uint32_t kModuleFirst = 1000, kModuleCount = 187;

}  // namespace

bool ModuleStringResources::Load(std::uint32_t id, std::string* out) const {
  char text[1024];
  const int n = LoadStringA(module_, MW_UI_STRING_RESOURCE_BASE + id, text, sizeof text);
  if (n <= 0) return false;
  out->assign(text, static_cast<std::size_t>(n));
  return true;
}

void InitUiUtilities(HINSTANCE module) {
  g_module = module;
  g_state.reset(new (std::nothrow) UiState(module));
  if (g_state == nullptr) return;
  g_state->strings.RegisterBuiltinBlock(kGeneralFirst, kGeneralCount);
  AddTimeCodeNames(g_state->services, g_state->named);
}

void ShutdownUiUtilities() {
  ReleaseSharedFonts();
  g_state.reset();
  g_module = nullptr;
}

void LoadUiStringTable() {
  if (g_state != nullptr) g_state->strings.RegisterBuiltinBlock(kModuleFirst, kModuleCount);
}

void ReleaseUiStringTable() {
  if (g_state == nullptr) return;
  std::lock_guard<std::mutex> hold(g_state->stringsLock);
  g_state->strings.Clear();
}

HINSTANCE UiModule() { return g_module; }

const LocaleSnapshot& UserLocale() { return g_state != nullptr ? g_state->locale : kDefaultLocale; }

const TextServices& UiText() { return g_state != nullptr ? g_state->services : kDefaultServices; }

const char* GetUiString(std::uint32_t id) {
  if (g_state == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(g_state->stringsLock);
  return g_state->strings.Get(id);
}

void SetProductName(const char* name) {
  lstrcpynA(g_productName, name != nullptr ? name : "", sizeof g_productName);
}

const char* ProductName() { return g_productName; }

}  // namespace mw::ui
