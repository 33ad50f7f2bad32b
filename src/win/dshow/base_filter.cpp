#include "win/dshow/base_filter.h"

#include <evcode.h>
#include <dshow.h>
#include <vfwmsgs.h>

#include <cwchar>

#include "win/dshow/enumerators.h"

namespace mw::ds {

BaseFilter::BaseFilter(IUnknown* outer, const CLSID& clsid) : UnknownBase(outer), clsid_(clsid) {
  InitializeCriticalSection(&filterLock_);
  InitializeCriticalSection(&receiveLock_);
}

BaseFilter::~BaseFilter() {
  if (clock_ != nullptr) clock_->Release();
  DeleteCriticalSection(&receiveLock_);
  DeleteCriticalSection(&filterLock_);
}

HRESULT STDMETHODCALLTYPE BaseFilter::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IBaseFilter)) return GetInterface(static_cast<IBaseFilter*>(this), out);
  if (IsEqualIID(iid, IID_IMediaFilter)) return GetInterface(static_cast<IMediaFilter*>(this), out);
  if (IsEqualIID(iid, IID_IPersist)) return GetInterface(static_cast<IPersist*>(this), out);
  if (IsEqualIID(iid, IID_IAMovieSetup)) return GetInterface(static_cast<IAMovieSetup*>(this), out);
  return UnknownBase::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE BaseFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// The state machine

HRESULT STDMETHODCALLTYPE BaseFilter::Stop() {
  Lock lock(&filterLock_);
  const FILTER_STATE was = state_;
  HRESULT hr = was == State_Running ? StopRunning() : S_OK;
  // From here on the input pins refuse new samples; the clean-up waits for one still in
  // progress.
  state_ = State_Stopped;
  if (was != State_Stopped) {
    const HRESULT r = CleanupStreaming();
    if (SUCCEEDED(hr)) hr = r;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE BaseFilter::Pause() {
  Lock lock(&filterLock_);
  HRESULT hr = S_OK;
  if (state_ == State_Stopped) hr = InitStreaming();
  else if (state_ == State_Running) hr = StopRunning();
  if (FAILED(hr)) return hr;
  state_ = State_Paused;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::Run(REFERENCE_TIME start) {
  Lock lock(&filterLock_);
  if (state_ == State_Stopped) {
    const HRESULT hr = InitStreaming();
    if (FAILED(hr)) return hr;
    state_ = State_Paused;
  }
  const HRESULT hr = StartRunning(start);
  if (FAILED(hr)) return hr;
  streamStart_ = start;
  state_ = State_Running;
  return S_OK;
}

HRESULT BaseFilter::InitStreaming() {
  for (int i = 0; i < PinCount(); ++i) {
    BasePin* p = GetPin(i);
    if (p->IsConnected()) {
      const HRESULT hr = p->Active();
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

HRESULT BaseFilter::CleanupStreaming() {
  HRESULT hr = S_OK;
  for (int i = 0; i < PinCount(); ++i) {
    BasePin* p = GetPin(i);
    if (p->IsConnected()) {
      const HRESULT r = p->Inactive();
      if (FAILED(r) && SUCCEEDED(hr)) hr = r;
    }
  }
  return hr;
}

// ---------------------------------------------------------------------------------------
// Identity, graph and pins

HRESULT STDMETHODCALLTYPE BaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::SetSyncSource(IReferenceClock* clock) {
  Lock lock(&filterLock_);
  if (clock != nullptr) clock->AddRef();
  if (clock_ != nullptr) clock_->Release();
  clock_ = clock;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  Lock lock(&filterLock_);
  *clock = clock_;
  if (clock_ != nullptr) clock_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::EnumPins(IEnumPins** pins) {
  return NewPinEnumerator(this, pins);
}

HRESULT STDMETHODCALLTYPE BaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) return E_POINTER;
  for (int i = 0; i < PinCount(); ++i) {
    BasePin* p = GetPin(i);
    if (std::wcscmp(p->Name(), id) == 0) {
      *pin = p;
      p->AddRef();
      return S_OK;
    }
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE BaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  std::wcsncpy(info->achName, name_, MAX_FILTER_NAME - 1);
  info->achName[MAX_FILTER_NAME - 1] = 0;
  info->pGraph = graph_;
  if (info->pGraph != nullptr) info->pGraph->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  Lock lock(&filterLock_);
  graph_ = graph;
  IMediaEventSink* sink = nullptr;
  if (graph != nullptr &&
      SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
    // Kept uncounted, like the graph pointer itself: the graph outlives our membership.
    sink->Release();
  } else {
    sink = nullptr;
  }
  eventSink_ = sink;
  name_[0] = 0;
  if (name != nullptr) {
    std::wcsncpy(name_, name, MAX_FILTER_NAME - 1);
    name_[MAX_FILTER_NAME - 1] = 0;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

HRESULT BaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = eventSink_;
  if (sink == nullptr) return E_NOTIMPL;
  if (code == EC_COMPLETE && param2 == 0) {
    param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  }
  return sink->Notify(code, param1, param2);
}

HRESULT STDMETHODCALLTYPE BaseFilter::Register() {
  const FilterSetup* setup = GetSetupData();
  if (setup == nullptr) return S_FALSE;
  return RegisterWithOldMapper(*setup, true);
}

HRESULT STDMETHODCALLTYPE BaseFilter::Unregister() {
  const FilterSetup* setup = GetSetupData();
  if (setup == nullptr) return S_FALSE;
  return RegisterWithOldMapper(*setup, false);
}

}  // namespace mw::ds
