// The buffer-mode state machine of the in-place engines, and the rules in which the effects
// differ.
//
// Every per-format loop starts the same way: take the parameter block; on a discontinuity in
// mid-stream reset; otherwise apply a change (or a missing set-up) when the buffer may,
// and leave it waiting when it may not (a tail buffer, a limited direct call); run the
// direct-processing count-down of the 32-bit float loop. EffectEngine::BeginLoop does this
// once for all of them (buffer_modes.cpp). What differs between the effects is stated by a
// BufferPolicy: how the tail meets a change, and what a reset keeps.
#pragma once

#include <cstdint>

#include "core/frame/hresult.h"

namespace mw {

// How a tail buffer (mode 2) meets a parameter change or a set-up that is missing.
enum class TailRule : std::uint8_t {
  // No tail: tail buffers and limited direct calls are finished at once, untouched, with no
  // frames (Chorus).
  kNone,
  // The change ends the tail at that buffer, which is returned untouched and whole; the change
  // waits for the next ordinary buffer (Simple Delay).
  kEndsOnChange,
  // The tail runs on with the settings it has; the change waits for the next ordinary buffer.
  // Only a tail without sample memory ends at once, with no frames (Reverb, Multi-Tap Delay).
  kRunsOnOldSettings,
};

// What a reset (a discontinuity in mid-stream, the start of streaming, a direct update that
// asks for one) does to the sound the effect holds.
enum class ResetRule : std::uint8_t {
  kDropsHistory,  // the set-up starts from silence
  kKeepsHistory,  // the parameters are re-applied and the buffer keeps its contents
};

struct BufferPolicy {
  TailRule tail;
  ResetRule reset;
};

// What a loop does after the shared prologue.
struct LoopStart {
  bool run;             // false: the loop returns `result` at once
  HResult result;       // S_OK, kTailFinished or an error
  std::uint32_t count;  // the frames to run, after the count-down
};

// One tail buffer's share of a remaining tail count: at most `frames`, taken off `remaining`;
// `finished` is set when the count reaches zero (also when it was zero already).
template <class Count>
inline std::uint32_t TakeTail(std::uint32_t frames, Count& remaining, bool* finished) {
  if (static_cast<Count>(frames) > remaining) frames = static_cast<std::uint32_t>(remaining);
  remaining -= frames;
  if (remaining == 0) *finished = true;
  return frames;
}

}  // namespace mw
