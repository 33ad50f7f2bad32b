#include "win/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli.h"

namespace mwfx {
namespace {

// errno values for the platform's file errors, so that messages read as the native
// host's do.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_DIRECTORY: return EISDIR;
    default: return EIO;
  }
}

std::string ErrorText(DWORD error) { return std::strerror(ErrnoOf(error)); }

bool IsDirectory(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return w;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &s[0], n,
                      nullptr, nullptr);
  return s;
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  InputFile file;
  if (!file.Open(path, error)) return false;
  if (file.Size() > (1u << 30)) {
    *error = "cannot read '" + path + "': the file is too large";
    return false;
  }
  bytes->resize(static_cast<std::size_t>(file.Size()));
  if (file.ReadAt(0, bytes->empty() ? nullptr : &(*bytes)[0], bytes->size()) != bytes->size()) {
    *error = "cannot read '" + path + "'";
    return false;
  }
  return true;
}

InputFile::~InputFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool InputFile::Open(const std::string& path, std::string* error) {
  const std::wstring wide = Widen(path);
  if (path.empty()) {
    *error = "an empty file name was given";
    return false;
  }
  if (IsDirectory(wide)) {
    *error = "cannot read '" + path + "': " + std::strerror(EISDIR);
    return false;
  }
  file_ = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    *error = "cannot read '" + path + "': " + LastErrorText();
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file_, &size)) {
    *error = "cannot read '" + path + "': " + LastErrorText();
    return false;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t bytes) {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < bytes) {
    OVERLAPPED at{};
    const std::uint64_t where = offset + done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const std::size_t left = bytes - done;
    const DWORD want = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file_, p + done, want, &got, &at) || got == 0) break;
    done += got;
  }
  return done;
}

StagedFile::~StagedFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  if (!temp_.empty()) DeleteFileW(temp_.c_str());
}

bool StagedFile::Create(const std::string& path, std::string* error) {
  path_ = path;
  // Refused up front, so that one file of a run cannot land while another cannot.
  if (path.empty()) {
    *error = "an empty file name was given";
    return false;
  }
  const std::wstring target = Widen(path);
  if (IsDirectory(target)) {
    *error = "cannot write '" + path + "': it is a directory";
    return false;
  }
  // A fresh name beside the target: the process, the time and a counter make it unique
  // enough that CREATE_NEW rarely needs a second try.
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[64];
    swprintf(suffix, sizeof suffix / sizeof suffix[0], L".mwfx-%lx%lx%lx",
             GetCurrentProcessId(), GetTickCount(), InterlockedIncrement(&counter));
    const std::wstring name = target + suffix;
    file_ = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ != INVALID_HANDLE_VALUE) {
      temp_ = name;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  *error = "cannot create a file beside '" + path + "': " + LastErrorText();
  return false;
}

bool StagedFile::Write(const void* data, std::size_t bytes, std::string* error) {
  const char* p = static_cast<const char*>(data);
  while (bytes > 0) {
    const DWORD want = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes);
    DWORD done = 0;
    if (!WriteFile(file_, p, want, &done, nullptr) || done == 0) {
      *error = "cannot write '" + path_ + "': " + LastErrorText();
      return false;
    }
    p += done;
    bytes -= done;
  }
  return true;
}

bool StagedFile::Rewrite(const void* data, std::size_t bytes, std::string* error) {
  LARGE_INTEGER zero{}, end{};
  if (!SetFilePointerEx(file_, zero, &end, FILE_END) ||
      !SetFilePointerEx(file_, zero, nullptr, FILE_BEGIN)) {
    *error = "cannot write '" + path_ + "': " + LastErrorText();
    return false;
  }
  if (!Write(data, bytes, error)) return false;
  if (!SetFilePointerEx(file_, end, nullptr, FILE_BEGIN)) {
    *error = "cannot write '" + path_ + "': " + LastErrorText();
    return false;
  }
  return true;
}

bool StagedFile::Close(std::string* error) {
  const BOOL closed = CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (!closed) *error = "cannot write '" + Narrow(temp_) + "': " + LastErrorText();
  return closed != FALSE;
}

bool StagedFile::Commit(std::string* error) {
  const BOOL closed = CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (!closed || !MoveFileExW(temp_.c_str(), Widen(path_).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    *error = "cannot write '" + path_ + "': " + LastErrorText();
    return false;
  }
  temp_.clear();
  return true;
}

}  // namespace mwfx
