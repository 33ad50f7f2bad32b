// The two formats of a filter whose output differs in length from its input: which pairs
// of proposed types it can transform, the form in which it proposes its output format,
// and which changes of the input's format its engine can follow while streaming.
#pragma once

#include <cstdint>

#include "core/frame/effect_format.h"
#include "core/frame/hresult.h"

namespace mw {

// S_OK when both types are audio without temporal compression, both format blocks hold
// at least 16 bytes, and they agree on format tag, bits per sample, sample rate and
// channel count (1 or 2); E_INVALIDARG otherwise.
HResult CheckFormatPair(const ProposedMediaType& in, const ProposedMediaType& out);

// Rewrites a format block (at least 16 bytes) in the form the filter proposes: block
// alignment and byte rate recomputed from bits, channels and rate; cbSize 0 in a block
// that holds it (18 bytes or more), except that an extensible block keeps its 22-byte
// extension.
void NormaliseFormatBlock(std::uint8_t* block, std::uint32_t bytes);

// The channel count of a format block of at least 16 bytes.
std::uint16_t ChannelsOf(const std::uint8_t* block);

// Whether streaming can go on when the input's format changes from `current` to `next`:
// the engines keep the readers, writers and buffers chosen for a sample format and a
// channel count at the start of streaming, so only the sample rate may change.
bool FollowsWhileStreaming(const EffectFormat& current, const EffectFormat& next);

}  // namespace mw
