// The lab-work module's exported entry points.
#include "lab/velolab.h"

#include <string>

#include "lab/labscheduledlg.h"
#include "lab/labstrings.h"

CVeloLab::CVeloLab() = default;
CVeloLab::~CVeloLab() = default;

int CVeloLab::OnStart(CVeloDBSys* db) {
    if (db == nullptr) return -100;
    RegisterLabStrings();
    CLabScheduleDlg dialog(db);
    dialog.exec();
    return dialog.ResultCode();
}

QString CVeloLab::GetSchedule(CVeloDBSys* db, const char* patientId, const char* day) {
    if (db == nullptr || patientId == nullptr || *patientId == '\0') return QString();
    RegisterLabStrings();
    CLabScheduleDlg dialog(db, std::string(patientId), std::string(day != nullptr ? day : ""));
    if (dialog.exec() != QDialog::Accepted) return QString();
    return QString::fromStdString(dialog.PickedMaterialNo());
}

extern "C" int VeloLabOnStart(CVeloDBSys* db) {
    CVeloLab lab;
    return lab.OnStart(db);
}
