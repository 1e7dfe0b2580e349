// The request URLs with any serial number, MAC text and amount: each query value holds
// only unreserved characters and %XX, encodes exactly the bytes that need it, decodes
// back to the exact input bytes, and the stand-in service's query reader finds every
// value under its own name. The scrambled amount never holds a NUL, is never longer than
// the amount, and scrambling a prefix gives a prefix.
//
// Input: [exp: 4] [mps: 8] [location: 8] [state: 4] [hour: 4] [minute: 4]
//        serial NUL MAC NUL amount NUL
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/amount_scramble.h"
#include "exchange/request_urls.h"
#include "fuzz_support.h"
#include "server/query.h"

namespace {

const std::string kRoot = "http://127.0.0.1:8216";

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

int UpperHex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes a value strictly: only unreserved characters and %XX with upper-case digits, and
// %XX only for a byte that is not unreserved. Fails the run on anything else.
std::string StrictDecode(std::string_view raw, const std::string& context) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto c = static_cast<unsigned char>(raw[i]);
    if (IsUnreserved(c)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    FUZZ_CHECK(c == '%' && i + 2 < raw.size(),
               "stray byte " + fuzz::Show(raw.substr(i, 1)) + " in " + fuzz::Show(raw) + "; " + context);
    const int high = UpperHex(raw[i + 1]);
    const int low = UpperHex(raw[i + 2]);
    FUZZ_CHECK(high >= 0 && low >= 0, "bad escape in " + fuzz::Show(raw) + "; " + context);
    const auto byte = static_cast<unsigned char>(high * 16 + low);
    FUZZ_CHECK(!IsUnreserved(byte), "needless escape in " + fuzz::Show(raw) + "; " + context);
    out.push_back(static_cast<char>(byte));
    i += 2;
  }
  return out;
}

// Splits "<root><path>?k=v&k=v..." into its pairs, each value decoded strictly, and checks
// the names and their order.
std::vector<std::string> QueryValues(const std::string& url, const std::string& path,
                                     const std::vector<std::string>& names, const std::string& context) {
  const std::string head = kRoot + path + "?";
  FUZZ_CHECK(url.compare(0, head.size(), head) == 0, "URL " + fuzz::Show(url) + "; " + context);
  std::string_view rest = std::string_view(url).substr(head.size());
  std::vector<std::string> values;
  for (std::size_t n = 0; n < names.size(); ++n) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    const std::string expectedName = names[n] + "=";
    FUZZ_CHECK(pair.substr(0, expectedName.size()) == expectedName,
               "URL " + fuzz::Show(url) + "; " + context);
    values.push_back(StrictDecode(pair.substr(expectedName.size()), context));
    FUZZ_CHECK((amp == std::string_view::npos) == (n + 1 == names.size()),
               "URL " + fuzz::Show(url) + "; " + context);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
  }
  // What the stand-in service reads from the same request target.
  const Query query = Query::FromTarget(std::string_view(url).substr(kRoot.size()));
  for (std::size_t n = 0; n < names.size(); ++n) {
    FUZZ_CHECK(query.Get(names[n]) == values[n], "the service reads " + names[n] + " otherwise; " + context);
  }
  return values;
}

// A "%lf" figure as the service reads it: within half a unit of the sixth decimal of the
// value sent, and not readable at all when the value is not finite.
void CheckFigure(const std::string& sent, double value, const std::string& context) {
  const std::optional<double> read = ParseFiniteReal(sent);
  if (!std::isfinite(value)) {
    FUZZ_CHECK(!read, "non-finite figure " + fuzz::Show(sent) + " reads as a number; " + context);
    return;
  }
  FUZZ_CHECK(read && std::fabs(*read - value) <= 5e-7 + std::fabs(value) * 1e-15,
             "figure " + fuzz::Show(sent) + " for " + std::to_string(value) + "; " + context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto exp = in.Raw<int32_t>();
  const auto mps = in.Raw<double>();
  const auto location = in.Raw<double>();
  const auto powerState = in.Raw<int32_t>();
  const auto hour = in.Raw<int32_t>();
  const auto minute = in.Raw<int32_t>();
  const std::string serial = in.Text();
  const std::string mac = in.Text();
  const std::string amount = in.Text();
  const std::string context = "serial " + fuzz::Show(serial) + " MAC " + fuzz::Show(mac) + " amount " +
                              fuzz::Show(amount) + " clock " + std::to_string(hour) + ":" +
                              std::to_string(minute);

  const auto info = QueryValues(MachineInfoUrl(kRoot, serial.c_str(), mac.c_str()), "/Machine/GetData.html",
                                {"sn", "Mac"}, context);
  FUZZ_CHECK(info[0] == serial && info[1] == mac, context);

  const auto power = QueryValues(PowerStateUrl(kRoot, serial.c_str(), mac.c_str(), powerState),
                                 "/Machine/UpdateOnOff.html", {"sn", "Mac", "OnOff"}, context);
  FUZZ_CHECK(power[0] == serial && power[1] == mac && ParseInt32(power[2]) == powerState, context);

  const std::string scrambled = ScrambleAmount(amount, hour, minute);
  FUZZ_CHECK(scrambled.size() <= amount.size() && scrambled.find('\0') == std::string::npos,
             "scrambled " + fuzz::Show(scrambled) + "; " + context);
  if (!amount.empty()) {
    const std::string ofPrefix =
        ScrambleAmount(std::string_view(amount).substr(0, amount.size() - 1), hour, minute);
    FUZZ_CHECK(scrambled.compare(0, ofPrefix.size(), ofPrefix) == 0, "prefix not kept; " + context);
  }

  StatusReportQuery q;
  q.serialNo = serial.c_str();
  q.macText = mac.c_str();
  q.exp = exp;
  q.miningPerSec = mps;
  q.location = location;
  q.amountText = amount.c_str();
  q.scrambledAmount = scrambled.c_str();
  const auto report = QueryValues(StatusReportUrl(kRoot, q), "/Machine/UpdateInfov2.html",
                                  {"sn", "Mac", "exp", "mps", "locate", "mci_kest", "cry"}, context);
  FUZZ_CHECK(report[0] == serial && report[1] == mac, context);
  FUZZ_CHECK(ParseInt32(report[2]) == exp, "exp " + fuzz::Show(report[2]) + "; " + context);
  CheckFigure(report[3], mps, context);
  CheckFigure(report[4], location, context);
  FUZZ_CHECK(report[5] == amount && report[6] == scrambled, context);
  return 0;
}
