/* Parameter blocks of the mwppack1 effects, as they cross the parameter interfaces and as
 * they are persisted: fixed sequences of little-endian fields (32-bit integers, and 64-bit
 * floating-point values at 8-byte offsets). */
#ifndef MWPPACK1_PARAMS_H
#define MWPPACK1_PARAMS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Simple Delay. Levels in tenths of a decibel (-800 and below: silence). */
typedef struct SimpleDelayParams {
  int32_t Feedback;  /* 0 off, any other value on */
  int32_t DelayTime; /* milliseconds, 1..5000 */
  int32_t DecayTime; /* tenths of a second, 1..200 */
  int32_t DelayOut;  /* -800..0 */
  int32_t DryOut;    /* not clamped */
} SimpleDelayParams;

/* Multi-Tap Delay. Up to eight taps of one shared delay buffer, swept by one oscillator.
 * Levels in tenths of a decibel (-800: silence). */
typedef struct MultiTapParams {
  int32_t TapDelay[8];     /* milliseconds, 1..2500 */
  int32_t TapGain[8];      /* percent, -100..100 */
  int32_t TapPan[8];       /* -100 (left)..100 (right) */
  int32_t TapCount;        /* taps in use (the first ones), 1..8 */
  int32_t WetOut;          /* -800..0 */
  int32_t DryOut;          /* -800..0 */
  int32_t Feedback;        /* percent, 0..150 */
  int32_t InputGain;       /* -800..0 */
  int32_t LowPassOn;       /* 0 off, any other value on */
  int32_t LowPassStart;    /* Hz, 100..10000 */
  int32_t ModDepth;        /* percent, 0..100 */
  int32_t ModRate;         /* tenths of a hertz, 1..100 */
  int32_t CurrentTap;      /* page state: tap being edited, 0..7 */
  int32_t GraphResolution; /* page state: span of the tap graph, 0..3 */
} MultiTapParams;

/* Chorus. Levels in tenths of a decibel (-600 and below: silence); flags count when
 * non-zero and are not clamped. */
typedef struct ChorusParams {
  int32_t InputGain;           /* -600..0 */
  int32_t DryOut;              /* -600..0 */
  int32_t ChorusOut;           /* -600..0 */
  int32_t ChorusSize;          /* voices, 1..3 */
  int32_t Feedback;            /* percent, 0..100 */
  int32_t InvertChorusPhase;   /* flag */
  int32_t ChorusOutDelay;      /* tenths of a millisecond, 1..1000 */
  int32_t ModulationRate;      /* thousandths of a hertz, 1..20000 */
  int32_t ModulationDepth;     /* percent of the delay, 1..100 */
  int32_t AttenuateHighs;      /* flag */
  int32_t HighCutoff;          /* hertz, 100..10000 */
  int32_t InvertFeedbackPhase; /* flag */
} ChorusParams;

/* Reverb. Levels in tenths of a decibel (-800: silence); the two table indices are stored
 * as given (the engine reads them clamped into its tables). */
typedef struct ReverbParams {
  int32_t DryOut;         /* -800..0 */
  int32_t ReverbOut;      /* -800..0 */
  int32_t EarlyOut;       /* -800..0 */
  int32_t ReverbMode;     /* row of the mode table, 0..18, not clamped */
  int32_t EarlyStyle;     /* row of the early-reflection table, 0..9, not clamped */
  int32_t DecayTime;      /* tenths of a second, 5..50 */
  int32_t PreDelay;       /* milliseconds, 0..200 */
  int32_t AttenuateBass;  /* flag, 0..1 */
  int32_t BassCutoff;     /* hertz, 10..5000 */
  int32_t AttenuateHighs; /* flag, 0..1 */
  int32_t HighCutoff;     /* hertz, 100..15000 */
} ReverbParams;

/* Time Stretch. The engine uses FinalLength and Mode; the other fields remember how the
 * settings page lets the user state the input. */
typedef struct TimeStretchParams {
  double FinalLength;   /* output length in hundredths of a percent, 5000.0..50000.0 */
  uint32_t Mode;        /* splice mode, 0..18 */
  uint32_t InitialTempo; /* hundredths of a beat per minute, up to 50000 */
  double InitialTime;   /* input length in samples, 0..793800000.0 */
  uint32_t InputFormat; /* 0 percentage, 1 tempo, 2 time */
  uint32_t Reserved;    /* alignment, 0 */
} TimeStretchParams;

/* Pitch Shift. The engine uses Ratio; Semitones and Cents are what the page shows. */
typedef struct PitchShiftParams {
  int32_t Semitones;         /* -50..50 */
  int32_t Cents;             /* tenths of a cent, -1000..1000 */
  uint32_t Accuracy;         /* 1 low, 2, 3 high */
  uint32_t PreserveDuration; /* flag */
  uint32_t Mode;             /* splice mode with PreserveDuration, 0..18 */
  uint32_t Reserved1;        /* alignment, 0 */
  double Ratio;              /* output frequency / input frequency, positive */
  uint32_t AntiAlias;        /* flag */
  uint32_t Reserved2;        /* alignment, 0 */
  double InitialTime;        /* samples, 0..225306900.0; used by the page only */
} PitchShiftParams;

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(TimeStretchParams) == 32, "TimeStretchParams is 32 bytes");
static_assert(offsetof(TimeStretchParams, FinalLength) == 0, "FinalLength offset");
static_assert(offsetof(TimeStretchParams, Mode) == 8, "Mode offset");
static_assert(offsetof(TimeStretchParams, InitialTempo) == 12, "InitialTempo offset");
static_assert(offsetof(TimeStretchParams, InitialTime) == 16, "InitialTime offset");
static_assert(offsetof(TimeStretchParams, InputFormat) == 24, "InputFormat offset");

static_assert(sizeof(PitchShiftParams) == 48, "PitchShiftParams is 48 bytes");
static_assert(offsetof(PitchShiftParams, Semitones) == 0, "Semitones offset");
static_assert(offsetof(PitchShiftParams, Cents) == 4, "Cents offset");
static_assert(offsetof(PitchShiftParams, Accuracy) == 8, "Accuracy offset");
static_assert(offsetof(PitchShiftParams, PreserveDuration) == 12, "PreserveDuration offset");
static_assert(offsetof(PitchShiftParams, Mode) == 16, "Mode offset");
static_assert(offsetof(PitchShiftParams, Ratio) == 24, "Ratio offset");
static_assert(offsetof(PitchShiftParams, AntiAlias) == 32, "AntiAlias offset");
static_assert(offsetof(PitchShiftParams, InitialTime) == 40, "InitialTime offset");

static_assert(sizeof(SimpleDelayParams) == 20, "SimpleDelayParams is 20 bytes");
static_assert(offsetof(SimpleDelayParams, Feedback) == 0, "Feedback offset");
static_assert(offsetof(SimpleDelayParams, DelayTime) == 4, "DelayTime offset");
static_assert(offsetof(SimpleDelayParams, DecayTime) == 8, "DecayTime offset");
static_assert(offsetof(SimpleDelayParams, DelayOut) == 12, "DelayOut offset");
static_assert(offsetof(SimpleDelayParams, DryOut) == 16, "DryOut offset");

static_assert(sizeof(MultiTapParams) == 140, "MultiTapParams is 140 bytes");
static_assert(offsetof(MultiTapParams, TapDelay) == 0, "TapDelay offset");
static_assert(offsetof(MultiTapParams, TapGain) == 32, "TapGain offset");
static_assert(offsetof(MultiTapParams, TapPan) == 64, "TapPan offset");
static_assert(offsetof(MultiTapParams, TapCount) == 96, "TapCount offset");
static_assert(offsetof(MultiTapParams, WetOut) == 100, "WetOut offset");
static_assert(offsetof(MultiTapParams, DryOut) == 104, "DryOut offset");
static_assert(offsetof(MultiTapParams, Feedback) == 108, "Feedback offset");
static_assert(offsetof(MultiTapParams, InputGain) == 112, "InputGain offset");
static_assert(offsetof(MultiTapParams, LowPassOn) == 116, "LowPassOn offset");
static_assert(offsetof(MultiTapParams, LowPassStart) == 120, "LowPassStart offset");
static_assert(offsetof(MultiTapParams, ModDepth) == 124, "ModDepth offset");
static_assert(offsetof(MultiTapParams, ModRate) == 128, "ModRate offset");
static_assert(offsetof(MultiTapParams, CurrentTap) == 132, "CurrentTap offset");
static_assert(offsetof(MultiTapParams, GraphResolution) == 136, "GraphResolution offset");

static_assert(sizeof(ChorusParams) == 48, "ChorusParams is 48 bytes");
static_assert(offsetof(ChorusParams, InputGain) == 0, "InputGain offset");
static_assert(offsetof(ChorusParams, DryOut) == 4, "DryOut offset");
static_assert(offsetof(ChorusParams, ChorusOut) == 8, "ChorusOut offset");
static_assert(offsetof(ChorusParams, ChorusSize) == 12, "ChorusSize offset");
static_assert(offsetof(ChorusParams, Feedback) == 16, "Feedback offset");
static_assert(offsetof(ChorusParams, InvertChorusPhase) == 20, "InvertChorusPhase offset");
static_assert(offsetof(ChorusParams, ChorusOutDelay) == 24, "ChorusOutDelay offset");
static_assert(offsetof(ChorusParams, ModulationRate) == 28, "ModulationRate offset");
static_assert(offsetof(ChorusParams, ModulationDepth) == 32, "ModulationDepth offset");
static_assert(offsetof(ChorusParams, AttenuateHighs) == 36, "AttenuateHighs offset");
static_assert(offsetof(ChorusParams, HighCutoff) == 40, "HighCutoff offset");
static_assert(offsetof(ChorusParams, InvertFeedbackPhase) == 44, "InvertFeedbackPhase offset");

static_assert(sizeof(ReverbParams) == 44, "ReverbParams is 44 bytes");
static_assert(offsetof(ReverbParams, DryOut) == 0, "DryOut offset");
static_assert(offsetof(ReverbParams, ReverbOut) == 4, "ReverbOut offset");
static_assert(offsetof(ReverbParams, EarlyOut) == 8, "EarlyOut offset");
static_assert(offsetof(ReverbParams, ReverbMode) == 12, "ReverbMode offset");
static_assert(offsetof(ReverbParams, EarlyStyle) == 16, "EarlyStyle offset");
static_assert(offsetof(ReverbParams, DecayTime) == 20, "DecayTime offset");
static_assert(offsetof(ReverbParams, PreDelay) == 24, "PreDelay offset");
static_assert(offsetof(ReverbParams, AttenuateBass) == 28, "AttenuateBass offset");
static_assert(offsetof(ReverbParams, BassCutoff) == 32, "BassCutoff offset");
static_assert(offsetof(ReverbParams, AttenuateHighs) == 36, "AttenuateHighs offset");
static_assert(offsetof(ReverbParams, HighCutoff) == 40, "HighCutoff offset");
#endif

#endif /* MWPPACK1_PARAMS_H */
