// The settings file and the host's path routines. Texts are UTF-8 in the program; every byte
// that reaches the profile functions or a path lookup is in the system ANSI code page.
#pragma once

#include <cstddef>
#include <string>

#include "glassfall_contract.h"

// The shared files and the folder they live in. The folder and the settings file stay; the
// snapshot lives only as long as the run that made it.
using contract::kTempFolder;
using contract::kSettingsFile;
using contract::kSnapshotFile;
using contract::kSettingsSection;
using contract::kKeyWidth;
using contract::kKeyHeight;
using contract::kKeyLeft;
using contract::kKeyTop;
extern const char kKeyBgmMode[];
extern const char kKeyBgmRepeat[];
extern const char kKeyBgmFile[];

// Where the settings routines meet the system. Arguments and results of the profile calls are
// ANSI bytes; toAnsi/fromAnsi convert between those and the program's UTF-8.
class HostFiles {
 public:
  virtual ~HostFiles() = default;
  // GetPrivateProfileStringA: copies at most size - 1 bytes and a NUL into buffer.
  virtual void getProfileString(const std::string& section, const std::string& key,
                                const std::string& defaultValue, char* buffer, std::size_t size,
                                const std::string& file) = 0;
  // WritePrivateProfileStringA.
  virtual void writeProfileString(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) = 0;
  // Opens the file for reading and closes it again; false for folders and missing files. The
  // path is the program's UTF-8 text: a program folder may hold characters no code page has.
  virtual bool canOpenForReading(const std::string& path) = 0;
  virtual std::string toAnsi(const std::string& utf8) = 0;
  virtual std::string fromAnsi(const std::string& ansi) = 0;
};

// The value of key in section, at most 255 bytes of it; empty when anything is missing.
std::string ReadIni(HostFiles& files, const std::string& section, const std::string& key,
                    const std::string& file);
// Section and key take effect up to 128 characters; failures go unreported.
void WriteIni(HostFiles& files, const std::string& section, const std::string& key,
              const std::string& value, const std::string& file);
// True for a file that opens for reading; one trailing "\" is ignored.
bool FileExists(HostFiles& files, const std::string& path);
// Everything before the last ":" or "\", without a trailing "\": C:\a\b.mp3 -> C:\a, C:\b -> C:.
std::string FolderOf(const std::string& path);
