// Helpers of the reliability tests under Wine: the six effects as the module serves them,
// their parameter interfaces reached generically (by slot, from the core's field tables),
// a host thread that changes parameters without pause, and a media sample of our own that
// can report what no allocator's sample would.
#pragma once

#include "graph_util.h"

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "core/effects/catalog.h"

namespace mwtest {

// An effect of the module: its description in the core and its identifiers as GUIDs.
struct ModuleEffect {
  const mw::EffectDescription* core;
  GUID clsid;
  GUID paramsIid;
  bool Copying() const { return core->kind == mw::EffectKind::kCopying; }
};
const std::vector<ModuleEffect>& AllModuleEffects();

// A new filter of the effect from the module.
HRESULT NewEffectFilter(const ModuleEffect& e, Ptr<IBaseFilter>& filter);

// The effect's parameter interface by slot: the whole block, single fields by their index
// in the core's field table (which is the interface's accessor order), presets and records.
class ParamsAccess {
 public:
  ParamsAccess(const ModuleEffect& e, IBaseFilter* filter);
  bool Ok() const { return params_ && presets_ && persist_; }
  HRESULT GetParameters(void* block);
  HRESULT SetParameters(const void* block);
  HRESULT Put(std::size_t field, std::int32_t value);
  HRESULT PutDouble(std::size_t field, double value);
  HRESULT RegisterNotifyWindow(HWND window, DWORD id);
  HRESULT ApplyPreset(LONG index) { return presets_->ApplyPreset(index); }
  LONG PresetCount();
  // Saves the record and loads it again.
  HRESULT SaveAndLoad();
  std::uint32_t BlockSize() const { return e_.core->params.blockSize; }

 private:
  void** Slots() const { return *reinterpret_cast<void***>(params_.Get()); }
  const ModuleEffect& e_;
  Ptr<IUnknown> params_;
  Ptr<IEffectPresets> presets_;
  Ptr<IPersistStream> persist_;
};

// A thread that changes the filter's parameters until stopped: single fields with values
// in and out of their ranges, whole blocks, presets, records saved and loaded, with a
// pause of up to `pauseMs` between changes. Counts what it did.
class ParamChanger {
 public:
  ParamChanger(const ModuleEffect& e, IBaseFilter* filter, unsigned seed, DWORD pauseMs);
  ~ParamChanger();
  void Stop();
  std::uint64_t Changes() const { return changes_; }
  std::uint64_t Presets() const { return presets_; }

 private:
  void Run(const ModuleEffect& e, IBaseFilter* filter, unsigned seed, DWORD pauseMs);
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> changes_{0}, presets_{0};
  std::thread thread_;
};

// A media sample that is no allocator's: its size, data length and memory are whatever
// the test says, a length beyond its size and a null data pointer included.
class ForeignSample final : public IMediaSample {
 public:
  ForeignSample(LONG size, LONG actual, bool memory);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** p) override;
  long STDMETHODCALLTYPE GetSize() override { return size_; }
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override {
    return VFW_E_SAMPLE_TIME_NOT_SET;
  }
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
  long STDMETHODCALLTYPE GetActualDataLength() override { return actual_; }
  HRESULT STDMETHODCALLTYPE SetActualDataLength(long n) override;
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL on) override {
    discontinuity_ = on != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override {
    return VFW_E_MEDIA_TIME_NOT_SET;
  }
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

  std::vector<BYTE>& Bytes() { return bytes_; }
  // Bytes of the sample's memory past its size were written.
  bool GuardTouched() const;

 private:
  static constexpr std::size_t kGuard = 64;
  LONG refs_ = 1;
  std::vector<BYTE> bytes_;  // the sample's memory and a guard after it
  LONG size_;
  LONG actual_;
  bool memory_;
  bool discontinuity_ = false;
};

// The process's working set and private bytes, in bytes.
struct MemoryUse {
  std::uint64_t workingSet = 0;
  std::uint64_t privateBytes = 0;  // the commit charge
};
MemoryUse CurrentMemoryUse();

}  // namespace mwtest
