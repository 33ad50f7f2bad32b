// A page frame without windows for the core tests: a dialog of controls kept in memory (it
// cuts texts as the platform's reading does, sorts the lists that sort, and counts how often
// a slider is positioned), the parameters of a real effect behind it, and a rig that builds
// a page on them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/effects/catalog.h"
#include "core/ui/pages/frame_ids.h"
#include "core/ui/pages/page_catalog.h"
#include "core/ui/pages/page_logic.h"

namespace pagetest {

struct FakeControl {
  std::string text;
  mw::pages::PageDialog::SliderState slider{0, 100, 50};
  std::int32_t defaultPosition = 50;
  bool fillFromDefault = false;
  int positioned = 0;  // SetSliderPos and SetFaderPos calls
  bool checked = false;
  bool enabled = true;
  std::vector<std::pair<std::string, std::int32_t>> items;
  int selection = -1;
};

inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class FakeDialog final : public mw::pages::PageDialog {
 public:
  std::map<int, FakeControl> controls;
  std::set<int> sortedLists;
  std::vector<std::pair<int, std::string>> bannerItems;
  int invalidated = 0;

  FakeControl& operator[](int id) { return controls[id]; }

  std::string Text(int id, int chars) override {
    const std::string& t = controls[id].text;
    return chars <= 1 ? std::string() : t.substr(0, static_cast<std::size_t>(chars - 1));
  }
  void SetText(int id, const char* text) override { controls[id].text = text; }
  SliderState Slider(int id) override { return controls[id].slider; }
  void SetSliderRange(int id, std::int32_t minimum, std::int32_t maximum,
                      std::int32_t defaultPosition) override {
    FakeControl& c = controls[id];
    c.slider.minimum = minimum;
    c.slider.maximum = maximum;
    c.defaultPosition = std::clamp(defaultPosition, minimum, maximum);
  }
  void SetFillFromDefault(int id) override { controls[id].fillFromDefault = true; }
  void SetSliderPos(int id, std::int32_t position) override {
    controls[id].slider.position = position;
    ++controls[id].positioned;
  }
  void SetFaderPos(int id, std::int32_t position) override { SetSliderPos(id, position); }
  bool Checked(int id) override { return controls[id].checked; }
  void SetChecked(int id, bool on) override { controls[id].checked = on; }
  void CheckRadio(int first, int last, int id) override {
    for (int i = first; i <= last; ++i) controls[i].checked = i == id;
  }
  void Enable(int id, bool on) override { controls[id].enabled = on; }
  bool Enabled(int id) override { return controls[id].enabled; }
  void ClearList(int id) override {
    controls[id].items.clear();
    controls[id].selection = -1;
  }
  void AddListItem(int id, const char* text, std::int32_t data) override {
    auto& items = controls[id].items;
    auto at = items.end();
    if (sortedLists.count(id) != 0) {
      at = std::find_if(items.begin(), items.end(),
                        [&](const auto& item) { return Lower(item.first) > Lower(text); });
    }
    items.insert(at, {text, data});
  }
  int ListCount(int id) override { return static_cast<int>(controls[id].items.size()); }
  std::int32_t ListData(int id, int index) override {
    const auto& items = controls[id].items;
    return index >= 0 && index < static_cast<int>(items.size()) ? items[index].second : -1;
  }
  int ListSelection(int id) override { return controls[id].selection; }
  void SelectList(int id, int index) override { controls[id].selection = index; }
  void Invalidate(int) override { ++invalidated; }
  void ClearBannerItems() override { bannerItems.clear(); }
  void AddBannerItem(int command, const char* text) override {
    bannerItems.emplace_back(command, text);
  }
  // The index of the entry with this text, -1 when there is none.
  int IndexOf(int list, const std::string& text) {
    const auto& items = controls[list].items;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].first == text) return static_cast<int>(i);
    }
    return -1;
  }
};

// A real effect's parameters, counting the writes.
class FakeParams final : public mw::pages::PageParams {
 public:
  explicit FakeParams(mw::ParamStore& store) : store_(store) {}
  bool Get(std::size_t field, std::int32_t* value) override {
    return mw::Succeeded(store_.Get(field, value));
  }
  void Put(std::size_t field, std::int32_t value) override {
    ++puts;
    store_.Put(field, value);
  }
  bool GetDouble(std::size_t field, double* value) override {
    return mw::Succeeded(store_.GetDouble(field, value));
  }
  void PutDouble(std::size_t field, double value) override {
    ++puts;
    store_.PutDouble(field, value);
  }
  bool SampleRate(std::uint32_t* rate) override {
    *rate = rate_;
    return rate_ != 0;
  }
  bool Channels(int* channels) override {
    *channels = channels_;
    return channels_ != 0;
  }

  int puts = 0;
  std::uint32_t rate_ = 0;
  int channels_ = 0;

 private:
  mw::ParamStore& store_;
};

// A page on a new effect (preset 0), its controls set up and refreshed as at WM_INITDIALOG.
struct PageRig {
  explicit PageRig(const mw::pages::PageTable& table, const mw::TextServices& text = Services(),
                   std::set<int> sorted = {})
      : effect(mw::CreateEffect(*table.effect)),
        params(effect->Params()),
        logic(table, text, nullptr) {
    dialog.sortedLists = std::move(sorted);
    logic.Attach(&dialog);
    logic.Connect(&params);
    logic.InitControls();
    logic.UpdateControls(0);
  }

  // The default text services: the built-in strings and a ring of temporary texts.
  static const mw::TextServices& Services() {
    static mw::TempStringRing ring;
    static const mw::TextServices services = [] {
      mw::TextServices s;
      s.ring = &ring;
      return s;
    }();
    return services;
  }

  // The same with a decimal comma and a point between thousands.
  static const mw::TextServices& GermanServices() {
    static mw::TempStringRing ring;
    static mw::LocaleSnapshot german;
    static const mw::TextServices services = [] {
      german.decimalSeparator = ",";
      german.thousandsSeparator = ".";
      mw::TextServices s;
      s.locale = &german;
      s.ring = &ring;
      return s;
    }();
    return services;
  }

  int Field(const char* name) const { return effect->Params().Table().Find(name); }
  std::int32_t Value(const char* name) {
    std::int32_t v = 0;
    effect->Params().Get(static_cast<std::size_t>(Field(name)), &v);
    return v;
  }
  void Set(const char* name, std::int32_t v) {
    effect->Params().Put(static_cast<std::size_t>(Field(name)), v);
  }
  // The user types into an edit box and leaves it.
  void Type(int edit, const std::string& text) {
    dialog[edit].text = text;
    logic.Command(edit, mw::pages::kEditKillFocus);
  }
  // The control reports a scroll code after the user moved it to `position` (codes 4, 5).
  void DragTo(int slider, std::int32_t position, int code = 5) {
    dialog[slider].slider.position = position;
    logic.Scroll(slider, code, false);
  }

  std::unique_ptr<mw::Effect> effect;
  FakeParams params;
  FakeDialog dialog;
  mw::pages::PageLogic logic;
};

}  // namespace pagetest
