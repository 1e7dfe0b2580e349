#pragma once
// A downloaded reply is read back from its file by name. Before and after the reading the
// name is checked to still stand, without a link, for the very file the fetch wrote, at
// the size it wrote, so what is read is what arrived and not something put in its place.
#include <string>

#include "platform/file_identity.h"

bool IsWrittenFile(const std::string& path, const FileIdentity& file);
