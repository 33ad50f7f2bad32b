#include "win/dshow/media_type.h"

#include <cstring>

namespace mw::ds {

void FreeMediaTypeContents(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0 || mt.pbFormat != nullptr) CoTaskMemFree(mt.pbFormat);
  mt.cbFormat = 0;
  mt.pbFormat = nullptr;
  if (mt.pUnk != nullptr) {
    mt.pUnk->Release();
    mt.pUnk = nullptr;
  }
}

HRESULT CopyMediaType(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src) {
  dst = src;
  if (src.cbFormat != 0 && src.pbFormat != nullptr) {
    dst.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
    if (dst.pbFormat == nullptr) {
      dst.cbFormat = 0;
      dst.pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(dst.pbFormat, src.pbFormat, src.cbFormat);
  } else {
    dst.pbFormat = nullptr;
    dst.cbFormat = 0;
  }
  if (dst.pUnk != nullptr) dst.pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE& src) {
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (mt == nullptr) return nullptr;
  if (FAILED(CopyMediaType(*mt, src))) {
    CoTaskMemFree(mt);
    return nullptr;
  }
  return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return;
  FreeMediaTypeContents(*mt);
  CoTaskMemFree(mt);
}

void MediaType::Clear() { std::memset(&mt_, 0, sizeof mt_); }

HRESULT MediaType::Set(const AM_MEDIA_TYPE& src) {
  AM_MEDIA_TYPE copy;
  const HRESULT hr = CopyMediaType(copy, src);
  if (FAILED(hr)) return hr;
  FreeMediaTypeContents(mt_);
  mt_ = copy;
  return S_OK;
}

}  // namespace mw::ds
