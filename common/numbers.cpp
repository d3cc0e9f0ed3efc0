#include "numbers.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Scans one number from `pos`; skipBlanks lets blanks stand inside it. Leaves pos after the
// last character used and tells whether any digit was found.
struct Scan {
  const std::string& text;
  std::size_t pos;
  bool skipBlanks;

  void skip() {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
  }
  char peek() {
    if (skipBlanks) skip();
    return pos < text.size() ? text[pos] : '\0';
  }

  bool read(double& value) {
    skip();
    if (peek() == '&') {
      const std::size_t at = pos;
      ++pos;
      const char kind = peek();
      const int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
      if (base == 0) {
        pos = at;
        return false;
      }
      ++pos;
      value = 0;
      bool any = false;
      while (digitValue(peek()) < base) {
        value = value * base + digitValue(text[pos++]);
        any = true;
      }
      return any;
    }
    std::string cleaned;
    if (peek() == '+' || peek() == '-') cleaned += text[pos++];
    bool any = false;
    while (isDigit(peek())) cleaned += text[pos++], any = true;
    if (peek() == '.') {
      cleaned += text[pos++];
      while (isDigit(peek())) cleaned += text[pos++], any = true;
    }
    if (!any) return false;
    if (peek() == 'E' || peek() == 'e' || peek() == 'D' || peek() == 'd') {
      const std::size_t at = pos;
      std::string exponent = "e";
      ++pos;
      if (peek() == '+' || peek() == '-') exponent += text[pos++];
      bool digits = false;
      while (isDigit(peek())) exponent += text[pos++], digits = true;
      if (digits) cleaned += exponent;
      else pos = at;
    }
    value = std::strtod(cleaned.c_str(), nullptr);
    return true;
  }
};

}  // namespace

double lenientNumber(const std::string& text) {
  Scan scan{text, 0, true};
  double value = 0;
  return scan.read(value) ? value : 0;
}

bool strictNumber(const std::string& text, double& value) {
  Scan scan{text, 0, false};
  double read = 0;
  if (!scan.read(read)) return false;
  scan.skip();
  if (scan.pos != text.size()) return false;
  value = read;
  return true;
}

bool roundToInt32(double value, std::int32_t& result) {
  if (!std::isfinite(value)) return false;
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(value);
  std::fesetround(saved);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return false;
  result = static_cast<std::int32_t>(rounded);
  return true;
}
