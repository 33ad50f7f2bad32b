// Media samples and the memory allocator that pools them.
//
// A sample returns to its allocator's free list when its last reference goes; GetBuffer
// waits for a free sample while the allocator is committed. Buffers are freed when the
// allocator is decommitted and every sample has come back.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>
#include <vector>

#include "win/dshow/com.h"

namespace mw::ds {

class MemAllocator;

// A sample is not aggregated; its last release returns it to the pool.
class MediaSample final : public SingleInterface<IMediaSample, &IID_IMediaSample> {
 public:
  MediaSample(MemAllocator* allocator, BYTE* buffer, LONG size);
  ~MediaSample() override;

  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
  LONG STDMETHODCALLTYPE GetSize() override;
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL on) override;
  HRESULT STDMETHODCALLTYPE IsPreroll() override;
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL on) override;
  LONG STDMETHODCALLTYPE GetActualDataLength() override;
  HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL on) override;
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) override;

  // Back to a fresh state when the allocator hands the sample out again.
  void ResetProperties();

 protected:
  void LastRelease() override;

 private:
  MemAllocator* allocator_;
  BYTE* buffer_;
  LONG size_;
  LONG actual_ = 0;
  REFERENCE_TIME start_ = 0, end_ = 0;
  LONGLONG mediaStart_ = 0, mediaEnd_ = 0;
  bool startValid_ = false, endValid_ = false, mediaTimeValid_ = false;
  bool sync_ = false, preroll_ = false, discontinuity_ = false;
  AM_MEDIA_TYPE* type_ = nullptr;
};

class MemAllocator final : public UnknownBase, public IMemAllocator {
 public:
  // A new allocator with one reference held by the caller.
  static HRESULT Create(IMemAllocator** out);

  MW_DELEGATE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                          ALLOCATOR_PROPERTIES* actual) override;
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Commit() override;
  HRESULT STDMETHODCALLTYPE Decommit() override;
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* end, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override;

  // Called by a sample whose last reference went.
  void Return(MediaSample* sample);

 private:
  MemAllocator();
  ~MemAllocator() override;
  void FreeBuffersLocked();

  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE available_;
  ALLOCATOR_PROPERTIES props_{};
  bool propsSet_ = false;
  bool committed_ = false;
  std::unique_ptr<BYTE[]> memory_;
  std::vector<std::unique_ptr<MediaSample>> samples_;
  std::vector<MediaSample*> free_;
  LONG outstanding_ = 0;
};

}  // namespace mw::ds
