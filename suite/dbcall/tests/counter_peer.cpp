// A second workstation for the counter tests:
//   take DIR N   open the database in DIR, print "ready", wait for the line "go", then take N
//                reservation numbers and N patient keys, one of each in turn, each outside
//                any transaction, printing "R NUMBER" and "P NUMBER" (or "R failed STATUS"),
//                and "done" at the end
#include <cstdlib>
#include <iostream>
#include <string>

#include "recman/recman.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/velodbsys.h"

namespace {

void TakeOne(CIndexControlDB& counter, char kind) {
    std::string number;
    const int status =
        kind == 'R' ? counter.TakeReservationIndex(&number) : counter.TakePatientIndex(&number);
    if (status == recman::kOk)
        std::cout << kind << " " << number << "\n";
    else
        std::cout << kind << " failed " << status << "\n";
}

int Take(const std::string& dir, int count) {
    CVeloDBSys db(dir);
    CIndexControlDB counter;
    if (counter.SetAssociatedDB(&db) != recman::kOk) return 1;
    std::cout << "ready" << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 1;
    for (int i = 0; i < count; ++i) {
        TakeOne(counter, 'R');
        TakeOne(counter, 'P');
    }
    std::cout << "done" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "take" && argc == 4) return Take(argv[2], std::atoi(argv[3]));
    std::cerr << "usage: counter_peer take DIR N" << std::endl;
    return 2;
}
