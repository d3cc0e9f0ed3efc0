// Reading numbers out of text: the lenient way for command-line handles, the strict way for
// stored settings.
#pragma once

#include <cstdint>
#include <string>

// Reads as much of a number as the text holds: blanks and tabs are skipped wherever they
// stand, "&H" / "&O" select hexadecimal / octal, reading stops at the first character that
// cannot continue the number, and no number at all is 0.
double lenientNumber(const std::string& text);

// The whole text (blanks around it allowed) as one decimal, "&H" or "&O" number; false if it
// is anything else.
bool strictNumber(const std::string& text, double& value);

// Rounded to the nearest whole number, a half to the even neighbour; false outside the
// signed 32-bit range.
bool roundToInt32(double value, std::int32_t& result);
