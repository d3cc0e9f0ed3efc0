#define WIN32_LEAN_AND_MEAN
#include "text_win32.h"

#include <windows.h>

namespace {

std::wstring widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &out[0], n);
  return out;
}

std::string narrow(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string toAnsi(const std::string& utf8) { return narrow(widen(utf8, CP_UTF8), CP_ACP); }
std::string fromAnsi(const std::string& ansi) { return narrow(widen(ansi, CP_ACP), CP_UTF8); }
std::wstring toWide(const std::string& utf8) { return widen(utf8, CP_UTF8); }
std::string fromWide(const std::wstring& wide) { return narrow(wide, CP_UTF8); }
