// The page's dialog window as the page frame's logic uses it: controls by identifier, the
// module's sliders through their messages, standard edit boxes, buttons and lists.
#pragma once

#include <windows.h>

#include "core/ui/pages/page_logic.h"

namespace mw::ui {

class WindowDialog final : public pages::PageDialog {
 public:
  void SetWindow(HWND dialog) { dialog_ = dialog; }
  HWND Window() const { return dialog_; }

  std::string Text(int id, int chars) override;
  void SetText(int id, const char* text) override;
  SliderState Slider(int id) override;
  void SetSliderRange(int id, std::int32_t minimum, std::int32_t maximum,
                      std::int32_t defaultPosition) override;
  void SetFillFromDefault(int id) override;
  void SetSliderPos(int id, std::int32_t position) override;
  void SetFaderPos(int id, std::int32_t position) override;
  bool Checked(int id) override;
  void SetChecked(int id, bool on) override;
  void CheckRadio(int first, int last, int id) override;
  void Enable(int id, bool on) override;
  bool Enabled(int id) override;
  void ClearList(int id) override;
  void AddListItem(int id, const char* text, std::int32_t data) override;
  int ListCount(int id) override;
  std::int32_t ListData(int id, int index) override;
  int ListSelection(int id) override;
  void SelectList(int id, int index) override;
  void Invalidate(int id) override;
  void ClearBannerItems() override;
  void AddBannerItem(int command, const char* text) override;

 private:
  LRESULT Send(int id, UINT message, WPARAM wParam, LPARAM lParam);
  HWND dialog_ = nullptr;
};

}  // namespace mw::ui
