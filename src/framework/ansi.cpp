#include "framework/ansi.h"

#include <climits>
#include <new>

namespace qvx::fw {

std::string AnsiFromWide(const wchar_t* text, size_t length) {
  if (text == nullptr || length == 0) return {};
  if (length > INT_MAX) throw std::bad_alloc();
  int n = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

std::string AnsiFromBstr(BSTR text) {
  return AnsiFromWide(text, text ? ::SysStringLen(text) : 0);
}

std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw std::bad_alloc();
  int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string CutAnsi(std::string text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = 0;
  while (end < max) {
    const size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1;
    if (end + step > max) break;
    end += step;
  }
  text.resize(end);
  return text;
}

BSTR BstrFromAnsi(const std::string& text) {
  if (text.size() > INT_MAX) return nullptr;
  const int length = static_cast<int>(text.size());
  const int n = length ? ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0) : 0;
  BSTR out = ::SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (out && n) ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, out, n);
  return out;
}

}  // namespace qvx::fw
