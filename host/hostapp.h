// The host program from its parsed command line to the end of its event loop: finds the
// database folder, opens the handle, remembers the folder in the host profile, loads the
// sheet module when present and shows the main window (or saves a picture of it).
#pragma once

#include "hostoptions.h"

// Runs the program. REQUIRES: a QApplication exists. Returns the process exit code.
int RunHost(const CHostOptions& options);
