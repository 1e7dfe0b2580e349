#include "daemon/page_assets.h"

const EmbeddedFile* FindPageFile(std::string_view path) {
  for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) {
    if (path == kEmbeddedFiles[i].path) return &kEmbeddedFiles[i];
  }
  return nullptr;
}

const HeaderLine kPageSecurityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
     "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cross-Origin-Opener-Policy", "same-origin"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
};
const std::size_t kPageSecurityHeaderCount = sizeof kPageSecurityHeaders / sizeof kPageSecurityHeaders[0];
