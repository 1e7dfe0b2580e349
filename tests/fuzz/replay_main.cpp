// Runs a fuzz target over stored inputs without libFuzzer, so every compiler's build (and
// its sanitizers) replays the seeds and the inputs that once broke something.
// Arguments: files or folders of files; prints how many inputs it ran.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string path = folder + "/" + entry->d_name;
      if (entry->d_name[0] != '.' && !IsFolder(path)) files.push_back(path);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool Replay(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[16 * 1024];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(f);
  std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::vector<std::string> files = IsFolder(arg) ? FilesIn(arg) : std::vector<std::string>{arg};
    for (const std::string& file : files) {
      if (!Replay(file)) return 1;
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return count > 0 ? 0 : 1;
}
