#include "core/frame/persistence.h"

#include "core/frame/le_bytes.h"

namespace mw {

std::uint32_t RecordSize(const ParamStore& store) {
  return kRecordHeaderBytes + store.BlockSize();
}

HResult SaveRecord(const RecordLayout& layout, ParamStore& store, ByteStream& stream,
                   bool clearDirty) {
  std::uint8_t header[kRecordHeaderBytes];
  PutLe32(header, RecordSize(store));
  GuidToBytes(layout.tag, header + 4);
  std::uint8_t block[ParamStore::kMaxBlockBytes];
  store.GetParameters(block);

  std::uint32_t done = 0;
  HResult hr = stream.Write(header, kRecordHeaderBytes, &done);
  if (Failed(hr)) return hr;
  if (done != kRecordHeaderBytes) return E_FAIL;
  done = 0;
  hr = stream.Write(block, store.BlockSize(), &done);
  if (Failed(hr)) return hr;
  if (done != store.BlockSize()) return E_FAIL;
  if (clearDirty) store.ClearDirty();
  return hr;
}

HResult LoadRecord(const RecordLayout& layout, ParamStore& store, ByteStream& stream) {
  std::uint8_t header[kRecordHeaderBytes];
  std::uint32_t done = 0;
  HResult hr = stream.Read(header, kRecordHeaderBytes, &done);
  if (Failed(hr)) return hr;
  if (done != kRecordHeaderBytes) return E_FAIL;

  const Guid tag = GuidFromBytes(header + 4);
  const bool older = layout.olderTag != nullptr && tag == *layout.olderTag;
  if (GetLe32(header) != RecordSize(store) || (tag != layout.tag && !older)) return E_FAIL;

  std::uint8_t block[ParamStore::kMaxBlockBytes];
  done = 0;
  hr = stream.Read(block, store.BlockSize(), &done);
  if (Succeeded(hr) && done != store.BlockSize()) hr = E_FAIL;
  if (Succeeded(hr)) {
    if (older && layout.convertOlder != nullptr) layout.convertOlder(block);
    // Out-of-range fields are corrected silently (E_FAIL); a block that the store refuses
    // whole (a field that must be a positive number holds none) changes nothing and is
    // refused as a record that is not this effect's.
    if (store.SetParameters(block) == E_INVALIDARG) return E_FAIL;
  }
  store.Notify(ParamStore::kCodeReloaded);
  return hr;
}

}  // namespace mw
