// Program services of the host over Win32: command line, program folder, message box,
// folder creation, process start, screen size, program end and the message loop.
// Paths and lookups use the system ANSI code page; shown texts go through UTF-16.
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
