// The mode of the files the record manager makes (table files, working files, the connection
// file): 0666 less the process's umask, as open() would give them, whatever SQLite's own
// default. The programs of the suite set a umask that closes their files to others and, on a
// machine with the clinic's group, leaves them writable by the group, so that every account
// of the clinic can write the tables.
#pragma once

#include <sys/types.h>

namespace recman {

// The process's umask, read without changing it (another thread may be making a file).
mode_t CurrentUmask();

inline mode_t NewFileMode() { return 0666 & ~CurrentUmask(); }

}  // namespace recman
