// The Chorus page: three level faders, six trackbars (three with an edit box) and three
// check boxes. The modulation rate's trackbar runs on a scale of two segments.
#include <string>

#include "core/effects/chorus/chorus.h"
#include "core/effects/chorus/chorus_page_ids.h"
#include "core/ui/pages/page_catalog.h"
#include "core/ui/pages/page_logic.h"

namespace mw {
namespace {

using namespace pages;

// The rate in thousandths of a hertz: up to 9.999 Hz a position per step of 0.001 Hz
// (positions 1 to 9999), above it a position per 0.01 Hz (positions 10000 to 11000 for
// 10.00 to 20.00 Hz).
constexpr std::int32_t kRateSplit = 9999;

std::int32_t RateToPosition(std::int32_t rate) {
  return rate <= kRateSplit ? rate : rate / 10 + 9000;
}

std::int32_t RateFromPosition(std::int32_t position) {
  if (position <= kRateSplit) return position;
  return TruncateToInt32((std::int64_t{position} - 9000) * 10.0);
}

constexpr PositionScale kRateScale = {&RateToPosition, &RateFromPosition};

// Hundredths of a hertz above the split, thousandths below.
std::string RateText(const TextServices& text, const char* (*)(std::uint32_t),
                     std::int32_t rate) {
  if (rate > kRateSplit) return FormatNumber(text, rate / 10, 2, 0, nullptr);
  return FormatNumber(text, rate, 3, 0, nullptr);
}

constexpr Binding kRows[] = {
    Fader("InputGain", MW_CH_INPUT_FADER, -600, 0, 0).Label(MW_CH_INPUT_TEXT, Level(-600)),
    Fader("DryOut", MW_CH_DRY_FADER, -600, 0, -60).Label(MW_CH_DRY_TEXT, Level(-600)),
    Fader("ChorusOut", MW_CH_CHORUS_FADER, -600, 0, -60).Label(MW_CH_CHORUS_TEXT, Level(-600)),
    Trackbar("ChorusSize", MW_CH_SIZE_TRACKBAR, 1, 3, 2, 10).Label(MW_CH_SIZE_TEXT, Whole()),
    Trackbar("Feedback", MW_CH_FEEDBACK_TRACKBAR, 0, 100, 50, 10)
        .Label(MW_CH_FEEDBACK_TEXT, Whole(" %")),
    // Tenths of a millisecond, shown in milliseconds.
    Trackbar("ChorusOutDelay", MW_CH_DELAY_TRACKBAR, 1, 1000, 500, 10)
        .Edit(MW_CH_DELAY_EDIT, Fixed(1), Number(10.0)),
    Trackbar("ModulationRate", MW_CH_RATE_TRACKBAR, 1, 11000, 5500, 10)
        .Scaled(&kRateScale)
        .Edit(MW_CH_RATE_EDIT, OwnText(&RateText), Number(1000.0)),
    Trackbar("ModulationDepth", MW_CH_DEPTH_TRACKBAR, 1, 100, 50, 10)
        .Label(MW_CH_DEPTH_TEXT, Whole(" %")),
    Trackbar("HighCutoff", MW_CH_HIGH_CUTOFF_TRACKBAR, 100, 10000, 1000, 100)
        .Edit(MW_CH_HIGH_CUTOFF_EDIT, Whole(), Integer()),
    CheckBox("InvertChorusPhase", MW_CH_INVERT_CHORUS_CHECK),
    CheckBox("InvertFeedbackPhase", MW_CH_INVERT_FEEDBACK_CHECK),
    CheckBox("AttenuateHighs", MW_CH_HIGHS_CHECK)
        .Enabling(MW_CH_HIGH_CUTOFF_TRACKBAR, MW_CH_HIGH_CUTOFF_EDIT),
};

constexpr HelpEntry kHelp[] = {
    {MW_CH_INPUT_FADER, 51},          {MW_CH_INPUT_TEXT, 51},
    {MW_CH_INPUT_LABEL, 51},          {MW_CH_DRY_FADER, 52},
    {MW_CH_DRY_TEXT, 52},             {MW_CH_DRY_LABEL, 52},
    {MW_CH_CHORUS_FADER, 53},         {MW_CH_CHORUS_TEXT, 53},
    {MW_CH_CHORUS_LABEL, 53},         {MW_CH_SIZE_TRACKBAR, 54},
    {MW_CH_SIZE_TEXT, 54},            {MW_CH_SIZE_LABEL, 54},
    {MW_CH_INVERT_CHORUS_CHECK, 55},  {MW_CH_FEEDBACK_TRACKBAR, 56},
    {MW_CH_FEEDBACK_TEXT, 56},        {MW_CH_FEEDBACK_LABEL, 56},
    {MW_CH_DELAY_TRACKBAR, 57},       {MW_CH_DELAY_EDIT, 57},
    {MW_CH_DELAY_LABEL, 57},          {MW_CH_RATE_TRACKBAR, 58},
    {MW_CH_RATE_EDIT, 58},            {MW_CH_RATE_LABEL, 58},
    {MW_CH_DEPTH_TRACKBAR, 59},       {MW_CH_DEPTH_TEXT, 59},
    {MW_CH_DEPTH_LABEL, 59},          {MW_CH_HIGHS_CHECK, 60},
    {MW_CH_HIGH_CUTOFF_TRACKBAR, 60}, {MW_CH_HIGH_CUTOFF_EDIT, 60},
    {MW_CH_INVERT_FEEDBACK_CHECK, 117}, {0, 0},
};

}  // namespace

const pages::PageTable kChorusPage = {
    &kChorus, MW_IDD_CHORUS, MW_IDS_CHORUS_TITLE, "Chorus", kRows,
    sizeof kRows / sizeof kRows[0], kHelp, 10, nullptr,
};

}  // namespace mw
