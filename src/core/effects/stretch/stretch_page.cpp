// The Time Stretch page: the splice mode, and the output length entered in one of three input
// formats chosen from a list: a percentage, a final tempo given the input's tempo, or a final
// time given the input's length. Whatever is entered becomes FinalLength (a floating-point
// field, so its trackbar and edit box are the page's own rows); the labels name the range of
// the chosen format and the edit boxes show the values in it.
#include <string>

#include "core/effects/stretch/stretch_page_ids.h"
#include "core/effects/stretch/stretch_page_math.h"
#include "core/effects/stretch/time_stretch.h"
#include "core/ui/pages/page_catalog.h"
#include "core/ui/pages/page_fields.h"
#include "core/ui/pages/page_logic.h"
#include "core/ui/slider_scale.h"

namespace mw {
namespace {

using namespace pages;

// The splice modes in the order of their numbers (UI strings 1162 to 1180).
constexpr ListItem kModes[] = {
    {1162, 0},  {1163, 1},  {1164, 2},  {1165, 3},  {1166, 4},  {1167, 5},  {1168, 6},
    {1169, 7},  {1170, 8},  {1171, 9},  {1172, 10}, {1173, 11}, {1174, 12}, {1175, 13},
    {1176, 14}, {1177, 15}, {1178, 16}, {1179, 17}, {1180, 18},
};

constexpr ListItem kInputFormats[] = {
    {kStringFormatPercentage, 0},
    {kStringFormatPercentage + 1, 1},
    {kStringFormatPercentage + 2, 2},
};

// Own rows, in the order of the refresh.
enum Hook : int { kFinalValue = 1, kInputFormat, kInitialValue };

constexpr int kEditChars = 20;
constexpr std::int32_t kTrackPage = 100;  // hundredths of a per cent

// The fields the page shows, read together.
struct Lengths {
  double finalLength;
  std::uint32_t inputFormat;
  std::uint32_t initialTempo;
  double initialTime;
  std::optional<std::uint32_t> rate;

  StretchInput Input() const { return StretchInputOf(inputFormat); }
};

Lengths Read(PageLogic& page) {
  return {ReadDoubleField(page, "FinalLength"),
          static_cast<std::uint32_t>(ReadField(page, "InputFormat")),
          static_cast<std::uint32_t>(ReadField(page, "InitialTempo")),
          ReadDoubleField(page, "InitialTime"), PageSampleRate(page)};
}

class StretchHooks final : public PageHooks {
 public:
  // The trackbar's position is FinalLength - 10000, so that 0 is 100 %.
  void InitControls(PageLogic& page) const override {
    page.Dialog().SetSliderRange(MW_TS_FINAL_TRACKBAR, kStretchTrackMin, kStretchTrackMax, 0);
    page.Dialog().SetFillFromDefault(MW_TS_FINAL_TRACKBAR);
  }

  void Update(PageLogic& page, int hook, int source) const override {
    const bool all = source == 0;
    switch (hook) {
      case kFinalValue:
        if (all || source == MW_TS_FINAL_TRACKBAR || source == MW_TS_FINAL_EDIT) {
          FinalValue(page, source);
        }
        break;
      case kInputFormat:
        if (all || source == MW_TS_FORMAT_LIST) InputFormat(page);
        break;
      case kInitialValue:
        if (all || source == MW_TS_INITIAL_EDIT) InitialValue(page);
        break;
      default:
        break;
    }
  }

  bool Command(PageLogic& page, int id, int code) const override {
    if (id == MW_TS_FORMAT_LIST) {
      if (code != kListSelChange) return true;
      const int selected = page.Dialog().ListSelection(id);
      if (selected < 0) return true;
      PutField(page, "InputFormat", page.Dialog().ListData(id, selected));
      page.UpdateControls(MW_TS_FINAL_EDIT);
      page.UpdateControls(MW_TS_INITIAL_EDIT);
      page.UpdateControls(id);
      return true;
    }
    if (id != MW_TS_FINAL_EDIT && id != MW_TS_INITIAL_EDIT) return false;
    if (code != kEditKillFocus) return true;  // typing is taken when the box loses the focus
    const std::string text = page.Dialog().Text(id, kEditChars);
    const Lengths now = Read(page);
    if (id == MW_TS_FINAL_EDIT) {
      PutDoubleField(page, "FinalLength",
                     FinalLengthFromText(PageLocale(page), text.c_str(), now.Input(),
                                         now.initialTempo, now.initialTime, now.rate));
    } else {
      if (now.Input() == StretchInput::kTempo) {
        PutField(page, "InitialTempo",
                 static_cast<std::int32_t>(InitialTempoFromText(PageLocale(page), text.c_str())));
      } else if (now.Input() == StretchInput::kTime) {
        PutDoubleField(page, "InitialTime", InitialTimeFromStretchText(text.c_str(), now.rate));
      }
      page.UpdateControls(MW_TS_FINAL_EDIT);
    }
    page.UpdateControls(id);
    return true;
  }

  bool Scroll(PageLogic& page, int id, int code, bool ctrl) const override {
    if (id != MW_TS_FINAL_TRACKBAR) return false;
    const PageDialog::SliderState s = page.Dialog().Slider(id);
    const std::int32_t position =
        TrackbarScrollRule(code, s.minimum, s.maximum, s.position, 1, kTrackPage, ctrl, false);
    page.Dialog().SetSliderPos(id, position);
    PutDoubleField(page, "FinalLength", FinalLengthFromTrack(position));
    page.UpdateControls(id);
    return true;
  }

 private:
  // The trackbar (unless it is the source), the final value in the input format and the
  // percentage.
  static void FinalValue(PageLogic& page, int source) {
    const Lengths l = Read(page);
    PageDialog& d = page.Dialog();
    if (source != MW_TS_FINAL_TRACKBAR) {
      d.SetSliderPos(MW_TS_FINAL_TRACKBAR, StretchTrackPosition(l.finalLength));
    }
    d.SetText(MW_TS_FINAL_EDIT,
              StretchFinalValueText(page.Text(), l.Input(), l.finalLength, l.initialTempo,
                                    l.initialTime, l.rate)
                  .c_str());
    d.SetText(MW_TS_PERCENT_TEXT, StretchPercentText(page.Text(), l.finalLength).c_str());
  }

  // The initial value is there to enter for Tempo and Time; the labels name the format.
  static void InputFormat(PageLogic& page) {
    const Lengths l = Read(page);
    PageDialog& d = page.Dialog();
    d.Enable(MW_TS_INITIAL_LABEL, l.inputFormat != 0);
    d.Enable(MW_TS_INITIAL_EDIT, l.inputFormat != 0);
    const std::string initial = StretchInitialLabel(page.Text(), l.Input(), l.rate);
    if (!initial.empty()) d.SetText(MW_TS_INITIAL_LABEL, initial.c_str());
    d.SetText(MW_TS_FINAL_LABEL, FinalLabel(page, l).c_str());
  }

  // The initial tempo or time; the final value's range follows it.
  static void InitialValue(PageLogic& page) {
    const Lengths l = Read(page);
    PageDialog& d = page.Dialog();
    if (l.Input() == StretchInput::kTempo || (l.Input() == StretchInput::kTime && l.rate)) {
      d.SetText(MW_TS_FINAL_LABEL, FinalLabel(page, l).c_str());
    }
    d.SetText(MW_TS_INITIAL_EDIT,
              StretchInitialValueText(page.Text(), l.Input(), l.initialTempo, l.initialTime,
                                      l.rate)
                  .c_str());
  }

  static std::string FinalLabel(PageLogic& page, const Lengths& l) {
    return StretchFinalLabel(page.Text(), l.Input(), l.initialTempo, l.initialTime, l.rate);
  }
};

const StretchHooks kHooks;

constexpr Binding kRows[] = {
    OwnRow(kFinalValue),
    DropList("Mode", MW_TS_MODE_LIST, kModes),
    DropList("InputFormat", MW_TS_FORMAT_LIST, kInputFormats),
    OwnRow(kInputFormat),
    OwnRow(kInitialValue),
};

constexpr HelpEntry kHelp[] = {
    {MW_TS_MODE_LIST, 62},      {MW_TS_MODE_LABEL, 62},     {MW_TS_FINAL_TRACKBAR, 63},
    {MW_TS_FINAL_EDIT, 63},     {MW_TS_FINAL_LABEL, 63},    {MW_TS_FORMAT_LIST, 65},
    {MW_TS_FORMAT_LABEL, 65},   {MW_TS_INITIAL_LABEL, 64},  {MW_TS_INITIAL_EDIT, 64},
    {MW_TS_PERCENT_LABEL, 66},  {MW_TS_PERCENT_TEXT, 66},   {0, 0},
};

}  // namespace

const pages::PageTable kTimeStretchPage = {
    &kTimeStretch, MW_IDD_TIME_STRETCH, MW_IDS_TIME_STRETCH_TITLE, "Time Stretch", kRows,
    sizeof kRows / sizeof kRows[0], kHelp, kEditChars, &kHooks,
};

}  // namespace mw
