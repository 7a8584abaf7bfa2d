// The Linux registry: files in the user's configuration and runtime directories.
#pragma once

#include <memory>
#include <string>

#include "os/registry.h"

// Linux: a file registry over the given directories; an empty directory takes the default above.
// Tests point both at directories of their own.
std::unique_ptr<IOsRegistry> OsCreateFileRegistry(const std::string& configDir,
                                                  const std::string& runtimeDir);
