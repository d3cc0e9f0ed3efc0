// Program services of the host over Win32: command line, program folder, message box,
// folder creation, process start, screen size, program end and the message loop.
// The program's own path, the process start and shown texts go through UTF-16, so a program
// folder outside the ANSI code page works; the fixed folder is made in the ANSI form.
#pragma once

#include <string>

#include "screen_area.h"

// The command line without the program's own path and the blanks after it.
std::string programArgumentText();
// The folder that holds the program, without a trailing "\".
std::string programFolder();
// Text, one OK button, no icon; returns when dismissed.
void showMessage(const std::string& text, const std::string& title);
// Makes one folder; an existing one is no error.
void createFolder(const std::string& path);
// Starts a program by its full path in a normal window with focus; keeps nothing of it.
// False when no process could be started (a missing file, or one that is no program).
bool startProgram(const std::string& applicationName, const std::string& commandLine);
bool topLevelWindowExists(const std::string& title);
// Primary screen in physical pixels (the program is DPI aware).
void primaryScreenPixels(int& width, int& height);
// What a run covers: the virtual screen (every monitor), in physical pixels.
ScreenArea runScreenPixels();
// Runs the message loop until the program is asked to quit.
int runMessageLoop();
// Ends the process at once; no further window handler runs.
[[noreturn]] void endProgram();
