#define WIN32_LEAN_AND_MEAN
#include "services.h"

#include <windows.h>

#include <vector>

#include "command_line.h"
#include "settings.h"
#include "text_win32.h"

std::string programArgumentText() { return argumentText(fromWide(GetCommandLineW())); }

std::string programFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) return FolderOf(fromWide(std::wstring(path.data(), n)));
    path.resize(path.size() * 2);
  }
}

void showMessage(const std::string& text, const std::string& title) {
  MessageBoxW(nullptr, toWide(text).c_str(), toWide(title).c_str(), MB_OK | MB_SETFOREGROUND);
}

void createFolder(const std::string& path) { CreateDirectoryA(toAnsi(path).c_str(), nullptr); }

bool startProgram(const std::string& applicationName, const std::string& commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  const std::wstring application = toWide(applicationName);
  std::wstring command = toWide(commandLine);  // CreateProcessW may write into it
  // The program we start is to take the focus from us.
  AllowSetForegroundWindow(ASFW_ANY);
  if (!CreateProcessW(application.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool topLevelWindowExists(const std::string& title) {
  return FindWindowW(nullptr, toWide(title).c_str()) != nullptr;
}

void primaryScreenPixels(int& width, int& height) {
  width = GetSystemMetrics(SM_CXSCREEN);
  height = GetSystemMetrics(SM_CYSCREEN);
}

ScreenArea runScreenPixels() {
  const ScreenArea virtualScreen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                    GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  ScreenArea primary;
  primaryScreenPixels(primary.width, primary.height);
  return runScreenArea(virtualScreen, primary);
}

int runMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return int(message.wParam);
}

void endProgram() { ExitProcess(0); }
