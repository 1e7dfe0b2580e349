#pragma once
// What the view answers for its page: the page's own files, the snapshot each open page
// reads once a second and the hour of history. Written apart from the HTTP engine: the
// view hands over the path, the query and the Authorization header, and sends the answer
// with the headers of kPageSecurityHeaders (page_assets.h), as it does every answer.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct PageSources {
  std::string token;                                       // the one data requests must carry
  std::function<std::string()> snapshotJson;               // the dashboard and the newest point
  std::function<std::string(uint64_t since)> historyJson;  // the kept points from `since` on
};

struct PageReply {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // besides the security headers
};

// The answer to a GET of `path` (without its query), or nothing when the path is none of
// the page's. The files need no token: they hold nothing of the machine, and a browser
// cannot send one when it opens an address. /snapshot and /history need it (401 with
// "WWW-Authenticate: Bearer" without it); /history takes "since=<sequence number>".
std::optional<PageReply> AnswerPageGet(const PageSources& sources, std::string_view path,
                                       std::string_view query, std::string_view authorization);

// The "since" of a query ("since=12"): 0 when the query has none, nothing when its value
// is not a plain decimal number that fits.
std::optional<uint64_t> SinceOfQuery(std::string_view query);
