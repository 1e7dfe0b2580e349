#pragma once
// One request as the engine hands it to a program, and the answer the program gives back.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace http {

struct Request {
  std::string method;
  std::string path;    // percent-decoded, without the query
  std::string target;  // as sent on the request line: path and query, undecoded
  // The value of the first header of that name (case-insensitive); empty when absent.
  std::function<std::string(std::string_view name)> header;
  bool HasHeader(std::string_view name) const;
};

struct Reply {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // When >= 0 the answer's body is this open file of fileSize bytes instead of `body`; the
  // engine closes it. The file is sent from the descriptor, never read whole into memory.
  int fileFd = -1;
  std::uint64_t fileSize = 0;
};

using Handler = std::function<Reply(const Request&)>;

// A connection that ended without an answer of the program's, or (when `more` > 0) the
// count of those that were not told one by one in the second before.
struct Unanswered {
  std::string peer;    // the client's address ("127.0.0.1", "::1"); empty when unknown
  std::string method;  // as far as the request arrived; empty when not that far
  std::string target;  // as sent on the request line
  int status = 0;      // the engine's own answer (414, 431, 400); 0 when none was sent
  // What ended it: "head timeout", "TLS handshake timeout", "TLS handshake failed", "too
  // large", "bad request", "closed by peer", "read error", "idle timeout", "connection
  // limit", "server stopping", "error".
  std::string why;
  unsigned more = 0;
};

// The usual reason phrase of a status ("Not Found"); "Error" for one we never send.
const char* ReasonOf(int status);

}  // namespace http
