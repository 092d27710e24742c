// The process's umask, from the kernel's account of the process where it gives one.
#include "recman/filemode.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace recman {

mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0)
            return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
    // Without it, the mask is read by setting it, which is brief but not safe while another
    // thread makes a file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace recman
