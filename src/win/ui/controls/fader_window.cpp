// The fader's own messages (set-up, thumbs, linking), its cursor over the thumbs, and the
// resources all faders of the module share.
#include "win/ui/controls/control_messages.h"
#include "win/ui/controls/slider_window.h"
#include "win/ui/util/ui_module.h"

namespace mw::ui {
namespace {

// Faders run on the user-interface thread: a plain count is enough.
int g_faders = 0;
FaderResources g_resources;

HCURSOR ModuleCursor(int id) {
  HCURSOR cursor = LoadCursorA(UiModule(), MAKEINTRESOURCEA(id));
  return cursor != nullptr ? cursor : LoadCursorA(nullptr, IDC_ARROW);
}

bool SetCursorOverThumbs(SliderWindowState& s, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (LOWORD(lParam) != HTCLIENT) return false;
  switch (s.model.CursorAt(PointerInClient(s.window))) {
    case FaderCursor::kLeftThumb: SetCursor(g_resources.leftThumb); break;
    case FaderCursor::kRightThumb: SetCursor(g_resources.rightThumb); break;
    case FaderCursor::kArrow: SetCursor(g_resources.arrow); break;
    case FaderCursor::kDefault:
      // The class has no cursor: the parent may choose one, else the arrow.
      if (DefWindowProcA(s.window, WM_SETCURSOR, wParam, lParam) == FALSE) {
        SetCursor(g_resources.arrow);
      }
      break;
  }
  *result = TRUE;
  return true;
}

}  // namespace

void AcquireFaderResources() {
  if (g_faders++ > 0) return;
  g_resources.memory = CreateCompatibleDC(nullptr);
  g_resources.arrow = LoadCursorA(nullptr, IDC_ARROW);
  g_resources.leftThumb = ModuleCursor(kLeftThumbCursor);
  g_resources.rightThumb = ModuleCursor(kRightThumbCursor);
}

void ReleaseFaderResources() {
  if (g_faders <= 0 || --g_faders > 0) return;
  if (g_resources.memory != nullptr) DeleteDC(g_resources.memory);
  g_resources = FaderResources{};  // resource cursors are shared: nothing to destroy
}

const FaderResources& FaderSharedResources() { return g_resources; }

int FaderInstanceCount() { return g_faders; }

bool FaderMessage(SliderWindowState& s, UINT message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result) {
  SliderModel& m = s.model;
  const int thumb = HIWORD(wParam);
  bool repaint = false;
  *result = 0;
  switch (message) {
    case WM_SETCURSOR:
      return SetCursorOverThumbs(s, wParam, lParam, result);
    case FDM_SETUP: {
      const auto* record = reinterpret_cast<const FaderSetupRecord*>(lParam);
      if (record == nullptr) return true;
      FaderSetup setup;
      setup.minimum = record->minimum;
      setup.maximum = record->maximum;
      setup.defaultPosition = record->defaultPosition;
      setup.lineSize = record->lineSize;
      setup.pageSize = record->pageSize;
      setup.styleValue = record->styleValue;
      setup.styleMask = record->styleMask;
      setup.positions[0] = record->positions[0];
      setup.positions[1] = record->positions[1];
      m.Setup(setup);
      RefreshCaret(s);  // the thumbs may lie the other way now
      *result = 1;
      repaint = true;
      break;
    }
    case FDM_SETACTIVECHANNELS:
      m.SetActiveMask(static_cast<unsigned>(lParam));
      *result = static_cast<LRESULT>(m.ActiveMask());
      repaint = true;
      break;
    case FDM_SETCHANNELPOS:
      if (thumb != 0) {
        *result = m.SetChannelPos(thumb, static_cast<std::int32_t>(lParam), LOWORD(wParam) != 0,
                                  &repaint);
      } else {
        repaint = m.SetChannelPositions(reinterpret_cast<const std::int32_t*>(lParam),
                                        LOWORD(wParam) != 0);
      }
      break;
    case FDM_GETCHANNELPOS:
      if (thumb != 0) {
        *result = m.ChannelPos(thumb);
      } else {
        m.ChannelPositions(reinterpret_cast<std::int32_t*>(lParam));
      }
      break;
    case FDM_SETFLAG:
      m.SetLinked((lParam & 1) != 0);
      *result = m.Linked() ? -1 : 0;
      break;
    case FDM_GETFLAG:
      *result = m.Linked() ? -1 : 0;
      break;
    default:
      return false;
  }
  if (repaint) RepaintSlider(s);
  return true;
}

}  // namespace mw::ui
