#include "server/handlers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "server/options.h"
#include "server/query.h"
#include "server/replies/reply_format.h"
#include "server/request_log.h"
#include "server/store/store.h"

namespace {

void SetContent(http::Reply& res, std::string body, const char* type) {
  res.body = std::move(body);
  res.contentType = type;
}

constexpr const char* kIniType = "text/plain";
constexpr const char* kTextType = "text/plain; charset=utf-8";

void BadRequest(http::Reply& res, const std::string& why) {
  res.status = 400;
  SetContent(res, "Bad Request: " + why + "\n", kTextType);
}

void DatabaseFailed(http::Reply& res) {
  res.status = 500;
  SetContent(res, "Internal Server Error: the database failed\n", kTextType);
}

// The query values a handler needs; the first missing or malformed one is reported.
class RequiredValues {
 public:
  explicit RequiredValues(const http::Request& req) : query_(Query::FromTarget(req.target)) {}

  std::string Text(const char* key) {
    auto v = query_.Get(key);
    if (!v) {
      Fail("missing query value '" + std::string(key) + "'");
      return std::string();
    }
    return *v;
  }
  int Int(const char* key) {
    const std::string text = Text(key);
    if (!error_.empty()) return 0;
    const auto v = ParseInt32(text);
    if (!v) Fail("query value '" + std::string(key) + "' must be a whole number in the 32-bit range");
    return v.value_or(0);
  }
  double Real(const char* key) {
    const std::string text = Text(key);
    if (!error_.empty()) return 0;
    const auto v = ParseFiniteReal(text);
    if (!v) Fail("query value '" + std::string(key) + "' must be a finite decimal number");
    return v.value_or(0);
  }
  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

 private:
  void Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
  }
  Query query_;
  std::string error_;
};

void GetData(const http::Request& req, http::Reply& res, MiningStore& store, const ServiceOptions& options) {
  RequiredValues q(req);
  const std::string serial = q.Text("sn");
  q.Text("Mac");  // part of the request; any text will do, an adapter error text included
  if (!q.Ok()) return BadRequest(res, q.Error());
  bool failed = false;
  const auto info = store.LoadMachineInfo(serial, failed);
  if (failed) return DatabaseFailed(res);
  SetContent(
      res,
      info ? FormatMachineInfo(*info, options.clientVersion) : FormatUnknownMachine(options.clientVersion),
      kIniType);
}

void UpdateInfo(const http::Request& req, http::Reply& res, MiningStore& store,
                const ServiceOptions& options) {
  RequiredValues q(req);
  StatusReport report;
  report.serial = q.Text("sn");
  report.mac = q.Text("Mac");
  report.exp = q.Int("exp");
  report.mps = q.Real("mps");
  report.locate = q.Real("locate");
  report.amount = q.Real("mci_kest");
  report.amountText = q.Text("mci_kest");
  report.cry = q.Text("cry");
  if (!q.Ok()) return BadRequest(res, q.Error());
  const ReportOutcome outcome = store.ApplyReport(report, options.boostEvery);
  if (!outcome.stored) return DatabaseFailed(res);
  SetContent(res, FormatStatusReply(outcome, options.clientVersion), kIniType);
}

void UpdateOnOff(const http::Request& req, http::Reply& res, MiningStore& store) {
  RequiredValues q(req);
  PowerNotice notice;
  notice.serial = q.Text("sn");
  notice.mac = q.Text("Mac");
  notice.onOff = q.Int("OnOff");
  if (!q.Ok()) return BadRequest(res, q.Error());
  if (notice.onOff != 0 && notice.onOff != 1) {
    return BadRequest(res, "query value 'OnOff' must be 0 or 1");
  }
  bool known = false;
  if (!store.RecordPowerNotice(notice, known)) return DatabaseFailed(res);
  SetContent(res, FormatPowerReply(known), kIniType);
}

// One of the patch folder's two files, by fixed name: the installer or its signature.
void Patch(http::Reply& res, const ServiceOptions& options, const char* name, const char* contentType) {
  res.status = 404;
  SetContent(res, "Not Found\n", kTextType);
  if (options.patchDir.empty()) return;
  const std::string path = options.patchDir + "/" + name;
  // Opened once and sent from that descriptor, so the answer is the file that was checked
  // to be a regular one, streamed and never held in memory whole.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return;
  }
  res.status = 200;
  res.body.clear();
  res.contentType = contentType;
  res.fileFd = fd;
  res.fileSize = static_cast<std::uint64_t>(st.st_size);
}

}  // namespace

http::Handler ServiceHandler(MiningStore& store, const ServiceOptions& options) {
  using Route = std::function<void(const http::Request&, http::Reply&)>;
  // Exact paths: a near miss ("/Machine/GetDataXhtml") is not found.
  auto routes = std::make_shared<std::unordered_map<std::string, Route>>();
  (*routes)["/Machine/GetData.html"] = [&](const http::Request& req, http::Reply& res) {
    GetData(req, res, store, options);
  };
  (*routes)["/Machine/UpdateInfov2.html"] = [&](const http::Request& req, http::Reply& res) {
    UpdateInfo(req, res, store, options);
  };
  (*routes)["/Machine/UpdateOnOff.html"] = [&](const http::Request& req, http::Reply& res) {
    UpdateOnOff(req, res, store);
  };
  (*routes)["/patch/patchv2.exe"] = [&](const http::Request&, http::Reply& res) {
    Patch(res, options, "patchv2.exe", "application/octet-stream");
  };
  (*routes)["/patch/patchv2.exe.minisig"] = [&](const http::Request&, http::Reply& res) {
    Patch(res, options, "patchv2.exe.minisig", kIniType);
  };
  return [routes](const http::Request& req) {
    http::Reply res;
    const auto route = routes->find(req.path);
    if (route == routes->end()) return ServiceRefusal(404);
    try {
      route->second(req, res);
    } catch (const std::exception&) {
      res = http::Reply{};
      res.status = 500;
      SetContent(res, "Internal Server Error\n", kTextType);
    }
    return res;
  };
}

http::Reply ServiceRefusal(int status) {
  http::Reply res;
  res.status = status;
  // Every error answer gets a short text body.
  SetContent(res, std::string(http::ReasonOf(status)) + "\n", kTextType);
  return res;
}

void LogAnswered(const http::Request& request, int status) {
  WriteLogLine(FormatLogLine(request.method, request.path, status));
}

void LogUnanswered(const http::Unanswered& unanswered) { WriteLogLine(FormatUnansweredLine(unanswered)); }
