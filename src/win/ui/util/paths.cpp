#include "win/ui/util/paths.h"

#include <windows.h>

namespace mw::ui {

const char* FileNamePart(const char* path) {
  if (path == nullptr) return nullptr;
  const char* name = path;
  for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\' || *p == ':') name = p + 1;
  }
  return name;
}

bool AppendBackslash(char* path, std::size_t size) {
  if (path == nullptr) return false;
  const char* last = nullptr;
  const char* end = path;
  for (; *end != '\0'; end = CharNextA(end)) last = end;
  if (last != nullptr && *last == '\\') return true;
  const std::size_t length = static_cast<std::size_t>(end - path);
  if (length + 2 > size) return false;
  path[length] = '\\';
  path[length + 1] = '\0';
  return true;
}

bool FileExists(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(file);
  return true;
}

}  // namespace mw::ui
