// The corpus driver of a fuzz target other than the bitmap reader's: its entry over every
// stored file, then over a fixed sweep derived from each (every truncation, every byte of the
// front set to edge values, seeded random edits). Deterministic, so every compiler runs it in
// the normal suite; a broken promise aborts inside the entry, naming it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

long long cases = 0;

void run(const Bytes& b) {
  ++cases;
  // A copy of exactly the case's size, so that a read past its end is one past an allocation.
  const Bytes exact(b);
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

std::uint32_t xorshift(std::uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

void sweep(const Bytes& original, int randomEdits) {
  run(original);
  for (std::size_t n = 0; n < original.size(); ++n) run(Bytes(original.begin(), original.begin() + std::ptrdiff_t(n)));

  // The front holds the layout numbers of the picture targets and the option names of the
  // text ones: each byte there at the values that sit on boundaries.
  const std::size_t front = std::min<std::size_t>(original.size(), 48);
  for (std::size_t at = 0; at < front; ++at)
    for (std::uint8_t v : {0x00, 0x01, 0x02, 0x0A, 0x20, 0x2D, 0x3D, 0x7F, 0x80, 0xFE, 0xFF}) {
      Bytes b = original;
      b[at] = v;
      run(b);
    }

  std::uint32_t seed = 0x9E3779B9u ^ std::uint32_t(original.size());
  for (int i = 0; i < randomEdits; ++i) {
    Bytes b = original;
    const int edits = 1 + int(xorshift(seed) % 4);
    for (int e = 0; e < edits && !b.empty(); ++e) b[xorshift(seed) % b.size()] = std::uint8_t(xorshift(seed));
    if (xorshift(seed) % 4 == 0 && !b.empty()) b.resize(xorshift(seed) % b.size());
    if (xorshift(seed) % 8 == 0) b.insert(b.begin() + std::ptrdiff_t(b.empty() ? 0 : xorshift(seed) % b.size()), 0);
    run(b);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <corpus folder> [random edits per file]\n", argv[0]);
    return 2;
  }
  const int randomEdits = argc == 3 ? std::atoi(argv[2]) : 2000;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::printf("no corpus in %s\n", argv[1]);
    return 1;
  }
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    sweep(bytes, randomEdits);
  }
  // Every broken promise aborted above; reaching here means none was.
  std::printf("files: %zu, cases run: %lld, failures: 0\n", files.size(), cases);
  return 0;
}
