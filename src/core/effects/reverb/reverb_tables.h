// The Reverb's constant tables: the comb delays of each mode and the three taps of each
// early-reflection style, with the constants their lengths are derived with.
#pragma once

namespace mw {

constexpr int kReverbModeRows = 19;
constexpr int kReverbStyleRows = 10;
constexpr int kReverbModeLineSlots = 10;

// A mode: a line count and the comb delays in milliseconds (only the first `lines` are read).
struct ReverbModeRow {
  int lines;
  double ms[kReverbModeLineSlots];
};
extern const ReverbModeRow kReverbModes[kReverbModeRows];

// An early-reflection style: three taps with times (ms), whole-number gains (percent) and
// pans (-100 left .. 100 right).
struct ReverbStyleRow {
  double ms[3];
  int gain[3];
  int pan[3];
};
extern const ReverbStyleRow kReverbStyles[kReverbStyleRows];

// What each tap time is lengthened by before it becomes a count of samples.
constexpr double kReverbTapOffsetMs[3] = {0.051, 0.151, 0.078};

// The stereo extra lines: line 0's delay and line 1's, stretched.
constexpr double kReverbExtraLeftFactor = 0.93;
constexpr double kReverbExtraRightFactor = 1.06;

}  // namespace mw
