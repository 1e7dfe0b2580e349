#pragma once
// Peers that misbehave on purpose, over raw loopback sockets: they send slowly, flood,
// or never finish, and read whatever comes back.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

// Sends what the socket takes without blocking for more than `patience`; returns the count.
std::size_t SendFor(int fd, const std::string& bytes, std::chrono::milliseconds patience);

// Everything the peer sends until it closes, or until `limit` passes.
std::string ReadUntilClosed(int fd, std::chrono::milliseconds limit);

// Resident memory of a process in KiB; -1 when unknown.
long RssKiB(pid_t pid);
