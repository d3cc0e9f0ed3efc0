// What every fuzz entry shares: a check that stops the run on a broken promise, and a reader
// that takes layout numbers off the front of the input and leaves the rest as the payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Aborts, naming the promise, so that both drivers report the input that broke it.
inline void require(bool kept, const char* target, const char* promise) {
  if (kept) return;
  std::fprintf(stderr, "%s broke a promise: %s\n", target, promise);
  std::abort();
}

// Numbers read off the front of the input; past its end every number reads as zero, so a
// short input is still a case.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t u16() { return std::uint16_t(u8() | unsigned(u8()) << 8); }
  std::uint32_t u32() { return std::uint32_t(u16()) | std::uint32_t(u16()) << 16; }
  std::uint64_t u64() { return std::uint64_t(u32()) | std::uint64_t(u32()) << 32; }

  // The bytes not read yet, as an exactly sized copy (so that a read past them is caught).
  std::vector<std::uint8_t> rest() const {
    return at_ < size_ ? std::vector<std::uint8_t>(data_ + at_, data_ + size_) : std::vector<std::uint8_t>();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// The input cut at its NUL bytes: "a\0b" is {"a", "b"}, "" is {""}.
inline std::vector<std::string> splitOnNul(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      words.emplace_back();
    else
      words.back() += char(data[i]);
  }
  return words;
}
