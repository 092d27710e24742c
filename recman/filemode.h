// The mode of the files the record manager makes (table files, working files, the connection
// file): 0666 less the process's umask, as open() would give them, whatever SQLite's own
// default. The programs of the suite set a umask that closes their files to others and, on a
// machine with the clinic's group, leaves them writable by the group, so that every account
// of the clinic can write the tables.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace recman {

// The process's umask, read from the kernel's account of the process without changing it
// (setting it to read it would open a moment in which another thread's new file is open).
// Header-only, so that the suite's text helpers can use it without linking the record
// manager.
inline mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0)
            return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

inline mode_t NewFileMode() { return 0666 & ~CurrentUmask(); }

}  // namespace recman
