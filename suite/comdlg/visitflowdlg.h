// The day's visit flow: the patients booked on one day in order of their start time, with
// their unit, doctor and whether they have come, so that the reception sees who is next.
// The list itself is a plain function so that it can be checked without the dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class CVeloDBSys;
class CXListCtrl;
class QLabel;

// One visit of the day.
struct CVisitFlowRow {
    std::string reservationNo;
    std::string patientId;
    std::string startTime;  // HHMM
    std::string endTime;    // HHMM
    QString chartNo;
    QString patientName;
    QString unitName;    // the unit's name, or its code when the master lacks it
    QString doctorName;  // likewise
    bool came = false;
};

// The live reservations of the day ("YYYYMMDD"): status booked (0) or came (1), with a
// patient whose record exists and is not inactive; blocked times, cancelled, withdrawn and
// superseded reservations are left out. Ordered by start time, then booking order. Returns
// 0 (also for a day without visits) or the record manager's status; rows read before a
// failure are kept.
int LoadVisitFlow(CVeloDBSys* db, const char* yyyymmdd, std::vector<CVisitFlowRow>* rows);

// The dialog: the day's visits (時間, 患者ID, 氏名, ユニット, 担当医, 来院), a count line and
// 閉じる.
class CVisitFlowDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names.
    enum : int { kIdList = 1001, kIdSummary = 1002, kIdClose = 2 };
    enum EColumn { kColTime, kColChartNo, kColName, kColUnit, kColDoctor, kColCame, kColumnCount };

    CVisitFlowDlg(CVeloDBSys* db, const std::string& yyyymmdd, QWidget* parent = nullptr);
    CVisitFlowDlg(const CVisitFlowDlg&) = delete;
    CVisitFlowDlg& operator=(const CVisitFlowDlg&) = delete;

    // Re-reads the day and fills the list.
    void Refresh();

private:
    CVeloDBSys* m_db;
    std::string m_date;
    CXListCtrl* m_list = nullptr;
    QLabel* m_summary = nullptr;
};
