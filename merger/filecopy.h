// Copying a file's bytes between two open descriptors, for the merger's file copies.
#pragma once

namespace unita {

// Copies everything from the position of `in` to its end onto `out`: inside the kernel
// where the file system can, so large databases do not pass through this process's
// memory, else block by block. False with errno set on failure.
bool CopyFileContents(int in, int out);

}  // namespace unita
