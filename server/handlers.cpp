#include "server/handlers.h"

#include <httplib.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/options.h"
#include "server/query.h"
#include "server/reply_format.h"
#include "server/request_log.h"
#include "server/store.h"

namespace {

constexpr const char* kIniType = "text/plain";
constexpr const char* kTextType = "text/plain; charset=utf-8";

void BadRequest(httplib::Response& res, const std::string& why) {
  res.status = 400;
  res.set_content("Bad Request: " + why + "\n", kTextType);
}

void DatabaseFailed(httplib::Response& res) {
  res.status = 500;
  res.set_content("Internal Server Error: the database failed\n", kTextType);
}

// The query values a handler needs; the first missing or malformed one is reported.
class RequiredValues {
 public:
  explicit RequiredValues(const httplib::Request& req) : query_(Query::FromTarget(req.target)) {}

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

void GetData(const httplib::Request& req, httplib::Response& res, MiningStore& store,
             const ServiceOptions& options) {
  RequiredValues q(req);
  const std::string serial = q.Text("sn");
  q.Text("Mac");  // part of the request; any text will do, an adapter error text included
  if (!q.Ok()) return BadRequest(res, q.Error());
  bool failed = false;
  const auto info = store.LoadMachineInfo(serial, failed);
  if (failed) return DatabaseFailed(res);
  res.set_content(info ? FormatMachineInfo(*info, options.clientVersion)
                       : FormatUnknownMachine(options.clientVersion),
                  kIniType);
}

void UpdateInfo(const httplib::Request& req, httplib::Response& res, MiningStore& store,
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
  res.set_content(FormatStatusReply(outcome, options.clientVersion), kIniType);
}

void UpdateOnOff(const httplib::Request& req, httplib::Response& res, MiningStore& store) {
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
  res.set_content(FormatPowerReply(known), kIniType);
}

// One of the patch folder's two files, by fixed name: the installer or its signature.
void Patch(httplib::Response& res, const ServiceOptions& options, const char* name, const char* contentType) {
  res.status = 404;
  if (options.patchDir.empty()) return;
  const std::filesystem::path path = std::filesystem::path(options.patchDir) / name;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return;
  auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
  if (!*file) return;
  res.status = 200;
  // Streamed, so a large installer is never held in memory whole.
  res.set_content_provider(
      static_cast<std::size_t>(size), contentType,
      [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        std::vector<char> chunk(std::min<std::size_t>(length, 64 * 1024));
        file->clear();
        file->seekg(static_cast<std::streamoff>(offset));
        file->read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = file->gcount();
        // A file that shrank under us ends the transfer short instead of padding it.
        if (got <= 0) return false;
        return sink.write(chunk.data(), static_cast<std::size_t>(got));
      });
}

const char* ReasonOf(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 500: return "Internal Server Error";
    default: return "Error";
  }
}

}  // namespace

void InstallRoutes(httplib::Server& server, MiningStore& store, const ServiceOptions& options) {
  // Route patterns are regular expressions: the dots are escaped so only the exact names match.
  server.Get(R"(/Machine/GetData\.html)", [&](const httplib::Request& req, httplib::Response& res) {
    GetData(req, res, store, options);
  });
  server.Get(R"(/Machine/UpdateInfov2\.html)",
             [&](const httplib::Request& req, httplib::Response& res) {
               UpdateInfo(req, res, store, options);
             });
  server.Get(R"(/Machine/UpdateOnOff\.html)",
             [&](const httplib::Request& req, httplib::Response& res) {
               UpdateOnOff(req, res, store);
             });
  server.Get(R"(/patch/patchv2\.exe)", [&](const httplib::Request&, httplib::Response& res) {
    Patch(res, options, "patchv2.exe", "application/octet-stream");
  });
  server.Get(R"(/patch/patchv2\.exe\.minisig)", [&](const httplib::Request&, httplib::Response& res) {
    Patch(res, options, "patchv2.exe.minisig", kIniType);
  });

  // Every error answer gets a short text body, ours or the library's own.
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(std::string(ReasonOf(res.status)) + "\n", kTextType);
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content("Internal Server Error\n", kTextType);
      });
  server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    WriteLogLine(FormatLogLine(req.method, req.path, res.status));
  });
}
