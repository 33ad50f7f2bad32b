#include "graph_util.h"

#include <evcode.h>

#include <cstdio>
#include <cwchar>

namespace mwtest {
namespace {

void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutTag(std::vector<std::uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

}  // namespace

ScratchDir::ScratchDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  wchar_t name[64];
  static LONG counter = 0;
  swprintf(name, 64, L"mwgraph-%lx-%lx", GetCurrentProcessId(), InterlockedIncrement(&counter));
  dir_ = std::wstring(base) + name;
  CreateDirectoryW(dir_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((dir_ + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW((dir_ + L"\\" + found.cFileName).c_str());
      }
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(dir_.c_str());
}

void WriteWav(const std::wstring& path, const FormatCase& f, std::uint16_t channels,
              std::uint32_t rate, const std::vector<std::uint8_t>& samples, bool extensible) {
  const std::uint16_t align = static_cast<std::uint16_t>(f.bits / 8 * channels);
  std::vector<std::uint8_t> fmt;
  Put16(fmt, extensible ? 0xFFFE : f.tag);
  Put16(fmt, channels);
  Put32(fmt, rate);
  Put32(fmt, align * rate);
  Put16(fmt, align);
  Put16(fmt, f.bits);
  if (extensible) {
    Put16(fmt, 22);
    Put16(fmt, f.bits);
    Put32(fmt, channels == 1 ? 0x4 : 0x3);
    const std::uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Put16(fmt, f.tag);
    fmt.insert(fmt.end(), guidTail, guidTail + sizeof guidTail);
  } else {
    Put16(fmt, 0);
  }
  std::vector<std::uint8_t> body;
  PutTag(body, "WAVE");
  PutTag(body, "fmt ");
  Put32(body, static_cast<std::uint32_t>(fmt.size()));
  body.insert(body.end(), fmt.begin(), fmt.end());
  if (f.tag != 1 || extensible) {
    PutTag(body, "fact");
    Put32(body, 4);
    Put32(body, static_cast<std::uint32_t>(samples.size() / align));
  }
  PutTag(body, "data");
  Put32(body, static_cast<std::uint32_t>(samples.size()));
  body.insert(body.end(), samples.begin(), samples.end());
  if (samples.size() & 1) body.push_back(0);
  std::vector<std::uint8_t> file;
  PutTag(file, "RIFF");
  Put32(file, static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());

  FILE* out = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
  std::fclose(out);
}

EffectGraph::~EffectGraph() {
  if (Control() != nullptr) Control()->Stop();
  if (sink_ != nullptr) sink_->Release();
}

bool EffectGraph::Build(const std::wstring& file, IBaseFilter* effect) {
  effect->AddRef();
  *effect_.Out() = effect;
  EXPECT_EQ(mwfx::WavSink::Create(&sink_), S_OK);
  if (sink_ == nullptr) return false;
  std::string error;
  const HRESULT hr = graph_.Build(file, effect, static_cast<IBaseFilter*>(sink_), &error);
  EXPECT_EQ(hr, S_OK) << error;
  return SUCCEEDED(hr);
}

HRESULT EffectGraph::WaitForComplete(DWORD ms) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start <= ms;) {
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (graph_.Events()->GetEvent(&code, &p1, &p2, 50) != S_OK) continue;
    graph_.Events()->FreeEventParams(code, p1, p2);
    if (code == EC_COMPLETE) return S_OK;
    if (code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) {
      return FAILED(static_cast<HRESULT>(p1)) ? static_cast<HRESULT>(p1) : E_FAIL;
    }
  }
  return E_ABORT;
}

bool EffectGraph::SinkFlushing() const {
  return static_cast<mw::ds::InputPin*>(sink_->GetPin(0))->Flushing();
}

bool DelayGraph::Build(const std::wstring& file, const SimpleDelayParams& params) {
  Ptr<IBaseFilter> effect;
  EXPECT_EQ(Module::Get().Create(CLSID_MwSimpleDelay, nullptr, IID_IBaseFilter,
                                 effect.OutVoid()),
            S_OK);
  if (!effect) return false;
  Ptr<ISimpleDelayParams> p;
  EXPECT_EQ(effect->QueryInterface(IID_ISimpleDelayParams, p.OutVoid()), S_OK);
  if (!p) return false;
  EXPECT_EQ(p->SetParameters(&params), S_OK);
  return EffectGraph::Build(file, effect.Get());
}

HoldingWriter::HoldingWriter(EffectGraph& g, int holdAt, DWORD timeoutMs)
    : g_(g), holdAt_(holdAt), timeout_(timeoutMs) {
  held_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_.Sink()->SetWriter([this](const BYTE* data, std::size_t bytes) {
    bytes_.insert(bytes_.end(), data, data + bytes);
    if (++calls_ == holdAt_) {
      heldBytes_ = bytes_.size();
      SetEvent(held_);
      const DWORD start = GetTickCount();
      while (!g_.SinkFlushing() && g_.Sink()->State() != State_Stopped &&
             GetTickCount() - start < timeout_) {
        Sleep(5);
      }
    }
    return S_OK;
  });
}

HoldingWriter::~HoldingWriter() { CloseHandle(held_); }

bool HoldingWriter::WaitHeld() { return WaitForSingleObject(held_, timeout_) == WAIT_OBJECT_0; }

}  // namespace mwtest
