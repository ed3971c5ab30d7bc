#include "update/update_section.h"

namespace qvx {

std::string UpperCase1252(std::string text) {
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) c = static_cast<char>(b - 0x20);
    else if (b == 0x9A || b == 0x9C || b == 0x9E) c = static_cast<char>(b - 0x10);  // š œ ž
    else if (b == 0xFF) c = static_cast<char>(0x9F);                                // ÿ
  }
  return text;
}

std::string UpdateSection(const std::string& hostPath) {
  const std::string name = hostPath.substr(hostPath.find_last_of('\\') + 1);
  return name.size() > 4 ? UpperCase1252(name.substr(0, name.size() - 4)) : std::string();
}

}  // namespace qvx
