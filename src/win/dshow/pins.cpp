#include "win/dshow/pins.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>

#include "win/dshow/allocator.h"
#include "win/dshow/base_filter.h"
#include "win/dshow/enumerators.h"

namespace mw::ds {
namespace {

// Fully specified: a type with a major type, a subtype and a format type.
bool FullySpecified(const AM_MEDIA_TYPE* t) {
  return t != nullptr && !IsEqualGUID(t->majortype, GUID_NULL) &&
         !IsEqualGUID(t->subtype, GUID_NULL) && !IsEqualGUID(t->formattype, GUID_NULL);
}

// A partial type matches when each of its non-null GUIDs is equal.
bool MatchesPartial(const AM_MEDIA_TYPE& t, const AM_MEDIA_TYPE* partial) {
  if (partial == nullptr) return true;
  auto ok = [](const GUID& want, const GUID& have) {
    return IsEqualGUID(want, GUID_NULL) || IsEqualGUID(want, have);
  };
  return ok(partial->majortype, t.majortype) && ok(partial->subtype, t.subtype) &&
         ok(partial->formattype, t.formattype);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// BasePin

BasePin::BasePin(BaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction)
    : filter_(filter), direction_(direction) {
  std::wcsncpy(name_, name, sizeof name_ / sizeof name_[0] - 1);
  name_[sizeof name_ / sizeof name_[0] - 1] = 0;
  InitializeCriticalSection(&typeLock_);
}

BasePin::~BasePin() {
  if (peer_ != nullptr) peer_->Release();
  DeleteCriticalSection(&typeLock_);
}

HRESULT BasePin::CopyCurrentType(AM_MEDIA_TYPE* copy) const {
  Lock lock(&typeLock_);
  const HRESULT hr = CopyMediaType(*copy, type_.Get());
  if (FAILED(hr)) std::memset(copy, 0, sizeof *copy);
  return hr;
}

HRESULT STDMETHODCALLTYPE BasePin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) {
    return GetInterface(static_cast<IPin*>(this), out);
  }
  if (IsEqualIID(iid, IID_IQualityControl)) {
    return GetInterface(static_cast<IQualityControl*>(this), out);
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BasePin::AddRef() { return filter_->AddRef(); }
ULONG STDMETHODCALLTYPE BasePin::Release() { return filter_->Release(); }

HRESULT BasePin::GetMediaType(int, AM_MEDIA_TYPE*) { return VFW_S_NO_MORE_ITEMS; }

HRESULT BasePin::SetMediaType(const AM_MEDIA_TYPE* type) {
  Lock lock(&typeLock_);
  return type_.Set(*type);
}
HRESULT BasePin::CheckConnect(IPin* peer) {
  PIN_DIRECTION d;
  if (FAILED(peer->QueryDirection(&d))) return E_FAIL;
  return d == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}
HRESULT BasePin::CompleteConnect(IPin*) { return S_OK; }
void BasePin::BreakConnect() {}

HRESULT BasePin::AcceptPeer(IPin* peer, const AM_MEDIA_TYPE* type) {
  const HRESULT hr = CheckConnect(peer);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  if (CheckMediaType(type) != S_OK) {
    BreakConnect();
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  peer_ = peer;
  peer_->AddRef();
  return SetMediaType(type);
}

void BasePin::DropConnection() {
  BreakConnect();
  {
    Lock lock(&typeLock_);
    type_.Reset();
  }
  if (peer_ != nullptr) peer_->Release();
  peer_ = nullptr;
}

HRESULT BasePin::AttemptConnection(IPin* receiver, const AM_MEDIA_TYPE* type) {
  HRESULT hr = AcceptPeer(receiver, type);
  if (peer_ == nullptr) return hr;  // refused: nothing was taken
  if (SUCCEEDED(hr)) hr = receiver->ReceiveConnection(static_cast<IPin*>(this), type);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(receiver);
    if (SUCCEEDED(hr)) return S_OK;
    receiver->Disconnect();
  }
  DropConnection();
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT BasePin::TryTypes(IPin* receiver, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types) {
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  AM_MEDIA_TYPE* t = nullptr;
  ULONG fetched = 0;
  while (types->Next(1, &t, &fetched) == S_OK && fetched == 1) {
    const bool candidate = MatchesPartial(*t, partial);
    HRESULT hr = candidate ? AttemptConnection(receiver, t) : VFW_E_NO_ACCEPTABLE_TYPES;
    DeleteMediaType(t);
    if (SUCCEEDED(hr)) return S_OK;
    if (candidate) last = hr;
  }
  return last == VFW_E_TYPE_NOT_ACCEPTED ? VFW_E_NO_ACCEPTABLE_TYPES : last;
}

HRESULT STDMETHODCALLTYPE BasePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
  if (receiver == nullptr) return E_POINTER;
  Lock lock(filter_->FilterLock());
  if (peer_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (FullySpecified(type)) return AttemptConnection(receiver, type);

  HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int pass = 0; pass < 2; ++pass) {
    IEnumMediaTypes* types = nullptr;
    if (pass == 0) {
      hr = EnumMediaTypes(&types);
    } else {
      hr = receiver->EnumMediaTypes(&types);
    }
    if (FAILED(hr) || types == nullptr) continue;
    hr = TryTypes(receiver, type, types);
    types->Release();
    if (SUCCEEDED(hr)) return S_OK;
  }
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT STDMETHODCALLTYPE BasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) return E_POINTER;
  Lock lock(filter_->FilterLock());
  if (peer_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  HRESULT hr = AcceptPeer(connector, type);
  if (peer_ == nullptr) return hr;  // refused: nothing was taken
  if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
  if (FAILED(hr)) DropConnection();
  return hr;
}

HRESULT STDMETHODCALLTYPE BasePin::Disconnect() {
  Lock lock(filter_->FilterLock());
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (peer_ == nullptr) return S_FALSE;
  DropConnection();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  Lock lock(filter_->FilterLock());
  *pin = peer_;
  if (peer_ == nullptr) return VFW_E_NOT_CONNECTED;
  peer_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  Lock lock(filter_->FilterLock());
  if (peer_ == nullptr) {
    std::memset(type, 0, sizeof *type);
    return VFW_E_NOT_CONNECTED;
  }
  return CopyCurrentType(type);
}

HRESULT STDMETHODCALLTYPE BasePin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = static_cast<IBaseFilter*>(filter_);
  info->pFilter->AddRef();
  info->dir = direction_;
  std::wcsncpy(info->achName, name_, MAX_PIN_NAME - 1);
  info->achName[MAX_PIN_NAME - 1] = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  const std::size_t bytes = (std::wcslen(name_) + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*id == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*id, name_, bytes);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  return CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE BasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  return NewMediaTypeEnumerator(this, types);
}

HRESULT STDMETHODCALLTYPE BasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE BasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                              double rate) {
  segmentStart_ = start;
  segmentStop_ = stop;
  segmentRate_ = rate;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePin::Notify(IBaseFilter* sender, Quality q) {
  // An output pin passes the message to the filter's input side, which sends it upstream.
  if (IQualityControl* sink = qualitySink_) return sink->Notify(sender, q);
  for (int i = 0; i < filter_->PinCount(); ++i) {
    BasePin* p = filter_->GetPin(i);
    if (p->Direction() == PINDIR_INPUT) return p->Notify(sender, q);
  }
  return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE BasePin::SetSink(IQualityControl* sink) {
  qualitySink_ = sink;  // not counted, as the contract asks
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// InputPin

InputPin::InputPin(BaseFilter* filter, const wchar_t* name) : BasePin(filter, name, PINDIR_INPUT) {}

InputPin::~InputPin() {
  if (allocator_ != nullptr) allocator_->Release();
}

HRESULT STDMETHODCALLTYPE InputPin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IMemInputPin)) {
    return GetInterface(static_cast<IMemInputPin*>(this), out);
  }
  return BasePin::QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE InputPin::Notify(IBaseFilter* sender, Quality q) {
  if (IQualityControl* sink = qualitySink_) return sink->Notify(sender, q);
  IQualityControl* upstream = nullptr;
  if (peer_ == nullptr ||
      FAILED(peer_->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&upstream)))) {
    return VFW_E_NOT_FOUND;
  }
  const HRESULT hr = upstream->Notify(static_cast<IBaseFilter*>(filter_), q);
  upstream->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE InputPin::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) return E_POINTER;
  Lock lock(filter_->FilterLock());
  if (allocator_ == nullptr) {
    const HRESULT hr = MemAllocator::Create(&allocator_);
    if (FAILED(hr)) return hr;
  }
  *allocator = allocator_;
  allocator_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (allocator == nullptr) return E_POINTER;
  Lock lock(filter_->FilterLock());
  allocator->AddRef();
  if (allocator_ != nullptr) allocator_->Release();
  allocator_ = allocator;
  readOnly_ = readOnly != FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE InputPin::ReceiveMultiple(IMediaSample** samples, long count,
                                                    long* processed) {
  if (samples == nullptr || processed == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  *processed = 0;
  while (*processed < count) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE InputPin::ReceiveCanBlock() { return S_OK; }

HRESULT InputPin::Inactive() {
  if (allocator_ != nullptr) allocator_->Decommit();
  return S_OK;
}

void InputPin::BreakConnect() {
  if (allocator_ != nullptr) {
    allocator_->Decommit();
    allocator_->Release();
    allocator_ = nullptr;
  }
  readOnly_ = false;
}

HRESULT STDMETHODCALLTYPE InputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                               double rate) {
  return BasePin::NewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE InputPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  Lock lock(filter_->ReceiveLock());
  if (flushing_) return S_FALSE;
  if (filter_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  return OnReceive(sample);
}

HRESULT InputPin::OnReceive(IMediaSample*) { return S_OK; }

HRESULT STDMETHODCALLTYPE InputPin::EndOfStream() {
  Lock lock(filter_->ReceiveLock());
  if (flushing_) return S_OK;  // a flush cancels the stream that this end belonged to
  if (filter_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  return OnEndOfStream();
}

HRESULT STDMETHODCALLTYPE InputPin::BeginFlush() {
  flushing_ = true;
  return OnBeginFlush();
}

HRESULT STDMETHODCALLTYPE InputPin::EndFlush() {
  Lock lock(filter_->ReceiveLock());
  const HRESULT hr = OnEndFlush();
  flushing_ = false;
  return hr;
}

// ---------------------------------------------------------------------------------------
// OutputPin

OutputPin::OutputPin(BaseFilter* filter, const wchar_t* name)
    : BasePin(filter, name, PINDIR_OUTPUT) {}

OutputPin::~OutputPin() { BreakConnect(); }

HRESULT OutputPin::CheckConnect(IPin* peer) {
  HRESULT hr = BasePin::CheckConnect(peer);
  if (FAILED(hr)) return hr;
  hr = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&peerInput_));
  return FAILED(hr) ? E_NOINTERFACE : S_OK;
}

HRESULT OutputPin::CompleteConnect(IPin*) { return DecideAllocator(peerInput_, &allocator_); }

void OutputPin::BreakConnect() {
  if (allocator_ != nullptr) {
    allocator_->Decommit();
    allocator_->Release();
    allocator_ = nullptr;
  }
  if (peerInput_ != nullptr) {
    peerInput_->Release();
    peerInput_ = nullptr;
  }
}

HRESULT OutputPin::DecideAllocator(IMemInputPin* peer, IMemAllocator** allocator) {
  ALLOCATOR_PROPERTIES request{};
  peer->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) request.cbAlign = 1;

  IMemAllocator* candidate = nullptr;
  HRESULT hr = peer->GetAllocator(&candidate);
  if (SUCCEEDED(hr)) {
    hr = DecideBufferSize(candidate, &request);
    if (SUCCEEDED(hr)) hr = peer->NotifyAllocator(candidate, FALSE);
    if (SUCCEEDED(hr)) {
      *allocator = candidate;
      return S_OK;
    }
    candidate->Release();
  }
  hr = MemAllocator::Create(&candidate);
  if (FAILED(hr)) return hr;
  hr = DecideBufferSize(candidate, &request);
  if (SUCCEEDED(hr)) hr = peer->NotifyAllocator(candidate, FALSE);
  if (FAILED(hr)) {
    candidate->Release();
    return hr;
  }
  *allocator = candidate;
  return S_OK;
}

HRESULT OutputPin::Active() {
  return allocator_ != nullptr ? allocator_->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT OutputPin::Inactive() {
  if (allocator_ != nullptr) allocator_->Decommit();
  return S_OK;
}

HRESULT OutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                     REFERENCE_TIME* end, DWORD flags) {
  if (allocator_ == nullptr) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, end, flags);
}

HRESULT OutputPin::Deliver(IMediaSample* sample) {
  return peerInput_ != nullptr ? peerInput_->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT OutputPin::DeliverEndOfStream() {
  return peer_ != nullptr ? peer_->EndOfStream() : VFW_E_NOT_CONNECTED;
}
HRESULT OutputPin::DeliverBeginFlush() {
  return peer_ != nullptr ? peer_->BeginFlush() : VFW_E_NOT_CONNECTED;
}
HRESULT OutputPin::DeliverEndFlush() {
  return peer_ != nullptr ? peer_->EndFlush() : VFW_E_NOT_CONNECTED;
}
HRESULT OutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  BasePin::NewSegment(start, stop, rate);
  return peer_ != nullptr ? peer_->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

}  // namespace mw::ds
