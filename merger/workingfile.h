// Where the record manager keeps this process's private working file. It goes beside the
// first table file a process opens, which for the merger would be one of the two source
// databases: a file appearing in a source while the merger runs (and left there after a
// crash) and copied along with it into the destination. The merger puts it in a folder of
// its own before it opens any table.
#pragma once

#include <string>

namespace unita {

// Makes `folder` (with its parents) and places the working file there by creating and
// opening a small table file in it. Call before any table is opened; false when the folder
// or the table cannot be made (the record manager then chooses as usual).
bool KeepWorkingFileIn(const std::string& folder);

}  // namespace unita
