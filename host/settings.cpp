#include "settings.h"

#include <vector>

const char kKeyBgmMode[] = "BGM区分";
const char kKeyBgmRepeat[] = "BGMﾘﾋﾟｰﾄ";
const char kKeyBgmFile[] = "BGMﾌｧｲﾙ";

namespace {

const std::size_t kReadBufferSize = 256;
const std::size_t kWriteNameLimit = 128;

// The text up to its first NUL, which is where the system stops reading it anyway.
std::string upToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// The first `limit` characters of UTF-8 text (a character is one code point).
std::string firstCharacters(const std::string& text, std::size_t limit) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (count++ == limit) return text.substr(0, i);
  }
  return text;
}

}  // namespace

std::string ReadIni(HostFiles& files, const std::string& section, const std::string& key,
                    const std::string& file) {
  std::vector<char> buffer(kReadBufferSize, '\0');
  files.getProfileString(files.toAnsi(upToNul(section)), files.toAnsi(upToNul(key)), std::string(),
                         buffer.data(), buffer.size(), files.toAnsi(upToNul(file)));
  buffer.back() = '\0';  // a faulty reader must not take us past the buffer
  return files.fromAnsi(std::string(buffer.data()));
}

void WriteIni(HostFiles& files, const std::string& section, const std::string& key,
              const std::string& value, const std::string& file) {
  files.writeProfileString(files.toAnsi(firstCharacters(upToNul(section), kWriteNameLimit)),
                           files.toAnsi(firstCharacters(upToNul(key), kWriteNameLimit)),
                           files.toAnsi(upToNul(value)), files.toAnsi(upToNul(file)));
}

bool FileExists(HostFiles& files, const std::string& path) {
  std::string name = path;
  if (!name.empty() && name.back() == '\\') name.pop_back();
  return files.canOpenForReading(name);
}

std::string FolderOf(const std::string& path) {
  const std::size_t last = path.find_last_of(":\\");
  if (last == std::string::npos) return std::string();
  std::string folder = path.substr(0, last + 1);
  if (folder.back() == '\\') folder.pop_back();
  return folder;
}
