// Windows' headers in the order they need each other, which is not sorted.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exchange/url_fetcher.h"

namespace {

constexpr DWORD kTransferBufferSize = 100000;

// The socket layer is started with the first session and cleaned up when the session's
// end asks for it and no session is open any more, so the cleanup releases only our own
// start-up and never pulls the layer from under a fetch. Never destroyed: a transfer left
// to finish on its own (see Transfer) may still close its session while the process ends.
struct Layer {
  std::mutex mutex;
  bool ready = false;
  bool releaseAsked = false;
  int liveSessions = 0;
};

Layer& TheLayer() {
  static Layer* layer = new Layer;
  return *layer;
}

HINTERNET AcquireSession() {
  Layer& layer = TheLayer();
  std::lock_guard<std::mutex> lock(layer.mutex);
  if (!layer.ready) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return nullptr;
    layer.ready = true;
  }
  HINTERNET session = InternetOpenA("Mozilla/4.0 ()", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session) ++layer.liveSessions;
  return session;
}

void ReleaseSession(HINTERNET session) {
  InternetCloseHandle(session);
  Layer& layer = TheLayer();
  std::lock_guard<std::mutex> lock(layer.mutex);
  if (--layer.liveSessions == 0 && layer.releaseAsked) {
    WSACleanup();
    layer.ready = false;
    layer.releaseAsked = false;
  }
}

void CloseIfOpen(HINTERNET& handle) {
  if (handle) InternetCloseHandle(handle);
  handle = nullptr;
}

// One transfer. WinINet's blocking calls cannot be interrupted everywhere (closing a
// handle does not end a pending receive on every implementation), so the transfer runs on
// a helper thread and the caller waits for it while it watches the abort flag and the
// total limit. A caller that stops waiting abandons the transfer: from then on nothing
// more reaches the file, which the caller closes, and the helper ends on its own within
// its connect and receive limits, closing its handles and the session handed to it.
struct Transfer {
  std::mutex mutex;
  std::condition_variable changed;

  // Fixed before the helper starts.
  std::string url;
  std::string destination;
  FetchLimits limits;
  HINTERNET session = nullptr;

  // Guarded by mutex.
  bool connected = false;
  std::chrono::steady_clock::time_point lastArrival;  // of any response byte, or the connection
  bool abandoned = false;
  bool sessionHandedOver = false;  // the helper closes the session when it ends
  bool responseBegan = false;
  bool finished = false;
  long status = 0;
  bool complete = false;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool fileFailed = false;
  bool overCap = false;
  FileIdentity written;  // the file the body went to

  std::vector<char> buffer = std::vector<char>(kTransferBufferSize);
};

// Progress of the request, reported on the helper's thread while it waits in WinINet.
// The caller's limits run on these: not every implementation ends a connect that is
// never answered within the limit set on the handles.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  auto* t = reinterpret_cast<Transfer*>(context);
  if (t == nullptr) return;
  if (status != INTERNET_STATUS_CONNECTED_TO_SERVER && status != INTERNET_STATUS_RESPONSE_RECEIVED) return;
  std::lock_guard<std::mutex> lock(t->mutex);
  if (status == INTERNET_STATUS_CONNECTED_TO_SERVER) t->connected = true;
  t->lastArrival = std::chrono::steady_clock::now();
  t->changed.notify_all();
}

bool CrackHttpUrl(const std::string& url, INTERNET_SCHEME& scheme, std::string& host, INTERNET_PORT& port,
                  std::string& object) {
  std::vector<char> hostBuf(url.size() + 1), pathBuf(url.size() + 1), extraBuf(url.size() + 1);
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = hostBuf.data();
  parts.dwHostNameLength = static_cast<DWORD>(hostBuf.size());
  parts.lpszUrlPath = pathBuf.data();
  parts.dwUrlPathLength = static_cast<DWORD>(pathBuf.size());
  parts.lpszExtraInfo = extraBuf.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extraBuf.size());
  if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (parts.dwHostNameLength == 0) return false;
  scheme = parts.nScheme;
  host.assign(parts.lpszHostName, parts.dwHostNameLength);
  port = parts.nPort;
  // Path and query go out exactly as given: they are already escaped.
  object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty()) object = "/";
  return true;
}

long QueryStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    return 0;
  }
  return static_cast<long>(status);
}

// The announced body length, or -1 when none was announced (the body then ends with
// the connection, or with the last chunk).
long long QueryContentLength(HINTERNET request) {
  char text[32] = {};
  DWORD size = sizeof text;
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return -1;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  return end == text ? -1 : static_cast<long long>(n);
}

bool IsChunked(HINTERNET request) {
  char text[64] = {};
  DWORD size = sizeof text;
  if (!HttpQueryInfoA(request, HTTP_QUERY_TRANSFER_ENCODING, text, &size, nullptr)) return false;
  return _strnicmp(text, "chunked", 7) == 0;
}

// The destination is never reached through a link or junction, and only a plain disk file
// with no other name is emptied (never a device, pipe or folder): anything else standing
// at the name leaves the body nowhere to go.
HANDLE OpenDestination(const std::string& path, FileIdentity& identity) {
  // Others may read what has arrived so far, never write it.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool plain = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                     !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                     info.nNumberOfLinks == 1;
  if (!plain || !SetEndOfFile(h)) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  identity.known = true;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return h;
}

// The body of the helper thread: one GET, its body streamed into the destination.
void RunTransfer(const std::shared_ptr<Transfer>& t) {
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
  std::string host, object;
  INTERNET_PORT port = 0;
  if (CrackHttpUrl(t->url, scheme, host, port, object)) {
    // Each fetcher has a session of its own, so its limit may sit there too, where some
    // implementations read it for the connections they make.
    DWORD connectMs = static_cast<DWORD>(t->limits.connectTimeout.count());
    InternetSetOptionA(t->session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    connection =
        InternetConnectA(t->session, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  }
  if (connection) {
    // Some implementations read the connect limit from the connection, others from the
    // request: it is set on both.
    DWORD connectMs = static_cast<DWORD>(t->limits.connectTimeout.count());
    InternetSetOptionA(connection, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    // Never answered from a cache, nothing cached, and a redirect is an answer like any
    // other: its body is saved and, not being a 2xx, never applied.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    // https: TLS on the cracked port (443 unless given), the certificate checked against
    // the system's store and the host name; no SECURITY_FLAG_IGNORE_* is ever set.
    if (scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    InternetSetStatusCallbackA(connection, OnStatus);
    request = HttpOpenRequestA(connection, "GET", object.c_str(), "HTTP/1.1", nullptr, nullptr, flags,
                               reinterpret_cast<DWORD_PTR>(t.get()));
  }
  if (request) {
    // The limits belong on the request handle: that is where the connect and every
    // receive of this transfer read them.
    DWORD connectMs = static_cast<DWORD>(t->limits.connectTimeout.count());
    DWORD idleMs = static_cast<DWORD>(t->limits.idleTimeout.count());
    InternetSetOptionA(request, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &idleMs, sizeof idleMs);
    InternetSetOptionA(request, INTERNET_OPTION_SEND_TIMEOUT, &idleMs, sizeof idleMs);
    HttpAddRequestHeadersA(request, "Cache-Control: no-cache\r\nPragma: no-cache\r\n", static_cast<DWORD>(-1),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
  }

  bool opened = request && HttpSendRequestA(request, nullptr, 0, nullptr, 0);
  long long announced = -1;
  bool chunked = false;
  // A connection closed without a status line is no response, whatever the call said.
  const long status = opened ? QueryStatus(request) : 0;
  if (status == 0) opened = false;
  if (opened) {
    announced = QueryContentLength(request);
    chunked = IsChunked(request);
    std::lock_guard<std::mutex> lock(t->mutex);
    if (t->abandoned) {
      opened = false;
    } else {
      // The destination is created (or emptied) only now that a response has begun, so a
      // URL that cannot be opened leaves an earlier file as it was.
      t->responseBegan = true;
      t->status = status;
      if (!t->destination.empty()) t->file = OpenDestination(t->destination, t->written);
      if (t->file == INVALID_HANDLE_VALUE) t->fileFailed = true;
      // An announced body over the cap is not waited for.
      const long long cap = t->limits.maxBodyBytes;
      if (cap > 0 && announced > cap) {
        t->overCap = true;
        opened = false;
      }
    }
    t->changed.notify_all();
  }

  bool bodyEnded = false;
  unsigned long long received = 0;
  while (opened) {
    DWORD available = 0;
    // A failed ask (a silent or broken connection) ends the body short of its end.
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) break;
    const DWORD want = available < kTransferBufferSize ? available : kTransferBufferSize;
    DWORD got = 0;
    if (!InternetReadFile(request, t->buffer.data(), want, &got)) break;
    if (got == 0) {
      bodyEnded = true;
      break;
    }
    // Nothing past the cap reaches the file, and the transfer ends there.
    const long long cap = t->limits.maxBodyBytes;
    bool overCap = false;
    if (cap > 0 && static_cast<long long>(received + got) > cap) {
      got = static_cast<DWORD>(cap - static_cast<long long>(received));
      overCap = true;
    }
    received += got;
    std::lock_guard<std::mutex> lock(t->mutex);
    if (t->abandoned) break;
    t->lastArrival = std::chrono::steady_clock::now();
    t->overCap = overCap;
    // A file that cannot be written does not stop the transfer: the body is still consumed.
    if (t->file != INVALID_HANDLE_VALUE && got > 0) {
      DWORD written = 0;
      if (!WriteFile(t->file, t->buffer.data(), got, &written, nullptr) || written != got) {
        t->fileFailed = true;
        CloseHandle(t->file);
        t->file = INVALID_HANDLE_VALUE;
      }
    }
    if (overCap) break;
  }

  CloseIfOpen(request);
  CloseIfOpen(connection);
  bool closeSession = false;
  {
    std::lock_guard<std::mutex> lock(t->mutex);
    if (!t->abandoned) {
      bool closedOk = true;
      if (t->file != INVALID_HANDLE_VALUE) {
        closedOk = CloseHandle(t->file) != 0;
        t->file = INVALID_HANDLE_VALUE;
      }
      // A body cut short of its announced length ends like a complete one on some
      // implementations; the length tells them apart.
      const bool wholeBody =
          bodyEnded && (chunked || announced < 0 || static_cast<unsigned long long>(announced) == received);
      t->complete = t->responseBegan && wholeBody && !t->fileFailed && closedOk && !t->overCap;
      if (t->complete) {
        t->written.size = received;
      } else {
        t->written = FileIdentity{};
      }
    }
    t->finished = true;
    closeSession = t->sessionHandedOver;
    t->changed.notify_all();
  }
  if (closeSession) ReleaseSession(t->session);
}

}  // namespace

void ReleaseSocketLayer() {
  Layer& layer = TheLayer();
  std::lock_guard<std::mutex> lock(layer.mutex);
  if (!layer.ready) return;
  if (layer.liveSessions == 0) {
    WSACleanup();
    layer.ready = false;
    layer.releaseAsked = false;
  } else {
    layer.releaseAsked = true;
  }
}

UrlFetcher::UrlFetcher() = default;

UrlFetcher::~UrlFetcher() { CloseSession(); }

void UrlFetcher::OpenSession() {
  CloseSession();  // a fetcher holds one session at a time
  busy_ = 0;
  outcome_ = FetchOutcome{};
  internetSession_ = AcquireSession();
}

void UrlFetcher::CloseSession() {
  if (!internetSession_) return;
  ReleaseSession(static_cast<HINTERNET>(internetSession_));
  internetSession_ = nullptr;
}

int UrlFetcher::FetchToFile(const char* url, const char* destinationPath) {
  outcome_ = FetchOutcome{};
  if (!internetSession_ || !url) {
    CloseSession();
    return 0;
  }

  auto t = std::make_shared<Transfer>();
  t->url = url;
  t->destination = destinationPath ? destinationPath : "";
  t->limits = limits_;
  t->session = static_cast<HINTERNET>(internetSession_);
  std::thread([t] { RunTransfer(t); }).detach();

  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  const Clock::time_point deadline =
      limits_.totalTimeout.count() > 0 ? started + limits_.totalTimeout : Clock::time_point::max();
  const auto connectLimit = limits_.connectTimeout;
  const auto idleLimit = limits_.idleTimeout;
  std::unique_lock<std::mutex> lock(t->mutex);
  for (;;) {
    if (t->responseBegan) busy_ = 1;
    if (t->finished) break;
    const Clock::time_point now = Clock::now();
    const bool connectOver = !t->connected && connectLimit.count() > 0 && now - started >= connectLimit;
    const bool idleOver = t->connected && idleLimit.count() > 0 && now - t->lastArrival >= idleLimit;
    // Past the cap there is no answer to wait for, and closing the request may read on
    // through the rest of the body on some implementations: the helper ends it alone.
    if ((abort_ && abort_->load()) || now >= deadline || connectOver || idleOver || t->overCap) {
      // Abandon the transfer: the file is closed now and receives nothing more; the
      // helper keeps the session and closes it when it ends.
      t->abandoned = true;
      t->sessionHandedOver = true;
      internetSession_ = nullptr;
      if (t->file != INVALID_HANDLE_VALUE) {
        CloseHandle(t->file);
        t->file = INVALID_HANDLE_VALUE;
      }
      break;
    }
    t->changed.wait_for(lock, std::chrono::milliseconds(20));
  }
  busy_ = 0;
  outcome_.responseBegan = t->responseBegan;
  outcome_.status = t->status;
  outcome_.complete = t->complete;
  outcome_.overCap = t->overCap;
  if (t->complete) outcome_.file = t->written;
  lock.unlock();

  if (!outcome_.responseBegan) {
    CloseSession();
    return 0;
  }
  return 1;
}
