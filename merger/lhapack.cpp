// lhapack ARCHIVE FOLDER: writes every file directly in FOLDER into the LHA archive ARCHIVE
// as stored entries. The build makes the merger's empty database archive with it. Entries
// are dated 2000-01-01, so any real database file is newer than the empty table it replaces.
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "merger/lhaarchive.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: lhapack ARCHIVE FOLDER\n";
        return 2;
    }
    struct tm day {};
    day.tm_year = 2000 - 1900;
    day.tm_mday = 1;
    day.tm_isdst = -1;
    const int64_t dated = static_cast<int64_t>(std::mktime(&day));
    std::vector<unita::SLhaEntry> entries;
    std::string error;
    if (!unita::ReadFolderEntries(argv[2], dated, &entries, &error) ||
        !unita::WriteLhaArchive(argv[1], entries, &error)) {
        std::cerr << "lhapack: " << error << "\n";
        return 1;
    }
    std::cout << "lhapack: " << entries.size() << " files into " << argv[1] << "\n";
    return 0;
}
