#include "platform/install_folder.h"

void PrepareInstallFolder(const std::string&) {}
