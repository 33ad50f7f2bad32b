/* Parameter blocks of the mwppack1 effects, as they cross the parameter interfaces and as
 * they are persisted: fixed sequences of 32-bit little-endian fields. */
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

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(SimpleDelayParams) == 20, "SimpleDelayParams is 20 bytes");
static_assert(offsetof(SimpleDelayParams, Feedback) == 0, "Feedback offset");
static_assert(offsetof(SimpleDelayParams, DelayTime) == 4, "DelayTime offset");
static_assert(offsetof(SimpleDelayParams, DecayTime) == 8, "DecayTime offset");
static_assert(offsetof(SimpleDelayParams, DelayOut) == 12, "DelayOut offset");
static_assert(offsetof(SimpleDelayParams, DryOut) == 16, "DryOut offset");
#endif

#endif /* MWPPACK1_PARAMS_H */
