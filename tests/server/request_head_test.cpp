// The judgement of a request head before the HTTP library sees it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/request_head.h"

namespace {

std::string Headers(int count, const std::string& line = "X-Filler: 1") {
  std::string out;
  for (int i = 0; i < count; ++i) out += line + "\r\n";
  return out;
}

TEST(RequestHead, VerdictsOnCompleteAndPartialHeads) {
  const std::string get = "GET /Machine/GetData.html?sn=a&Mac=b HTTP/1.1\r\n";
  const HeadLimits limits;  // 16 KiB, 64 header lines, 4 KiB of body
  struct Case {
    std::string bytes;
    HeadVerdict verdict;
  };
  const std::vector<Case> cases = {
      {get + "Host: x\r\n\r\n", HeadVerdict::kAccept},
      {get + Headers(64) + "\r\n", HeadVerdict::kAccept},
      {get + Headers(65) + "\r\n", HeadVerdict::kHeadTooLarge},
      // A flood is cut before its end arrives.
      {get + Headers(65), HeadVerdict::kHeadTooLarge},
      {get + Headers(10), HeadVerdict::kIncomplete},
      {get + "X: " + std::string(17000, 'a') + "\r\n\r\n", HeadVerdict::kHeadTooLarge},
      {get + "X: " + std::string(17000, 'a'), HeadVerdict::kHeadTooLarge},
      {"GET /" + std::string(17000, 'a'), HeadVerdict::kUriTooLong},
      {"GET /x", HeadVerdict::kIncomplete},
      // Other methods are refused as soon as the first word is there, body unread.
      {"POST /unknown HTTP/1.1\r\nContent-Length: 400000000\r\n", HeadVerdict::kMethodNotAllowed},
      {"POST ", HeadVerdict::kMethodNotAllowed},
      {"HEAD /Machine/GetData.html HTTP/1.1\r\n\r\n", HeadVerdict::kMethodNotAllowed},
      {"get /Machine/GetData.html HTTP/1.1\r\n\r\n", HeadVerdict::kMethodNotAllowed},
      {get + "Content-Length: 4096\r\n\r\n", HeadVerdict::kAccept},
      {get + "content-length: 4097\r\n\r\n", HeadVerdict::kTooLarge},
      {get + "Content-Length:  400000000 \r\n\r\n", HeadVerdict::kTooLarge},
      {get + "Transfer-Encoding: chunked\r\n\r\n", HeadVerdict::kTooLarge},
      {get + "Content-Length: 12x\r\n\r\n", HeadVerdict::kBadRequest},
      {get + "Content-Length: -1\r\n\r\n", HeadVerdict::kBadRequest},
      {get + "Content-Length: 99999999999999999999\r\n\r\n", HeadVerdict::kBadRequest},
      {"\r\n\r\n", HeadVerdict::kBadRequest},
      {"GETX\r\n\r\n", HeadVerdict::kBadRequest},
  };
  for (const Case& c : cases) {
    std::size_t headBytes = 99;
    EXPECT_EQ(JudgeHead(c.bytes, limits, headBytes), c.verdict) << c.bytes.substr(0, 80);
    if (c.verdict == HeadVerdict::kAccept) {
      EXPECT_EQ(headBytes, c.bytes.size()) << c.bytes.substr(0, 80);
    } else {
      EXPECT_EQ(headBytes, 0u);
    }
  }
}

TEST(RequestHead, BytesPastTheBlankLineAreNotPartOfTheHead) {
  const std::string head = "GET /a HTTP/1.1\r\nHost: x\r\n\r\n";
  std::size_t headBytes = 0;
  EXPECT_EQ(JudgeHead(head + "GET /b HTTP/1.1\r\n", HeadLimits{}, headBytes), HeadVerdict::kAccept);
  EXPECT_EQ(headBytes, head.size());
}

}  // namespace
