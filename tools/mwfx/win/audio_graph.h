// A filter graph that plays a WAV file through one effect filter into a sink:
// File Source (Async) -> WAVE parser -> effect -> sink, each pair connected directly so
// that the graph inserts nothing between them.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

namespace mwfx {

class AudioGraph {
 public:
  AudioGraph() = default;
  // Stops the graph and lets go of it and its filters.
  ~AudioGraph();
  AudioGraph(const AudioGraph&) = delete;
  AudioGraph& operator=(const AudioGraph&) = delete;

  // Builds the graph for the file at `path` (a full path). On failure `error` names the
  // step that failed and the status is returned.
  HRESULT Build(const std::wstring& path, IBaseFilter* effect, IBaseFilter* sink,
                std::string* error);

  IGraphBuilder* Graph() const { return graph_; }
  IMediaControl* Control() const { return control_; }
  IMediaSeeking* Seeking() const { return seeking_; }
  IMediaEvent* Events() const { return events_; }

 private:
  IGraphBuilder* graph_ = nullptr;
  IMediaControl* control_ = nullptr;
  IMediaSeeking* seeking_ = nullptr;
  IMediaEvent* events_ = nullptr;
};

// The first pin of `filter` in `direction` that is not connected yet, with a reference;
// null when there is none.
IPin* FreePin(IBaseFilter* filter, PIN_DIRECTION direction);

}  // namespace mwfx
