// Runs the bitmap fuzz case over the stored corpus and a fixed sweep derived from each file:
// every truncation, every header byte set to edge values, every header field set to edge
// values, and seeded random mutations. Deterministic, so any compiler can run it in the
// normal suite. Prints the number of cases.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "bitmap_fuzz.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

long long cases = 0;
long long failures = 0;

FuzzVerdict run(const Bytes& b) {
  ++cases;
  return fuzzOneBitmap(b.data(), b.size());
}

void expectRefused(const Bytes& b, const char* what, const std::string& file) {
  if (run(b).status == BitmapStatus::ok) {
    ++failures;
    std::printf("FAIL %s: %s accepted (%zu bytes)\n", file.c_str(), what, b.size());
  }
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

std::uint32_t xorshift(std::uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

void sweep(const Bytes& original, const std::string& name) {
  const FuzzVerdict whole = run(original);
  std::printf("%-28s %zu bytes: %s\n", name.c_str(), original.size(), bitmapStatusName(whole.status));

  // A picture that was accepted cannot be accepted from fewer bytes than it used.
  for (std::size_t n = 0; n < original.size(); ++n) {
    Bytes cut(original.begin(), original.begin() + std::ptrdiff_t(n));
    if (whole.status == BitmapStatus::ok && n < whole.consumed)
      expectRefused(cut, "truncated copy", name);
    else
      run(cut);
  }

  const std::size_t headerEnd = original.size() < 64 ? original.size() : 64;
  for (std::size_t at = 0; at < headerEnd; ++at)
    for (std::uint8_t v : {0x00, 0x01, 0x18, 0x7F, 0x80, 0xFE, 0xFF}) {
      Bytes b = original;
      b[at] = v;
      run(b);
    }

  // pixel offset, width, height, bpp+compression, compression, image size
  for (std::size_t field : {10, 18, 22, 28, 30, 34})
    for (std::uint32_t v : {0u, 1u, 13u, 14u, 37u, 38u, 54u, 0x18u, 1022u, 0x10000u, 0x10026u, 0x7FFFFFFFu,
                            0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0x40000000u, 0x40000001u}) {
      Bytes b = original;
      put32(b, field, v);
      run(b);
    }

  std::uint32_t seed = 0x9E3779B9u ^ std::uint32_t(original.size());
  for (int i = 0; i < 3000; ++i) {
    Bytes b = original;
    const int edits = 1 + int(xorshift(seed) % 4);
    for (int e = 0; e < edits && !b.empty(); ++e) b[xorshift(seed) % b.size()] = std::uint8_t(xorshift(seed));
    if (xorshift(seed) % 4 == 0 && !b.empty()) b.resize(xorshift(seed) % b.size());
    run(b);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bitmap_corpus <corpus folder>\n");
    return 2;
  }
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
    sweep(bytes, path.filename().string());
  }
  std::printf("cases run: %lld, failures: %lld\n", cases, failures);
  return failures == 0 ? 0 : 1;
}
