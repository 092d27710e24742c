// A second reception desk for the patient entry tests:
//   register DIR ID NAME  open the database in DIR, print "ready", wait for the line "go",
//                         register a new patient with the chart number ID, and print
//                         "ok PATIENTKEY" or "refused RESULT STATUS" (the EPatientResult
//                         as a number)
#include <cstdlib>
#include <iostream>
#include <string>

#include "suite/comdlg/patiententrydlg.h"
#include "suite/dbcall/velodbsys.h"

namespace {

int Register(const std::string& dir, const std::string& chartNo, const std::string& name) {
    CVeloDBSys db(dir);
    CPatientEntry entry;
    entry.chartNo = QString::fromStdString(chartNo);
    entry.name = QString::fromStdString(name);
    entry.sex = EPatientSex::Male;
    std::cout << "ready" << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 1;
    tagPATIENTDB saved{};
    const CPatientSaveResult result = InsertNewPatient(&db, entry, &saved);
    if (result.IsOk())
        std::cout << "ok " << saved.PatientID << std::endl;
    else
        std::cout << "refused " << static_cast<int>(result.result) << " " << result.status
                  << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "register" && argc == 5) return Register(argv[2], argv[3], argv[4]);
    std::cerr << "usage: patiententry_peer register DIR ID NAME" << std::endl;
    return 2;
}
