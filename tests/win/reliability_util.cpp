#include "reliability_util.h"

#include <psapi.h>

#include <cstring>

#include "core/frame/memory_stream.h"

namespace mwtest {
namespace {

GUID ToGuid(const mw::Guid& g) {
  GUID out;
  std::memcpy(&out, &g, sizeof out);
  return out;
}

}  // namespace

const std::vector<ModuleEffect>& AllModuleEffects() {
  static const std::vector<ModuleEffect> all = [] {
    std::vector<ModuleEffect> v;
    std::size_t count = 0;
    const mw::EffectDescription* const* catalog = mw::Catalog(&count);
    for (std::size_t i = 0; i < count; ++i) {
      v.push_back({catalog[i], ToGuid(catalog[i]->filterClsid), ToGuid(catalog[i]->ParamsIid())});
    }
    return v;
  }();
  return all;
}

HRESULT NewEffectFilter(const ModuleEffect& e, Ptr<IBaseFilter>& filter) {
  return Module::Get().Create(e.clsid, nullptr, IID_IBaseFilter, filter.OutVoid());
}

ParamsAccess::ParamsAccess(const ModuleEffect& e, IBaseFilter* filter) : e_(e) {
  filter->QueryInterface(e.paramsIid, params_.OutVoid());
  filter->QueryInterface(IID_IEffectPresets, presets_.OutVoid());
  filter->QueryInterface(IID_IPersistStream, persist_.OutVoid());
}

HRESULT ParamsAccess::GetParameters(void* block) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, void*);
  return reinterpret_cast<Fn>(Slots()[3])(params_.Get(), block);
}

HRESULT ParamsAccess::SetParameters(const void* block) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, const void*);
  return reinterpret_cast<Fn>(Slots()[4])(params_.Get(), block);
}

HRESULT ParamsAccess::RegisterNotifyWindow(HWND window, DWORD id) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, HWND, DWORD);
  return reinterpret_cast<Fn>(Slots()[6])(params_.Get(), window, id);
}

// put_X of field i is slot 8 + 2i: after the four block slots, a get/put pair per field.
HRESULT ParamsAccess::Put(std::size_t field, std::int32_t value) {
  if (e_.core->params.fields[field].type == mw::FieldType::Float64) return PutDouble(field, value);
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, LONG);
  return reinterpret_cast<Fn>(Slots()[8 + 2 * field])(params_.Get(), value);
}

HRESULT ParamsAccess::PutDouble(std::size_t field, double value) {
  if (e_.core->params.fields[field].type != mw::FieldType::Float64) return E_INVALIDARG;
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, double);
  return reinterpret_cast<Fn>(Slots()[8 + 2 * field])(params_.Get(), value);
}

LONG ParamsAccess::PresetCount() {
  LONG n = 0;
  presets_->GetPresetCount(&n);
  return n;
}

HRESULT ParamsAccess::SaveAndLoad() {
  Ptr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Out());
  if (SUCCEEDED(hr)) hr = persist_->Save(stream.Get(), FALSE);
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) hr = persist_->Load(stream.Get());
  return hr;
}

ParamChanger::ParamChanger(const ModuleEffect& e, IBaseFilter* filter, unsigned seed,
                           DWORD pauseMs)
    : thread_(&ParamChanger::Run, this, std::cref(e), filter, seed, pauseMs) {}

ParamChanger::~ParamChanger() { Stop(); }

void ParamChanger::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ParamChanger::Run(const ModuleEffect& e, IBaseFilter* filter, unsigned seed, DWORD pauseMs) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    ParamsAccess p(e, filter);
    std::mt19937 rng(seed);
    const mw::ParamTable& t = e.core->params;
    std::vector<std::uint8_t> block(p.BlockSize());
    const LONG presets = p.PresetCount();
    while (!stop_) {
      switch (rng() % 6) {
        case 0:
        case 1: {
          // A field to a value within its range mostly, sometimes far out of it.
          const std::size_t i = rng() % t.count;
          const mw::FieldInfo& f = t.fields[i];
          const std::int64_t lo = f.ranged ? f.min : 0, hi = f.ranged ? f.max : 1;
          const std::int64_t v = rng() % 8 == 0 ? static_cast<std::int32_t>(rng())
                                                : lo + static_cast<std::int64_t>(rng() % (hi - lo + 1));
          if (f.type == mw::FieldType::Float64) {
            p.PutDouble(i, f.positiveFinite ? 0.5 + (rng() % 1000) / 1000.0 : static_cast<double>(v));
          } else {
            p.Put(i, static_cast<std::int32_t>(v));
          }
          break;
        }
        case 2: {
          // A whole block: the current one with one integer field set to any value (the
          // store clamps it). Floating-point fields keep theirs: a Pitch Shift Ratio near
          // zero is valid but would make the output without practical end.
          p.GetParameters(block.data());
          const mw::FieldInfo& f = t.fields[rng() % t.count];
          if (f.type != mw::FieldType::Float64) {
            const std::uint32_t v = rng();
            std::memcpy(block.data() + f.offset, &v, sizeof v);
          }
          p.SetParameters(block.data());
          break;
        }
        case 3:
        case 4:
          p.ApplyPreset(static_cast<LONG>(rng() % presets));
          ++presets_;
          break;
        default:
          p.SaveAndLoad();
          break;
      }
      ++changes_;
      if (pauseMs > 0) Sleep(rng() % (pauseMs + 1));
    }
  }
  CoUninitialize();
}

ForeignSample::ForeignSample(LONG size, LONG actual, bool memory)
    : bytes_(static_cast<std::size_t>(size) + kGuard, 0xA5), size_(size), actual_(actual),
      memory_(memory) {}

HRESULT STDMETHODCALLTYPE ForeignSample::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMediaSample)) {
    *out = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ForeignSample::Release() {
  const LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return n;
}

HRESULT STDMETHODCALLTYPE ForeignSample::GetPointer(BYTE** p) {
  if (p == nullptr) return E_POINTER;
  *p = memory_ ? bytes_.data() : nullptr;
  return memory_ ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ForeignSample::SetActualDataLength(long n) {
  actual_ = n;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ForeignSample::GetMediaType(AM_MEDIA_TYPE** type) {
  if (type == nullptr) return E_POINTER;
  *type = nullptr;
  return S_FALSE;
}

bool ForeignSample::GuardTouched() const {
  for (std::size_t i = static_cast<std::size_t>(size_); i < bytes_.size(); ++i) {
    if (bytes_[i] != 0xA5) return true;
  }
  return false;
}

MemoryUse CurrentMemoryUse() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  MemoryUse m;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                           sizeof pmc)) {
    m.workingSet = pmc.WorkingSetSize;
    m.privateBytes = pmc.PagefileUsage;  // the commit charge: Wine leaves PrivateUsage at 0
  }
  return m;
}

}  // namespace mwtest
