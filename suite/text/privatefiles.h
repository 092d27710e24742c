// Who may read a clinic's files. The tables, GlobalSetting.ini (which holds the mail
// passwords), the memo files and the mail archive hold patients' names, addresses and
// telephone numbers, so no account outside the clinic may read them. A machine where the
// suite is installed has a system group "velo" for the clinic's users: the suite's folders
// then get mode 2770 with that group (the set-group-id bit makes files made inside belong
// to it too) and its files 0660. Without that group, folders get 0700 and files 0600.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace privatefiles {

// The name of the clinic's group.
constexpr char kClinicGroup[] = "velo";

// The id of the clinic's group, or -1 when the machine has none or this process cannot give
// files to it (it is neither root nor a member): its files then stay the owner's alone,
// rather than falling to whatever group the account happens to have.
gid_t ClinicGroup();

// Sets the process's file mode creation mask so that every file and folder it creates is
// closed to others (and to the group as well when there is no clinic group). Every program
// of the suite calls it first thing: then the files the record manager, the settings, the
// memo book and the mail client create need nothing more.
void CloseNewFilesToOthers();

// The modes the suite gives its folders and files.
mode_t FolderMode();
mode_t FileMode();

// Makes the folder, and any missing folder above it, each with FolderMode() and the clinic
// group. A folder that is there already is left as it is. False, with a message in the
// system's words in *error, when one cannot be made.
bool MakePrivateFolder(const std::string& path, std::string* error);

// Gives an existing folder FolderMode() and an existing file FileMode(), with the clinic
// group where there is one. False, with a message in *error, when that is not allowed.
bool MakePrivate(const std::string& path, std::string* error);

// Whether accounts outside the owner and the clinic group can read the file or folder
// (a folder also when they can enter it).
bool OthersCanRead(const std::string& path);

// The folder itself and every file and folder below it that others can read, in the order
// of a walk that lists a folder before what it holds; symbolic links to folders are not
// followed. Empty when nothing is open to others (or the folder cannot be read).
std::vector<std::string> OpenToOthers(const std::string& folder);

// The shell command that closes the folder and everything in it to others, the folder
// quoted for the shell: chmod -R o-rwx '/srv/clinic'.
std::string CommandToClose(const std::string& folder);

// Test hook: makes ClinicGroup() answer `group` (-1 for none) instead of asking the system;
// std::nullopt asks the system again.
void SetClinicGroupForTesting(std::optional<gid_t> group);

}  // namespace privatefiles
