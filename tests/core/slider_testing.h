// What the slider tests share: every control range the settings pages set, with the scale
// each control uses (the test matrix), and small helpers for driving the model.
#pragma once

#include <cstdint>

#include "core/ui/slider_model.h"
#include "core/ui/slider_scale.h"

namespace mwtest {

struct PageRange {
  const char* control;
  std::int32_t minimum, maximum;
  mw::TaperKind taper;
  bool fader;
};

constexpr mw::TaperKind kLin = mw::TaperKind::kLinear;
constexpr mw::TaperKind kLog = mw::TaperKind::kLog;
constexpr mw::TaperKind kLevel = mw::TaperKind::kFader;

constexpr PageRange kPageRanges[] = {
    // Simple Delay
    {"delay levels", -800, 0, kLevel, true},
    {"delay time", 1, 5000, kLin, false},
    {"decay time", 1, 200, kLin, false},
    // Chorus
    {"chorus levels", -600, 0, kLevel, true},
    {"chorus size", 1, 3, kLin, false},
    {"chorus feedback", 0, 100, kLin, false},
    {"chorus delay", 1, 1000, kLin, false},
    {"chorus rate", 1, 11000, kLin, false},
    {"chorus depth", 1, 100, kLin, false},
    {"chorus high corner", 100, 10000, kLog, false},
    // Reverb
    {"reverb decay", 5, 50, kLin, false},
    {"reverb pre-delay", 0, 200, kLin, false},
    {"reverb bass corner", 10, 5000, kLog, false},
    {"reverb high corner", 100, 15000, kLog, false},
    // Multi-Tap Delay
    {"tap gain", -100, 100, kLevel, true},
    {"mod rate", 1, 100, kLin, false},
    {"feedback", 0, 150, kLin, false},
    {"low-pass corner", 100, 10000, kLog, false},
    {"tap count", 1, 8, kLin, false},
    {"tap delay", 1, 2500, kLin, false},
    {"tap pan", -100, 100, kLin, false},
    // Pitch Shift
    {"cents", -1000, 1000, kLin, false},
    {"semitones", -50, 50, kLin, false},
    {"semitones kept duration", -12, 12, kLin, false},
    {"accuracy", 1, 3, kLin, false},
    // Time Stretch
    {"final length", -5000, 40000, kLin, false},
};

using mw::Modifiers;
using mw::NoteKind;
using mw::Point;
using mw::SliderActions;
using mw::SliderKind;
using mw::SliderModel;
using mw::SliderNote;

const Modifiers kNone{};
const Modifiers kCtrl{true, false, false};
const Modifiers kShiftCtrl{true, true, false};
const Modifiers kRight{false, false, true};

inline Point Centre(const mw::Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

}  // namespace mwtest
