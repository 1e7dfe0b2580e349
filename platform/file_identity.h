#pragma once
// Which file a body was written to, so that a reader can tell it from one put in its place.

struct FileIdentity {
  bool known = false;
  unsigned long long volume = 0;  // device, or volume serial number
  unsigned long long index = 0;   // inode, or file index
  unsigned long long size = 0;    // bytes written
};
