// The Linux single-instance mark and poster over a runtime directory of the caller's choice
// (tests).
#pragma once

#include <memory>
#include <string>

#include "os/singleinstance.h"

// A poster to a mark in runtimeDir; an empty one takes the user's runtime directory.
std::unique_ptr<IInstancePoster> OsCreateInstancePoster(const std::string& runtimeDir);
// The mark in runtimeDir; an empty one takes the user's runtime directory.
std::unique_ptr<IInstanceMark> OsCreateInstanceMark(const std::string& runtimeDir);
