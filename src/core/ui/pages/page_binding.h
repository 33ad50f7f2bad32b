// A settings page as a table. Each row binds one parameter of the effect to its controls:
// the slider that positions it (a trackbar or a fader, with its range, default and scroll
// steps), the text that shows it (an edit box the user types into, or a label), a check box
// and the controls its value enables, a drop-down list whose entries carry the values, or a
// group of radio buttons. The page frame (PageLogic) interprets the rows for the controls'
// set-up, for every refresh and for the reactions to the user; what a page does beyond this
// pattern is written in its hooks (PageHooks) and called from rows of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mw {
struct EffectDescription;
struct TextServices;
}  // namespace mw

namespace mw::pages {

class PageHooks;

// Text made by a page's own rule (the frame's formatter is FormatNumber).
using ValueTextFunction = std::string (*)(const TextServices& text,
                                          const char* (*uiString)(std::uint32_t id),
                                          std::int32_t value);

// How a value reads in its text control: FormatNumber's decimals (0 or less: a whole number
// with the user's digit grouping), floor (not 0: at or below it "-Inf.") and suffix; or a
// page's own rule.
struct ValueText {
  int decimals = 0;
  std::int32_t floor = 0;
  const char* suffix = nullptr;
  ValueTextFunction custom = nullptr;
};

constexpr ValueText Level(std::int32_t floor) { return {1, floor, " dB", nullptr}; }
constexpr ValueText Fixed(int decimals, const char* suffix = nullptr) {
  return {decimals, 0, suffix, nullptr};
}
constexpr ValueText Whole(const char* suffix = nullptr) { return {0, 0, suffix, nullptr}; }
constexpr ValueText OwnText(ValueTextFunction f) { return {0, 0, nullptr, f}; }

// How an edit box's text becomes a value: read into a buffer of `chars` characters with the
// terminator (0: the page's size), so that longer text is cut; then the locale-aware parser
// (ParseNumber or ParseInteger: text that is no number gives 0), times `scale`, truncated
// toward zero.
enum class ParseKind : std::uint8_t { kNumber, kInteger };
struct ValueParse {
  ParseKind kind = ParseKind::kNumber;
  double scale = 1.0;
  int chars = 0;
};

constexpr ValueParse Number(double scale, int chars = 0) {
  return {ParseKind::kNumber, scale, chars};
}
constexpr ValueParse Integer(int chars = 0) { return {ParseKind::kInteger, 1.0, chars}; }

// A slider whose positions are not the values themselves.
struct PositionScale {
  std::int32_t (*toPosition)(std::int32_t value);
  std::int32_t (*toValue)(std::int32_t position);
};

// An entry of a drop-down list: its text (a UI string) and the value it stands for.
struct ListItem {
  std::uint32_t textId;
  std::int32_t data;
};

struct Binding {
  static constexpr int kMaxEnables = 5;

  // The parameter, by its name in the effect's field table. With `tapField`, the parameter
  // is the one that many places after it, counted by the value of `tapField` (a per-tap
  // field of the current tap).
  const char* field = nullptr;
  const char* tapField = nullptr;

  // The slider that positions the value (0: none): a trackbar, or a fader (vertical).
  int slider = 0;
  bool fader = false;
  std::int32_t minimum = 0, maximum = 0, defaultPosition = 0;
  std::int32_t line = 1, page = 10;
  bool fillFromDefault = false;
  const PositionScale* scale = nullptr;

  // The control that shows the value as text (0: none); an edit box also takes it back.
  int text = 0;
  bool edit = false;
  ValueText show;
  ValueParse parse;

  // A check box (0: none) and the controls its value enables.
  int check = 0;
  int enables[kMaxEnables] = {};

  // A drop-down list whose entries carry the values as item data.
  int list = 0;
  const ListItem* items = nullptr;
  std::size_t itemCount = 0;

  // Radio buttons radio .. radio + radioCount - 1 for the values 0 .. radioCount - 1.
  int radio = 0;
  int radioCount = 0;

  // A row the page refreshes itself (PageHooks::Update with this number), in table order.
  int hook = 0;

  // The controls the user acts on, which name this row as the source of a refresh.
  constexpr bool Has(int id) const {
    return id != 0 && (id == slider || (edit && id == text) || id == check || id == list ||
                       (radioCount > 0 && id >= radio && id < radio + radioCount));
  }

  constexpr Binding Label(int id, ValueText how) const {
    Binding b = *this;
    b.text = id;
    b.edit = false;
    b.show = how;
    return b;
  }
  constexpr Binding Edit(int id, ValueText how, ValueParse parse) const {
    Binding b = *this;
    b.text = id;
    b.edit = true;
    b.show = how;
    b.parse = parse;
    return b;
  }
  constexpr Binding Enabling(int a, int b = 0, int c = 0, int d = 0, int e = 0) const {
    Binding r = *this;
    const int ids[kMaxEnables] = {a, b, c, d, e};
    for (int i = 0; i < kMaxEnables; ++i) r.enables[i] = ids[i];
    return r;
  }
  constexpr Binding FilledFromDefault() const {
    Binding b = *this;
    b.fillFromDefault = true;
    return b;
  }
  constexpr Binding Scaled(const PositionScale* s) const {
    Binding b = *this;
    b.scale = s;
    return b;
  }
  constexpr Binding PerTap(const char* tap) const {
    Binding b = *this;
    b.tapField = tap;
    return b;
  }
};

// A vertical level fader: the page's faders scroll with line 1 and page 10.
constexpr Binding Fader(const char* field, int id, std::int32_t minimum, std::int32_t maximum,
                        std::int32_t defaultPosition) {
  Binding b;
  b.field = field;
  b.slider = id;
  b.fader = true;
  b.minimum = minimum;
  b.maximum = maximum;
  b.defaultPosition = defaultPosition;
  return b;
}

// A horizontal trackbar scrolling with line 1 and the given page size.
constexpr Binding Trackbar(const char* field, int id, std::int32_t minimum, std::int32_t maximum,
                           std::int32_t defaultPosition, std::int32_t page) {
  Binding b = Fader(field, id, minimum, maximum, defaultPosition);
  b.fader = false;
  b.page = page;
  return b;
}

// A check box: 1 when ticked, 0 when not.
constexpr Binding CheckBox(const char* field, int id) {
  Binding b;
  b.field = field;
  b.check = id;
  return b;
}

// A list filled by the page itself (PageHooks::InitControls).
constexpr Binding DropList(const char* field, int id) {
  Binding b;
  b.field = field;
  b.list = id;
  return b;
}

// A list of fixed items.
template <std::size_t N>
constexpr Binding DropList(const char* field, int id, const ListItem (&items)[N]) {
  Binding b = DropList(field, id);
  b.items = items;
  b.itemCount = N;
  return b;
}

constexpr Binding RadioGroup(const char* field, int first, int count) {
  Binding b;
  b.field = field;
  b.radio = first;
  b.radioCount = count;
  return b;
}

constexpr Binding OwnRow(int hook) {
  Binding b;
  b.hook = hook;
  return b;
}

// Help context of a control: (control, context) pairs, several controls of one parameter
// sharing a context; the table ends with (0, 0).
struct HelpEntry {
  std::int32_t control;
  std::int32_t context;
};

struct PageTable {
  const EffectDescription* effect;
  int dialogId;
  int titleId;
  const char* name;  // the effect's name: the title and the banner's caption
  const Binding* bindings;
  std::size_t count;
  const HelpEntry* help;
  int editChars;             // edit buffers, in characters with the terminator
  const PageHooks* hooks;    // null: the table says everything
};

}  // namespace mw::pages
