// Started by the launch tests in place of an installer: writes what it was given, and
// where it ran, into child_ran.txt in its working folder.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  std::FILE* out = std::fopen("child_ran.txt", "ab");
  if (!out) return 1;
  std::fprintf(out, "folder=%s\n", folder);
  for (int i = 1; i < argc; ++i) std::fprintf(out, "arg=%s\n", argv[i]);
  std::fclose(out);
  return 0;
}
