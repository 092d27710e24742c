// Where the suite's programs find the files they ship with (the navigation images, the
// print forms, the empty database archive) and where a workstation keeps the small files
// the programs write for it. In the build tree the data files lie beside the programs
// (build/bin/images, build/bin/templates, build/bin/basedb.lzh); an installed suite keeps
// its programs in <prefix>/bin and its data in <prefix>/share/velo. Every program asks
// here, so both layouts work without a setting.
#pragma once

#include <string>

namespace suitefolders {

// The folder of the running executable, ending in "/"; the current folder when the
// executable cannot be found.
std::string ProgramFolder();

// The data folder for programs in `programFolder`, ending in "/": "../share/velo/" beside
// it when that folder exists (an installed suite), else `programFolder` itself.
std::string DataFolderFor(const std::string& programFolder);
// DataFolderFor(ProgramFolder()).
std::string DataFolder();

// Whether `programFolder` is an installed suite's (its data folder lies elsewhere).
bool IsInstalledLayout(const std::string& programFolder);

// The folder for files a workstation's programs write for themselves (the sheet's
// display-item files), ending in "/": the program folder in the build tree; in an
// installed suite, whose program folder belongs to the system, the user's configuration
// folder of the suite ($XDG_CONFIG_HOME/velo/, ~/.config/velo/ by default), where the host
// profile lies too. The folder need not exist yet.
std::string WorkstationFolderFor(const std::string& programFolder);
std::string WorkstationFolder();

}  // namespace suitefolders
