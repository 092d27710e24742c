#include "merger/workingfile.h"

#include "recman/recman.h"

namespace unita {

bool KeepWorkingFileIn(const std::string& folder) {
    return !folder.empty() && recman::SetWorkingFolder(folder) == recman::kOk;
}

}  // namespace unita
