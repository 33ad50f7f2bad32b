// The page frame's behaviour without a window: the controls' set-up, the refresh of the
// controls from the filter (UpdateControls) and the reactions to the user, all interpreted
// from the page's binding table. The shell implements PageDialog over the page's dialog
// window and PageParams over the filter's parameter interface; tests implement both in
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ui/pages/page_binding.h"
#include "core/ui/text_format.h"

namespace mw::pages {

// Notification codes the frame reacts to.
constexpr int kEditKillFocus = 0x0200;  // EN_KILLFOCUS
constexpr int kListSelChange = 1;       // CBN_SELCHANGE

// The page's dialog as the frame uses it, by control identifier.
class PageDialog {
 public:
  struct SliderState {
    std::int32_t minimum = 0, maximum = 0, position = 0;
  };

  virtual ~PageDialog() = default;
  // The control's text read into a buffer of `chars` characters with the terminator.
  virtual std::string Text(int id, int chars) = 0;
  virtual void SetText(int id, const char* text) = 0;
  virtual SliderState Slider(int id) = 0;
  // SLM_SETRANGEMIN, SLM_SETRANGEMAX, SLM_SETDEFAULTPOS in that order.
  virtual void SetSliderRange(int id, std::int32_t minimum, std::int32_t maximum,
                              std::int32_t defaultPosition) = 0;
  virtual void SetFillFromDefault(int id) = 0;
  // SLM_SETPOS with redraw: a trackbar clamps, a fader stores it as given.
  virtual void SetSliderPos(int id, std::int32_t position) = 0;
  // FDM_SETCHANNELPOS of the first thumb, with repaint.
  virtual void SetFaderPos(int id, std::int32_t position) = 0;
  virtual bool Checked(int id) = 0;
  virtual void SetChecked(int id, bool on) = 0;
  virtual void CheckRadio(int first, int last, int id) = 0;
  virtual void Enable(int id, bool on) = 0;
  virtual bool Enabled(int id) = 0;
  virtual void ClearList(int id) = 0;
  virtual void AddListItem(int id, const char* text, std::int32_t data) = 0;
  virtual int ListCount(int id) = 0;
  virtual std::int32_t ListData(int id, int index) = 0;
  virtual int ListSelection(int id) = 0;  // -1: none
  virtual void SelectList(int id, int index) = 0;
  virtual void Invalidate(int id) = 0;
  // The banner's items (LGM_CLEARITEMS, LGM_ADDITEM).
  virtual void ClearBannerItems() = 0;
  virtual void AddBannerItem(int command, const char* text) = 0;
};

// The connected filter's parameters; `field` indexes the effect's field table. The filter
// clamps what it is given; the page ignores its answers to the setters.
class PageParams {
 public:
  virtual ~PageParams() = default;
  virtual bool Get(std::size_t field, std::int32_t* value) = 0;
  virtual void Put(std::size_t field, std::int32_t value) = 0;
  virtual bool GetDouble(std::size_t field, double* value) = 0;
  virtual void PutDouble(std::size_t field, double value) = 0;
  // The input's sample rate (effects that change the length); false without an input.
  virtual bool SampleRate(std::uint32_t* rate) = 0;
  // The channel count of the filter's format; false while it has none.
  virtual bool Channels(int* channels) = 0;
};

class PageLogic;

// What a page does beyond its table. Hooks hold no state: the page's state is its
// controls and the filter's parameters.
class PageHooks {
 public:
  virtual ~PageHooks() = default;
  // After the table's ranges and lists, before the banner.
  virtual void InitControls(PageLogic& page) const;
  // An own row's refresh, in table order; `source` is 0 for everything.
  virtual void Update(PageLogic& page, int hook, int source) const;
  // A control's event before the table's reaction; true when the page handled it, its
  // refresh included.
  virtual bool Command(PageLogic& page, int id, int code) const;
  virtual bool Scroll(PageLogic& page, int id, int code, bool ctrl) const;
};

class PageLogic {
 public:
  // `uiString` gives the module's UI texts (null: the built-in ones).
  PageLogic(const PageTable& table, const TextServices& text,
            const char* (*uiString)(std::uint32_t id));

  const PageTable& Table() const { return table_; }
  // The dialog while the page window exists; null when it is gone.
  void Attach(PageDialog* dialog) { dialog_ = dialog; }
  // The connected filter's parameters; null while not connected.
  void Connect(PageParams* params) { params_ = params; }
  bool Connected() const { return params_ != nullptr; }
  bool Attached() const { return dialog_ != nullptr; }

  // WM_INITDIALOG: slider ranges and defaults, lists, the page's own set-up, the banner.
  int InitControls();
  // Refreshes the rows that `source` names (0 and the change-notice command: every row):
  // the slider (unless it is the source), the text, check boxes and lists (only for 0),
  // radio buttons (only for 0) and what check boxes enable. 0 without dialog or parameters.
  int UpdateControls(int source);
  // WM_HSCROLL / WM_VSCROLL from control `id`: the scroll rule's new position is stored in
  // the control and written; then UpdateControls(id).
  void Scroll(int id, int code, bool ctrl);
  // WM_COMMAND from control `id` with notification `code`, or a change notice.
  void Command(int id, int code);

  // The context of a control in the page's help table; 0 when it has none.
  std::int32_t HelpContext(int control) const;

  // --- For the pages' hooks ---
  PageDialog& Dialog() { return *dialog_; }
  PageParams& Params() { return *params_; }
  const TextServices& Text() const { return text_; }
  const char* UiString(std::uint32_t id) const;  // never null
  // A field's index in the effect's field table, -1 when there is none.
  int Field(const char* name) const;
  std::int32_t Read(int field);  // 0 when it cannot be read
  // The row's parameter (for a per-tap row, the current tap's), -1 when there is none.
  int FieldOf(const Binding& b);
  // A value as the row's text control shows it.
  std::string ValueString(const Binding& b, std::int32_t value) const;
  // An edit box's text as the row's value.
  std::int32_t ParseValue(const Binding& b, const std::string& text) const;
  // Selects the entry of list `id` whose item data is `value`, searching from the last
  // entry down to the second; the first entry when none has it.
  void SelectByData(int id, std::int32_t value);
  // Writes a value to the row's parameter.
  void Write(const Binding& b, std::int32_t value);

 private:
  const Binding* FindSlider(int id) const;
  const Binding* FindSource(int id) const;
  void Refresh(const Binding& b, int source);

  const PageTable& table_;
  const TextServices& text_;
  const char* (*uiString_)(std::uint32_t);
  PageDialog* dialog_ = nullptr;
  PageParams* params_ = nullptr;
};

// A double as a 32-bit value, truncated toward zero; beyond the range the nearest end, and
// not a number 0.
std::int32_t TruncateToInt32(double v);

}  // namespace mw::pages
