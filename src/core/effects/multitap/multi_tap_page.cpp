// The Multi-Tap Delay page: three level faders and four trackbars for the global settings,
// the tap count, and one tap at a time (its gain fader, delay trackbar and box, pan trackbar)
// chosen by a row of eight radio buttons; a graph of all taps and of the echoes the feedback
// makes, with a list of the spans it can show. The graph is drawn by the shell from the
// filter's parameters; the page only asks for a repaint whenever what it shows has changed.
#include <string>

#include "core/effects/multitap/multi_tap_delay.h"
#include "core/effects/multitap/multi_tap_page_ids.h"
#include "core/effects/multitap/tap_graph.h"
#include "core/ui/pages/page_catalog.h"
#include "core/ui/pages/page_logic.h"
#include "core/ui/slider_scale.h"
#include "core/ui/text_format.h"

namespace mw {
namespace {

using namespace pages;

constexpr int kTapButtons = MW_MT_TAP_RADIO_LAST - MW_MT_TAP_RADIO_FIRST + 1;

// The page's own rows.
enum Hook : int {
  kFormatRow = 1,  // pans enabled in stereo only; the graph repaints
  kTapCountRow,    // the radio buttons of the taps in use; the current tap kept among them
  kGraphRow,       // the graph repaints after a change of what it draws
};

// The controls whose changes alter the graph (the tap count and the taps' buttons repaint it
// through a refresh of everything).
constexpr int kGraphSources[] = {MW_MT_GAIN_FADER, MW_MT_FEEDBACK_TRACKBAR, MW_MT_DELAY_TRACKBAR,
                                 MW_MT_DELAY_EDIT, MW_MT_SPAN_LIST};

constexpr int kPanControls[] = {MW_MT_PAN_TRACKBAR, MW_MT_PAN_TEXT, MW_MT_PAN_LABEL,
                                MW_MT_PAN_LEFT_LABEL, MW_MT_PAN_RIGHT_LABEL};

constexpr Binding kRows[] = {
    OwnRow(kFormatRow),
    Fader("InputGain", MW_MT_INPUT_FADER, -800, 0, 0).Label(MW_MT_INPUT_TEXT, Level(-800)),
    Fader("DryOut", MW_MT_DRY_FADER, -800, 0, -60).Label(MW_MT_DRY_TEXT, Level(-800)),
    Fader("WetOut", MW_MT_WET_FADER, -800, 0, -60).Label(MW_MT_WET_TEXT, Level(-800)),
    Fader("TapGain1", MW_MT_GAIN_FADER, -100, 100, 0)
        .PerTap("CurrentTap")
        .Label(MW_MT_GAIN_TEXT, Whole(" %")),
    // Tenths of a hertz.
    Trackbar("ModRate", MW_MT_RATE_TRACKBAR, 1, 100, 50, 10)
        .Label(MW_MT_RATE_TEXT, Fixed(1, " Hz")),
    Trackbar("ModDepth", MW_MT_DEPTH_TRACKBAR, 0, 100, 50, 10).Label(MW_MT_DEPTH_TEXT, Whole(" %")),
    Trackbar("Feedback", MW_MT_FEEDBACK_TRACKBAR, 0, 150, 75, 10)
        .Label(MW_MT_FEEDBACK_TEXT, Whole(" %")),
    Trackbar("LowPassStart", MW_MT_LOW_PASS_TRACKBAR, 100, 10000, 1000, 100)
        .Edit(MW_MT_LOW_PASS_EDIT, Whole(), Integer()),
    Trackbar("TapCount", MW_MT_COUNT_TRACKBAR, 1, 8, 1, 10).Label(MW_MT_COUNT_TEXT, Whole()),
    OwnRow(kTapCountRow),
    Trackbar("TapDelay1", MW_MT_DELAY_TRACKBAR, 1, 2500, 1250, 100)
        .PerTap("CurrentTap")
        .Edit(MW_MT_DELAY_EDIT, Whole(), Integer()),
    Trackbar("TapPan1", MW_MT_PAN_TRACKBAR, -100, 100, 0, 10)
        .PerTap("CurrentTap")
        .FilledFromDefault()
        .Label(MW_MT_PAN_TEXT, Whole(" %")),
    CheckBox("LowPassOn", MW_MT_LOW_PASS_CHECK).Enabling(MW_MT_LOW_PASS_TRACKBAR,
                                                         MW_MT_LOW_PASS_EDIT),
    RadioGroup("CurrentTap", MW_MT_TAP_RADIO_FIRST, kTapButtons),
    DropList("GraphResolution", MW_MT_SPAN_LIST),
    OwnRow(kGraphRow),
};

constexpr HelpEntry kHelp[] = {
    {MW_MT_INPUT_FADER, 36}, {MW_MT_INPUT_TEXT, 36}, {MW_MT_INPUT_LABEL, 36},
    {MW_MT_DRY_FADER, 37}, {MW_MT_DRY_TEXT, 37}, {MW_MT_DRY_LABEL, 37},
    {MW_MT_WET_FADER, 38}, {MW_MT_WET_TEXT, 38}, {MW_MT_WET_LABEL, 38},
    {MW_MT_FEEDBACK_TRACKBAR, 41}, {MW_MT_FEEDBACK_TEXT, 41}, {MW_MT_FEEDBACK_LABEL, 41},
    {MW_MT_LOW_PASS_CHECK, 42}, {MW_MT_LOW_PASS_TRACKBAR, 42}, {MW_MT_LOW_PASS_EDIT, 42},
    {MW_MT_RATE_TRACKBAR, 39}, {MW_MT_RATE_TEXT, 39}, {MW_MT_RATE_LABEL, 39},
    {MW_MT_DEPTH_TRACKBAR, 40}, {MW_MT_DEPTH_TEXT, 40}, {MW_MT_DEPTH_LABEL, 40},
    {MW_MT_COUNT_TRACKBAR, 43}, {MW_MT_COUNT_TEXT, 43}, {MW_MT_COUNT_LABEL, 43},
    {MW_MT_TAP_RADIO_FIRST, 44}, {MW_MT_TAP_RADIO_FIRST + 1, 44},
    {MW_MT_TAP_RADIO_FIRST + 2, 44}, {MW_MT_TAP_RADIO_FIRST + 3, 44},
    {MW_MT_TAP_RADIO_FIRST + 4, 44}, {MW_MT_TAP_RADIO_FIRST + 5, 44},
    {MW_MT_TAP_RADIO_FIRST + 6, 44}, {MW_MT_TAP_RADIO_LAST, 44}, {MW_MT_TAP_LABEL, 44},
    {MW_MT_GAIN_FADER, 46}, {MW_MT_GAIN_TEXT, 46}, {MW_MT_GAIN_LABEL, 46},
    {MW_MT_DELAY_TRACKBAR, 45}, {MW_MT_DELAY_EDIT, 45}, {MW_MT_DELAY_LABEL, 45},
    {MW_MT_PAN_TRACKBAR, 47}, {MW_MT_PAN_TEXT, 47}, {MW_MT_PAN_LEFT_LABEL, 47},
    {MW_MT_PAN_RIGHT_LABEL, 47},
    // The pan text is named again with the graph; the first entry wins.
    {MW_MT_GRAPH_BOTTOM_LABEL, 48}, {MW_MT_GRAPH_GAIN_LABEL, 48}, {MW_MT_GRAPH_TOP_LABEL, 48},
    {MW_MT_PAN_TEXT, 48}, {MW_MT_GRAPH_ZERO_LABEL, 48}, {MW_MT_GRAPH, 48},
    {MW_MT_SPAN_LIST, 49}, {MW_MT_SPAN_LABEL, 49}, {0, 0},
};

bool IsGraphSource(int id) {
  for (int s : kGraphSources) {
    if (s == id) return true;
  }
  return false;
}

class MultiTapHooks final : public PageHooks {
 public:
  // The graph-span list: its spans as whole numbers with the user's digit grouping, each
  // carrying its GraphResolution.
  void InitControls(PageLogic& page) const override {
    PageDialog& d = page.Dialog();
    d.ClearList(MW_MT_SPAN_LIST);
    for (std::int32_t resolution = 0; resolution < 4; ++resolution) {
      const std::int32_t span = TapGraphSpan(resolution);
      d.AddListItem(MW_MT_SPAN_LIST, FormatNumber(page.Text(), span, 0, 0, nullptr), resolution);
    }
  }

  void Update(PageLogic& page, int hook, int source) const override {
    PageDialog& d = page.Dialog();
    switch (hook) {
      case kFormatRow:
        if (source == 0) {
          int channels = 0;
          const bool stereo = page.Params().Channels(&channels) && channels == 2;
          for (int id : kPanControls) d.Enable(id, stereo);
          d.Invalidate(MW_MT_GRAPH);
        }
        break;
      case kTapCountRow:
        if (source == 0 || source == MW_MT_COUNT_TRACKBAR) KeepCurrentTapInUse(page);
        break;
      case kGraphRow:
        if (IsGraphSource(source)) d.Invalidate(MW_MT_GRAPH);
        break;
      default:
        break;
    }
  }

  // The tap buttons: the current tap changes, every control follows it, the graph shows it.
  bool Command(PageLogic& page, int id, int) const override {
    if (id < MW_MT_TAP_RADIO_FIRST || id > MW_MT_TAP_RADIO_LAST) return false;
    page.Params().Put(kMtCurrentTap, id - MW_MT_TAP_RADIO_FIRST);
    page.UpdateControls(0);
    page.Dialog().Invalidate(MW_MT_GRAPH);
    page.UpdateControls(id);
    return true;
  }

  // The tap count: a new count may drop the current tap, so everything is refreshed after
  // the count's own controls.
  bool Scroll(PageLogic& page, int id, int code, bool ctrl) const override {
    if (id != MW_MT_COUNT_TRACKBAR) return false;
    PageDialog& d = page.Dialog();
    const PageDialog::SliderState s = d.Slider(id);
    const std::int32_t count =
        TrackbarScrollRule(code, s.minimum, s.maximum, s.position, 1, 10, ctrl, false);
    d.SetSliderPos(id, count);
    page.Params().Put(kMtTapCount, count);
    page.UpdateControls(id);
    page.UpdateControls(0);
    d.Invalidate(MW_MT_GRAPH);
    return true;
  }

 private:
  // Buttons of the taps in use are enabled, the others greyed; a current tap at or beyond
  // the count becomes the last tap in use.
  static void KeepCurrentTapInUse(PageLogic& page) {
    PageDialog& d = page.Dialog();
    const std::int32_t count = page.Read(kMtTapCount);
    for (int i = 0; i < kTapButtons; ++i) d.Enable(MW_MT_TAP_RADIO_FIRST + i, i < count);
    if (count >= 1 && page.Read(kMtCurrentTap) >= count) {
      d.CheckRadio(MW_MT_TAP_RADIO_FIRST, MW_MT_TAP_RADIO_LAST,
                   MW_MT_TAP_RADIO_FIRST + count - 1);
      page.Params().Put(kMtCurrentTap, count - 1);
    }
  }
};

const MultiTapHooks kHooks;

}  // namespace

const pages::PageTable kMultiTapPage = {
    &kMultiTap, MW_IDD_MULTI_TAP, MW_IDS_MULTI_TAP_TITLE, "Multi-Tap Delay", kRows,
    sizeof kRows / sizeof kRows[0], kHelp, 15, &kHooks,
};

}  // namespace mw
