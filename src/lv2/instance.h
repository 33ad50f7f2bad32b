// One running plug-in: an effect of the core with its streaming frame at 32-bit float,
// driven by a host's blocks. Everything is made at instantiate and activate; run() reads
// the control ports, applies the values that changed through the parameter store's
// clamping, and streams the block through the same frame the other hosts use, without
// allocating or taking a lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/effects/copying_effect.h"
#include "core/effects/inplace_effect.h"
#include "lv2/plugin_table.h"

namespace mw::lv2 {

class Instance {
 public:
  // The rates an instance accepts; others are refused at instantiate.
  static constexpr double kMinRate = 1000.0;
  static constexpr double kMaxRate = 768000.0;
  // Frames the frame processes at a time: host blocks are cut into pieces of this size.
  static constexpr std::uint32_t kChunkFrames = 1024;

  // Null when the rate or the channel count is refused or memory is short.
  static std::unique_ptr<Instance> Create(const PluginInfo& plugin, std::uint32_t channels,
                                          double rate);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void Connect(std::uint32_t port, void* data);
  void Activate();
  void Deactivate();
  void Run(std::uint32_t frames);

  // The constant delay of the output, in frames (0 for the in-place effects).
  std::uint32_t Latency() const { return latency_; }

 private:
  Instance(const PluginInfo& plugin, std::uint32_t channels, std::uint32_t rate);
  bool Connected() const;
  void Silence(std::uint32_t frames);
  void ApplyControls();
  double SnapReal(const ControlPort& port, float value) const;
  void Restart();
  double CurrentRatio() const;
  class Buffer;
  // One piece of the host's channels, interleaved as the frames read it.
  Buffer Interleave(std::uint32_t offset, std::uint32_t frames);
  void RunInPlace(std::uint32_t offset, std::uint32_t frames);
  void RunCopying(std::uint32_t offset, std::uint32_t frames);
  // Appends the copying frame's output to the queue.
  void Push(const float* frames, std::size_t count);

  class FifoDownstream;

  const PluginInfo& plugin_;
  const std::uint32_t channels_;
  const std::uint32_t rate_;
  std::uint32_t latency_ = 0;
  std::unique_ptr<InPlaceEffect> inPlace_;
  std::unique_ptr<CopyingEffect> copying_;
  ParamStore* params_ = nullptr;

  const float* in_[2] = {};
  float* out_[2] = {};
  float* latencyPort_ = nullptr;
  std::vector<const float*> controls_;
  std::vector<float> seen_;    // the value each control port had when last applied
  std::vector<bool> changed_;  // per control, within one ApplyControls

  std::vector<float> interleaved_;  // kChunkFrames frames, the frame's input
  std::vector<float> produced_;     // the copying frame's output buffer
  std::vector<float> fifo_;         // the copying effect's output, delayed by the latency
  std::size_t fifoRead_ = 0, fifoCount_ = 0;
  // Frames given out as silence because the queue ran dry; as many arriving frames are
  // dropped, so that the delay stays what was reported.
  std::size_t debt_ = 0;
  std::unique_ptr<FifoDownstream> downstream_;

  bool active_ = false;
  bool restart_ = false;     // the next run starts the stream anew
  bool firstBlock_ = false;  // the next chunk is the stream's first
};

}  // namespace mw::lv2
