// The Pitch Shift page: the semitones and cents as trackbars with edit boxes, the accuracy,
// the anti-alias filter, Preserve duration with its splice mode, and what the setting means:
// the transposition ratio (which the page, not the filter, computes and writes), the musical
// interval and, while the duration changes, the length a piece of a given initial length
// ends up with. The table binds the plain controls; the hooks hold the rules between them.
#include <string>

#include "core/effects/pitch/pitch_page_ids.h"
#include "core/effects/pitch/pitch_page_math.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/ui/pages/page_catalog.h"
#include "core/ui/pages/page_fields.h"
#include "core/ui/pages/page_logic.h"
#include "core/ui/slider_scale.h"

namespace mw {
namespace {

using namespace pages;

// The splice modes in the order of their numbers (UI strings 1094 to 1112).
constexpr ListItem kModes[] = {
    {1094, 0},  {1095, 1},  {1096, 2},  {1097, 3},  {1098, 4},  {1099, 5},  {1100, 6},
    {1101, 7},  {1102, 8},  {1103, 9},  {1104, 10}, {1105, 11}, {1106, 12}, {1107, 13},
    {1108, 14}, {1109, 15}, {1110, 16}, {1111, 17}, {1112, 18},
};

// Tenths of a cent, shown in cents with one decimal.
std::string CentsShown(const TextServices& text, const char* (*)(std::uint32_t),
                       std::int32_t cents) {
  return CentsText(text, cents);
}

// Own rows, in the order of the refresh.
enum Hook : int { kDuration = 1, kRatio, kTime };

// The controls that only show the length while the duration changes.
constexpr int kTimeControls[] = {MW_PS_INITIAL_TIME_LABEL, MW_PS_INITIAL_TIME_EDIT,
                                 MW_PS_FINAL_TIME_TEXT, MW_PS_FINAL_TIME_LABEL};

// The semitone and initial-time boxes are read into 50 characters, the cents box into 10.
constexpr int kEditChars = 50;

bool Preserving(PageLogic& page) { return ReadField(page, "PreserveDuration") != 0; }

class PitchHooks final : public PageHooks {
 public:
  void Update(PageLogic& page, int hook, int source) const override {
    switch (hook) {
      case kDuration:
        if (source == 0 || source == MW_PS_PRESERVE_CHECK) Duration(page, source);
        break;
      case kRatio:
        if (source == 0 || source == MW_PS_SEMITONES_TRACKBAR || source == MW_PS_SEMITONES_EDIT ||
            source == MW_PS_CENTS_TRACKBAR || source == MW_PS_CENTS_EDIT) {
          Ratio(page, source);
        }
        break;
      case kTime:
        if (source == 0 || source == MW_PS_INITIAL_TIME_EDIT) Times(page);
        break;
      default:
        break;
    }
  }

  bool Command(PageLogic& page, int id, int code) const override {
    if (id != MW_PS_SEMITONES_EDIT && id != MW_PS_INITIAL_TIME_EDIT) return false;
    if (code != kEditKillFocus) return true;  // typing is taken when the box loses the focus
    const std::string text = page.Dialog().Text(id, kEditChars);
    if (id == MW_PS_SEMITONES_EDIT) {
      PutField(page, "Semitones",
               SemitonesFromText(PageLocale(page), text.c_str(), Preserving(page)));
      page.UpdateControls(id);
      return true;
    }
    PutDoubleField(page, "InitialTime", InitialTimeFromText(text.c_str(), PageSampleRate(page)));
    page.UpdateControls(MW_PS_SEMITONES_EDIT);
    page.UpdateControls(MW_PS_INITIAL_TIME_EDIT);
    return true;
  }

  // The semitone trackbar pages by 2 while Preserve duration narrows it, by 10 otherwise.
  bool Scroll(PageLogic& page, int id, int code, bool ctrl) const override {
    if (id != MW_PS_SEMITONES_TRACKBAR) return false;
    const SemitoneRange range = SemitoneRangeFor(Preserving(page));
    const PageDialog::SliderState s = page.Dialog().Slider(id);
    const std::int32_t position = TrackbarScrollRule(code, s.minimum, s.maximum, s.position, 1,
                                                     range.pageSize, ctrl, false);
    page.Dialog().SetSliderPos(id, position);
    PutField(page, "Semitones", position);
    page.UpdateControls(id);
    return true;
  }

 private:
  // Preserve duration narrows the semitones to -12..12 (writing back a value outside) and
  // greys the times, which only mean something while the duration changes. Ticking it
  // refreshes the semitones as their edit box does.
  static void Duration(PageLogic& page, int source) {
    const bool preserve = Preserving(page);
    const SemitoneRange range = SemitoneRangeFor(preserve);
    PageDialog& d = page.Dialog();
    d.SetText(MW_PS_SEMITONES_LABEL, page.UiString(range.labelId));
    d.SetSliderRange(MW_PS_SEMITONES_TRACKBAR, range.minimum, range.maximum, 0);
    const std::int32_t semitones = ReadField(page, "Semitones");
    const std::int32_t limited = LimitSemitones(semitones, preserve);
    if (limited != semitones) PutField(page, "Semitones", limited);
    for (int id : kTimeControls) d.Enable(id, !preserve);
    if (source == MW_PS_PRESERVE_CHECK) page.UpdateControls(MW_PS_SEMITONES_EDIT);
  }

  // The ratio the semitones and cents make, written to the filter, and what it means.
  static void Ratio(PageLogic& page, int source) {
    const std::int32_t semitones = ReadField(page, "Semitones");
    const std::int32_t cents = ReadField(page, "Cents");
    const double ratio = PitchRatioToStore(semitones, cents);
    PutDoubleField(page, "Ratio", ratio);
    PageDialog& d = page.Dialog();
    d.SetText(MW_PS_RATIO_TEXT, RatioText(page.Text(), ratio).c_str());
    if (d.Enabled(MW_PS_FINAL_TIME_TEXT)) {
      const double initialTime = ReadDoubleField(page, "InitialTime");
      d.SetText(MW_PS_FINAL_TIME_TEXT,
                FinalTimeText(page.Text(), PageSampleRate(page), ratio, initialTime).c_str());
    }
    d.Enable(MW_PS_ANTIALIAS_CHECK, AntiAliasAvailable(ratio));
    d.SetText(MW_PS_MUSICAL_TEXT,
              MusicalEquivalentText(page.Text(), semitones, cents, ratio).c_str());
    if (source == 0 || source == MW_PS_SEMITONES_TRACKBAR || source == MW_PS_SEMITONES_EDIT) {
      d.Enable(MW_PS_PRESERVE_CHECK, PreserveDurationAvailable(semitones));
    }
  }

  // The initial time and the range of final times; without an input there is no rate.
  static void Times(PageLogic& page) {
    const PitchTimeTexts texts =
        PitchTimeGroup(page.Text(), PageSampleRate(page), ReadDoubleField(page, "InitialTime"));
    page.Dialog().SetText(MW_PS_FINAL_TIME_LABEL, texts.finalLabel.c_str());
    page.Dialog().SetText(MW_PS_INITIAL_TIME_EDIT, texts.initialTime.c_str());
  }
};

const PitchHooks kHooks;

constexpr ValueParse kCentsParse = {ParseKind::kInteger, 10.0, 10};  // whole cents, in tenths

constexpr Binding kRows[] = {
    CheckBox("PreserveDuration", MW_PS_PRESERVE_CHECK).Enabling(MW_PS_MODE_LABEL, MW_PS_MODE_LIST),
    OwnRow(kDuration),
    CheckBox("AntiAlias", MW_PS_ANTIALIAS_CHECK),
    Trackbar("Semitones", MW_PS_SEMITONES_TRACKBAR, -50, 50, 0, 10)
        .FilledFromDefault()
        .Edit(MW_PS_SEMITONES_EDIT, Whole(), Integer(kEditChars)),
    Trackbar("Cents", MW_PS_CENTS_TRACKBAR, -1000, 1000, 0, 10)
        .FilledFromDefault()
        .Edit(MW_PS_CENTS_EDIT, OwnText(&CentsShown), kCentsParse),
    OwnRow(kRatio),
    Trackbar("Accuracy", MW_PS_ACCURACY_TRACKBAR, 1, 3, 2, 10).Label(MW_PS_ACCURACY_TEXT, Whole()),
    DropList("Mode", MW_PS_MODE_LIST, kModes),
    OwnRow(kTime),
};

constexpr HelpEntry kHelp[] = {
    {MW_PS_SEMITONES_TRACKBAR, 78}, {MW_PS_SEMITONES_EDIT, 78},    {MW_PS_SEMITONES_LABEL, 78},
    {MW_PS_CENTS_TRACKBAR, 79},     {MW_PS_CENTS_EDIT, 79},        {MW_PS_CENTS_LABEL, 79},
    {MW_PS_ANTIALIAS_CHECK, 80},    {MW_PS_PRESERVE_CHECK, 81},    {MW_PS_MODE_LABEL, 62},
    {MW_PS_MODE_LIST, 82},          {MW_PS_ACCURACY_TRACKBAR, 83}, {MW_PS_ACCURACY_TEXT, 83},
    {MW_PS_ACCURACY_LABEL, 83},     {MW_PS_INITIAL_TIME_EDIT, 84}, {MW_PS_INITIAL_TIME_LABEL, 84},
    {MW_PS_FINAL_TIME_LABEL, 85},   {MW_PS_FINAL_TIME_TEXT, 85},   {MW_PS_MUSICAL_LABEL, 86},
    {MW_PS_MUSICAL_TEXT, 86},       {MW_PS_RATIO_TEXT, 87},        {MW_PS_RATIO_LABEL, 87},
    {0, 0},
};

}  // namespace

const pages::PageTable kPitchShiftPage = {
    &kPitchShift, MW_IDD_PITCH_SHIFT, MW_IDS_PITCH_SHIFT_TITLE, "Pitch Shift", kRows,
    sizeof kRows / sizeof kRows[0], kHelp, kEditChars, &kHooks,
};

}  // namespace mw
