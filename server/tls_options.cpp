#include "server/tls_options.h"

#include <string_view>

namespace {

constexpr std::string_view kCertOption = "--tls-cert";
constexpr std::string_view kKeyOption = "--tls-key";

}  // namespace

TlsOptionsResult TakeTlsOptions(std::vector<std::string>& args) {
  TlsOptionsResult result;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    std::string_view name = arg;
    std::string value;
    bool inline_value = false;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = std::string(arg.substr(eq + 1));
      inline_value = true;
    }
    if (name != kCertOption && name != kKeyOption) {
      rest.push_back(args[i]);
      continue;
    }
    if (!inline_value) {
      if (i + 1 >= args.size()) {
        result.error = "option " + std::string(name) + " needs a value";
        return result;
      }
      value = args[++i];
    }
    if (value.empty()) {
      result.error = "option " + std::string(name) + " needs a non-empty value";
      return result;
    }
    (name == kCertOption ? result.tls.certificatePath : result.tls.privateKeyPath) = value;
  }
  if (result.tls.certificatePath.empty() != result.tls.privateKeyPath.empty()) {
    result.error = "--tls-cert and --tls-key go together";
    return result;
  }
  args = std::move(rest);
  return result;
}

const char* TlsUsageText() {
  return "  --tls-cert FILE       serve HTTPS with this PEM certificate (chain); needs --tls-key\n"
         "  --tls-key FILE        the PEM private key of --tls-cert\n";
}
