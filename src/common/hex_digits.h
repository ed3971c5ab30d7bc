// Upper-case hexadecimal digits, the alphabet of the module's encoded texts.
#pragma once

#include <string>

namespace qvx {

inline void AppendHexByte(std::string& out, unsigned char byte) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

// 0-15, or -1 for anything but 0-9 and A-F (lower case is not accepted).
inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace qvx
