// labshots: saves pictures of the lab-work windows on a database folder for the
// documentation - the schedule window in the list and by-item views, the picker of one
// patient and the item edit dialog - as PNG files in an output folder. The windows are
// opened as a receptionist sees them, refreshed, drawn and closed without waiting for input.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <cstdio>
#include <cstring>

#include "lab/byitemview.h"
#include "lab/labitemdlg.h"
#include "lab/labscheduledlg.h"
#include "lab/labstrings.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/hostprofile.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/xlistctrl.h"
#include "suite/tool/screenshot.h"
#include "suite/tool/qttexts.h"

namespace {

constexpr QSize kWindowSize(1280, 760);

bool Save(QWidget* window, const QString& folder, const char* name) {
    return SaveWidgetScreenshot(window, folder, name, "labshots");
}

void ShowAtSize(QWidget* window) {
    window->setWindowState(Qt::WindowNoState);
    window->resize(kWindowSize);
    window->show();
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    privatefiles::CloseNewFilesToOthers();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velo"));
    UseJapaneseQtTexts();
    if (argc != 3) {
        std::fprintf(stderr, "usage: labshots DATABASE-FOLDER OUTPUT-FOLDER\n");
        return 2;
    }
    const QString database = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "labshots: cannot create %s\n", argv[2]);
        return 1;
    }
    CVeloDBSys db;
    if (!db.Open(QFile::encodeName(database).toStdString())) {
        std::fprintf(stderr, "labshots: cannot open the database folder %s\n", argv[1]);
        return 1;
    }
    // The suite's settings (clinic name and address) are those of the open database.
    CHostProfile::SetProgramName(QStringLiteral("velo"));
    CHostProfile::WriteProfileString(QStringLiteral("GLOBAL"), QStringLiteral("DATABASE"),
                                     database);
    RegisterLabStrings();

    bool ok = true;
    std::string itemNo;
    {
        CLabScheduleDlg window(&db);
        ShowAtSize(&window);
        window.ListRadio()->setChecked(true);
        window.Refresh();
        if (window.List()->GetItemCount() > 0) window.List()->SetSelIndex(0);
        ok = Save(&window, out, "lab-list") && ok;
        itemNo = window.SelectedMaterialNo();
        window.ByItemRadio()->setChecked(true);
        window.Refresh(itemNo);
        ok = Save(&window, out, "lab-byitem") && ok;
        window.ListRadio()->setChecked(true);
        window.Refresh(itemNo);
        window.reject();
    }
    if (!itemNo.empty()) {
        // The picker of the selected item's patient, around its due day.
        CMaterialDB materials;
        if (materials.Open(db.GetDatabaseFolder()) == 0 &&
            materials.GetMaterialData(itemNo.c_str()) == 0) {
            const std::string patient(
                materials.m_Data.PatientID,
                strnlen(materials.m_Data.PatientID, sizeof materials.m_Data.PatientID));
            const std::string due(
                materials.m_Data.CompletionDate,
                strnlen(materials.m_Data.CompletionDate, sizeof materials.m_Data.CompletionDate));
            CLabScheduleDlg picker(&db, patient, due);
            ShowAtSize(&picker);
            picker.resize(kWindowSize.width(), 480);
            picker.ListRadio()->setChecked(true);
            picker.Refresh(itemNo);
            ok = Save(&picker, out, "lab-picker") && ok;
            picker.reject();
        }
        CLabItemDlg dialog(&db, QString::fromStdString(itemNo), std::string(), std::string(), 0,
                           nullptr);
        dialog.show();
        ok = Save(&dialog, out, "lab-item") && ok;
        dialog.reject();
    } else {
        std::fprintf(stderr, "labshots: no lab item in the coming week to show\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
