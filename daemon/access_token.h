#pragma once
// The token every request to the local view must carry: what the view shows (the serial
// number and MAC above all) is the machine's identity towards the service. It is made at
// start-up from the system's random source and written, mode 0600, into the instance's
// private folder, so only the user who runs the program can read it and send it back.
#include <optional>
#include <string>
#include <string_view>

constexpr const char* kTokenFileName = "minerd.token";

// 32 random bytes as 64 lowercase hex digits; empty when the random source fails.
std::string NewAccessToken();

// Writes `token` to <privateFolder>/minerd.token: whatever stood there is removed, the file
// is created anew (never through a link), 0600. False on any failure, or when the folder
// is not private (see PrivateFolderUsable).
bool WriteTokenFile(const std::string& privateFolder, const std::string& token);

// The token a request carries in "Authorization: Bearer <token>"; empty when none.
std::string_view BearerToken(std::string_view authorizationHeader);

// Whether `offered` is `expected`, in time that depends only on their lengths (the
// length of a token is no secret).
bool TokensMatch(std::string_view offered, std::string_view expected);
