// The user's directories on Linux and the one way this layer creates directories in them. Shared
// by the registry, the power schemes, the autostart entries, the single-instance mark and the
// driver stand-in.
#pragma once

#include <sys/types.h>

#include <string>

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::string XdgConfigHome();

// $XDG_RUNTIME_DIR when it is an absolute path, else the fallback /tmp/korzem-<uid>.
std::string UserRuntimeDirectory();

// Creates dir and its missing parents with mode (an existing directory is fine).
bool MakeDirectories(const std::string& dir, mode_t mode);

// Creates dir and its missing parents, private to the user (0700). A dir that exists must be a
// real directory (not a symbolic link) owned by the user: in a shared place such as /tmp another
// user could have planted it. Parents owned by someone else (/, /tmp, /home) are fine.
bool MakePrivateDirectory(const std::string& dir);

// Whether dir is a directory (not a symbolic link) owned by the user that no one else can write to
// or enter.
bool IsPrivateDirectory(const std::string& dir);

// A new directory base/<prefix>XXXXXX of this process's own (mkdtemp: created 0700, never an
// existing one); empty when it cannot be made.
std::string MakeUniqueDirectory(const std::string& base, const std::string& prefix);
