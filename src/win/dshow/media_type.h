// AM_MEDIA_TYPE ownership: deep copies with the format block in task memory, and release.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace mw::ds {

// Frees what the type owns (format block, reference) and clears it.
void FreeMediaTypeContents(AM_MEDIA_TYPE& mt);
// Deep copy into `dst` (whose old contents are not freed); E_OUTOFMEMORY on failure.
HRESULT CopyMediaType(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src);
// A task-memory copy for callers that free with DeleteMediaType semantics.
AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE& src);
void DeleteMediaType(AM_MEDIA_TYPE* mt);

// An owned media type that frees itself.
class MediaType {
 public:
  MediaType() { Clear(); }
  ~MediaType() { FreeMediaTypeContents(mt_); }
  MediaType(const MediaType&) = delete;
  MediaType& operator=(const MediaType&) = delete;

  HRESULT Set(const AM_MEDIA_TYPE& src);
  void Reset() { FreeMediaTypeContents(mt_); Clear(); }
  const AM_MEDIA_TYPE& Get() const { return mt_; }
  bool Empty() const { return IsEqualGUID(mt_.majortype, GUID_NULL); }

 private:
  void Clear();
  AM_MEDIA_TYPE mt_;
};

}  // namespace mw::ds
