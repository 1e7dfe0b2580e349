#include "ui/win32/wide_text.h"

#include <windows.h>

std::wstring ToWide(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int n =
      MultiByteToWideChar(kClientCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring text(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kClientCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

std::string FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(kClientCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, "?", nullptr);
  if (n <= 0) return {};
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kClientCodePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, "?",
                      nullptr);
  return bytes;
}

std::size_t ClientLength(std::wstring_view paneText) {
  if (paneText.empty()) return 0;
  const int n = WideCharToMultiByte(kClientCodePage, 0, paneText.data(), static_cast<int>(paneText.size()),
                                    nullptr, 0, "?", nullptr);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}
