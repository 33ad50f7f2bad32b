// The RIFF/WAVE layout as the Windows host needs it: finding the fmt and data chunks of an
// input file, saying in words what a refused file holds, and writing an output header that
// carries the input's own fmt chunk. Standard C++ only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mwfx {

struct WavLayout {
  std::vector<std::uint8_t> fmtChunk;  // the fmt chunk's body exactly as stored
  std::uint16_t storedTag = 0;         // as stored: 0xFFFE for an extensible block
  std::uint16_t tag = 0;               // the sample encoding: the extensible block's subformat
  std::uint16_t channels = 0;
  std::uint32_t rate = 0;
  std::uint16_t blockAlign = 0;        // what the channels and bits make
  std::uint16_t storedBlockAlign = 0;  // as stored, which may disagree
  std::uint16_t bits = 0;
  std::uint16_t validBits = 0;         // an extensible block's valid bits, else `bits`
  std::uint64_t dataOffset = 0;
  std::uint64_t dataBytes = 0;         // whole frames, as far as the file holds them
  std::uint64_t claimedDataBytes = 0;  // the data chunk's size as stored

  std::uint64_t Frames() const { return blockAlign != 0 ? dataBytes / blockAlign : 0; }
  // The frames the data chunk claims, which a file that ends early does not hold.
  std::uint64_t ExpectedFrames() const {
    return blockAlign != 0 ? claimedDataBytes / blockAlign : 0;
  }
};

// Reads up to `bytes` bytes at `offset`; returns the count read (short at the end).
using ReadAt = std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t bytes)>;

enum class WavCheck {
  kAccepted,    // one of the five encodings, mono or stereo
  kRefused,     // a readable sound file in a format that is not accepted
  kUnreadable,  // not a WAV file at all, or damaged
};

// Parses the header of a file of `fileSize` bytes. For kRefused and kUnreadable, `problem`
// is the message to report for the file named `name`.
WavCheck ParseWav(const ReadAt& read, std::uint64_t fileSize, const std::string& name,
                  WavLayout* layout, std::string* problem);

// The warnings about an accepted file that a host processes all the same: a file that ends
// before its data chunk does (with the frames expected and the frames read), and a block
// alignment that disagrees with the channels and bits (the frames they make are used).
std::vector<std::string> InputWarnings(const WavLayout& layout, const std::string& name,
                                       std::uint64_t framesRead);

// The header of an output file with the layout's fmt chunk and `dataBytes` bytes of
// samples: RIFF header, fmt chunk (its block alignment and byte rate corrected when the
// stored alignment disagrees with the samples), a fact chunk for encodings other than plain
// PCM, and the data chunk's header. The RIFF size counts the pad byte that follows an odd number of
// data bytes unless `padded` is false (a file that ends right after its samples). Empty
// when the sizes do not fit the format's 32-bit fields.
std::vector<std::uint8_t> WavHeader(const WavLayout& layout, std::uint64_t dataBytes,
                                    bool padded = true);

}  // namespace mwfx
