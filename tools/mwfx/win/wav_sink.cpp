#include "win/wav_sink.h"

#include <dshow.h>
#include <evcode.h>
#include <mmreg.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <new>

namespace mwfx {
namespace {

using mw::ds::Lock;

// The sink belongs to its host, not to a module's class table: it has no class id.
const CLSID kNoClass = {};

}  // namespace

// ---------------------------------------------------------------------------------------
// The pin

WavSinkInputPin::WavSinkInputPin(WavSink* sink) : InputPin(sink, L"In"), sink_(sink) {}

HRESULT WavSinkInputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  if (!IsEqualGUID(type->majortype, MEDIATYPE_Audio) ||
      !IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) || type->pbFormat == nullptr ||
      type->cbFormat < sizeof(WAVEFORMATEX)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
  if (wf->nChannels == 0 || wf->nBlockAlign == 0 || wf->nSamplesPerSec == 0) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT WavSinkInputPin::OnReceive(IMediaSample* sample) { return sink_->OnReceive(sample); }

HRESULT WavSinkInputPin::OnEndOfStream() { return sink_->OnEndOfStream(); }

HRESULT WavSinkInputPin::OnBeginFlush() {
  sink_->OnBeginFlush();
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// The filter

WavSink::WavSink() : BaseFilter(nullptr, kNoClass), pin_(this), seeking_(Owner(), &pin_) {
  InitializeCriticalSection(&eventLock_);
}

WavSink::~WavSink() { DeleteCriticalSection(&eventLock_); }

HRESULT WavSink::Create(WavSink** out) {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) WavSink();
  if (*out == nullptr) return E_OUTOFMEMORY;
  (*out)->NonDelegatingAddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WavSink::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IMediaSeeking)) return mw::ds::GetInterface(&seeking_, out);
  if (IsEqualIID(iid, IID_IAMFilterMiscFlags)) {
    return mw::ds::GetInterface(static_cast<IAMFilterMiscFlags*>(this), out);
  }
  return BaseFilter::NonDelegatingQueryInterface(iid, out);
}

mw::ds::BasePin* WavSink::GetPin(int index) { return index == 0 ? &pin_ : nullptr; }

HRESULT WavSink::InitStreaming() {
  {
    Lock receive(&receiveLock_);
    data_.clear();
    received_ = 0;
    writeStatus_ = S_OK;
  }
  return BaseFilter::InitStreaming();
}

// EC_COMPLETE goes out whenever one flag is set while the other is: at the end of the
// stream while running, and on each run after the end of the stream (the graph counts
// completions afresh on each run, so an end that came while paused, or in an earlier
// run, is signalled again).
void WavSink::SetEventFlag(bool WavSink::*flag, bool on) {
  Lock events(&eventLock_);
  this->*flag = on;
  if (running_ && endOfStream_ && on) NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT WavSink::StartRunning(REFERENCE_TIME) {
  SetEventFlag(&WavSink::running_, true);
  return S_OK;
}

HRESULT WavSink::StopRunning() {
  SetEventFlag(&WavSink::running_, false);
  return S_OK;
}

HRESULT WavSink::CleanupStreaming() {
  const HRESULT hr = BaseFilter::CleanupStreaming();
  {
    Lock receive(&receiveLock_);  // a Receive in progress has finished
  }
  SetEventFlag(&WavSink::running_, false);
  SetEventFlag(&WavSink::endOfStream_, false);
  return hr;
}

HRESULT WavSink::OnReceive(IMediaSample* sample) {
  if (inspector_) inspector_(sample);
  {
    Lock events(&eventLock_);
    if (endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
  }
  if (FAILED(WriteStatus())) return WriteStatus();
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const LONG length = sample->GetActualDataLength();
  if (length <= 0) return S_OK;
  if (writer_) {
    hr = writer_(data, static_cast<std::size_t>(length));
    if (FAILED(hr)) {
      writeStatus_ = hr;
      return hr;
    }
  } else {
    try {
      data_.insert(data_.end(), data, data + length);
    } catch (const std::bad_alloc&) {
      writeStatus_ = E_OUTOFMEMORY;
      return E_OUTOFMEMORY;
    }
  }
  received_ += static_cast<std::uint64_t>(length);
  return S_OK;
}

HRESULT WavSink::OnEndOfStream() {
  SetEventFlag(&WavSink::endOfStream_, true);
  return S_OK;
}

void WavSink::OnBeginFlush() { SetEventFlag(&WavSink::endOfStream_, false); }

void WavSink::SetWriter(Writer writer) {
  Lock lock(&filterLock_);
  Lock receive(&receiveLock_);
  writer_ = std::move(writer);
}

void WavSink::SetInspector(Inspector inspector) {
  Lock lock(&filterLock_);
  Lock receive(&receiveLock_);
  inspector_ = std::move(inspector);
}

std::vector<BYTE> WavSink::TakeData() {
  Lock receive(&receiveLock_);
  std::vector<BYTE> out;
  out.swap(data_);
  return out;
}

std::uint64_t WavSink::BytesReceived() const { return received_; }

bool WavSink::EndOfStreamReceived() {
  Lock events(&eventLock_);
  return endOfStream_;
}

HRESULT WavSink::WriteStatus() { return writeStatus_; }

std::vector<BYTE> WavSink::ConnectedFormat() {
  Lock lock(&filterLock_);
  if (!pin_.IsConnected()) return {};
  const mw::ds::CurrentType type(pin_);
  const AM_MEDIA_TYPE& mt = *type;
  if (mt.pbFormat == nullptr) return {};
  return std::vector<BYTE>(mt.pbFormat, mt.pbFormat + mt.cbFormat);
}

}  // namespace mwfx
