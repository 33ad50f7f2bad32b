#include "win/ui/pages/window_dialog.h"

#include <string>

#include "core/ui/pages/frame_ids.h"
#include "win/ui/controls/control_messages.h"

namespace mw::ui {
namespace {

// The sliders' messages (answered by the trackbar and the fader).
constexpr UINT kGetPos = 0x60A;
constexpr UINT kGetRangeMin = 0x60B;
constexpr UINT kGetRangeMax = 0x60C;
constexpr UINT kSetRangeMin = 0x60E;
constexpr UINT kSetRangeMax = 0x60F;
constexpr UINT kSetPos = 0x610;
constexpr UINT kSetDefaultPos = 0x611;
constexpr UINT kSetFillFromDefault = 0x61F;
constexpr UINT kFaderSetChannelPos = 0x62F;  // wParam: repaint | thumb number << 16

}  // namespace

LRESULT WindowDialog::Send(int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageA(dialog_, id, message, wParam, lParam);
}

std::string WindowDialog::Text(int id, int chars) {
  if (chars < 1) return {};
  std::string text(static_cast<std::size_t>(chars), '\0');
  const UINT n = GetDlgItemTextA(dialog_, id, &text[0], chars);
  text.resize(n < static_cast<UINT>(chars) ? n : static_cast<UINT>(chars - 1));
  return text;
}

void WindowDialog::SetText(int id, const char* text) { SetDlgItemTextA(dialog_, id, text); }

pages::PageDialog::SliderState WindowDialog::Slider(int id) {
  SliderState s;
  s.minimum = static_cast<std::int32_t>(Send(id, kGetRangeMin, 0, 0));
  s.maximum = static_cast<std::int32_t>(Send(id, kGetRangeMax, 0, 0));
  s.position = static_cast<std::int32_t>(Send(id, kGetPos, 0, 0));
  return s;
}

void WindowDialog::SetSliderRange(int id, std::int32_t minimum, std::int32_t maximum,
                                  std::int32_t defaultPosition) {
  Send(id, kSetRangeMin, FALSE, minimum);
  Send(id, kSetRangeMax, TRUE, maximum);
  Send(id, kSetDefaultPos, 0, defaultPosition);
}

void WindowDialog::SetFillFromDefault(int id) { Send(id, kSetFillFromDefault, TRUE, 1); }

void WindowDialog::SetSliderPos(int id, std::int32_t position) {
  Send(id, kSetPos, TRUE, position);
}

void WindowDialog::SetFaderPos(int id, std::int32_t position) {
  Send(id, kFaderSetChannelPos, MAKEWPARAM(TRUE, 1), position);
}

bool WindowDialog::Checked(int id) { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }

void WindowDialog::SetChecked(int id, bool on) {
  CheckDlgButton(dialog_, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void WindowDialog::CheckRadio(int first, int last, int id) {
  CheckRadioButton(dialog_, first, last, id);
}

void WindowDialog::Enable(int id, bool on) { EnableWindow(GetDlgItem(dialog_, id), on); }

bool WindowDialog::Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }

void WindowDialog::ClearList(int id) { Send(id, CB_RESETCONTENT, 0, 0); }

void WindowDialog::AddListItem(int id, const char* text, std::int32_t data) {
  const LRESULT at = Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (at >= 0) Send(id, CB_SETITEMDATA, static_cast<WPARAM>(at), data);
}

int WindowDialog::ListCount(int id) {
  const LRESULT n = Send(id, CB_GETCOUNT, 0, 0);
  return n > 0 ? static_cast<int>(n) : 0;
}

std::int32_t WindowDialog::ListData(int id, int index) {
  return static_cast<std::int32_t>(Send(id, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

int WindowDialog::ListSelection(int id) {
  const LRESULT at = Send(id, CB_GETCURSEL, 0, 0);
  return at >= 0 ? static_cast<int>(at) : -1;
}

void WindowDialog::SelectList(int id, int index) {
  Send(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void WindowDialog::Invalidate(int id) { InvalidateRect(GetDlgItem(dialog_, id), nullptr, TRUE); }

void WindowDialog::ClearBannerItems() { Send(MW_IDC_BANNER, LGM_CLEARITEMS, 0, 0); }

void WindowDialog::AddBannerItem(int command, const char* text) {
  Send(MW_IDC_BANNER, LGM_ADDITEM, static_cast<WPARAM>(command),
       reinterpret_cast<LPARAM>(text));
}

}  // namespace mw::ui
