// Our streaming-filter framework: a base filter with the Stopped/Paused/Running state
// machine, pins with connection and media type negotiation, and their enumerators.
//
// Locks: each filter has one filter lock for state changes and connections. Transform
// filters add a receive lock that serialises the streaming thread (see transform.h).
// Pins keep no reference count of their own: they live and die with their filter, so their
// AddRef and Release go to the filter's controlling object.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "win/dshow/com.h"
#include "win/dshow/media_type.h"
#include "win/dshow/registration.h"

namespace mw::ds {

class BaseFilter;

class BasePin : public IPin, public IQualityControl {
 public:
  BasePin(BaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction);
  virtual ~BasePin();
  BasePin(const BasePin&) = delete;
  BasePin& operator=(const BasePin&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

  // IQualityControl: messages from downstream go upstream; the default for every pin.
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;
  HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

  // The types this pin proposes: S_OK with a filled type, VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type);
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
  virtual HRESULT CheckConnect(IPin* peer);
  virtual HRESULT CompleteConnect(IPin* peer);
  virtual void BreakConnect();
  // State changes of the filter: Active on leaving Stopped, Inactive on entering it.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }

  bool IsConnected() const { return peer_ != nullptr; }
  IPin* Peer() const { return peer_; }
  const AM_MEDIA_TYPE& CurrentType() const { return type_.Get(); }
  const wchar_t* Name() const { return name_; }
  PIN_DIRECTION Direction() const { return direction_; }
  BaseFilter* Filter() const { return filter_; }

 protected:
  HRESULT AttemptConnection(IPin* receiver, const AM_MEDIA_TYPE* type);
  HRESULT TryTypes(IPin* receiver, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);

  BaseFilter* filter_;
  wchar_t name_[32];
  PIN_DIRECTION direction_;
  IPin* peer_ = nullptr;
  MediaType type_;
  REFERENCE_TIME segmentStart_ = 0, segmentStop_ = 0;
  double segmentRate_ = 1.0;
  IQualityControl* qualitySink_ = nullptr;
};

class InputPin : public BasePin, public IMemInputPin {
 public:
  InputPin(BaseFilter* filter, const wchar_t* name);
  ~InputPin() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return BasePin::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return BasePin::Release(); }

  // IPin: the streaming notifications go to the filter.
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count,
                                            long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

  HRESULT Inactive() override;
  void BreakConnect() override;

  IMemAllocator* Allocator() const { return allocator_; }
  bool ReadOnly() const { return readOnly_; }
  bool Flushing() const { return flushing_; }

 protected:
  IMemAllocator* allocator_ = nullptr;
  bool readOnly_ = false;
  volatile bool flushing_ = false;
};

class OutputPin : public BasePin {
 public:
  OutputPin(BaseFilter* filter, const wchar_t* name);
  ~OutputPin() override;

  // Only input pins take these.
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }

  HRESULT CheckConnect(IPin* peer) override;
  HRESULT CompleteConnect(IPin* peer) override;
  void BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Chooses the allocator shared with the downstream input pin.
  virtual HRESULT DecideAllocator(IMemInputPin* peer, IMemAllocator** allocator);
  // Sets the buffer count and size on a candidate allocator.
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                            DWORD flags);
  virtual HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* Allocator() const { return allocator_; }
  IMemInputPin* PeerInput() const { return peerInput_; }

 protected:
  IMemAllocator* allocator_ = nullptr;
  IMemInputPin* peerInput_ = nullptr;
};

class BaseFilter : public UnknownBase, public IBaseFilter, public IAMovieSetup {
 public:
  BaseFilter(IUnknown* outer, const CLSID& clsid);
  ~BaseFilter() override;

  MW_DELEGATE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;
  // IAMovieSetup: registration through the first filter mapper, from GetSetupData.
  HRESULT STDMETHODCALLTYPE Register() override;
  HRESULT STDMETHODCALLTYPE Unregister() override;

  virtual int PinCount() = 0;
  virtual BasePin* GetPin(int index) = 0;
  // The filter's registration data, or null.
  virtual const FilterSetup* GetSetupData() { return nullptr; }

  FILTER_STATE State() const { return state_; }
  CRITICAL_SECTION* FilterLock() { return &filterLock_; }
  const CLSID& ClassId() const { return clsid_; }
  // Posts an event to the graph's event sink, when the filter is in a graph.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  IFilterGraph* Graph() const { return graph_; }
  REFERENCE_TIME StreamStart() const { return streamStart_; }

 protected:
  CRITICAL_SECTION filterLock_;
  FILTER_STATE state_ = State_Stopped;
  IReferenceClock* clock_ = nullptr;
  REFERENCE_TIME streamStart_ = 0;
  IFilterGraph* graph_ = nullptr;         // not counted: the graph owns the filter
  IMediaEventSink* eventSink_ = nullptr;  // not counted either
  wchar_t name_[MAX_FILTER_NAME] = {};
  CLSID clsid_;
};

}  // namespace mw::ds
