#include "file_safety.h"

#include <vector>

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring fullPath(const std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetFullPathNameW(path.c_str(), DWORD(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return path;
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

// The path the system reached for this handle, in drive-letter form without the \\?\ prefix.
std::wstring finalPath(HANDLE file) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(file, buffer.data(), DWORD(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      std::wstring path(buffer.data(), n);
      if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
      if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
      return path;
    }
    buffer.resize(n + 1);
  }
}

// True when the handle stands for the entry named by path itself. A link followed anywhere
// along the way (the file, or a folder above it) shows as a different final path; that is
// also how a link opened as its target, as Wine opens it, is told from the link.
bool handleIsAt(HANDLE file, const std::wstring& path) {
  const std::wstring reached = finalPath(file);
  const std::wstring asked = fullPath(path);
  return !reached.empty() &&
         CompareStringOrdinal(reached.c_str(), int(reached.size()), asked.c_str(), int(asked.size()), TRUE) ==
             CSTR_EQUAL;
}

bool deleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

}  // namespace

bool removeWithoutFollowing(const std::wstring& path) {
  // A link opens as itself here, so what is removed is exactly what was looked at.
  HANDLE entry = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (entry == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  // Removing through a handle that reached something else would remove a link's target.
  const bool removed = handleIsAt(entry, path) && deleteOnClose(entry);
  CloseHandle(entry);
  return removed;
}

HANDLE createFreshFile(const std::wstring& path) {
  removeWithoutFollowing(path);
  // CREATE_NEW fails on any name that exists, a dangling link included, so nothing that
  // appeared since the removal is followed.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  if (!handleIsAt(file, path)) {
    // Made through a linked folder: take it back.
    deleteOnClose(file);
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

bool mayRewriteInPlace(const std::wstring& path) {
  HANDLE entry = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (entry == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    HANDLE made = createFreshFile(path);
    if (made == INVALID_HANDLE_VALUE) return false;
    CloseHandle(made);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool plain = GetFileInformationByHandle(entry, &info) &&
                     !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
                     info.nNumberOfLinks == 1 && handleIsAt(entry, path);
  CloseHandle(entry);
  return plain;
}
