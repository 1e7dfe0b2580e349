#include "exchange/url_fetcher.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// libcurl's global state. The release at the end of a session must be able to undo the
// initialisation while the mining worker may still be fetching, and a later session must
// be able to initialise again, so a once-flag will not do: one mutex guards a flag and a
// count of live easy handles. The cleanup runs only when no handle is alive; a release
// asked for while handles are alive is carried out by the last one to close.
std::mutex g_layerMutex;
bool g_layerReady = false;
bool g_releaseAsked = false;
int g_liveHandles = 0;

CURL* AcquireHandle() {
  std::lock_guard<std::mutex> lock(g_layerMutex);
  if (!g_layerReady) {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    g_layerReady = true;
  }
  CURL* handle = curl_easy_init();
  if (handle) ++g_liveHandles;
  return handle;
}

void ReleaseHandle(CURL* handle) {
  // The handle still counts while it is cleaned up, so the global cleanup cannot overtake it.
  curl_easy_cleanup(handle);
  std::lock_guard<std::mutex> lock(g_layerMutex);
  if (--g_liveHandles == 0 && g_releaseAsked) {
    curl_global_cleanup();
    g_layerReady = false;
    g_releaseAsked = false;
  }
}

constexpr long kTransferBufferSize = 100000;
// How often a transfer looks at its abort flag while it waits for the network.
constexpr int kAbortCheckMs = 20;

// One transfer: where the body goes and what has been seen of the response.
struct Transfer {
  const char* destination = nullptr;
  std::atomic<int>* busy = nullptr;
  const std::atomic<bool>* abort = nullptr;
  std::chrono::steady_clock::duration idleLimit{};
  long long maxBodyBytes = 0;  // 0: no cap
  long long bodyBytes = 0;     // body bytes received so far
  bool overCap = false;
  bool connected = false;
  std::chrono::steady_clock::time_point lastArrival;  // of any response byte, or the connection
  long pendingStatus = 0;                             // status line of the header block being read
  bool responseBegan = false;
  int fd = -1;
  bool fileFailed = false;  // the file could not be created, or a write failed
  FileIdentity written;     // the file the body went to
};

// The destination is never reached through a link, a FIFO or device standing at its name
// is never opened for blocking I/O, and only a regular file of our own with no other
// name is emptied: anything else there leaves the body nowhere to go.
int OpenDestination(const char* path, FileIdentity& identity) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1 ||
      ftruncate(fd, 0) != 0 || fchmod(fd, 0600) != 0) {
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  identity.known = true;
  identity.volume = static_cast<unsigned long long>(st.st_dev);
  identity.index = static_cast<unsigned long long>(st.st_ino);
  return fd;
}

// The destination is created (or emptied) only now that a response has begun, so a URL
// that cannot be opened leaves an earlier file as it was.
void BeginResponse(Transfer& t) {
  if (t.responseBegan) return;
  t.responseBegan = true;
  t.busy->store(1);
  if (t.destination) t.fd = OpenDestination(t.destination, t.written);
  if (t.fd < 0) t.fileFailed = true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  size_t n = size * count;
  t.lastArrival = std::chrono::steady_clock::now();
  if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
    // "HTTP/1.1 200 OK": the code follows the first blank.
    size_t i = 5;
    while (i < n && data[i] != ' ') ++i;
    long code = 0;
    for (++i; i < n && data[i] >= '0' && data[i] <= '9'; ++i) code = code * 10 + (data[i] - '0');
    t.pendingStatus = code;
  } else if (n > 15 && strncasecmp(data, "content-length:", 15) == 0 && t.maxBodyBytes > 0) {
    // An announced body over the cap is not waited for.
    const long long announced = std::strtoll(data + 15, nullptr, 10);
    if (announced > t.maxBodyBytes) t.overCap = true;
  } else if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
    // End of a header block; an interim 1xx answer is not the response yet.
    if (t.pendingStatus >= 200) {
      BeginResponse(t);
      if (t.overCap) return 0;  // ends the transfer
    }
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  size_t n = size * count;
  t.lastArrival = std::chrono::steady_clock::now();
  BeginResponse(t);
  // Nothing past the cap reaches the file, and the transfer ends there.
  size_t keep = n;
  if (t.maxBodyBytes > 0 && t.bodyBytes + static_cast<long long>(n) > t.maxBodyBytes) {
    keep = static_cast<size_t>(t.maxBodyBytes - t.bodyBytes);
    t.overCap = true;
  }
  t.bodyBytes += static_cast<long long>(keep);
  // A file that cannot be written does not stop the transfer: the body is still consumed.
  size_t done = 0;
  while (t.fd >= 0 && done < keep) {
    ssize_t w = write(t.fd, data + done, keep - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      t.fileFailed = true;
      close(t.fd);
      t.fd = -1;
      break;
    }
    done += static_cast<size_t>(w);
  }
  return t.overCap ? 0 : n;  // a short count ends the transfer
}

// The idle clock starts once connected; until then the connect limit applies.
int OnConnected(void* user, char*, char*, int, int) {
  Transfer& t = *static_cast<Transfer*>(user);
  t.connected = true;
  t.lastArrival = std::chrono::steady_clock::now();
  return CURL_PREREQFUNC_OK;
}

// libcurl calls this at least about once a second, also while nothing arrives.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const Transfer& t = *static_cast<const Transfer*>(user);
  if (t.abort && t.abort->load()) return 1;
  // Silence is measured here, from the last byte: libcurl's low-speed check averages the
  // speed, so it would cut a body that trickles in slowly but never pauses that long.
  if (t.connected && t.idleLimit.count() > 0 &&
      std::chrono::steady_clock::now() - t.lastArrival >= t.idleLimit) {
    return 1;
  }
  return 0;
}

// Runs the transfer on a multi handle of its own. curl_easy_perform would do the same
// with waits of up to a second, so a stop would wait that long for a silent server;
// waking every kAbortCheckMs ends an aborted transfer promptly, as the Windows fetch does.
CURLcode Perform(CURL* curl, const Transfer& t) {
  CURLM* multi = curl_multi_init();
  if (!multi) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
    curl_multi_cleanup(multi);
    return CURLE_FAILED_INIT;
  }
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;  // unless the transfer reports its end
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
          result = message->data.result;
        }
      }
      break;
    }
    if (t.abort && t.abort->load()) break;
    if (curl_multi_poll(multi, nullptr, 0, kAbortCheckMs, nullptr) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
  }
  curl_multi_remove_handle(multi, curl);
  curl_multi_cleanup(multi);
  return result;
}

}  // namespace

void ReleaseSocketLayer() {
  std::lock_guard<std::mutex> lock(g_layerMutex);
  if (!g_layerReady) return;
  if (g_liveHandles == 0) {
    curl_global_cleanup();
    g_layerReady = false;
    g_releaseAsked = false;
  } else {
    g_releaseAsked = true;
  }
}

UrlFetcher::UrlFetcher() = default;

UrlFetcher::~UrlFetcher() { CloseSession(); }

void UrlFetcher::OpenSession() {
  CloseSession();  // a fetcher holds one session at a time
  busy_ = 0;
  outcome_ = FetchOutcome{};
  internetSession_ = AcquireHandle();
}

void UrlFetcher::CloseSession() {
  if (!internetSession_) return;
  ReleaseHandle(static_cast<CURL*>(internetSession_));
  internetSession_ = nullptr;
}

int UrlFetcher::FetchToFile(const char* url, const char* destinationPath) {
  outcome_ = FetchOutcome{};
  CURL* curl = static_cast<CURL*>(internetSession_);
  if (!curl || !url) {
    CloseSession();
    return 0;
  }

  Transfer t;
  t.destination = destinationPath;
  t.busy = &busy_;
  t.abort = abort_;
  t.idleLimit = limits_.idleTimeout;
  t.maxBodyBytes = limits_.maxBodyBytes;

  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");

  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 ()");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  // A redirect is an answer like any other: its body is saved and, not being a 2xx, it
  // is never applied. The service and patch roots name their hosts directly.
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  // Proxy tunnel answers are not the service's response.
  curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // several threads fetch
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kTransferBufferSize);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, &t);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                   limits_.totalTimeout.count() > 0 ? static_cast<long>(limits_.totalTimeout.count()) : 0L);

  // https:// roots: the peer's chain and its host name are always verified (libcurl's
  // defaults, set here so that no later change can lose them), TLS 1.2 at least. A CA
  // bundle given to the fetcher replaces the system's store, it is not added to it.
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
  if (!caBundle_.empty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, caBundle_.c_str());
    curl_easy_setopt(curl, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
  }

  CURLcode rc = Perform(curl, t);
  curl_slist_free_all(headers);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);

  bool closedOk = true;
  if (t.fd >= 0) closedOk = close(t.fd) == 0;
  busy_ = 0;

  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  outcome_.responseBegan = t.responseBegan;
  outcome_.status = status;
  outcome_.overCap = t.overCap;
  outcome_.complete = t.responseBegan && rc == CURLE_OK && !t.fileFailed && closedOk && !t.overCap;
  if (outcome_.complete) {
    outcome_.file = t.written;
    outcome_.file.size = static_cast<unsigned long long>(t.bodyBytes);
  }

  if (!t.responseBegan) {
    CloseSession();
    return 0;
  }
  return 1;
}
