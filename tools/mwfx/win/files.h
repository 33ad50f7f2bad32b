// Files of the Windows host: UTF-8 names turned into the platform's wide names, whole-file
// reads, random-access reads of an input, and outputs staged under a temporary name.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace mwfx {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// The C library's text for the last error of a file call, as the native host reports it.
std::string LastErrorText();

// An input file opened for reading at any offset.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool Open(const std::string& path, std::string* error);
  std::uint64_t Size() const { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t bytes);

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  std::uint64_t size_ = 0;
};

// A file written beside its target under a temporary name and moved over the target only
// by Commit, so a failed run never clobbers an existing file. Destroyed without a commit,
// it leaves nothing behind.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool Create(const std::string& path, std::string* error);
  bool Write(const void* data, std::size_t bytes, std::string* error);
  // Rewrites bytes already written, from the start of the file.
  bool Rewrite(const void* data, std::size_t bytes, std::string* error);
  bool Commit(std::string* error);
  // Closes the file without moving it, so that others can open it by TempPath; it is still
  // removed on destruction.
  bool Close(std::string* error);
  const std::string& Path() const { return path_; }
  const std::wstring& TempPath() const { return temp_; }

 private:
  std::string path_;
  std::wstring temp_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace mwfx
