#include "daemon/page_routes.h"

#include <charconv>

#include "daemon/access_token.h"
#include "daemon/page_assets.h"

namespace {
const char kJson[] = "application/json; charset=utf-8";

PageReply Json(int status, std::string body) {
  PageReply reply;
  reply.status = status;
  reply.contentType = kJson;
  reply.body = std::move(body);
  reply.headers.emplace_back("Cache-Control", "no-store");
  return reply;
}

PageReply Refusal(int status, const char* why) {
  return Json(status, std::string(R"({"error":")") + why + "\"}\n");
}
}  // namespace

std::optional<uint64_t> SinceOfQuery(std::string_view query) {
  uint64_t since = 0;
  bool seen = false;
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (pair.substr(0, 6) != "since=") continue;
    if (seen) return std::nullopt;  // two answers to one question
    seen = true;
    const std::string_view text = pair.substr(6);
    const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), since);
    if (text.empty() || error != std::errc() || last != text.data() + text.size()) return std::nullopt;
  }
  return since;
}

std::optional<PageReply> AnswerPageGet(const PageSources& sources, std::string_view path,
                                       std::string_view query, std::string_view authorization) {
  if (const EmbeddedFile* file = FindPageFile(path)) {
    PageReply reply;
    reply.contentType = file->contentType;
    reply.body = std::string(file->Text());
    reply.headers.emplace_back("Cache-Control", "no-cache");
    return reply;
  }
  if (path != "/snapshot" && path != "/history") return std::nullopt;
  if (!TokensMatch(BearerToken(authorization), sources.token)) {
    PageReply reply = Refusal(401, "a valid token is needed (Authorization: Bearer <token file's content>)");
    reply.headers.emplace_back("WWW-Authenticate", "Bearer");
    return reply;
  }
  if (path == "/snapshot") return Json(200, sources.snapshotJson());
  const std::optional<uint64_t> since = SinceOfQuery(query);
  if (!since) return Refusal(400, "since must be a sequence number");
  return Json(200, sources.historyJson(*since));
}
