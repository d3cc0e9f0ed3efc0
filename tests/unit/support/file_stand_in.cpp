#include "file_stand_in.h"

#include <cstring>
#include <map>
#include <set>

#include "file_input.h"

namespace {

struct Entry {
  std::vector<unsigned char> bytes;
  bool openable = true;
  fileio::Stamp stamp;
};

struct OpenState {
  const Entry* entry;
  std::size_t offset;
};

// Leaked on purpose: the snapshot texture's destructor may run after this file's statics.
std::map<std::string, Entry>& files() {
  static auto* m = new std::map<std::string, Entry>;
  return *m;
}
std::vector<std::size_t>& requests() {
  static auto* v = new std::vector<std::size_t>;
  return *v;
}
int openCount = 0, liveCount = 0, closeCount = 0;
// Every write moves this on, as the system clock gives each write its own time.
std::int64_t writeClock = 0;
std::uint64_t nextIndex = 1;

}  // namespace

namespace filestub {

void reset() {
  files().clear();
  requests().clear();
  requests().reserve(64);  // keeps the heap level steady across loads for leak checks
  openCount = liveCount = closeCount = 0;
}
void put(const std::string& path, std::vector<unsigned char> bytes) {
  Entry& e = files()[path];
  if (e.stamp.index == 0) e.stamp.index = nextIndex++;
  e.stamp.volume = 1;
  e.stamp.size = bytes.size();
  e.stamp.lastWrite = ++writeClock;
  e.bytes = std::move(bytes);
  e.openable = true;
}
void replace(const std::string& path, std::vector<unsigned char> bytes, std::int64_t lastWrite) {
  files().erase(path);
  put(path, std::move(bytes));
  files()[path].stamp.lastWrite = lastWrite;
}
void remove(const std::string& path) { files().erase(path); }
void unopenable(const std::string& path) { files()[path].openable = false; }
std::int64_t lastWrite(const std::string& path) { return files()[path].stamp.lastWrite; }
int opens() { return openCount; }
int openNow() { return liveCount; }
int closes() { return closeCount; }
const std::vector<std::size_t>& readRequests() { return requests(); }

}  // namespace filestub

namespace fileio {

struct File {
  OpenState state;
};

File* openForReading(const char* path) {
  auto it = files().find(path);
  if (it == files().end() || !it->second.openable) return nullptr;
  ++openCount;
  ++liveCount;
  return new File{{&it->second, 0}};
}

std::size_t read(File* file, void* buffer, std::size_t count) {
  if (requests().size() < requests().capacity()) requests().push_back(count);
  const std::vector<unsigned char>& bytes = file->state.entry->bytes;
  const std::size_t left = bytes.size() - file->state.offset;
  const std::size_t n = count < left ? count : left;
  if (n) std::memcpy(buffer, bytes.data() + file->state.offset, n);
  file->state.offset += n;
  return n;
}

bool stamp(File* file, Stamp& out) {
  out = file->state.entry->stamp;
  return true;
}

void close(File* file) {
  ++closeCount;
  --liveCount;
  delete file;
}

}  // namespace fileio
