// sheetshots: saves pictures of the appointment sheet on a database folder for the
// documentation, as PNG files in an output folder: the day and week grids; the main window
// in day view, in week view, zoomed and with a reservation's balloon shown; the display-item
// dialog, the reservation dialog (a new booking, an edit with a collected fee, a blocked
// time), the cancel-reason dialog, the standby dialogs, the reserved-patient search and its
// contact dialog, the mail settings and templates, a postcard, the calendar memo, the
// reservation reference, the patient dialog and a printed day sheet. It shows the busiest day
// of the current and the next month (today when none has reservations), in the unit layout,
// and closes every window without waiting for input.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/bookingrules.h"
#include "sheet/calendarmemodlg.h"
#include "sheet/cancelreasondlg.h"
#include "sheet/contactdlg.h"
#include "sheet/daylist.h"
#include "sheet/daysheetview.h"
#include "sheet/displayitemdlg.h"
#include "sheet/referencedlg.h"
#include "sheet/reservation.h"
#include "sheet/reservationdlg.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/reservesheetdlg.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetprint.h"
#include "sheet/sheetsettings.h"
#include "sheet/sheetstrings.h"
#include "sheet/standbydlg.h"
#include "sheet/standbyentrydlg.h"
#include "sheet/weeksheetview.h"
#include "suite/comdlg/clinicdaysdlg.h"
#include "suite/comdlg/mailsettingdlg.h"
#include "suite/comdlg/mailtemplatedlg.h"
#include "suite/comdlg/patiententrydlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/postcard/postcarddata.h"
#include "suite/postcard/postcardlayout.h"
#include "suite/text/hostprofile.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/date.h"
#include "suite/tool/screenshot.h"
#include "suite/tool/xlistctrl.h"
#include "suite/tool/qttexts.h"

namespace {

constexpr QSize kViewSize(1280, 760);

bool SavePixmap(const QPixmap& picture, const QString& folder, const char* name) {
    return SaveScreenshot(picture, folder, name, "sheetshots");
}

bool Save(QWidget* view, const QString& folder, const char* name) {
    return SaveWidgetScreenshot(view, folder, name, "sheetshots");
}

// The shown tooltip-style windows (the sheet's balloon) drawn over a grab of `window`, as
// they stand on the screen.
QPixmap GrabWithPopups(QWidget* window) {
    QApplication::processEvents();
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    for (QWidget* popup : QApplication::topLevelWidgets()) {
        if (!popup->isVisible() || popup->windowType() != Qt::ToolTip) continue;
        painter.drawPixmap(window->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))),
                           popup->grab());
    }
    return picture;
}

// Prints the view to NAME.pdf in the output folder and renders its page to NAME.png with
// pdftoppm (poppler-utils).
// Renders the first page of base.pdf as base.png.
bool RenderFirstPage(const QString& base, const char* name) {
    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"),
                  QStringLiteral("-singlefile"), base + QStringLiteral(".pdf"), base});
    if (!render.waitForFinished(60000) || render.exitCode() != 0) {
        std::fprintf(stderr, "sheetshots: pdftoppm could not render %s\n", name);
        return false;
    }
    std::printf("%s.png\n", qPrintable(base));
    return true;
}

bool SavePrintedPage(velo::sheet::CSheetGridView* view, const QString& folder, const char* name) {
    const QString base = QDir(folder).filePath(QString::fromUtf8(name));
    QString error;
    if (!velo::sheet::PrintSheetViewToPdf(view, velo::sheet::PrintVariant::Sheet,
                                          base + QStringLiteral(".pdf"), &error)) {
        std::fprintf(stderr, "sheetshots: cannot print %s: %s\n", name, qPrintable(error));
        return false;
    }
    return RenderFirstPage(base, name);
}

// The postcard of the first of these patients that exists, as printed.
bool SavePostcard(CVeloDBSys* db, const std::vector<std::string>& patients, const QString& folder,
                  const char* name) {
    std::vector<CPostcardAddressee> cards;
    ReadPostcardAddressees(db, patients, &cards);
    if (cards.empty()) {
        std::fprintf(stderr, "sheetshots: no patient for the postcard\n");
        return false;
    }
    cards.resize(1);
    const QString base = QDir(folder).filePath(QString::fromUtf8(name));
    std::string error;
    if (!PrintPostcardsToPdf((base + QStringLiteral(".pdf")).toStdString(), cards,
                             ReadPostcardSender(), 0, &error)) {
        std::fprintf(stderr, "sheetshots: cannot print %s: %s\n", name, error.c_str());
        return false;
    }
    return RenderFirstPage(base, name);
}

// Moves the pointer over the middle of a reservation's bar, as a person does to see its
// balloon.
void HoverBar(velo::sheet::CDaySheetView* view, const std::string& reservationNo) {
    const QPoint at = view->BarRect(reservationNo).center();
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
}

// The date with the most live reservations in this month and the next, YYYYMMDD.
std::string BusiestDay(CVeloDBSys* db) {
    QDate month = CDate::Today();
    month = QDate(month.year(), month.month(), 1);
    std::string best = CDate::ToYmd(CDate::Today());
    int bestCount = 0;
    for (int i = 0; i < 2; ++i, month = month.addMonths(1)) {
        std::vector<int> counts;
        if (velo::sheet::CountMonth(db, month.year(), month.month(), &counts) != 0) continue;
        for (int day = 1; day < int(counts.size()) && day <= month.daysInMonth(); ++day) {
            if (counts[size_t(day)] > bestCount) {
                bestCount = counts[size_t(day)];
                best = CDate::ToYmd(QDate(month.year(), month.month(), day));
            }
        }
    }
    return best;
}

// The first patient whose record fills the details the sheet can show (a referring doctor,
// a school or workplace and a free-table entry); "" when none does.
std::string PatientWithDetails(CVeloDBSys* db) {
    CPatient1DB patients;
    if (patients.SetAssociatedDB(db) != 0) return {};
    for (int st = patients.GetFIRST(); st == 0 && !patients.IsEOF(); st = patients.GetNEXT()) {
        const tagPATIENT1DB& p = patients.m_Data;
        if (p.IntroDrCode[0] != '\0' && p.WorkKindCode[0] != '\0' && p.FreeTblCode[0][0] != '\0')
            return FieldText(p.PatientID);
    }
    return {};
}

// The first live reservation of the day that has a patient (the dialog shows its patient and
// history), and the first with a collected fee on any day, when there are such.
struct DemoReservations {
    tagRESERVATIONDB firstOfDay{};
    bool haveFirst = false;
    std::string withFee;
};

DemoReservations FindDemoReservations(CVeloDBSys* db, const std::string& day) {
    DemoReservations found;
    CReservationDB table;
    if (table.SetAssociatedDB(db) != 0) return found;
    for (int st = table.GetFIRST(); st == 0 && !table.IsEOF(); st = table.GetNEXT()) {
        const tagRESERVATIONDB& r = table.m_Data;
        if (!velo::sheet::IsLiveStatus(r.Status) || r.PatientID[0] == '\0') continue;
        if (!found.haveFirst && FieldText(r.ResDate) == day) {
            found.firstOfDay = r;
            found.haveFirst = true;
        }
        if (found.withFee.empty() && r.Fee != 0 && r.Status == 0)
            found.withFee = FieldText(r.ReservationNo);
    }
    return found;
}

// A free band of `minutes` in open hours in the unit's column of the day, from 10:00 on; 0, 0 for none.
std::pair<int, int> FreeBand(CVeloDBSys* db, const std::string& unit, const std::string& day,
                             int minutes) {
    velo::sheet::StripRequest request;
    request.columnCode = unit;
    request.day = day;
    std::vector<velo::sheet::StripItem> items;
    velo::sheet::LoadStrip(db, request, &items);
    VELOOFFICEHOUR hours{};
    CVeloSubTools::GetVeloOfficeHourData(&hours);
    for (int start = 1000; start < 1800; start = velo::sheet::NextCellTime(start, 15)) {
        int end = start;
        for (int m = 0; m < minutes; m += 15) end = velo::sheet::NextCellTime(end, 15);
        if (velo::sheet::IsClosedCell(start, day.c_str(), hours)) continue;
        if (velo::sheet::FindOverlap(items, start, end) == nullptr) return {start, end};
    }
    return {0, 0};
}

}  // namespace

int main(int argc, char** argv) {
    privatefiles::CloseNewFilesToOthers();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velo"));
    UseJapaneseQtTexts();
    if (argc != 3) {
        std::fprintf(stderr, "usage: sheetshots DATABASE-FOLDER OUTPUT-FOLDER\n");
        return 2;
    }
    const QString database = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "sheetshots: cannot create %s\n", argv[2]);
        return 1;
    }
    CVeloDBSys db;
    if (!db.Open(QFile::encodeName(database).toStdString())) {
        std::fprintf(stderr, "sheetshots: cannot open the database folder %s\n", argv[1]);
        return 1;
    }
    CHostProfile::SetProgramName(QStringLiteral("velo"));
    CHostProfile::WriteProfileString(QStringLiteral("GLOBAL"), QStringLiteral("DATABASE"),
                                     database);

    const std::string date = BusiestDay(&db);
    bool ok = true;
    {
        velo::sheet::CDaySheetView day(&db);
        day.setWindowTitle(QStringLiteral("日表示"));
        day.resize(kViewSize);
        day.show();
        day.SetDate(date);
        day.SetLayoutMode(0);
        // Start near the morning's first reservation and select it, as after a list click.
        if (!day.Data().list.empty())
            day.HighlightReservation(day.Data().list.front().reservationNo);
        ok = Save(&day, out, "sheet-day") && ok;
        day.SetLayoutMode(1);
        ok = Save(&day, out, "sheet-day-doctors") && ok;
    }
    {
        velo::sheet::CWeekSheetView week(&db);
        week.setWindowTitle(QStringLiteral("週表示"));
        week.resize(kViewSize);
        week.show();
        week.SetDates(date);
        week.SetLayoutMode(0);
        ok = Save(&week, out, "sheet-week") && ok;
    }
    {
        velo::sheet::CReserveSheetDlg sheet(&db);
        sheet.setWindowState(Qt::WindowNoState);
        sheet.resize(kViewSize.width(), kViewSize.height() + 200);
        sheet.show();
        sheet.SetShownDate(CDate::FromYmd(date.c_str()));
        if (sheet.DayList()->RowCount() > 0)
            sheet.DayList()->SelectReservation(sheet.DayList()->Entry(0)->reservationNo);
        ok = Save(&sheet, out, "sheet-window") && ok;

        velo::sheet::CDaySheetView* view = sheet.DayView();
        if (!view->Data().list.empty()) {
            const std::string& no = view->Data().list.front().reservationNo;
            view->HighlightReservation(no);
            HoverBar(view, no);
        }
        ok = SavePixmap(GrabWithPopups(&sheet), out, "sheet-window-balloon") && ok;

        sheet.RunCommand(velo::sheet::kCmdWeekView);
        ok = Save(&sheet, out, "sheet-window-week") && ok;
        sheet.RunCommand(velo::sheet::kCmdDayView);
        sheet.RunCommand(velo::sheet::kCmdZoom);
        ok = Save(&sheet, out, "sheet-window-zoomed") && ok;
        sheet.RunCommand(velo::sheet::kCmdRestore);
    }
    const DemoReservations demo = FindDemoReservations(&db, date);
    {
        velo::sheet::ReservationDlgInputs inputs;
        inputs.date = date;
        if (demo.haveFirst) {
            inputs.columnKey = FieldText(demo.firstOfDay.UnitCode);
            inputs.patientId = FieldText(demo.firstOfDay.PatientID);
        }
        const auto [start, end] = FreeBand(&db, inputs.columnKey, date, 30);
        inputs.start = start;
        inputs.end = end;
        velo::sheet::CReservationDlg dialog(&db, inputs);
        dialog.show();
        ok = Save(&dialog, out, "reservation-new") && ok;

        velo::sheet::ReservationDlgInputs blocked = inputs;
        blocked.patientId.clear();
        velo::sheet::CReservationDlg blockedDialog(&db, blocked);
        blockedDialog.show();
        blockedDialog.findChild<QCheckBox*>(QStringLiteral("1174"))->click();
        ok = Save(&blockedDialog, out, "reservation-blocked") && ok;
    }
    if (demo.haveFirst) {
        velo::sheet::ReservationDlgInputs inputs;
        inputs.reservationNo =
            demo.withFee.empty() ? FieldText(demo.firstOfDay.ReservationNo) : demo.withFee;
        velo::sheet::CReservationDlg dialog(&db, inputs);
        dialog.show();
        // Without a stored fee the picture shows one chosen in the dialog (nothing is saved).
        auto* collect = dialog.findChild<QCheckBox*>(QStringLiteral("1070"));
        if (!collect->isChecked()) {
            collect->click();
            auto* items = dialog.findChild<QComboBox*>(QStringLiteral("1104"));
            if (items->count() > 0) {
                items->setCurrentIndex(-1);
                items->setCurrentIndex(0);
            }
        }
        ok = Save(&dialog, out, "reservation-edit-fee") && ok;

        velo::sheet::CCancelReasonDlg cancel(&db, FieldText(demo.firstOfDay.ReservationNo), 2);
        cancel.show();
        ok = Save(&cancel, out, "cancel-reason") && ok;
    }
    {
        // The standby list with the booked entries shown and a month of cancellations.
        velo::sheet::CStandbyDlg standby(&db, velo::sheet::CStandbyDlg::kModeSheet);
        standby.resize(standby.width(), 700);  // the dialog's own width
        standby.show();
        standby.findChild<QCheckBox*>(QStringLiteral("1157"))->setChecked(true);
        standby.findChild<QDateEdit*>(QStringLiteral("1140"))->setDate(CDate::Today().addDays(-30));
        ok = Save(&standby, out, "standby-list") && ok;
        auto* rows = standby.findChild<CXListCtrl*>(QStringLiteral("1132"));
        const int first = rows->GetItemCount() > 0 ? static_cast<int>(rows->GetItemData(0)) : 0;
        velo::sheet::CStandbyEntryDlg entry(&db, first);
        entry.show();
        ok = Save(&entry, out, "standby-entry") && ok;
    }
    {
        // The reserved-patient search over the next week, two rows ticked for mail, and the
        // contact dialog of the first row (not saved).
        velo::sheet::CReservedSearchDlg search(&db);
        search.findChild<QDateEdit*>(QStringLiteral("1080"))->setDate(CDate::Today().addDays(7));
        search.show();
        search.RunSearch();
        CXListCtrl* found = search.List();
        for (int row = 0, ticked = 0; row < found->GetItemCount() && ticked < 2; ++row) {
            if (found->GetItemText(row, velo::sheet::CReservedSearchDlg::kColMail).isEmpty()) continue;
            found->SetCheck(row, true);
            ++ticked;
        }
        found->SetSelIndex(0);
        ok = Save(&search, out, "reserved-search") && ok;
        if (!search.Rows().empty()) {
            velo::sheet::CContactDlg contact(&db, search.Rows()[0].reservationNo);
            contact.show();
            ok = Save(&contact, out, "contact-record") && ok;
            std::vector<std::string> patients;
            for (const auto& row : search.Rows()) patients.push_back(row.patientId);
            ok = SavePostcard(&db, patients, out, "postcard") && ok;
        }
        CMailSettingDlg settings;
        settings.show();
        ok = Save(&settings, out, "mail-settings") && ok;
        CMailTemplateDlg templates(0);
        templates.show();
        ok = Save(&templates, out, "mail-templates") && ok;
    }
    {
        // The clinic's own days, opened on the day shown, without saving anything.
        CClinicDaysDlg days(CDate::FromYmd(date.c_str()));
        days.show();
        ok = Save(&days, out, "clinic-days") && ok;
    }
    {
        CDisplayItemDlg items(&db, 0, false);
        items.show();
        ok = Save(&items, out, "sheet-display-items") && ok;
    }
    {
        // A note typed but not saved, so the demo folder keeps no memo file.
        velo::sheet::CCalendarMemoDlg memo(db.GetDatabaseFolder(), CDate::FromYmd(date.c_str()));
        memo.findChild<QPlainTextEdit*>(QStringLiteral("1160"))
            ->setPlainText(QStringLiteral("午後は院内研修のため休診\n技工所の集荷 16:00"));
        memo.show();
        ok = Save(&memo, out, "calendar-memo") && ok;
    }
    {
        velo::sheet::ReferenceDlgInputs inputs;
        inputs.columnKey = "01";
        inputs.date = CDate::FromYmd(date.c_str());
        velo::sheet::CReferenceDlg reference(&db, inputs);
        reference.resize(1100, 720);
        reference.show();
        ok = Save(&reference, out, "reservation-reference") && ok;
    }
    {
        // The patient dialog as opened for a patient with its details filled (not saved), and
        // for a new patient, who starts without a sex chosen.
        CPatientDB patients;
        const std::string id = PatientWithDetails(&db);
        if (!id.empty() && patients.SetAssociatedDB(&db) == 0 &&
            patients.GetPatientData(id.c_str()) == 0) {
            CPatientEntryDlg edit(&db, CPatientEntryDlg::kEditPatient, &patients.m_Data);
            edit.show();
            ok = Save(&edit, out, "patient-entry") && ok;
        }
        CPatientEntryDlg added(&db, CPatientEntryDlg::kNewPatient, nullptr);
        added.show();
        ok = Save(&added, out, "patient-entry-new") && ok;
    }
    {
        // The day sheet as printed: an A4 PDF, and its page as a picture.
        velo::sheet::CDaySheetView day(&db);
        day.resize(kViewSize);
        day.SetDate(date);
        day.SetLayoutMode(0);
        ok = SavePrintedPage(&day, out, "printed-day-sheet") && ok;
    }
    return ok ? 0 : 1;
}
