// Crash-safe file replacement: the bytes go to a temporary file in the same folder, which
// is flushed to disk and then renamed over the target, so after a crash the target holds
// either its old or its new content, never a mixture.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Steps of WriteFileAtomically, in order, as seen by the test hook.
enum class EAtomicWriteStep { CreateTemp, Write, Sync, Rename };

// Replaces the file at `path` with `bytes`. The target keeps its group and its permission
// bits less those the umask closes (a new file gets 0666 less the umask); when `path` is a
// symbolic link, the file it points to is replaced and the link kept. On failure returns false,
// leaves the target unchanged, removes the temporary file and, when `error` is not null, describes
// the failure there.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

// Test hook: called before each step with the target path; returning false makes that
// step fail as if the system call had failed. Pass an empty function to remove the hook.
void SetAtomicWriteHookForTesting(std::function<bool(EAtomicWriteStep, const std::string&)> hook);
