// Win32 backend of the renderer's file input: CreateFileA / ReadFile / CloseHandle.
//  [x] open existing, read access, shared reading, sequential-scan hint
//  [x] one ReadFile per read; a short or failed read reports the bytes that arrived
//  [ ] reads above 4 GiB in one call (the bitmap reader never asks for them)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "../file_input.h"

namespace fileio {

File* openForReading(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return reinterpret_cast<File*>(handle);
}

std::size_t read(File* file, void* buffer, std::size_t count) {
  const DWORD wanted = count > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(count);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, wanted, &got, nullptr)) return 0;
  return got;
}

void close(File* file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

}  // namespace fileio
