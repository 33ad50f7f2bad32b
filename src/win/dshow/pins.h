// Pins of our streaming-filter framework: connection and media type negotiation (BasePin),
// the receiving side with its allocator and streaming notifications (InputPin) and the
// delivering side that chooses the allocator shared with downstream (OutputPin).
//
// Pins keep no reference count of their own: they live and die with their filter, so their
// AddRef and Release go to the filter's controlling object. Connections change under the
// filter lock, and only while the filter is stopped. A pin's media type may also be
// replaced by the streaming thread (a sample that carries a new type), which cannot take
// the filter lock (a stop holds it while waiting for the streaming thread): the type has a
// lock of its own, and every other thread reads it as a copy taken under that lock.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>

#include "win/dshow/media_type.h"

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
  // A deep copy of the current type, taken under the type lock (see the top of this file);
  // the caller frees it with FreeMediaTypeContents. E_OUTOFMEMORY leaves it empty.
  HRESULT CopyCurrentType(AM_MEDIA_TYPE* copy) const;
  const wchar_t* Name() const { return name_; }
  PIN_DIRECTION Direction() const { return direction_; }
  BaseFilter* Filter() const { return filter_; }

 protected:
  HRESULT AttemptConnection(IPin* receiver, const AM_MEDIA_TYPE* type);
  HRESULT TryTypes(IPin* receiver, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
  // Checks a proposed peer and type; when both pass, takes them (the pin is connected
  // from then on, even if taking the type fails). A refusal leaves the pin unconnected.
  HRESULT AcceptPeer(IPin* peer, const AM_MEDIA_TYPE* type);
  // Undoes a connection that was made or half made.
  void DropConnection();

  BaseFilter* filter_;
  wchar_t name_[32];
  PIN_DIRECTION direction_;
  IPin* peer_ = nullptr;
  mutable CRITICAL_SECTION typeLock_;
  MediaType type_;  // under typeLock_
  REFERENCE_TIME segmentStart_ = 0, segmentStop_ = 0;
  double segmentRate_ = 1.0;
  // Set by any thread, read by the one that passes a quality message on.
  std::atomic<IQualityControl*> qualitySink_{nullptr};
};

// A pin's current type as a copy that frees itself.
class CurrentType {
 public:
  explicit CurrentType(const BasePin& pin) { pin.CopyCurrentType(&mt_); }
  ~CurrentType() { FreeMediaTypeContents(mt_); }
  CurrentType(const CurrentType&) = delete;
  CurrentType& operator=(const CurrentType&) = delete;
  const AM_MEDIA_TYPE* Get() const { return &mt_; }
  const AM_MEDIA_TYPE& operator*() const { return mt_; }

 private:
  AM_MEDIA_TYPE mt_{};
};

// The receiving side. Receive and EndOfStream check, under the filter's receive lock, that
// the filter is not stopped and no flush is under way, then hand over to OnReceive and
// OnEndOfStream; BeginFlush and EndFlush set and clear the flushing flag around
// OnBeginFlush and OnEndFlush. So nothing is taken while the filter is stopped, nor
// anything of a stream that a flush cancels.
class InputPin : public BasePin, public IMemInputPin {
 public:
  InputPin(BaseFilter* filter, const wchar_t* name);
  ~InputPin() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return BasePin::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return BasePin::Release(); }

  // IPin: the streaming notifications.
  HRESULT STDMETHODCALLTYPE EndOfStream() final;
  HRESULT STDMETHODCALLTYPE BeginFlush() final;
  HRESULT STDMETHODCALLTYPE EndFlush() final;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;
  HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) final;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count,
                                            long* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

  HRESULT Inactive() override;
  void BreakConnect() override;

  IMemAllocator* Allocator() const { return allocator_; }
  bool ReadOnly() const { return readOnly_; }
  bool Flushing() const { return flushing_; }

 protected:
  // A sample while streaming, with the receive lock held; the default drops it.
  virtual HRESULT OnReceive(IMediaSample* sample);
  // End of stream while streaming, with the receive lock held.
  virtual HRESULT OnEndOfStream() { return S_OK; }
  // A flush begins: without the receive lock, since a streaming thread blocked downstream
  // may first have to be released by the flush going on.
  virtual HRESULT OnBeginFlush() { return S_OK; }
  // A flush ends: with the receive lock held, so a Receive still in progress has finished.
  virtual HRESULT OnEndFlush() { return S_OK; }

  IMemAllocator* allocator_ = nullptr;
  bool readOnly_ = false;
  // Set and cleared by the flush notifications, read by the streaming thread.
  std::atomic<bool> flushing_{false};
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

}  // namespace mw::ds
