#include "core/ui/pages/page_logic.h"

#include <cmath>
#include <limits>

#include "core/effects/effect_description.h"
#include "core/ui/builtin_strings.h"
#include "core/ui/pages/frame_ids.h"
#include "core/ui/slider_scale.h"

namespace mw::pages {

void PageHooks::InitControls(PageLogic&) const {}
void PageHooks::Update(PageLogic&, int, int) const {}
bool PageHooks::Command(PageLogic&, int, int) const { return false; }
bool PageHooks::Scroll(PageLogic&, int, int, bool) const { return false; }

std::int32_t TruncateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);  // toward zero
}

PageLogic::PageLogic(const PageTable& table, const TextServices& text,
                     const char* (*uiString)(std::uint32_t))
    : table_(table), text_(text), uiString_(uiString) {}

const char* PageLogic::UiString(std::uint32_t id) const {
  const char* s = uiString_ != nullptr ? uiString_(id) : nullptr;
  if (s == nullptr && text_.strings != nullptr) s = text_.strings->Get(id);
  if (s == nullptr) s = BuiltinUiString(id);
  return s != nullptr ? s : "";
}

int PageLogic::Field(const char* name) const {
  return name != nullptr ? table_.effect->params.Find(name) : -1;
}

std::int32_t PageLogic::Read(int field) {
  std::int32_t v = 0;
  if (field < 0 || params_ == nullptr || !params_->Get(static_cast<std::size_t>(field), &v)) {
    return 0;
  }
  return v;
}

int PageLogic::FieldOf(const Binding& b) {
  int field = Field(b.field);
  if (field < 0 || b.tapField == nullptr) return field;
  const std::int32_t tap = Read(Field(b.tapField));
  const std::int64_t at = std::int64_t{field} + tap;
  const std::int64_t count = static_cast<std::int64_t>(table_.effect->params.count);
  return tap >= 0 && at < count ? static_cast<int>(at) : -1;
}

void PageLogic::Write(const Binding& b, std::int32_t value) {
  const int field = FieldOf(b);
  if (field >= 0) params_->Put(static_cast<std::size_t>(field), value);
}

std::string PageLogic::ValueString(const Binding& b, std::int32_t value) const {
  if (b.show.custom != nullptr) return b.show.custom(text_, uiString_, value);
  return FormatNumber(text_, value, b.show.decimals, b.show.floor, b.show.suffix);
}

std::int32_t PageLogic::ParseValue(const Binding& b, const std::string& text) const {
  static const LocaleSnapshot kDefaultLocale;
  const LocaleSnapshot& locale = text_.locale != nullptr ? *text_.locale : kDefaultLocale;
  if (b.parse.kind == ParseKind::kInteger) {
    const std::int32_t n = ParseInteger(locale, text.c_str());
    return b.parse.scale == 1.0 ? n : TruncateToInt32(n * b.parse.scale);
  }
  return TruncateToInt32(ParseNumber(locale, text.c_str()) * b.parse.scale);
}

void PageLogic::SelectByData(int id, std::int32_t value) {
  int chosen = 0;
  for (int i = dialog_->ListCount(id) - 1; i >= 1; --i) {
    if (dialog_->ListData(id, i) == value) {
      chosen = i;
      break;
    }
  }
  dialog_->SelectList(id, chosen);
}

std::int32_t PageLogic::HelpContext(int control) const {
  if (control == 0 || control == -1 || table_.help == nullptr) return 0;
  for (const HelpEntry* e = table_.help; e->control != 0 || e->context != 0; ++e) {
    if (e->control == control) return e->context;
  }
  return 0;
}

const Binding* PageLogic::FindSlider(int id) const {
  for (std::size_t i = 0; i < table_.count; ++i) {
    if (table_.bindings[i].slider == id && id != 0) return &table_.bindings[i];
  }
  return nullptr;
}

const Binding* PageLogic::FindSource(int id) const {
  for (std::size_t i = 0; i < table_.count; ++i) {
    if (table_.bindings[i].hook == 0 && table_.bindings[i].Has(id)) return &table_.bindings[i];
  }
  return nullptr;
}

int PageLogic::InitControls() {
  if (dialog_ == nullptr) return 0;
  for (std::size_t i = 0; i < table_.count; ++i) {
    const Binding& b = table_.bindings[i];
    if (b.slider != 0) {
      dialog_->SetSliderRange(b.slider, b.minimum, b.maximum, b.defaultPosition);
      if (b.fillFromDefault) dialog_->SetFillFromDefault(b.slider);
    }
    if (b.list != 0 && b.items != nullptr) {
      dialog_->ClearList(b.list);
      for (std::size_t k = 0; k < b.itemCount; ++k) {
        dialog_->AddListItem(b.list, UiString(b.items[k].textId), b.items[k].data);
      }
    }
  }
  if (table_.hooks != nullptr) table_.hooks->InitControls(*this);
  // The banner: "About" and, right of it at the edge, "?"; the effect's name as caption.
  dialog_->ClearBannerItems();
  dialog_->AddBannerItem(MW_CMD_ABOUT, "About");
  dialog_->AddBannerItem(MW_CMD_HELP, "?");
  dialog_->SetText(MW_IDC_BANNER, table_.name);
  return 1;
}

void PageLogic::Refresh(const Binding& b, int source) {
  const std::int32_t value = Read(FieldOf(b));
  if (b.slider != 0 && b.slider != source) {
    dialog_->SetSliderPos(b.slider, b.scale != nullptr ? b.scale->toPosition(value) : value);
  }
  if (b.text != 0) dialog_->SetText(b.text, ValueString(b, value).c_str());
  if (b.check != 0) {
    if (source == 0) dialog_->SetChecked(b.check, value != 0);
    for (int id : b.enables) {
      if (id != 0) dialog_->Enable(id, value != 0);
    }
  }
  if (b.list != 0 && source == 0) SelectByData(b.list, value);
  if (b.radioCount > 0 && source == 0 && value >= 0 && value < b.radioCount) {
    dialog_->CheckRadio(b.radio, b.radio + b.radioCount - 1, b.radio + value);
  }
}

int PageLogic::UpdateControls(int source) {
  if (params_ == nullptr || dialog_ == nullptr) return 0;
  if (source == MW_CMD_CHANGE_NOTICE) source = 0;
  for (std::size_t i = 0; i < table_.count; ++i) {
    const Binding& b = table_.bindings[i];
    if (b.hook != 0) {
      if (table_.hooks != nullptr) table_.hooks->Update(*this, b.hook, source);
    } else if (source == 0 || b.Has(source)) {
      Refresh(b, source);
    }
  }
  return 1;
}

void PageLogic::Scroll(int id, int code, bool ctrl) {
  if (params_ == nullptr || dialog_ == nullptr) return;
  if (table_.hooks != nullptr && table_.hooks->Scroll(*this, id, code, ctrl)) return;
  if (const Binding* b = FindSlider(id)) {
    const PageDialog::SliderState s = dialog_->Slider(id);
    std::int32_t position;
    if (b->fader) {
      position = FaderScrollRule(code, s.minimum, s.maximum, s.position, b->line, b->page, ctrl);
      dialog_->SetFaderPos(id, position);
    } else {
      position = TrackbarScrollRule(code, s.minimum, s.maximum, s.position, b->line, b->page,
                                    ctrl, false);
      dialog_->SetSliderPos(id, position);
    }
    Write(*b, b->scale != nullptr ? b->scale->toValue(position) : position);
  }
  UpdateControls(id);
}

void PageLogic::Command(int id, int code) {
  if (params_ == nullptr || dialog_ == nullptr) return;
  if (id == MW_CMD_CHANGE_NOTICE) {
    // After a preset or a load everything is new; any other notice (a format change)
    // refreshes everything as well.
    UpdateControls(code == MW_NOTICE_RELOADED ? 0 : MW_CMD_CHANGE_NOTICE);
    return;
  }
  if (table_.hooks != nullptr && table_.hooks->Command(*this, id, code)) return;
  const Binding* b = FindSource(id);
  if (b == nullptr) return;
  if (b->edit && b->text == id) {
    if (code != kEditKillFocus) return;  // typing is taken when the box loses the focus
    const int chars = b->parse.chars > 0 ? b->parse.chars : table_.editChars;
    Write(*b, ParseValue(*b, dialog_->Text(id, chars)));
  } else if (b->check == id) {
    Write(*b, dialog_->Checked(id) ? 1 : 0);
  } else if (b->list == id) {
    if (code != kListSelChange) return;
    const int selected = dialog_->ListSelection(id);
    if (selected >= 0) Write(*b, dialog_->ListData(id, selected));
  } else if (b->radioCount > 0) {
    Write(*b, id - b->radio);
  } else {
    return;  // a slider's commands carry no value
  }
  UpdateControls(id);
}

}  // namespace mw::pages
