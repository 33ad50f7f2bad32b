#include "wav_header.h"

#include <cstring>

#include "core/frame/le_bytes.h"

namespace mwfx {
namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kIeeeFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;

const char kAccepted[] =
    "accepted: 8-bit unsigned PCM, 16-bit PCM, 32-bit PCM, 32-bit float, 64-bit float; "
    "mono or stereo WAV";

// The tail shared by every subformat GUID that stands for a plain format tag.
const std::uint8_t kSubformatBase[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::string EncodingName(std::uint16_t tag, std::uint16_t bits) {
  const std::string n = std::to_string(bits);
  switch (tag) {
    case kPcm: return bits == 8 ? "8-bit unsigned PCM" : n + "-bit PCM";
    case kIeeeFloat: return n + "-bit float";
    case 2: return "MS ADPCM";
    case 6: return "A-law";
    case 7: return "u-law";
    case 0x11: return "IMA ADPCM";
    case 0x31: return "GSM 6.10";
    default: return "an unsupported encoding";
  }
}

bool Accepted(std::uint16_t tag, std::uint16_t bits) {
  if (tag == kPcm) return bits == 8 || bits == 16 || bits == 32;
  if (tag == kIeeeFloat) return bits == 32 || bits == 64;
  return false;
}

std::string Unreadable(const std::string& name, const std::string& why) {
  return "'" + name + "' is not a sound file that can be read (" + why + "); " + kAccepted;
}

std::string Refused(const std::string& name, const std::string& what) {
  return "'" + name + "' is " + what + ", which is not accepted; " + kAccepted;
}

}  // namespace

WavCheck ParseWav(const ReadAt& read, std::uint64_t fileSize, const std::string& name,
                  WavLayout* layout, std::string* problem) {
  *layout = WavLayout();
  std::uint8_t head[12];
  const std::size_t got = read(0, head, sizeof head);
  if (got >= 12 && std::memcmp(head, "FORM", 4) == 0 &&
      (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0)) {
    *problem = Refused(name, "AIFF (Apple/SGI)");
    return WavCheck::kRefused;
  }
  if (got < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
    *problem = Unreadable(name, got < 12 ? "too short" : "no RIFF/WAVE header");
    return WavCheck::kUnreadable;
  }
  // The chunks end at the RIFF size or the end of the file, whichever comes first.
  std::uint64_t end = 8 + std::uint64_t{mw::GetLe32(head + 4)};
  if (end > fileSize) end = fileSize;

  bool haveFmt = false, haveData = false;
  std::uint64_t at = 12;
  while (!haveData && at + 8 <= end) {
    std::uint8_t chunk[8];
    if (read(at, chunk, 8) != 8) break;
    const std::uint64_t size = mw::GetLe32(chunk + 4);
    const std::uint64_t body = at + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || size > 4096 || body + size > end) {
        *problem = Unreadable(name, "damaged fmt chunk");
        return WavCheck::kUnreadable;
      }
      layout->fmtChunk.resize(static_cast<std::size_t>(size));
      if (read(body, layout->fmtChunk.data(), layout->fmtChunk.size()) != size) break;
      haveFmt = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      layout->dataOffset = body;
      layout->claimedDataBytes = size;
      layout->dataBytes = body + size <= end ? size : end - body;
      haveData = true;
    }
    at = body + size + (size & 1);
  }
  if (!haveFmt || !haveData) {
    *problem = Unreadable(name, haveFmt ? "no data chunk" : "no fmt chunk before the data");
    return WavCheck::kUnreadable;
  }

  const std::uint8_t* f = layout->fmtChunk.data();
  layout->storedTag = mw::GetLe16(f);
  layout->tag = layout->storedTag;
  layout->channels = mw::GetLe16(f + 2);
  layout->rate = mw::GetLe32(f + 4);
  layout->storedBlockAlign = mw::GetLe16(f + 12);
  layout->bits = mw::GetLe16(f + 14);
  layout->validBits = layout->bits;
  const bool extensible = layout->storedTag == kExtensible;
  if (extensible) {
    if (layout->fmtChunk.size() < 40) {
      *problem = Unreadable(name, "damaged fmt chunk");
      return WavCheck::kUnreadable;
    }
    layout->validBits = mw::GetLe16(f + 18);
    layout->tag = std::memcmp(f + 26, kSubformatBase, sizeof kSubformatBase) == 0
                      ? mw::GetLe16(f + 24)
                      : 0;
  }

  const std::string channels =
      std::to_string(layout->channels) + (layout->channels == 1 ? " channel" : " channels");
  const std::string what = std::string(extensible ? "WAVEX (Microsoft)" : "WAV (Microsoft)") +
                           ", " + EncodingName(layout->tag, layout->bits) + ", " + channels;
  if (!Accepted(layout->tag, layout->bits) || layout->validBits != layout->bits ||
      (layout->channels != 1 && layout->channels != 2) || layout->rate == 0) {
    *problem = Refused(name, what);
    return WavCheck::kRefused;
  }
  // Frames are what the channels and bits make, whatever alignment the header states.
  layout->blockAlign = static_cast<std::uint16_t>(layout->bits / 8 * layout->channels);
  // Whole frames only, as the file's reader would deliver them.
  layout->dataBytes -= layout->dataBytes % layout->blockAlign;
  return WavCheck::kAccepted;
}

std::vector<std::string> InputWarnings(const WavLayout& layout, const std::string& name,
                                       std::uint64_t framesRead) {
  std::vector<std::string> lines;
  if (layout.storedBlockAlign != layout.blockAlign) {
    lines.push_back("'" + name + "' gives a block alignment of " +
                    std::to_string(layout.storedBlockAlign) + " bytes, but " +
                    std::to_string(layout.channels) +
                    (layout.channels == 1 ? " channel" : " channels") + " of " +
                    std::to_string(layout.bits) + " bits make frames of " +
                    std::to_string(layout.blockAlign) + " bytes; those are read");
  }
  if (layout.ExpectedFrames() > framesRead) {
    lines.push_back("'" + name + "' ends early: " + std::to_string(layout.ExpectedFrames()) +
                    " frames expected, " + std::to_string(framesRead) + " frames read");
  }
  return lines;
}

std::vector<std::uint8_t> WavHeader(const WavLayout& layout, std::uint64_t dataBytes,
                                    bool padded) {
  const std::uint64_t fmtBytes = layout.fmtChunk.size();
  const bool fact = layout.storedTag != kPcm;
  const std::uint64_t riffBytes = 4 + 8 + fmtBytes + (fmtBytes & 1) + (fact ? 12 : 0) + 8 +
                                  dataBytes + (padded ? dataBytes & 1 : 0);
  if (riffBytes > UINT32_MAX || layout.blockAlign == 0) return {};

  std::vector<std::uint8_t> h;
  auto put = [&h](const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    h.insert(h.end(), b, b + n);
  };
  auto put32 = [&put](std::uint64_t v) {
    std::uint8_t b[4];
    mw::PutLe32(b, static_cast<std::uint32_t>(v));
    put(b, 4);
  };
  put("RIFF", 4);
  put32(riffBytes);
  put("WAVE", 4);
  put("fmt ", 4);
  put32(fmtBytes);
  const std::size_t fmtAt = h.size();
  put(layout.fmtChunk.data(), layout.fmtChunk.size());
  if (layout.storedBlockAlign != layout.blockAlign) {
    mw::PutLe32(h.data() + fmtAt + 8, layout.rate * layout.blockAlign);
    mw::PutLe16(h.data() + fmtAt + 12, layout.blockAlign);
  }
  if (fmtBytes & 1) h.push_back(0);
  if (fact) {
    put("fact", 4);
    put32(4);
    put32(dataBytes / layout.blockAlign);
  }
  put("data", 4);
  put32(dataBytes);
  return h;
}

}  // namespace mwfx
