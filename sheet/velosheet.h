// CVeloSheet: the exported entry of the appointment-sheet module. OnStart and DoStart run
// the reservation sheet modally on the host's open database and return the screen code
// chosen on its navigation strip (-100 when it was closed otherwise); OpenSheet shows one
// modeless sheet that lives as long as the CVeloSheet. The module never opens or closes
// the database. The free function DoStart is the same entry for hosts that load the
// library and look the function up by name. The three reservation services let another
// screen book, change or cancel one reservation without showing the sheet.
#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <memory>

class CVeloDBSys;
class QWidget;

#if defined(VELOSHEET_LIBRARY)
#define VELOSHEET_EXPORT Q_DECL_EXPORT
#else
#define VELOSHEET_EXPORT Q_DECL_IMPORT
#endif

namespace velo::sheet {
class CReserveSheetDlg;
}

class VELOSHEET_EXPORT CVeloSheet {
public:
    CVeloSheet();
    ~CVeloSheet();
    CVeloSheet(const CVeloSheet&) = delete;
    CVeloSheet& operator=(const CVeloSheet&) = delete;

    // Runs the sheet modally; returns its screen code (-100 when closed without choosing
    // another screen, and without a window for a null handle).
    int OnStart(CVeloDBSys* db);
    // The same as OnStart.
    int DoStart(CVeloDBSys* db);
    // Creates the modeless sheet on the first call (later handles are ignored while it
    // exists), then shows it and gives it the focus. Returns 0; -1 for a null handle
    // before any window exists.
    int OpenSheet(CVeloDBSys* db, QWidget* parent = nullptr);
    // Books a new reservation for the patient in the reservation dialog (patient fixed,
    // layout from the host profile's VELOSHEET/ReservationMode, proposed day today + 30).
    // Returns the booked day as eight digits on OK, "" otherwise (and for a null handle).
    QString OnNewReservation(CVeloDBSys* db, const char* patientId);
    // Moves the reservation to another day or band in the dialog's change mode. Returns the
    // new day as eight digits on OK, "" otherwise.
    QString DoChangeReservation(CVeloDBSys* db, const char* reservationNo);
    // Asks "予約をキャンセルしてもよろしいですか。" (default No): No returns 2 and changes
    // nothing; Yes opens the cancel-reason dialog, which marks the reservation with `status`
    // (2, 3 or 4), and returns its result: 1 marked, 2 cancelled, 0 for an empty number (or
    // a null handle, without asking).
    int DoCancelReservation(CVeloDBSys* db, const char* reservationNo, uint8_t status);
    // The modeless sheet, null until OpenSheet made it.
    velo::sheet::CReserveSheetDlg* Sheet() const { return m_sheet.get(); }

private:
    std::unique_ptr<velo::sheet::CReserveSheetDlg> m_sheet;
};

extern "C" VELOSHEET_EXPORT int DoStart(CVeloDBSys* db);
