#pragma once
// The page the local view serves, compiled into the program (cmake/embed_files.cmake turns
// daemon/page/ into byte arrays at build time): nothing is read from disk or fetched from
// the network when a browser asks for it.
#include <cstddef>
#include <string_view>

struct EmbeddedFile {
  const char* path;  // the URL path it is served at
  const char* contentType;
  const unsigned char* data;
  std::size_t size;

  std::string_view Text() const { return {reinterpret_cast<const char*>(data), size}; }
};

extern const EmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;

// The file served at `path` (exactly; no query), or nullptr.
const EmbeddedFile* FindPageFile(std::string_view path);

// The headers every answer of the view carries: a page may run only its own scripts and
// styles, load nothing from elsewhere and be framed by nobody; no type is guessed.
struct HeaderLine {
  const char* name;
  const char* value;
};
extern const HeaderLine kPageSecurityHeaders[];
extern const std::size_t kPageSecurityHeaderCount;
