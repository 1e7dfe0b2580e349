#pragma once
// One HTTP GET whose body is saved, byte for byte, into a local file.
// Each exchange makes its own fetcher, uses it for one URL and discards it.
#include <atomic>
#include <chrono>
#include <string>
#include <utility>

#include "platform/file_identity.h"

struct FetchLimits {
  std::chrono::milliseconds connectTimeout{60000};  // give up connecting after this
  std::chrono::milliseconds idleTimeout{30000};     // abort a transfer that receives nothing for this long
  std::chrono::milliseconds totalTimeout{0};        // 0: no limit on the whole exchange
  long long maxBodyBytes = 0;                       // 0: no cap; a longer body is no answer
};

// What one fetch ended with, beyond the 1/0 result.
struct FetchOutcome {
  bool responseBegan = false;  // a status line arrived, so the destination was created
  long status = 0;             // HTTP status, 0 when none arrived
  bool complete = false;       // the whole body arrived and every byte reached the file
  bool overCap = false;        // the body passed maxBodyBytes: cut there, never complete
  FileIdentity file;           // of the destination, when complete
  bool Complete2xx() const { return complete && status >= 200 && status <= 299; }
};

class UrlFetcher {
 public:
  UrlFetcher();
  ~UrlFetcher();
  UrlFetcher(const UrlFetcher&) = delete;
  UrlFetcher& operator=(const UrlFetcher&) = delete;

  // Optional, before OpenSession: limits, and a flag that aborts a transfer under way
  // when it becomes true (looked at every few tens of milliseconds).
  void SetLimits(const FetchLimits& limits) { limits_ = limits; }
  void SetAbortFlag(const std::atomic<bool>* abort) { abort_ = abort; }
  // Optional, before FetchToFile: the PEM file of the certificate authorities an https://
  // server must chain to, in place of the system's store. Empty (the default, and what a
  // release build uses): the system's store. The certificate and the host name are always
  // verified. The Windows fetch always uses the system's store and ignores this.
  void SetCaBundle(std::string path) { caBundle_ = std::move(path); }

  void OpenSession();
  // 1 when the URL was opened (a response began) and its body transferred, else 0.
  // The destination is created or emptied only once a response has begun; a URL that
  // cannot be opened leaves it untouched.
  int FetchToFile(const char* url, const char* destinationPath);
  void CloseSession();

  const FetchOutcome& Outcome() const { return outcome_; }
  // 1 while a body streams; may be read from another thread.
  int Busy() const { return busy_.load(); }

 private:
  void* internetSession_ = nullptr;  // the platform's session handle
  std::atomic<int> busy_{0};
  FetchLimits limits_;
  const std::atomic<bool>* abort_ = nullptr;
  std::string caBundle_;
  FetchOutcome outcome_;
};

// Ends the client's use of the HTTP layer (curl_global_cleanup, WSACleanup). Safe while another
// thread is still fetching: the cleanup is then left to the CloseSession of the last
// open fetcher, and a later OpenSession initialises the layer again.
void ReleaseSocketLayer();
