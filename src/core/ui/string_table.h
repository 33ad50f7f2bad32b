// The module's UI strings with their cache, the ring of temporary strings, and the named
// values the formatter substitutes for $(name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/frame/hresult.h"

namespace mw {

// The module's string resources, as the shell reads them (LoadString on the module).
class StringResources {
 public:
  virtual ~StringResources() = default;
  // The resource text of `id`; false or an empty text when there is none.
  virtual bool Load(std::uint32_t id, std::string* out) const = 0;
};

// Strings by identifier, in blocks of consecutive identifiers that do not overlap. A text is
// looked up once, on first use: the resource text (a leading "^*" marker removed), else the
// block's built-in default; then it is kept until the table is cleared. Lookups and the
// cache belong to the user-interface thread; the blocks are registered at module load.
class UiStringTable {
 public:
  explicit UiStringTable(const StringResources* resources = nullptr) : resources_(resources) {}

  // Registers identifiers [first, first + count) with one default text per identifier
  // (`defaults` may be null, and so may its entries: no default). E_INVALIDARG for an empty
  // or overlapping block, E_OUTOFMEMORY when the tables cannot be allocated.
  HResult RegisterBlock(std::uint32_t first, std::uint32_t count, const char* const* defaults);
  // The same with the built-in texts of ui_strings.inc as the defaults.
  HResult RegisterBuiltinBlock(std::uint32_t first, std::uint32_t count);

  // The text of `id`: valid until Clear(). Null for an identifier outside every block (not
  // supported) or when the text cannot be copied; an identifier without any text gives "".
  const char* Get(std::uint32_t id);
  // Copies the text into `buffer` (always terminated, cut to fit); returns the number of
  // characters copied, 0 when there is no text.
  std::size_t GetInto(std::uint32_t id, char* buffer, std::size_t size);

  // Drops every block and cached text (module unload).
  void Clear() { blocks_.clear(); }

 private:
  struct Block {
    std::uint32_t first, count;
    std::vector<const char*> defaults;
    std::vector<std::unique_ptr<char[]>> cache;
  };
  const StringResources* resources_;
  std::vector<std::unique_ptr<Block>> blocks_;
};

// A ring of temporary strings: each request takes the next bytes (rounded up to a multiple of
// 4); a request that would pass the end, or that starts after capacity minus reserve, starts
// again at the beginning. A text stays valid until the ring comes round over it, so callers
// use it at once. Safe to use from several threads.
class TempStringRing {
 public:
  static constexpr std::size_t kCapacity = 8192, kReserve = 1024;
  explicit TempStringRing(std::size_t capacity = kCapacity, std::size_t reserve = kReserve);

  // `size` writable bytes, the first set to 0; null when size exceeds the ring; an empty
  // string for size 0.
  char* Alloc(std::size_t size);
  std::size_t Capacity() const { return buffer_.size(); }

 private:
  std::mutex lock_;
  std::vector<char> buffer_;
  std::size_t reserve_, next_ = 0;
  char empty_[4] = {};
};

// Named texts for the formatter's $(name), sorted by name without regard to case (ASCII).
// Safe to use from several threads.
class NamedValues {
 public:
  void Set(const std::string& name, const std::string& text);  // adds or replaces
  bool Remove(const std::string& name);                         // false when absent
  bool Lookup(const char* name, std::size_t length, std::string* text) const;
  std::size_t Count() const;

 private:
  std::size_t LowerBound(const char* name, std::size_t length) const;
  bool Matches(std::size_t i, const char* name, std::size_t length) const;
  mutable std::mutex lock_;
  std::vector<std::pair<std::string, std::string>> values_;
};

}  // namespace mw
