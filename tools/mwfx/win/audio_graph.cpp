#include "win/audio_graph.h"

#include <uuids.h>

#include "cli.h"

namespace mwfx {
namespace {

template <class T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

// The system's WAVE parser, {D51BD5A1-7548-11CF-A520-0080C77EF58A} (not in every SDK's
// identifier library).
const CLSID kWaveParser = {0xD51BD5A1, 0x7548, 0x11CF, {0xA5, 0x20, 0x00, 0x80, 0xC7, 0x7E, 0xF5, 0x8A}};

std::string Step(const std::string& what, HRESULT hr) { return what + " (" + HexStatus(hr) + ")"; }

}  // namespace

IPin* FreePin(IBaseFilter* filter, PIN_DIRECTION direction) {
  IEnumPins* pins = nullptr;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  IPin* found = nullptr;
  IPin* pin = nullptr;
  while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION d;
    IPin* peer = nullptr;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction &&
        pin->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED) {
      found = pin;
      continue;
    }
    if (peer != nullptr) peer->Release();
    pin->Release();
  }
  pins->Release();
  return found;
}

AudioGraph::~AudioGraph() {
  if (control_ != nullptr) control_->Stop();
  ReleaseAndClear(events_);
  ReleaseAndClear(seeking_);
  ReleaseAndClear(control_);
  ReleaseAndClear(graph_);
}

HRESULT AudioGraph::Build(const std::wstring& path, IBaseFilter* effect, IBaseFilter* sink,
                          std::string* error) {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGraphBuilder, reinterpret_cast<void**>(&graph_));
  if (FAILED(hr)) {
    *error = Step("cannot create a filter graph", hr);
    return hr;
  }
  graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control_));
  graph_->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking_));
  graph_->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events_));
  if (control_ == nullptr || seeking_ == nullptr || events_ == nullptr) {
    *error = "the filter graph lacks its control interfaces";
    return E_NOINTERFACE;
  }

  IBaseFilter* source = nullptr;
  IBaseFilter* parser = nullptr;
  IFileSourceFilter* load = nullptr;
  // Each pair: upstream filter, downstream filter, what a refusal means.
  struct Link {
    IBaseFilter* from;
    IBaseFilter* to;
    const char* refusal;
  };
  do {
    hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&source));
    if (FAILED(hr)) {
      *error = Step("cannot create File Source (Async)", hr);
      break;
    }
    hr = CoCreateInstance(kWaveParser, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&parser));
    if (FAILED(hr)) {
      *error = Step("cannot create the WAVE parser", hr);
      break;
    }
    const struct {
      IBaseFilter* filter;
      const wchar_t* name;
    } filters[] = {{source, L"Source"}, {parser, L"WAVE parser"}, {effect, L"Effect"},
                   {sink, L"Sink"}};
    for (const auto& f : filters) {
      hr = graph_->AddFilter(f.filter, f.name);
      if (FAILED(hr)) {
        *error = Step("cannot add a filter to the graph", hr);
        break;
      }
    }
    if (FAILED(hr)) break;
    hr = source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&load));
    if (SUCCEEDED(hr)) hr = load->Load(path.c_str(), nullptr);
    if (FAILED(hr)) {
      *error = Step("File Source (Async) cannot open the file", hr);
      break;
    }
    const Link links[] = {
        {source, parser, "the WAVE parser cannot read the file"},
        {parser, effect, "the effect refuses the parser's audio format"},
        {effect, sink, "the sink refuses the effect's output"},
    };
    for (const Link& link : links) {
      IPin* out = FreePin(link.from, PINDIR_OUTPUT);
      IPin* in = FreePin(link.to, PINDIR_INPUT);
      hr = out != nullptr && in != nullptr ? graph_->ConnectDirect(out, in, nullptr)
                                           : VFW_E_NOT_FOUND;
      if (out != nullptr) out->Release();
      if (in != nullptr) in->Release();
      if (FAILED(hr)) {
        *error = Step(link.refusal, hr);
        break;
      }
    }
  } while (false);
  ReleaseAndClear(load);
  ReleaseAndClear(parser);  // the graph holds them now
  ReleaseAndClear(source);
  return hr;
}

}  // namespace mwfx
