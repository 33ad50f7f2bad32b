// The base filter of our streaming-filter framework: identity, graph membership, pin
// lookup, registration, and the Stopped/Paused/Running state machine, written once.
//
// The state machine runs under the filter lock and calls optional hooks that a filter
// fills in (each called with the filter lock held):
//   Stopped -> Paused   InitStreaming     (also on the way from Stopped to Running)
//   Paused  -> Running  StartRunning      (every Run, with its start time)
//   Running -> Paused   StopRunning       (also on the way from Running to Stopped)
//   any     -> Stopped  CleanupStreaming  (after the state has become Stopped)
// A failed InitStreaming leaves the filter stopped, a failed StartRunning leaves it paused
// and a failed StopRunning leaves a pausing filter running; Stop always ends stopped.
//
// Locks: the filter lock guards state changes and connections. The receive lock
// serialises the streaming thread (Receive, end of stream and end of flush on the input
// pins) with the streaming work that the hooks start and clean up. Order: filter lock,
// then receive lock.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>

#include "win/dshow/com.h"
#include "win/dshow/pins.h"
#include "win/dshow/registration.h"

namespace mw::ds {

class BaseFilter : public UnknownBase, public IBaseFilter, public IAMovieSetup {
 public:
  BaseFilter(IUnknown* outer, const CLSID& clsid);
  ~BaseFilter() override;

  MW_DELEGATE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() final;
  HRESULT STDMETHODCALLTYPE Pause() final;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) final;
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

  // Read by any thread, the streaming threads among them.
  FILTER_STATE State() const { return state_; }
  CRITICAL_SECTION* FilterLock() { return &filterLock_; }
  CRITICAL_SECTION* ReceiveLock() { return &receiveLock_; }
  const CLSID& ClassId() const { return clsid_; }
  // Posts an event to the graph's event sink, when the filter is in a graph.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  IFilterGraph* Graph() const { return graph_; }
  REFERENCE_TIME StreamStart() const { return streamStart_; }

 protected:
  // The hooks of the state machine (see the top of this file). The defaults of
  // InitStreaming and CleanupStreaming make the connected pins active and inactive, and
  // answer the first failure.
  virtual HRESULT InitStreaming();
  virtual HRESULT StartRunning(REFERENCE_TIME) { return S_OK; }
  virtual HRESULT StopRunning() { return S_OK; }
  virtual HRESULT CleanupStreaming();

  CRITICAL_SECTION filterLock_;
  CRITICAL_SECTION receiveLock_;

 private:
  std::atomic<FILTER_STATE> state_{State_Stopped};
  IReferenceClock* clock_ = nullptr;
  REFERENCE_TIME streamStart_ = 0;
  // Neither is counted: the graph owns the filter. Changed under the filter lock when the
  // filter joins or leaves a graph; the event sink is read by streaming threads.
  std::atomic<IFilterGraph*> graph_{nullptr};
  std::atomic<IMediaEventSink*> eventSink_{nullptr};
  wchar_t name_[MAX_FILTER_NAME] = {};
  CLSID clsid_;
};

}  // namespace mw::ds
