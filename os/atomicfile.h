// Whole-file reads and crash-safe whole-file replacement, for configuration files that are
// rewritten while the program runs: a crash or power loss during a write must leave either the old
// or the new file, never a truncated one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class TWholeFileRead {
  Ok,       // bytes hold the file
  Missing,  // no such file (or directory): callers treat it as empty
  Failed,   // the file exists but could not be read; a writer must not replace it
};

TWholeFileRead OsReadWholeFile(const std::string& path, std::string& bytes);

// Replaces path by a file that holds exactly bytes: they go to a temporary file in the same
// directory, are flushed to disk, and the temporary file is renamed over path (a rename within one
// file system is atomic). A missing file is created; an existing one keeps its permission bits.
// False when any step fails; then path is untouched and no temporary file is left behind.
// failAfterBytes makes the write of the temporary file fail once that many bytes are written, so
// tests can prove the failure path; the default never fails.
inline constexpr size_t kNeverFail = static_cast<size_t>(-1);
bool OsReplaceWholeFile(const std::string& path, std::string_view bytes,
                        size_t failAfterBytes = kNeverFail);
