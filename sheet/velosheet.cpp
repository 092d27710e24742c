// The appointment-sheet module's exported entry points.
#include "sheet/velosheet.h"

#include "sheet/bookingstrings.h"
#include "sheet/cancelreasondlg.h"
#include "sheet/reservationdlg.h"
#include "sheet/reservesheetdlg.h"
#include "sheet/sheetsettings.h"
#include "sheet/sheetstrings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

using velo::sheet::CCancelReasonDlg;
using velo::sheet::CReservationDlg;
using velo::sheet::CReserveSheetDlg;
using velo::sheet::ReservationDlgInputs;

namespace {

constexpr int kProposedDaysAhead = 30;

// Runs the reservation dialog; the reservation's day as eight digits on OK, else "".
QString RunReservationDialog(CVeloDBSys* db, const ReservationDlgInputs& inputs) {
    CReservationDlg dialog(db, inputs);
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.DateText().remove(QLatin1Char('/'));
}

}  // namespace

CVeloSheet::CVeloSheet() = default;
CVeloSheet::~CVeloSheet() = default;

int CVeloSheet::OnStart(CVeloDBSys* db) {
    if (db == nullptr) return -100;
    CReserveSheetDlg dialog(db);
    dialog.exec();
    return dialog.ScreenCode();
}

int CVeloSheet::DoStart(CVeloDBSys* db) { return OnStart(db); }

int CVeloSheet::OpenSheet(CVeloDBSys* db, QWidget* parent) {
    if (!m_sheet) {
        if (db == nullptr) return -1;
        m_sheet = std::make_unique<CReserveSheetDlg>(db, parent);
    }
    m_sheet->show();
    m_sheet->raise();
    m_sheet->activateWindow();
    m_sheet->setFocus();
    return 0;
}

QString CVeloSheet::OnNewReservation(CVeloDBSys* db, const char* patientId) {
    if (db == nullptr) return QString();
    ReservationDlgInputs inputs;
    inputs.dialogMode = velo::sheet::kDialogModeNewFixedPatient;
    inputs.columnMode = velo::sheet::ReadHostSheetProfile().reservationMode;
    inputs.patientId = patientId != nullptr ? patientId : "";
    inputs.date = CDate::ToYmd(CDate::Today().addDays(kProposedDaysAhead));
    return RunReservationDialog(db, inputs);
}

QString CVeloSheet::DoChangeReservation(CVeloDBSys* db, const char* reservationNo) {
    if (db == nullptr) return QString();
    ReservationDlgInputs inputs;
    inputs.dialogMode = velo::sheet::kDialogModeChange;
    inputs.columnMode = velo::sheet::ReadHostSheetProfile().reservationMode;
    inputs.reservationNo = reservationNo != nullptr ? reservationNo : "";
    return RunReservationDialog(db, inputs);
}

int CVeloSheet::DoCancelReservation(CVeloDBSys* db, const char* reservationNo, uint8_t status) {
    if (db == nullptr) return 0;
    velo::sheet::RegisterBookingStrings();
    const int answer = CMessageService::MessageBox(
        nullptr, LoadString(velo::sheet::kIdsCancelQuestion), QStringLiteral("予約"),
        CMessageService::EIcon::Question, CMessageService::EButtons::YesNo);
    if (answer != CMessageService::IDYES) return 2;
    CCancelReasonDlg dialog(db, reservationNo != nullptr ? reservationNo : "", status);
    return dialog.exec();
}

extern "C" int DoStart(CVeloDBSys* db) {
    CVeloSheet sheet;
    return sheet.DoStart(db);
}
