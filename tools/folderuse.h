// Whether another program has a folder database open, told from the locks the suite's
// programs hold while they work on it:
//  - every program that opens a table of the folder first keeps a working file
//    ".recman-XXXXXX" in it, locked for as long as the program lives (the lock goes with the
//    program, so a file left by a crashed one is not counted);
//  - a program whose working file lies elsewhere holds SQLite's locks on a table file while
//    it reads or saves it;
//  - a program changing GlobalSetting.ini or a memo file holds the lock of ".velo-files.lock".
// Locks held by this process itself are not counted.
#pragma once

#include <string>

namespace velodb {

// Empty when no other program is seen using the folder; otherwise what shows it is in use,
// in the system's words.
std::string FolderInUse(const std::string& folder);

}  // namespace velodb
