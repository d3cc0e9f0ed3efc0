// Win32 backend of the renderer's file input: CreateFileA / ReadFile / CloseHandle.
//  [x] open existing, read access, shared reading, sequential-scan hint
//  [x] one ReadFile per read; a short or failed read reports the bytes that arrived
//  [x] stamp: volume and file index, size and last-write time of the open handle
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

bool stamp(File* file, Stamp& out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &info)) return false;
  auto join = [](DWORD high, DWORD low) { return (std::uint64_t(high) << 32) | low; };
  out.volume = info.dwVolumeSerialNumber;
  out.index = join(info.nFileIndexHigh, info.nFileIndexLow);
  out.size = join(info.nFileSizeHigh, info.nFileSizeLow);
  out.lastWrite = std::int64_t(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  return true;
}

}  // namespace fileio
