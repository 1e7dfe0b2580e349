#include "client/client_environment.h"

#include "platform/adapters.h"
#include "platform/platform_paths.h"
#include "platform/temp_path.h"

#ifndef KESTRAVON_SERVICE_ROOT
#define KESTRAVON_SERVICE_ROOT "http://127.0.0.1:8216"
#endif
#ifndef KESTRAVON_UPDATE_PUBLIC_KEY
#define KESTRAVON_UPDATE_PUBLIC_KEY ""
#endif
#ifndef KESTRAVON_PATCH_ROOT
#define KESTRAVON_PATCH_ROOT "http://localhost:8216"
#endif

SystemServices::SystemServices() = default;

ClientEnvironment SystemServices::Environment() {
  ClientEnvironment env;
  env.installDir = DefaultInstallDir();
  env.tempDir = TempFolderPath();
  env.serviceRoot = KESTRAVON_SERVICE_ROOT;
  env.patchRoot = KESTRAVON_PATCH_ROOT;
  env.updatePublicKey = KESTRAVON_UPDATE_PUBLIC_KEY;
  env.clock = &clock_;
  env.random = &random_;
  env.debug = &debug_;
  env.launcher = &launcher_;
  env.macText = [] { return GetMacText(); };
  return env;
}
