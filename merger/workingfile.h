// Where the record manager keeps this process's private working file. By default it goes
// beside the first table file a process opens, which for the merger would be one of the two
// source databases: a file appearing in a source while the merger runs (and left there
// after a crash) and copied along with it into the destination. The merger puts it in a
// folder of its own before it opens any table.
#pragma once

#include <string>

namespace unita {

// Makes `folder` (with its parents) and has the record manager keep its working file and
// the journal of a commit across several files there. Call before any table is opened;
// false when the folder is empty or cannot be made or written, or a table is already open
// (the record manager then chooses as usual).
bool KeepWorkingFileIn(const std::string& folder);

}  // namespace unita
