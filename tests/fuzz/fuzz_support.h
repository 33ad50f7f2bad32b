// What the fuzz targets share: picking an effect from the input, checking invariants (a
// broken one stops the run so that libFuzzer keeps the input), the state of a parameter
// store, and scripted peers of the streaming frames (a byte stream that can fail or run
// short, media buffers that can lie, a downstream with chosen buffer sizes and failures).
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/effects/catalog.h"
#include "core/frame/inplace_frame.h"
#include "core/frame/param_store.h"
#include "core/frame/persistence.h"

namespace mwfuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "invariant broken at %s:%d: %s\n", file, line, what);
  std::abort();
}

#define MW_REQUIRE(cond)                                          \
  do {                                                            \
    if (!(cond)) ::mwfuzz::Fail(#cond, __FILE__, __LINE__);       \
  } while (0)

// The same for a condition on a status, which the message shows.
#define MW_REQUIRE_STATUS(hr, cond)                                              \
  do {                                                                           \
    if (!(cond)) {                                                               \
      std::fprintf(stderr, "status 0x%08X\n", static_cast<unsigned>(hr));       \
      ::mwfuzz::Fail(#cond, __FILE__, __LINE__);                                 \
    }                                                                            \
  } while (0)

// With MWFUZZ_TRACE set in the environment, the stream targets say what they do: for
// replaying a finding by hand.
inline bool Tracing() {
  static const bool on = std::getenv("MWFUZZ_TRACE") != nullptr;
  return on;
}
#define MW_TRACE(...)                                    \
  do {                                                   \
    if (::mwfuzz::Tracing()) std::fprintf(stderr, __VA_ARGS__); \
  } while (0)

enum class Kinds { kAll, kInPlace, kCopying };

// One of the six effects (or of one kind), chosen by the input.
inline const mw::EffectDescription& PickEffect(FuzzedDataProvider& in, Kinds kinds) {
  std::size_t count = 0;
  const mw::EffectDescription* const* all = mw::Catalog(&count);
  std::vector<const mw::EffectDescription*> pool;
  for (std::size_t i = 0; i < count; ++i) {
    const bool inPlace = all[i]->kind == mw::EffectKind::kInPlace;
    if (kinds == Kinds::kAll || (kinds == Kinds::kInPlace) == inPlace) pool.push_back(all[i]);
  }
  return *pool[in.ConsumeIntegralInRange<std::size_t>(0, pool.size() - 1)];
}

// Exactly `n` bytes from the input, zero-padded when it runs out.
inline std::vector<std::uint8_t> TakeBytes(FuzzedDataProvider& in, std::size_t n) {
  std::vector<std::uint8_t> b = in.ConsumeBytes<std::uint8_t>(n);
  b.resize(n, 0);
  return b;
}

// Everything a refused write must leave as it was.
struct StoreState {
  std::uint8_t block[mw::ParamStore::kMaxBlockBytes] = {};
  bool dirty = false;
  bool changed = false;

  static StoreState Of(const mw::ParamStore& s) {
    StoreState st;
    s.GetParameters(st.block);
    st.dirty = s.Dirty();
    st.changed = s.ChangedPending();
    return st;
  }
  bool SameAs(const StoreState& o, std::uint32_t blockSize) const {
    return std::memcmp(block, o.block, blockSize) == 0 && dirty == o.dirty &&
           changed == o.changed;
  }
};

// Every ranged field of the stored block lies in its range, and every positive-only field
// holds a positive finite number.
inline void RequireInRange(const mw::ParamStore& store) {
  std::uint8_t block[mw::ParamStore::kMaxBlockBytes];
  store.GetParameters(block);
  const mw::ParamTable& t = store.Table();
  for (std::size_t i = 0; i < t.count; ++i) {
    const mw::FieldInfo& f = t.fields[i];
    const std::uint8_t* p = block + f.offset;
    if (f.type == mw::FieldType::Float64) {
      double v;
      std::memcpy(&v, p, sizeof v);
      if (f.positiveFinite) MW_REQUIRE(v > 0.0 && v <= 1.7976931348623157e308);
      if (f.ranged) MW_REQUIRE(v >= static_cast<double>(f.min) && v <= static_cast<double>(f.max));
      continue;
    }
    if (!f.ranged) continue;
    std::int64_t v;
    if (f.type == mw::FieldType::UInt32) {
      std::uint32_t u;
      std::memcpy(&u, p, sizeof u);
      v = u;
    } else {
      std::int32_t s;
      std::memcpy(&s, p, sizeof s);
      v = s;
    }
    MW_REQUIRE(v >= f.min && v <= f.max);
  }
}

// Counts the change notices; every window exists.
class CountingSink final : public mw::NotifySink {
 public:
  bool WindowExists(std::uintptr_t) override { return true; }
  void Post(std::uintptr_t, std::uint32_t wparam) override {
    ++posts;
    lastCode = wparam >> 16;
  }
  int posts = 0;
  std::uint32_t lastCode = 0;
};

// A byte stream over fuzz bytes whose reads can fail (at the chosen call, with the chosen
// status) or be cut short to the chosen chunk.
class ScriptedStream final : public mw::ByteStream {
 public:
  ScriptedStream(std::vector<std::uint8_t> bytes, int failAt, mw::HResult failure,
                 std::uint32_t chunk)
      : bytes_(std::move(bytes)), failAt_(failAt), failure_(failure), chunk_(chunk) {}

  mw::HResult Read(void* buffer, std::uint32_t bytes, std::uint32_t* done) override {
    *done = 0;
    if (++reads_ == failAt_) return failure_;
    std::size_t n = bytes_.size() - at_;
    if (n > bytes) n = bytes;
    if (chunk_ != 0 && n > chunk_) n = chunk_;
    if (n > 0) std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    *done = static_cast<std::uint32_t>(n);
    return mw::S_OK;
  }
  mw::HResult Write(const void*, std::uint32_t, std::uint32_t* done) override {
    *done = 0;
    return mw::E_FAIL;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
  int reads_ = 0;
  int failAt_;
  mw::HResult failure_;
  std::uint32_t chunk_;
};

// A media buffer with storage of exactly its size (so that AddressSanitizer sees any
// access past it), which may also lie: report more data than it holds, or no memory.
class FuzzBuffer final : public mw::MediaBuffer {
 public:
  explicit FuzzBuffer(std::size_t size) : bytes_(size), size_(static_cast<std::int32_t>(size)) {}
  std::uint8_t* Data() override { return nullMemory_ ? nullptr : bytes_.data(); }
  std::int32_t Size() override { return size_; }
  std::int32_t ActualLength() override { return actual_; }
  void SetActualLength(std::int32_t n) override {
    MW_REQUIRE(n >= 0 && n <= size_);
    actual_ = n;
  }
  bool IsDiscontinuity() override { return discontinuity_; }
  bool IsSyncPoint() override { return sync_; }
  void SetDiscontinuity(bool on) override { discontinuity_ = on; }
  void SetSyncPoint(bool on) override { sync_ = on; }
  void GetTimes(mw::SampleTimes* t) override { *t = times_; }
  void SetTimes(const mw::SampleTimes& t) override { times_ = t; }

  std::vector<std::uint8_t>& Bytes() { return bytes_; }
  // Flags and lengths as a sender chose them; `actual` may exceed the size (a lie).
  void Prepare(std::int32_t actual, bool discontinuity, bool sync, bool nullMemory) {
    actual_ = actual;
    discontinuity_ = discontinuity;
    sync_ = sync;
    nullMemory_ = nullMemory;
    times_.start = actual;
    times_.stop = std::int64_t{actual} + 1;
  }
  void Clear() {
    actual_ = 0;
    discontinuity_ = sync_ = nullMemory_ = false;
    times_ = mw::SampleTimes{};
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int32_t size_;
  std::int32_t actual_ = 0;
  bool discontinuity_ = false, sync_ = false, nullMemory_ = false;
  mw::SampleTimes times_;
};

// Downstream with buffers of a chosen size that refuses the chosen buffer request or
// delivery. It checks what the frames promise: one buffer lent at a time, delivered with
// whole frames within its size, and no endless run of empty deliveries.
class FuzzDownstream final : public mw::Downstream {
 public:
  FuzzDownstream(std::size_t bufferBytes, std::uint32_t frameBytes, int failGetAt,
                 int failDeliverAt)
      : buffer_(bufferBytes), frameBytes_(frameBytes), failGetAt_(failGetAt),
        failDeliverAt_(failDeliverAt) {}

  mw::HResult GetDeliveryBuffer(mw::MediaBuffer** out) override {
    MW_REQUIRE(!lent_);
    if (++gets_ == failGetAt_) return mw::E_UNEXPECTED;
    lent_ = true;
    buffer_.Clear();
    *out = &buffer_;
    return mw::S_OK;
  }
  // `b` is the lent buffer, or (in place) the sample that was received.
  mw::HResult Deliver(mw::MediaBuffer* b) override {
    MW_REQUIRE(b == &buffer_ ? lent_ : !lent_);
    const std::int32_t n = b->ActualLength();
    MW_REQUIRE(n >= 0 && n <= b->Size());
    MW_REQUIRE(frameBytes_ == 0 || n % frameBytes_ == 0);
    emptyRun_ = n == 0 ? emptyRun_ + 1 : 0;
    MW_REQUIRE(emptyRun_ < 1000);
    if (++deliveries_ == failDeliverAt_) return mw::E_FAIL;
    delivered += static_cast<std::uint64_t>(n);
    return mw::S_OK;
  }
  void ReleaseBuffer(mw::MediaBuffer* b) override {
    MW_REQUIRE(b == &buffer_ && lent_);
    lent_ = false;
  }
  mw::HResult DeliverEndOfStream() override {
    MW_REQUIRE(!lent_);
    ++endOfStreams;
    return mw::S_OK;
  }
  // A new stream on the same peer: delivery counts start again.
  void Restart(std::uint32_t frameBytes) {
    frameBytes_ = frameBytes;
    emptyRun_ = 0;
  }
  bool Lent() const { return lent_; }

  std::uint64_t delivered = 0;
  int endOfStreams = 0;

 private:
  FuzzBuffer buffer_;
  std::uint32_t frameBytes_;
  int failGetAt_, failDeliverAt_;
  int gets_ = 0, deliveries_ = 0, emptyRun_ = 0;
  bool lent_ = false;
};

// A 16-byte format block of one of the five encodings.
inline std::vector<std::uint8_t> FormatBlockFor(int encoding, std::uint16_t channels,
                                                std::uint32_t rate) {
  static const std::uint16_t kTag[5] = {1, 1, 1, 3, 3};
  static const std::uint16_t kBits[5] = {8, 16, 32, 32, 64};
  std::vector<std::uint8_t> b(16, 0);
  const std::uint16_t align = static_cast<std::uint16_t>(kBits[encoding] / 8 * channels);
  auto put16 = [&b](int at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&b](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put16(0, kTag[encoding]);
  put16(2, channels);
  put32(4, rate);
  put32(8, align * rate);
  put16(12, align);
  put16(14, kBits[encoding]);
  return b;
}

}  // namespace mwfuzz
