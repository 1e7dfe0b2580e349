#pragma once
// Figures of a process from /proc, for the programs that measure the client: the probe
// reads its own process ("self"), the headless probe the kestravon-minerd it started.
#include <string>
#include <vector>

// "self", or a process id as text.
std::string ProcOf(int pid);

// Resident memory in KiB, threads, open descriptors; -1 when the process is gone.
long ResidentKiBOf(const std::string& proc);
int ThreadCountOf(const std::string& proc);
int OpenDescriptorsOf(const std::string& proc);
// The threads of the process by name ("miner-worker" is the client's worker), and the
// CPU seconds one of them has used (-1 once it is gone).
std::vector<int> ThreadsNamedIn(const std::string& proc, const std::string& name);
double ThreadCpuSecondsIn(const std::string& proc, int tid);
// CPU seconds (user + system) the process has used, all its threads together.
double ProcessCpuSecondsOf(const std::string& proc);
