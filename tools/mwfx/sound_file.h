// WAV files through libsndfile, read and written as raw sample bytes so that every stored
// code passes through unchanged. Both directions go through one fixed block of
// kIoBlockBytes each, so that a file takes a few dozen system calls rather than one per
// effect buffer, while memory stays the same for any length of file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <sndfile.h>

#include "core/frame/effect_format.h"
#include "wav_header.h"

namespace mwfx {

// The size of the file reads and writes: large enough that the calls cost little, small
// enough that a block stays in the processor's second-level cache while it is copied.
constexpr std::size_t kIoBlockBytes = std::size_t{256} * 1024;

class InputSound {
 public:
  InputSound() = default;
  ~InputSound();
  InputSound(const InputSound&) = delete;
  InputSound& operator=(const InputSound&) = delete;

  // Opens and checks the file; on failure `error` says why (naming the refused format).
  bool Open(const std::string& path, std::string* error);
  // The file's WAV header as the header reader sees it, when that reader accepts the file:
  // what the data chunk claims and the stored block alignment, for the input warnings.
  bool HeaderRead() const { return headerRead_; }
  const WavLayout& Header() const { return header_; }
  const mw::EffectFormat& Format() const { return format_; }
  // The 16-byte wave format block the file describes.
  void FormatBlock(std::uint8_t out[16]) const;
  // Fills `out` with that block and answers whether the effects' input pins take it.
  mw::HResult CheckFormat(std::uint8_t out[16]) const;
  std::int64_t Frames() const { return info_.frames; }
  int SndfileFormat() const { return info_.format; }
  // Reads up to `bytes` bytes of whole frames; the count read, or -1 on an error.
  std::int64_t Read(std::uint8_t* buffer, std::size_t bytes);

 private:
  // Refills the block from the file; false on an error.
  bool Refill();

  SNDFILE* file_ = nullptr;
  std::unique_ptr<std::uint8_t[]> block_;
  std::size_t blockSize_ = 0;
  std::size_t blockFill_ = 0;
  std::size_t blockRead_ = 0;
  bool failed_ = false;
  SF_INFO info_{};
  mw::EffectFormat format_;
  WavLayout header_;
  bool headerRead_ = false;
};

// A file written beside its target under a temporary name and renamed over the target
// only by Commit, so a failed run never clobbers an existing file. Destroyed without a
// commit, it leaves nothing behind.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool Create(const std::string& path, std::string* error);
  int Fd() const { return fd_; }
  bool Write(const void* data, std::size_t bytes, std::string* error);
  bool Commit(std::string* error);

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
};

class OutputSound {
 public:
  OutputSound() = default;
  ~OutputSound();
  OutputSound(const OutputSound&) = delete;
  OutputSound& operator=(const OutputSound&) = delete;

  bool Create(const std::string& path, int sndfileFormat, int channels, int rate,
              std::string* error);
  bool Write(const std::uint8_t* data, std::size_t bytes);
  bool Commit(std::string* error);

 private:
  bool Flush();

  StagedFile staged_;
  SNDFILE* file_ = nullptr;
  std::unique_ptr<std::uint8_t[]> block_;
  std::size_t blockFill_ = 0;
};

}  // namespace mwfx
