// The program-wide music values and their loading from the settings file.
// Texts are UTF-8 here; the settings routines convert to the system ANSI code page at the
// system boundary (win32/text_win32.h has the same conversions for other Win32 code).
#pragma once

#include <cstdint>
#include <string>

#include "music_choice.h"

class HostFiles;

// The run's music plays what these three name; they are the fields of one choice, so that the
// host can hand it to the music as it stands when a run starts.
extern MusicChoice HostMusic;
extern std::int16_t& BgmMode;   // 0 no music, 1 audio CD, 2 music file; other values play nothing
extern std::int16_t& BgmRepeat; // CD track to repeat, from 1; 0 the whole disc
extern std::string& BgmFile;    // full path of the MP3 or WAV file, empty for none
extern std::string BgmFolder;   // where the file chooser opens

// Reads the music keys of the settings file; a value that is not usable leaves its setting as it was.
void LoadMusicSettings(HostFiles& files, const std::string& programFolder);
