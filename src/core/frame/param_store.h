// The parameter block of an effect, its flags and change notices.
//
// Every effect publishes a fixed block of 32-bit integer and 64-bit floating-point fields.
// One table per effect describes them (name, offset, type, range, whether a change forces a
// full re-initialisation);
// the table drives clamping, the single-field accessors and the command line. The block,
// its `changed`, `dirty` and re-initialise flags and the two notification slots are
// guarded by one re-entrant lock, shared by the interface threads and the streaming thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/frame/hresult.h"

namespace mw {

enum class FieldType { Int32, UInt32, Float64 };

struct FieldInfo {
  const char* name;      // the X of get_X / put_X
  std::uint32_t offset;  // byte offset in the block
  FieldType type;
  bool ranged;           // false: stored as given
  std::int64_t min;
  std::int64_t max;
  bool reinit;           // a change forces the engine's full re-initialisation
  // Float64 only: a value that is not a positive finite number is refused (E_INVALIDARG)
  // rather than clamped; the stored value stays.
  bool positiveFinite = false;
};

// The fields in the order of the parameter interface's accessors.
struct ParamTable {
  const FieldInfo* fields;
  std::size_t count;
  std::uint32_t blockSize;

  // Index of the field named `name` (exact, case-sensitive), or -1.
  int Find(const char* name) const;
};

// Where change notices go. The component shell posts window messages; tests record them.
class NotifySink {
 public:
  virtual ~NotifySink() = default;
  virtual bool WindowExists(std::uintptr_t window) = 0;
  // wparam carries the command identifier in the low 16 bits and the code in the high 16.
  virtual void Post(std::uintptr_t window, std::uint32_t wparam) = 0;
};

class ParamStore {
 public:
  static constexpr std::uint32_t kMaxBlockBytes = 256;
  static constexpr std::uint32_t kPageNotifyId = 32700;
  static constexpr std::uint16_t kCodeReloaded = 100;

  explicit ParamStore(const ParamTable& table);
  ParamStore(const ParamStore&) = delete;
  ParamStore& operator=(const ParamStore&) = delete;

  const ParamTable& Table() const { return table_; }
  std::uint32_t BlockSize() const { return table_.blockSize; }

  HResult GetParameters(void* out) const;
  // Copies the block in, marks it changed and dirty, then clamps the ranged fields;
  // E_FAIL when a field had to be corrected (the corrected block stands).
  HResult SetParameters(const void* in);
  HResult Get(std::size_t field, std::int32_t* out) const;
  // Clamps into the field's range and stores it when it differs; always S_OK for a
  // known field. An integer written to a floating-point field is converted.
  HResult Put(std::size_t field, std::int32_t value);
  // The floating-point fields; E_INVALIDARG for an integer field. A ranged field clamps
  // (NaN counts as below the range); a positive-only field refuses anything else.
  HResult GetDouble(std::size_t field, double* out) const;
  HResult PutDouble(std::size_t field, double value);

  // The engine's pick-up: copies the block out, returns the changed flag and clears it.
  bool Take(void* out);
  bool ChangedPending() const;
  // Returns the re-initialise flag and clears it.
  bool TakeReinit();

  bool Dirty() const;
  void ClearDirty();

  HResult RegisterNotifyWindow(std::uintptr_t window, std::uint32_t id);
  void Notify(std::uint16_t code);
  void SetNotifySink(NotifySink* sink);

  // For a host whose one thread does every read and write (a real-time plug-in's audio
  // thread): the lock is left out, so that no operation can wait. Set it before the store
  // is shared; every other host keeps the lock.
  void SetSingleThreaded(bool on) { singleThreaded_ = on; }

 private:
  // Holds the lock for a scope unless the store is single-threaded.
  class Guard {
   public:
    explicit Guard(const ParamStore& s) : s_(s) {
      if (!s_.singleThreaded_) s_.lock_.lock();
    }
    ~Guard() {
      if (!s_.singleThreaded_) s_.lock_.unlock();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    const ParamStore& s_;
  };

  struct Slot {
    std::uintptr_t window = 0;
    std::uint32_t id = 0;
  };

  std::int32_t Raw(std::size_t field) const;
  void SetRaw(std::size_t field, std::int32_t v);
  double RawDouble(std::size_t field) const;
  void SetRawDouble(std::size_t field, double v);
  std::int32_t Clamp(const FieldInfo& f, std::int32_t v) const;
  static double ClampDouble(const FieldInfo& f, double v);
  void MarkChanged(const FieldInfo& f);

  const ParamTable& table_;
  mutable std::recursive_mutex lock_;
  bool singleThreaded_ = false;
  alignas(8) std::uint8_t block_[kMaxBlockBytes] = {};
  bool changed_ = true;
  bool dirty_ = false;
  bool reinit_ = true;
  Slot slots_[2];
  NotifySink* sink_ = nullptr;
};

}  // namespace mw
