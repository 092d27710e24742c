// CVeloLab: the exported entry of the lab-work module. Both operations open the lab
// schedule window modally on the host's open database: OnStart for the suite's menu, and
// GetSchedule as the reservation dialog's picker of one patient's lab item. The module
// never opens or closes the database. VeloLabOnStart is the same entry for hosts that load
// the library by name.
#pragma once

#include <QString>
#include <QtGlobal>

class CVeloDBSys;

#if defined(VELOLAB_LIBRARY)
#define VELOLAB_EXPORT Q_DECL_EXPORT
#else
#define VELOLAB_EXPORT Q_DECL_IMPORT
#endif

class VELOLAB_EXPORT CVeloLab {
public:
    CVeloLab();
    ~CVeloLab();

    // Runs the schedule window in normal mode. Returns the screen code chosen on its
    // navigation strip (1101 to 1106, or 0 after the exit question was answered Yes), or
    // -100 when the window was closed otherwise. -100 without a window for a null handle.
    int OnStart(CVeloDBSys* db);

    // Runs the window as a picker for the patient `patientId` with the days from three
    // before to three after `day` (YYYYMMDD). Returns the MaterialNo of the item the user
    // confirms, or "" when the window is cancelled or closed. A null handle or an empty
    // patient gives "" without a window.
    QString GetSchedule(CVeloDBSys* db, const char* patientId, const char* day);
};

extern "C" VELOLAB_EXPORT int VeloLabOnStart(CVeloDBSys* db);
