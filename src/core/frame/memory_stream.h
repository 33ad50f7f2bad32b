// A byte stream over memory: reads stop at the end of the bytes (a short read succeeds
// with fewer bytes, as storage streams do); writes append.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/frame/persistence.h"

namespace mw {

class MemoryStream : public ByteStream {
 public:
  MemoryStream() = default;
  MemoryStream(const void* data, std::size_t bytes)
      : bytes_(static_cast<const std::uint8_t*>(data),
               static_cast<const std::uint8_t*>(data) + bytes) {}

  HResult Read(void* buffer, std::uint32_t bytes, std::uint32_t* done) override {
    std::size_t n = bytes_.size() - position_;
    if (n > bytes) n = bytes;
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (done != nullptr) *done = static_cast<std::uint32_t>(n);
    return S_OK;
  }

  HResult Write(const void* buffer, std::uint32_t bytes, std::uint32_t* done) override {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    bytes_.insert(bytes_.end(), p, p + bytes);
    if (done != nullptr) *done = bytes;
    return S_OK;
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::size_t Position() const { return position_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace mw
