// The persisted record of an effect's settings: a 20-byte header (record size, tag) and the
// parameter block, little-endian, read and written over an abstract byte stream.
#pragma once

#include <cstdint>

#include "core/frame/guid.h"
#include "core/frame/hresult.h"
#include "core/frame/param_store.h"

namespace mw {

// A stream of bytes as the host's storage offers it. A call may succeed with fewer bytes
// than asked (the end of the stream); the record code notices and refuses such records.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual HResult Read(void* buffer, std::uint32_t bytes, std::uint32_t* done) = 0;
  virtual HResult Write(const void* buffer, std::uint32_t bytes, std::uint32_t* done) = 0;
};

constexpr std::uint32_t kRecordHeaderBytes = 20;

struct RecordLayout {
  Guid tag;  // the parameter interface's identifier
  // An earlier layout of the same size under another tag, converted in place on load.
  const Guid* olderTag = nullptr;
  void (*convertOlder)(void* block) = nullptr;
};

std::uint32_t RecordSize(const ParamStore& store);

HResult SaveRecord(const RecordLayout& layout, ParamStore& store, ByteStream& stream,
                   bool clearDirty);
// Refuses a wrong size or tag with E_FAIL and changes nothing; a stream that ends inside
// the record, and a block that the store refuses whole, are refused the same way. After
// reading the header successfully the change notice (code 100) is posted whether or not
// the block could be read, but not for a block refused whole (nothing changed).
HResult LoadRecord(const RecordLayout& layout, ParamStore& store, ByteStream& stream);

}  // namespace mw
