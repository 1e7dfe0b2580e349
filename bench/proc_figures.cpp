#include "proc_figures.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

long StatusField(const std::string& proc, const char* key) {
  std::ifstream in("/proc/" + proc + "/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, n, key) == 0) return std::strtol(line.c_str() + n, nullptr, 10);
  }
  return -1;
}

// utime + stime of a /proc/.../stat file, in seconds; -1 when it cannot be read.
double CpuSecondsOfStat(const std::string& path) {
  std::ifstream in(path);
  std::string stat;
  if (!std::getline(in, stat)) return -1;
  // The fields after the name in parentheses: state is the 3rd, utime the 14th, stime the 15th.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  const char* p = stat.c_str() + close + 2;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(p, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) {
    return -1;
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

std::string ProcOf(int pid) { return pid > 0 ? std::to_string(pid) : "self"; }

long ResidentKiBOf(const std::string& proc) { return StatusField(proc, "VmRSS:"); }

int ThreadCountOf(const std::string& proc) { return static_cast<int>(StatusField(proc, "Threads:")); }

int OpenDescriptorsOf(const std::string& proc) {
  DIR* dir = opendir(("/proc/" + proc + "/fd").c_str());
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return proc == "self" ? count - 1 : count;  // the listing's own descriptor is this process's
}

std::vector<int> ThreadsNamedIn(const std::string& proc, const std::string& name) {
  std::vector<int> tids;
  const std::string tasks = "/proc/" + proc + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return tids;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(tasks + "/" + entry->d_name + "/comm");
    std::string line;
    if (std::getline(comm, line) && line == name) tids.push_back(std::atoi(entry->d_name));
  }
  closedir(dir);
  return tids;
}

double ThreadCpuSecondsIn(const std::string& proc, int tid) {
  return CpuSecondsOfStat("/proc/" + proc + "/task/" + std::to_string(tid) + "/stat");
}

double ProcessCpuSecondsOf(const std::string& proc) { return CpuSecondsOfStat("/proc/" + proc + "/stat"); }
