// Small path helpers for the help files' paths (ANSI code page, double-byte aware).
#pragma once

#include <cstddef>

namespace mw::ui {

// The file-name part: what follows the last "\" or ":" (the whole text when neither occurs).
const char* FileNamePart(const char* path);

// Appends "\" when the path does not end with one and it fits in `size` bytes with its
// terminator. True when the path ends with "\" afterwards.
bool AppendBackslash(char* path, std::size_t size);

// The file can be opened for reading while others read and write it, or the open fails
// only because another program holds it without sharing.
bool FileExists(const char* path);

}  // namespace mw::ui
