// The Reverb page: two lists, three level faders, four trackbars (two with an edit box) and
// two check boxes. The mode list sorts its entries for the user; their item data keep the
// mode numbers.
#include <string>

#include "core/effects/reverb/reverb.h"
#include "core/effects/reverb/reverb_page_ids.h"
#include "core/ui/pages/page_catalog.h"
#include "core/ui/text_format.h"

namespace mw {
namespace {

using namespace pages;

// The modes in the order of their numbers, each with its name's UI string.
constexpr ListItem kModes[] = {
    {1126, 0},  {1127, 1},  {1128, 2},  {1129, 3},  {1118, 4},  {1130, 5},  {1131, 6},
    {1132, 7},  {1133, 8},  {1134, 9},  {1135, 10}, {1136, 11}, {1120, 12}, {1137, 13},
    {1138, 14}, {1139, 15}, {1140, 16}, {1141, 17}, {1121, 18},
};

constexpr ListItem kStyles[] = {
    {1142, 0}, {1143, 1}, {1144, 2}, {1145, 3}, {1146, 4},
    {1147, 5}, {1148, 6}, {1149, 7}, {1150, 8}, {1151, 9},
};

constexpr std::uint32_t kPreDelayMs = 1152;  // "%d ms."
constexpr std::uint32_t kPreDelayOff = 1153;

std::string PreDelayText(const TextServices& text, const char* (*uiString)(std::uint32_t),
                         std::int32_t ms) {
  const std::uint32_t id = ms != 0 ? kPreDelayMs : kPreDelayOff;
  const char* format = uiString != nullptr ? uiString(id) : nullptr;
  if (format == nullptr) format = text.strings != nullptr ? text.strings->Get(id) : nullptr;
  if (format == nullptr) format = ms != 0 ? "%d ms." : "Off";
  char out[64];
  FormatString(text, out, sizeof out, format, ms);
  return out;
}

constexpr Binding kRows[] = {
    Fader("DryOut", MW_RV_DRY_FADER, -800, 0, -60).Label(MW_RV_DRY_TEXT, Level(-800)),
    Fader("ReverbOut", MW_RV_REVERB_FADER, -800, 0, -60).Label(MW_RV_REVERB_TEXT, Level(-800)),
    Fader("EarlyOut", MW_RV_EARLY_FADER, -800, 0, -800).Label(MW_RV_EARLY_TEXT, Level(-800)),
    // Tenths of a second.
    Trackbar("DecayTime", MW_RV_DECAY_TRACKBAR, 5, 50, 25, 10).Label(MW_RV_DECAY_TEXT, Fixed(1)),
    Trackbar("PreDelay", MW_RV_PREDELAY_TRACKBAR, 0, 200, 100, 10)
        .Label(MW_RV_PREDELAY_TEXT, OwnText(&PreDelayText)),
    Trackbar("BassCutoff", MW_RV_BASS_TRACKBAR, 10, 5000, 500, 100)
        .Edit(MW_RV_BASS_EDIT, Whole(), Integer()),
    Trackbar("HighCutoff", MW_RV_HIGH_TRACKBAR, 100, 15000, 2000, 100)
        .Edit(MW_RV_HIGH_EDIT, Whole(), Integer()),
    CheckBox("AttenuateBass", MW_RV_BASS_CHECK).Enabling(MW_RV_BASS_TRACKBAR, MW_RV_BASS_EDIT),
    CheckBox("AttenuateHighs", MW_RV_HIGHS_CHECK).Enabling(MW_RV_HIGH_TRACKBAR, MW_RV_HIGH_EDIT),
    DropList("ReverbMode", MW_RV_MODE_LIST, kModes),
    DropList("EarlyStyle", MW_RV_STYLE_LIST, kStyles),
};

constexpr HelpEntry kHelp[] = {
    {MW_RV_DRY_FADER, 69},       {MW_RV_DRY_TEXT, 69},         {MW_RV_DRY_LABEL, 69},
    {MW_RV_REVERB_FADER, 70},    {MW_RV_REVERB_TEXT, 70},      {MW_RV_REVERB_LABEL, 70},
    {MW_RV_EARLY_FADER, 71},     {MW_RV_EARLY_TEXT, 71},       {MW_RV_EARLY_LABEL, 71},
    {MW_RV_MODE_LIST, 68},       {MW_RV_MODE_LABEL, 68},       {MW_RV_STYLE_LIST, 72},
    {MW_RV_STYLE_LABEL, 72},     {MW_RV_DECAY_TRACKBAR, 73},   {MW_RV_DECAY_TEXT, 73},
    {MW_RV_DECAY_LABEL, 73},     {MW_RV_PREDELAY_TRACKBAR, 74}, {MW_RV_PREDELAY_TEXT, 74},
    {MW_RV_PREDELAY_LABEL, 74},  {MW_RV_BASS_CHECK, 75},       {MW_RV_BASS_TRACKBAR, 75},
    {MW_RV_BASS_EDIT, 75},       {MW_RV_HIGHS_CHECK, 76},      {MW_RV_HIGH_TRACKBAR, 76},
    {MW_RV_HIGH_EDIT, 76},       {0, 0},
};

}  // namespace

const pages::PageTable kReverbPage = {
    &kReverb, MW_IDD_REVERB, MW_IDS_REVERB_TITLE, "Reverb", kRows,
    sizeof kRows / sizeof kRows[0], kHelp, 15, nullptr,
};

}  // namespace mw
