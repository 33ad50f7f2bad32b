// The Simple Delay page: two level faders, the delay and decay times as trackbars with
// edit boxes in seconds, and the feedback check box that enables the decay time.
#include "core/effects/delay/simple_delay.h"
#include "core/effects/delay/simple_delay_page_ids.h"
#include "core/ui/pages/page_catalog.h"

namespace mw {
namespace {

using namespace pages;

// In the order of the refresh.
constexpr Binding kRows[] = {
    Fader("DryOut", MW_SD_DRY_FADER, -800, 0, -60).Label(MW_SD_DRY_TEXT, Level(-800)),
    Fader("DelayOut", MW_SD_DELAY_OUT_FADER, -800, 0, -60)
        .Label(MW_SD_DELAY_OUT_TEXT, Level(-800)),
    // Tenths of a second, shown in seconds.
    Trackbar("DecayTime", MW_SD_DECAY_TIME_TRACKBAR, 1, 200, 100, 10)
        .Edit(MW_SD_DECAY_TIME_EDIT, Fixed(1), Number(10.0)),
    // Milliseconds, shown in seconds.
    Trackbar("DelayTime", MW_SD_DELAY_TIME_TRACKBAR, 1, 5000, 2500, 100)
        .Edit(MW_SD_DELAY_TIME_EDIT, Fixed(3), Number(1000.0)),
    CheckBox("Feedback", MW_SD_FEEDBACK_CHECK)
        .Enabling(MW_SD_DECAY_TIME_TRACKBAR, MW_SD_DECAY_TIME_EDIT, MW_SD_DECAY_TIME_LABEL),
};

constexpr HelpEntry kHelp[] = {
    {MW_SD_DRY_FADER, 30},           {MW_SD_DRY_TEXT, 30},
    {MW_SD_DRY_LABEL, 30},           {MW_SD_DELAY_OUT_FADER, 31},
    {MW_SD_DELAY_OUT_TEXT, 31},      {MW_SD_DELAY_OUT_LABEL, 31},
    {MW_SD_DELAY_TIME_TRACKBAR, 32}, {MW_SD_DELAY_TIME_EDIT, 32},
    {MW_SD_DELAY_TIME_LABEL, 32},    {MW_SD_DECAY_TIME_TRACKBAR, 33},
    {MW_SD_DECAY_TIME_EDIT, 33},     {MW_SD_DECAY_TIME_LABEL, 33},
    {MW_SD_FEEDBACK_CHECK, 34},      {0, 0},
};

}  // namespace

const pages::PageTable kSimpleDelayPage = {
    &kSimpleDelay, MW_IDD_SIMPLE_DELAY, MW_IDS_SIMPLE_DELAY_TITLE, "Simple Delay", kRows,
    sizeof kRows / sizeof kRows[0], kHelp, 10, nullptr,
};

}  // namespace mw
