#pragma once
// Holds the path of one configuration or reply file while it is read or written.
#include <string>
#include <string_view>

class InformationFile {
 public:
  virtual ~InformationFile() = default;
  void Append(std::string_view piece) { path.append(piece); }
  const char* Path() const { return path.c_str(); }

  std::string path;
};
