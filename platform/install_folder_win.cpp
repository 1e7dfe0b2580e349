// Windows' headers in the order they need each other, which is not sorted.
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

#include <string>

#include "platform/install_folder.h"

namespace {

// The text form of the current user's SID, or "" when it cannot be learnt.
std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  char buffer[256] = {};
  DWORD size = 0;
  std::string sid;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
    char* text = nullptr;
    if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
      sid = text;
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return sid;
}

}  // namespace

void PrepareInstallFolder(const std::string& installDir) {
  if (installDir.empty() || GetFileAttributesA(installDir.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  const std::string user = CurrentUserSid();
  if (user.empty()) return;  // without the user's SID the folder would lock the user out
  // Protected (P): nothing inherited. Full control, passed on to files and subfolders
  // (OICI), for the user, SYSTEM (SY) and the Administrators group (BA).
  const std::string sddl = "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return;
  }
  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor;
  CreateDirectoryA(installDir.c_str(), &attributes);
  LocalFree(descriptor);
}
