#include "core/frame/param_store.h"

#include <cassert>
#include <cmath>
#include <cstring>

namespace mw {

int ParamTable::Find(const char* name) const {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::strcmp(fields[i].name, name) == 0) return static_cast<int>(i);
  }
  return -1;
}

ParamStore::ParamStore(const ParamTable& table) : table_(table) {
  assert(table.blockSize <= kMaxBlockBytes);
}

std::int32_t ParamStore::Raw(std::size_t field) const {
  std::int32_t v;
  std::memcpy(&v, block_ + table_.fields[field].offset, sizeof v);
  return v;
}

void ParamStore::SetRaw(std::size_t field, std::int32_t v) {
  std::memcpy(block_ + table_.fields[field].offset, &v, sizeof v);
}

double ParamStore::RawDouble(std::size_t field) const {
  double v;
  std::memcpy(&v, block_ + table_.fields[field].offset, sizeof v);
  return v;
}

void ParamStore::SetRawDouble(std::size_t field, double v) {
  std::memcpy(block_ + table_.fields[field].offset, &v, sizeof v);
}

double ParamStore::ClampDouble(const FieldInfo& f, double v) {
  if (!f.ranged) return v;
  const double lo = static_cast<double>(f.min);
  const double hi = static_cast<double>(f.max);
  if (std::isnan(v) || v < lo) return lo;
  if (v > hi) return hi;
  return v;
}

namespace {

bool PositiveFinite(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

void ParamStore::MarkChanged(const FieldInfo& f) {
  changed_ = true;
  dirty_ = true;
  if (f.reinit) reinit_ = true;
}

std::int32_t ParamStore::Clamp(const FieldInfo& f, std::int32_t v) const {
  if (!f.ranged) return v;
  const std::int64_t wide = f.type == FieldType::UInt32
                                ? static_cast<std::int64_t>(static_cast<std::uint32_t>(v))
                                : static_cast<std::int64_t>(v);
  std::int64_t c = wide;
  if (c < f.min) c = f.min;
  if (c > f.max) c = f.max;
  if (c == wide) return v;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(c));
}

HResult ParamStore::GetParameters(void* out) const {
  if (out == nullptr) return E_POINTER;
  const Guard g(*this);
  std::memcpy(out, block_, table_.blockSize);
  return S_OK;
}

HResult ParamStore::SetParameters(const void* in) {
  if (in == nullptr) return E_POINTER;
  // A block whose positive-only field holds anything else is refused whole.
  for (std::size_t i = 0; i < table_.count; ++i) {
    const FieldInfo& f = table_.fields[i];
    if (f.type != FieldType::Float64 || !f.positiveFinite) continue;
    double v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(in) + f.offset, sizeof v);
    if (!PositiveFinite(v)) return E_INVALIDARG;
  }
  const Guard g(*this);
  std::memcpy(block_, in, table_.blockSize);
  changed_ = true;
  dirty_ = true;
  reinit_ = true;
  bool corrected = false;
  for (std::size_t i = 0; i < table_.count; ++i) {
    if (table_.fields[i].type == FieldType::Float64) {
      const double v = RawDouble(i);
      const double c = ClampDouble(table_.fields[i], v);
      // Compared by representation, so that a NaN replaced by the minimum counts.
      if (std::memcmp(&v, &c, sizeof v) != 0) {
        SetRawDouble(i, c);
        corrected = true;
      }
      continue;
    }
    const std::int32_t v = Raw(i);
    const std::int32_t c = Clamp(table_.fields[i], v);
    if (c != v) {
      SetRaw(i, c);
      corrected = true;
    }
  }
  return corrected ? E_FAIL : S_OK;
}

HResult ParamStore::Get(std::size_t field, std::int32_t* out) const {
  if (out == nullptr) return E_POINTER;
  if (field >= table_.count || table_.fields[field].type == FieldType::Float64) {
    return E_INVALIDARG;
  }
  const Guard g(*this);
  *out = Raw(field);
  return S_OK;
}

HResult ParamStore::Put(std::size_t field, std::int32_t value) {
  if (field >= table_.count) return E_INVALIDARG;
  const FieldInfo& f = table_.fields[field];
  if (f.type == FieldType::Float64) return PutDouble(field, value);
  const std::int32_t v = Clamp(f, value);
  const Guard g(*this);
  if (Raw(field) != v) {
    SetRaw(field, v);
    MarkChanged(f);
  }
  return S_OK;
}

HResult ParamStore::GetDouble(std::size_t field, double* out) const {
  if (out == nullptr) return E_POINTER;
  if (field >= table_.count || table_.fields[field].type != FieldType::Float64) {
    return E_INVALIDARG;
  }
  const Guard g(*this);
  *out = RawDouble(field);
  return S_OK;
}

HResult ParamStore::PutDouble(std::size_t field, double value) {
  if (field >= table_.count || table_.fields[field].type != FieldType::Float64) {
    return E_INVALIDARG;
  }
  const FieldInfo& f = table_.fields[field];
  if (f.positiveFinite && !PositiveFinite(value)) return E_INVALIDARG;
  const double v = ClampDouble(f, value);
  const Guard g(*this);
  // Exact equality: an equal value is not stored and changes nothing.
  if (!(RawDouble(field) == v)) {
    SetRawDouble(field, v);
    MarkChanged(f);
  }
  return S_OK;
}

bool ParamStore::Take(void* out) {
  const Guard g(*this);
  std::memcpy(out, block_, table_.blockSize);
  const bool was = changed_;
  changed_ = false;
  return was;
}

bool ParamStore::ChangedPending() const {
  const Guard g(*this);
  return changed_;
}

bool ParamStore::TakeReinit() {
  const Guard g(*this);
  const bool was = reinit_;
  reinit_ = false;
  return was;
}

bool ParamStore::Dirty() const {
  const Guard g(*this);
  return dirty_;
}

void ParamStore::ClearDirty() {
  const Guard g(*this);
  dirty_ = false;
}

HResult ParamStore::RegisterNotifyWindow(std::uintptr_t window, std::uint32_t id) {
  const Guard g(*this);
  Slot* chosen = nullptr;
  for (Slot& s : slots_) {
    if (s.window == window) {
      chosen = &s;
      break;
    }
  }
  if (chosen == nullptr) {
    for (Slot& s : slots_) {
      if (s.window == 0) chosen = &s;  // the last empty slot wins
    }
  }
  if (chosen == nullptr) return id != 0 ? E_OUTOFMEMORY : S_OK;
  chosen->id = id;
  chosen->window = id != 0 ? window : 0;
  return S_OK;
}

void ParamStore::Notify(std::uint16_t code) {
  const Guard g(*this);
  if (sink_ == nullptr) return;
  for (Slot& s : slots_) {
    if (s.window == 0) continue;
    if (!sink_->WindowExists(s.window)) {
      s = Slot{};
      continue;
    }
    sink_->Post(s.window, (static_cast<std::uint32_t>(code) << 16) | (s.id & 0xFFFFu));
  }
}

void ParamStore::SetNotifySink(NotifySink* sink) {
  const Guard g(*this);
  sink_ = sink;
}

}  // namespace mw
