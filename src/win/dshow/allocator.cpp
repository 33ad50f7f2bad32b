#include "win/dshow/allocator.h"

#include <vfwmsgs.h>

#include <cstdint>
#include <new>

#include "win/dshow/media_type.h"

namespace mw::ds {

MediaSample::MediaSample(MemAllocator* allocator, BYTE* buffer, LONG size)
    : allocator_(allocator), buffer_(buffer), size_(size) {}

MediaSample::~MediaSample() { DeleteMediaType(type_); }

void MediaSample::LastRelease() { allocator_->Return(this); }

void MediaSample::ResetProperties() {
  actual_ = 0;
  startValid_ = endValid_ = mediaTimeValid_ = false;
  sync_ = preroll_ = discontinuity_ = false;
  DeleteMediaType(type_);
  type_ = nullptr;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetPointer(BYTE** buffer) {
  if (buffer == nullptr) return E_POINTER;
  *buffer = buffer_;
  return S_OK;
}

LONG STDMETHODCALLTYPE MediaSample::GetSize() { return size_; }

HRESULT STDMETHODCALLTYPE MediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (start == nullptr || end == nullptr) return E_POINTER;
  if (!startValid_) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = start_;
  if (!endValid_) {
    *end = start_ + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *end = end_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  startValid_ = start != nullptr;
  endValid_ = start != nullptr && end != nullptr;
  if (startValid_) start_ = *start;
  if (endValid_) end_ = *end;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsSyncPoint() { return sync_ ? S_OK : S_FALSE; }
HRESULT STDMETHODCALLTYPE MediaSample::SetSyncPoint(BOOL on) {
  sync_ = on != FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE MediaSample::IsPreroll() { return preroll_ ? S_OK : S_FALSE; }
HRESULT STDMETHODCALLTYPE MediaSample::SetPreroll(BOOL on) {
  preroll_ = on != FALSE;
  return S_OK;
}

LONG STDMETHODCALLTYPE MediaSample::GetActualDataLength() { return actual_; }

HRESULT STDMETHODCALLTYPE MediaSample::SetActualDataLength(LONG length) {
  if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
  actual_ = length;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
  if (type == nullptr) return E_POINTER;
  if (type_ == nullptr) {
    *type = nullptr;
    return S_FALSE;
  }
  *type = CreateMediaTypeCopy(*type_);
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
  AM_MEDIA_TYPE* copy = nullptr;
  if (type != nullptr) {
    copy = CreateMediaTypeCopy(*type);
    if (copy == nullptr) return E_OUTOFMEMORY;
  }
  DeleteMediaType(type_);
  type_ = copy;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsDiscontinuity() {
  return discontinuity_ ? S_OK : S_FALSE;
}
HRESULT STDMETHODCALLTYPE MediaSample::SetDiscontinuity(BOOL on) {
  discontinuity_ = on != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (start == nullptr || end == nullptr) return E_POINTER;
  if (!mediaTimeValid_) return VFW_E_MEDIA_TIME_NOT_SET;
  *start = mediaStart_;
  *end = mediaEnd_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end) {
  mediaTimeValid_ = start != nullptr && end != nullptr;
  if (mediaTimeValid_) {
    mediaStart_ = *start;
    mediaEnd_ = *end;
  }
  return S_OK;
}

MemAllocator::MemAllocator() : UnknownBase(nullptr) {
  InitializeCriticalSection(&lock_);
  InitializeConditionVariable(&available_);
}

MemAllocator::~MemAllocator() { DeleteCriticalSection(&lock_); }

HRESULT MemAllocator::Create(IMemAllocator** out) {
  if (out == nullptr) return E_POINTER;
  auto* a = new (std::nothrow) MemAllocator();
  if (a == nullptr) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  a->NonDelegatingAddRef();
  *out = a;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MemAllocator::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IMemAllocator)) return GetInterface(static_cast<IMemAllocator*>(this), out);
  return UnknownBase::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE MemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                      ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) return E_POINTER;
  const LONG align = request->cbAlign == 0 ? 1 : request->cbAlign;
  if (align < 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
  if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) {
    return E_INVALIDARG;
  }
  EnterCriticalSection(&lock_);
  HRESULT hr = S_OK;
  if (committed_) {
    hr = VFW_E_ALREADY_COMMITTED;
  } else if (outstanding_ > 0) {
    hr = VFW_E_BUFFERS_OUTSTANDING;
  } else {
    props_ = *request;
    props_.cbAlign = align;
    propsSet_ = true;
    *actual = props_;
  }
  LeaveCriticalSection(&lock_);
  return hr;
}

HRESULT STDMETHODCALLTYPE MemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  if (props == nullptr) return E_POINTER;
  EnterCriticalSection(&lock_);
  *props = props_;
  LeaveCriticalSection(&lock_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MemAllocator::Commit() {
  EnterCriticalSection(&lock_);
  HRESULT hr = S_OK;
  if (!propsSet_ || props_.cBuffers <= 0 || props_.cbBuffer <= 0) {
    hr = VFW_E_SIZENOTSET;
  } else if (!committed_) {
    if (samples_.empty()) {
      const std::size_t align = static_cast<std::size_t>(props_.cbAlign);
      const std::size_t stride =
          (static_cast<std::size_t>(props_.cbPrefix) + props_.cbBuffer + align - 1) / align * align;
      const std::size_t total = stride * static_cast<std::size_t>(props_.cBuffers) + align;
      memory_.reset(new (std::nothrow) BYTE[total]);
      if (memory_ == nullptr) {
        hr = E_OUTOFMEMORY;
      } else {
        const auto base = reinterpret_cast<std::uintptr_t>(memory_.get());
        BYTE* first = memory_.get() + ((align - base % align) % align);
        for (LONG i = 0; i < props_.cBuffers && SUCCEEDED(hr); ++i) {
          BYTE* data = first + stride * static_cast<std::size_t>(i) + props_.cbPrefix;
          auto* s = new (std::nothrow) MediaSample(this, data, props_.cbBuffer);
          if (s == nullptr) {
            hr = E_OUTOFMEMORY;
            break;
          }
          samples_.emplace_back(s);
          free_.push_back(s);
        }
        if (FAILED(hr)) FreeBuffersLocked();
      }
    }
    if (SUCCEEDED(hr)) committed_ = true;
  }
  LeaveCriticalSection(&lock_);
  return hr;
}

HRESULT STDMETHODCALLTYPE MemAllocator::Decommit() {
  EnterCriticalSection(&lock_);
  committed_ = false;
  if (outstanding_ == 0) FreeBuffersLocked();
  WakeAllConditionVariable(&available_);
  LeaveCriticalSection(&lock_);
  return S_OK;
}

void MemAllocator::FreeBuffersLocked() {
  free_.clear();
  samples_.clear();
  memory_.reset();
}

HRESULT STDMETHODCALLTYPE MemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                                  REFERENCE_TIME* end, DWORD flags) {
  if (sample == nullptr) return E_POINTER;
  *sample = nullptr;
  EnterCriticalSection(&lock_);
  while (committed_ && free_.empty()) {
    if (flags & AM_GBF_NOWAIT) {
      LeaveCriticalSection(&lock_);
      return VFW_E_TIMEOUT;
    }
    SleepConditionVariableCS(&available_, &lock_, INFINITE);
  }
  if (!committed_) {
    LeaveCriticalSection(&lock_);
    return VFW_E_NOT_COMMITTED;
  }
  MediaSample* s = free_.back();
  free_.pop_back();
  ++outstanding_;
  LeaveCriticalSection(&lock_);

  NonDelegatingAddRef();  // each sample out keeps the allocator alive
  s->ResetProperties();
  s->SetTime(start, end);
  s->AddRef();
  *sample = s;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MemAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  Return(static_cast<MediaSample*>(sample));
  return S_OK;
}

void MemAllocator::Return(MediaSample* sample) {
  EnterCriticalSection(&lock_);
  sample->ResetProperties();
  free_.push_back(sample);
  --outstanding_;
  if (!committed_ && outstanding_ == 0) FreeBuffersLocked();
  WakeConditionVariable(&available_);
  LeaveCriticalSection(&lock_);
  NonDelegatingRelease();
}

}  // namespace mw::ds
