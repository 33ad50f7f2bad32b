#include "core/effects/copying_effect.h"

namespace mw {

HResult CopyingEffect::RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                                      const StreamSource& source,
                                      const SinkDownstream::Sink& sink) {
  return RunCopyingStream(frame_, inFrames, outFrames, source, sink);
}

}  // namespace mw
