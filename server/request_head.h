#pragma once
// The first lines of a request (request line and header lines up to the blank line),
// judged before the HTTP library sees them, so a request the service will refuse anyway
// costs neither memory nor a worker for long.
#include <cstddef>
#include <string_view>

struct HeadLimits {
  std::size_t maxHeadBytes = 16 * 1024;  // request line + header lines + blank line
  std::size_t maxHeaderLines = 64;
  std::size_t maxBodyBytes = 4 * 1024;   // the service's requests carry no body at all
};

enum class HeadVerdict {
  kIncomplete,      // no blank line yet, and no limit passed
  kAccept,          // a GET the library may handle
  kBadRequest,      // 400: no method word, or a Content-Length that is no number (or past 2^64)
  kMethodNotAllowed,// 405: anything but GET
  kTooLarge,        // 413: a body announced beyond maxBodyBytes, or of unknown length
  kHeadTooLarge,    // 431: too many header lines or too many bytes before the blank line
  kUriTooLong,      // 414: the request line alone is longer than the whole head may be
};

// bytes: everything received so far on the connection (it may run past the head).
// headBytes is set to the length of the head, blank line included, when it is complete.
HeadVerdict JudgeHead(std::string_view bytes, const HeadLimits& limits, std::size_t& headBytes);

int StatusOf(HeadVerdict verdict);
