// Another program for the backup tests. Modes:
//   move DIR   moves amounts within the transfer pair of DIR (transferpair.h), one
//              transaction per move, printing "moving" after the first, until killed
//   open DIR   opens a table of DIR, prints "open" and ends at the next line of input
#include <unistd.h>

#include <iostream>
#include <random>
#include <string>

#include "tools/tests/transferpair.h"

namespace {

int Move(const std::string& folder) {
    CCreditItemDB item;
    CRegiDB regi;
    if (item.Open(folder) != 0 || regi.Open(folder) != 0) {
        std::cout << "failed open" << std::endl;
        return 1;
    }
    std::mt19937 random(unsigned(::getpid()));
    std::uniform_int_distribution<int32_t> amounts(-500, 500);
    for (long moves = 0;; ++moves) {
        if (int st = velodb_test::MoveWithinPair(&item, &regi, amounts(random)); st != 0) {
            std::cout << "failed " << st << std::endl;
            return 1;
        }
        if (moves == 0) std::cout << "moving" << std::endl;
    }
}

int Open(const std::string& folder) {
    CStaffDB staff;
    if (staff.Open(folder) != 0) {
        std::cout << "failed open" << std::endl;
        return 1;
    }
    std::cout << "open" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode == "move") return Move(argv[2]);
    if (mode == "open") return Open(argv[2]);
    std::cerr << "usage: backup_peer move|open DIR\n";
    return 2;
}
