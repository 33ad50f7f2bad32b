#include "core/ui/string_table.h"

#include <cstring>
#include <new>

#include "core/ui/builtin_strings.h"

namespace mw {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// <0, 0, >0 as a without regard to ASCII case sorts before, with or after b.
int CompareNoCase(const char* a, std::size_t na, const char* b, std::size_t nb) {
  const std::size_t n = na < nb ? na : nb;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

}  // namespace

HResult UiStringTable::RegisterBlock(std::uint32_t first, std::uint32_t count,
                                     const char* const* defaults) {
  if (count == 0 || first > UINT32_MAX - (count - 1)) return E_INVALIDARG;
  const std::uint64_t last = std::uint64_t{first} + count - 1;
  for (const auto& b : blocks_) {
    if (first <= std::uint64_t{b->first} + b->count - 1 && b->first <= last) return E_INVALIDARG;
  }
  try {
    auto block = std::make_unique<Block>();
    block->first = first;
    block->count = count;
    block->defaults.assign(count, nullptr);
    if (defaults) block->defaults.assign(defaults, defaults + count);
    block->cache.resize(count);
    blocks_.push_back(std::move(block));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HResult UiStringTable::RegisterBuiltinBlock(std::uint32_t first, std::uint32_t count) {
  if (count == 0 || first > UINT32_MAX - (count - 1)) return E_INVALIDARG;
  try {
    std::vector<const char*> defaults(count);
    for (std::uint32_t i = 0; i < count; ++i) defaults[i] = BuiltinUiString(first + i);
    return RegisterBlock(first, count, defaults.data());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
}

const char* UiStringTable::Get(std::uint32_t id) {
  for (const auto& b : blocks_) {
    if (id < b->first || id - b->first >= b->count) continue;
    const std::uint32_t i = id - b->first;
    if (b->cache[i]) return b->cache[i].get();
    std::string text;
    if (!resources_ || !resources_->Load(id, &text) || text.empty()) {
      text = b->defaults[i] ? b->defaults[i] : "";
    } else if (text.compare(0, 2, "^*") == 0) {
      text.erase(0, 2);
    }
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (!copy) return nullptr;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    b->cache[i].reset(copy);
    return copy;
  }
  return nullptr;
}

std::size_t UiStringTable::GetInto(std::uint32_t id, char* buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  buffer[0] = '\0';
  const char* text = Get(id);
  if (!text) return 0;
  std::size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return n;
}

TempStringRing::TempStringRing(std::size_t capacity, std::size_t reserve)
    : buffer_(capacity), reserve_(reserve < capacity ? reserve : capacity) {}

char* TempStringRing::Alloc(std::size_t size) {
  std::lock_guard<std::mutex> guard(lock_);
  if (size == 0) {
    empty_[0] = '\0';
    return empty_;
  }
  const std::size_t capacity = buffer_.size();
  if (size > capacity) return nullptr;
  const std::size_t rounded = (size + 3) / 4 * 4;  // cannot pass capacity + 3
  if (next_ > capacity - reserve_ || rounded > capacity - next_) next_ = 0;
  char* p = buffer_.data() + next_;
  next_ += rounded < capacity ? rounded : capacity;
  p[0] = '\0';
  return p;
}

std::size_t NamedValues::LowerBound(const char* name, std::size_t length) const {
  std::size_t lo = 0, hi = values_.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    const std::string& k = values_[mid].first;
    if (CompareNoCase(k.data(), k.size(), name, length) < 0) lo = mid + 1; else hi = mid;
  }
  return lo;
}

bool NamedValues::Matches(std::size_t i, const char* name, std::size_t length) const {
  return i < values_.size() &&
         CompareNoCase(values_[i].first.data(), values_[i].first.size(), name, length) == 0;
}

void NamedValues::Set(const std::string& name, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t i = LowerBound(name.data(), name.size());
  if (Matches(i, name.data(), name.size())) {
    values_[i].second = text;
  } else {
    values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(i), {name, text});
  }
}

bool NamedValues::Remove(const std::string& name) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t i = LowerBound(name.data(), name.size());
  if (!Matches(i, name.data(), name.size())) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

bool NamedValues::Lookup(const char* name, std::size_t length, std::string* text) const {
  if (!name) return false;
  std::lock_guard<std::mutex> guard(lock_);
  const std::size_t i = LowerBound(name, length);
  if (!Matches(i, name, length)) return false;
  if (text) *text = values_[i].second;
  return true;
}

std::size_t NamedValues::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return values_.size();
}

}  // namespace mw
