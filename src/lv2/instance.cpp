#include "lv2/instance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/effects/pitch/pitch_shift.h"

namespace mw::lv2 {

// A view of the instance's own memory as the frames' media buffer.
class Instance::Buffer final : public MediaBuffer {
 public:
  Buffer(float* data, std::uint32_t capacityBytes) : data_(data), size_(capacityBytes) {}
  std::uint8_t* Data() override { return reinterpret_cast<std::uint8_t*>(data_); }
  std::int32_t Size() override { return static_cast<std::int32_t>(size_); }
  std::int32_t ActualLength() override { return length_; }
  void SetActualLength(std::int32_t bytes) override { length_ = bytes; }
  bool IsDiscontinuity() override { return discontinuity_; }
  void SetDiscontinuity(bool on) override { discontinuity_ = on; }

 private:
  float* data_;
  std::uint32_t size_;
  std::int32_t length_ = 0;
  bool discontinuity_ = false;
};

// The copying frame's downstream: every delivered buffer is appended to the instance's
// queue of output frames.
class Instance::FifoDownstream final : public Downstream {
 public:
  explicit FifoDownstream(Instance& owner)
      : owner_(owner),
        buffer_(owner.produced_.data(),
                static_cast<std::uint32_t>(owner.produced_.size() * sizeof(float))) {}

  HResult GetDeliveryBuffer(MediaBuffer** buffer) override {
    buffer_.SetActualLength(0);
    buffer_.SetDiscontinuity(false);
    *buffer = &buffer_;
    return S_OK;
  }
  HResult Deliver(MediaBuffer* buffer) override {
    const std::size_t samples = static_cast<std::size_t>(buffer->ActualLength()) / sizeof(float);
    owner_.Push(owner_.produced_.data(), samples / owner_.channels_);
    return S_OK;
  }
  void ReleaseBuffer(MediaBuffer*) override {}
  HResult DeliverEndOfStream() override { return S_OK; }

 private:
  Instance& owner_;
  Buffer buffer_;
};

namespace {

// The largest lag of the duration-keeping Pitch Shift behind its input, in frames: the
// splice engine holds a window of its longest frame, and the resampler feeds it `ratio`
// input frames per frame it makes.
std::uint32_t PitchLatency(std::uint32_t rate, double ratio) {
  std::uint32_t longest = 0;
  for (const SpliceMode& m : kSpliceModes) longest = std::max(longest, m.frameMs);
  const double r = std::max(1.0, ratio);
  const double frames = std::ceil(static_cast<double>(rate) * longest * 0.001 * r) + 64.0;
  return static_cast<std::uint32_t>(frames);
}

}  // namespace

std::unique_ptr<Instance> Instance::Create(const PluginInfo& plugin, std::uint32_t channels,
                                           double rate) {
  if (channels < 1 || channels > 2) return nullptr;
  if (!(rate >= kMinRate && rate <= kMaxRate)) return nullptr;
  const std::uint32_t hz = static_cast<std::uint32_t>(rate);
  if (hz != rate) return nullptr;  // the engines count whole frames per second
  try {
    std::unique_ptr<Instance> self(new Instance(plugin, channels, hz));
    return self;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Instance::Instance(const PluginInfo& plugin, std::uint32_t channels, std::uint32_t rate)
    : plugin_(plugin), channels_(channels), rate_(rate) {
  std::uint8_t format[EffectFormat::kBytes];
  EffectFormat::Float32(static_cast<std::uint16_t>(channels), rate).ToBytes(format);
  const EffectDescription& effect = *plugin.effect;
  if (effect.kind == EffectKind::kCopying) {
    copying_ = std::make_unique<CopyingEffect>(effect);
    copying_->Engine().SetRealTimeSizing(true);
    params_ = &copying_->Params();
    copying_->Connect(format, sizeof format);
    // The frame's output buffer, filled and delivered as often as a chunk needs; the queue
    // holds twice the latency at the highest ratio and a few chunks.
    produced_.assign(std::size_t{kChunkFrames} * 4 * channels, 0.0f);
    double highest = 1.0;
    for (const ControlPort& port : plugin.controls) {
      if (port.symbol == "Ratio") highest = port.maximum;
    }
    fifo_.assign((std::size_t{PitchLatency(rate, highest)} * 2 + kChunkFrames * 8) * channels,
                 0.0f);
    downstream_ = std::make_unique<FifoDownstream>(*this);
  } else {
    inPlace_ = std::make_unique<InPlaceEffect>(effect);
    inPlace_->Engine().SetRealTimeSizing(true);
    params_ = &inPlace_->Params();
    inPlace_->Connect(format, sizeof format);
  }
  params_->SetSingleThreaded(true);
  if (plugin.fixedField >= 0) {
    params_->Put(static_cast<std::size_t>(plugin.fixedField), plugin.fixedValue);
  }
  interleaved_.assign(std::size_t{kChunkFrames} * channels, 0.0f);
  controls_.assign(plugin.controls.size(), nullptr);
  changed_.assign(plugin.controls.size(), false);
  for (const ControlPort& port : plugin.controls) {
    seen_.push_back(static_cast<float>(port.defaultValue));
  }
}

Instance::~Instance() = default;

void Instance::Connect(std::uint32_t port, void* data) {
  const std::uint32_t first = FirstControlPort(plugin_, channels_);
  if (port < channels_) {
    in_[port] = static_cast<const float*>(data);
  } else if (port < 2 * channels_) {
    out_[port - channels_] = static_cast<float*>(data);
  } else if (port < first) {
    latencyPort_ = static_cast<float*>(data);
  } else if (port - first < controls_.size()) {
    controls_[port - first] = static_cast<const float*>(data);
  }
}

void Instance::Activate() {
  if (inPlace_ != nullptr) {
    inPlace_->Frame().StartStreaming();
  } else {
    copying_->Frame().StartStreaming();
  }
  active_ = true;
  restart_ = true;
  if (copying_ != nullptr) latency_ = PitchLatency(rate_, CurrentRatio());
}

double Instance::CurrentRatio() const {
  double ratio = 1.0;
  params_->GetDouble(static_cast<std::size_t>(plugin_.effect->params.Find("Ratio")), &ratio);
  return ratio;
}

void Instance::Deactivate() {
  if (inPlace_ != nullptr) {
    inPlace_->Frame().StopStreaming();
  } else {
    copying_->Frame().StopStreaming();
  }
  active_ = false;
}

bool Instance::Connected() const {
  for (std::uint32_t c = 0; c < channels_; ++c) {
    if (in_[c] == nullptr || out_[c] == nullptr) return false;
  }
  return true;
}

void Instance::Silence(std::uint32_t frames) {
  for (std::uint32_t c = 0; c < channels_; ++c) {
    if (out_[c] != nullptr) std::memset(out_[c], 0, sizeof(float) * frames);
  }
}

double Instance::SnapReal(const ControlPort& port, float value) const {
  // A port carries single precision: a value that is a preset's value rounded to it stands
  // for that preset's exact value.
  const EffectDescription& effect = *plugin_.effect;
  for (std::int32_t row = 0; row < effect.presets.Count(); ++row) {
    double exact = 0.0;
    std::memcpy(&exact,
                static_cast<const std::uint8_t*>(effect.presets.Block(row)) +
                    effect.params.fields[port.field].offset,
                sizeof exact);
    if (static_cast<float>(exact) == value) return exact;
  }
  return value;
}

void Instance::ApplyControls() {
  bool any = false;
  for (std::size_t k = 0; k < controls_.size(); ++k) {
    changed_[k] = false;
    if (controls_[k] == nullptr) continue;  // an unconnected port keeps its value
    const float v = *controls_[k];
    if (v == seen_[k] || std::isnan(v)) continue;
    seen_[k] = v;
    changed_[k] = any = true;
    const ControlPort& port = plugin_.controls[k];
    // Values outside the port's range are brought into it, then the field's own clamping
    // applies.
    if (port.kind == PortKind::kReal) {
      const double d = SnapReal(port, v);
      params_->PutDouble(port.field, std::min(std::max(d, port.minimum), port.maximum));
      continue;
    }
    double d = port.kind == PortKind::kToggle ? (v > 0.0f ? 1.0 : 0.0) : std::nearbyint(v);
    d = std::min(std::max(d, port.minimum), port.maximum);
    params_->Put(port.field, static_cast<std::int32_t>(d));
  }
  if (!any || copying_ == nullptr) return;
  // Semitones or Cents alone: the Ratio they make, as the settings page writes it.
  const ParamTable& table = plugin_.effect->params;
  bool interval = false, ratio = false;
  for (std::size_t k = 0; k < controls_.size(); ++k) {
    if (!changed_[k]) continue;
    const std::string& s = plugin_.controls[k].symbol;
    if (s == "Ratio") ratio = true;
    if (s == "Semitones" || s == "Cents") interval = true;
  }
  if (!interval || ratio) return;
  std::int32_t semitones = 0, cents = 0;
  params_->Get(static_cast<std::size_t>(table.Find("Semitones")), &semitones);
  params_->Get(static_cast<std::size_t>(table.Find("Cents")), &cents);
  params_->PutDouble(static_cast<std::size_t>(table.Find("Ratio")),
                     PitchRatioToStore(semitones, cents));
}

void Instance::Restart() {
  restart_ = false;
  if (inPlace_ != nullptr) {
    inPlace_->Frame().StartStreaming();
    return;
  }
  copying_->Frame().StartStreaming();
  latency_ = PitchLatency(rate_, CurrentRatio());
  fifoRead_ = 0;
  fifoCount_ = 0;
  debt_ = 0;
  std::fill(fifo_.begin(), fifo_.end(), 0.0f);
  fifoCount_ = std::min<std::size_t>(latency_, fifo_.size() / channels_);
}

void Instance::Push(const float* frames, std::size_t count) {
  const std::size_t capacity = fifo_.size() / channels_;
  for (std::size_t i = 0; i < count; ++i) {
    if (debt_ > 0) {
      --debt_;  // stands for a frame already given out as silence
      continue;
    }
    if (fifoCount_ == capacity) return;
    const std::size_t slot = (fifoRead_ + fifoCount_) % capacity;
    std::memcpy(&fifo_[slot * channels_], frames + i * channels_, sizeof(float) * channels_);
    ++fifoCount_;
  }
}

Instance::Buffer Instance::Interleave(std::uint32_t offset, std::uint32_t frames) {
  float* data = interleaved_.data();
  for (std::uint32_t c = 0; c < channels_; ++c) {
    const float* in = in_[c] + offset;
    for (std::uint32_t i = 0; i < frames; ++i) data[i * channels_ + c] = in[i];
  }
  Buffer buffer(data, static_cast<std::uint32_t>(interleaved_.size() * sizeof(float)));
  buffer.SetActualLength(static_cast<std::int32_t>(frames * channels_ * sizeof(float)));
  buffer.SetDiscontinuity(firstBlock_);
  return buffer;
}

void Instance::RunInPlace(std::uint32_t offset, std::uint32_t frames) {
  Buffer buffer = Interleave(offset, frames);
  float* data = interleaved_.data();
  if (Failed(inPlace_->Frame().Transform(buffer))) {
    std::memset(data, 0, sizeof(float) * frames * channels_);
  }
  for (std::uint32_t c = 0; c < channels_; ++c) {
    float* out = out_[c] + offset;
    for (std::uint32_t i = 0; i < frames; ++i) out[i] = data[i * channels_ + c];
  }
}

void Instance::RunCopying(std::uint32_t offset, std::uint32_t frames) {
  Buffer buffer = Interleave(offset, frames);
  copying_->Frame().Receive(buffer, *downstream_);

  const std::size_t capacity = fifo_.size() / channels_;
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (fifoCount_ == 0) {
      // The engine lags more than it was expected to (settings changed while streaming):
      // silence now, and the frame that stands for it is dropped when it comes.
      for (std::uint32_t c = 0; c < channels_; ++c) out_[c][offset + i] = 0.0f;
      ++debt_;
      continue;
    }
    for (std::uint32_t c = 0; c < channels_; ++c) {
      out_[c][offset + i] = fifo_[fifoRead_ * channels_ + c];
    }
    fifoRead_ = (fifoRead_ + 1) % capacity;
    --fifoCount_;
  }
}

void Instance::Run(std::uint32_t frames) {
  if (latencyPort_ != nullptr) *latencyPort_ = static_cast<float>(latency_);
  if (!Connected()) {
    Silence(frames);
    return;
  }
  if (!active_) {
    Silence(frames);
    return;
  }
  ApplyControls();
  if (restart_) {
    Restart();
    firstBlock_ = true;
    if (latencyPort_ != nullptr) *latencyPort_ = static_cast<float>(latency_);
  }
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t n = std::min(frames - done, kChunkFrames);
    if (inPlace_ != nullptr) {
      RunInPlace(done, n);
    } else {
      RunCopying(done, n);
    }
    firstBlock_ = false;
    done += n;
  }
}

}  // namespace mw::lv2
