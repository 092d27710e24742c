// The appointment-sheet module's exported entry points.
#include "sheet/velosheet.h"

#include "sheet/reservesheetdlg.h"

using velo::sheet::CReserveSheetDlg;

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

extern "C" int DoStart(CVeloDBSys* db) {
    CVeloSheet sheet;
    return sheet.DoStart(db);
}
