// CReferenceDlg: the reservation reference (1005, "予約参照"). While a reservation is being
// entered the user looks at other days and columns here: a month calendar with its busy-day
// colours picks the day, tabs pick all columns or one unit or doctor, and the grid below
// shows the reservations of the days from that day on. A band pressed and dragged in the
// grid becomes the choice; "適用" hands it back and stays open, OK hands it back and
// closes, "閉じる" closes without a hand-back.
//
// The hand-back is the signal ChoiceApplied: the reservation dialog takes the date, the band
// and, when a column's tab was selected, that column's code.
#pragma once

#include <QDate>
#include <QDialog>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "sheet/referencedata.h"
#include "sheet/sheetsettings.h"

class CVeloDBSys;
class QLabel;
class QTabBar;

namespace velo::sheet {

class CMonthCalendar;
class CCalendarLegend;
class CReferenceView;

// What the reservation dialog passes in.
struct ReferenceDlgInputs {
    int columnMode = 0;     // 0 by unit, 1 by doctor
    std::string columnKey;  // the reservation dialog's unit or doctor code
    int dialogMode = 0;
    std::string reservationNo;  // the reservation being edited (not shown); may be empty
    QDate date;                 // the reservation's date; today when invalid
    int start = 0, end = 0;     // HHMM of the dialog's band
    QString patientName;
};

class CReferenceDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1005,
        kIdTabs = 1047,
        kIdRefresh = 1051,
        kIdBandText = 1054,
        kIdDayText = 1055,
        kIdApply = 1056,
        kIdPatientName = 1099,
        kIdPrevMonth = 1035,
        kIdNextMonth = 1036,
        kIdToday = 1061,
        kIdFourWeeks = 1039,
        kIdSixWeeks = 1038,
        kIdEightWeeks = 1037,
        kIdCalendar = 1034,
        kIdOk = 1,
        kIdClose = 2,
    };

    CReferenceDlg(CVeloDBSys* db, const ReferenceDlgInputs& inputs, QWidget* parent = nullptr);
    CReferenceDlg(const CReferenceDlg&) = delete;
    CReferenceDlg& operator=(const CReferenceDlg&) = delete;

    // The current choice; its date is the selected date, its column key empty on "すべて".
    ReferenceChoice Choice() const;
    // The choice last handed back, if any.
    const std::optional<ReferenceChoice>& Applied() const { return m_applied; }
    const std::vector<ReferenceTab>& Tabs() const { return m_tabs; }
    CReferenceView* View() const { return m_view; }
    CMonthCalendar* Calendar() const { return m_calendar; }

    // Selects a day as a click in the calendar does and refreshes the grid.
    void SelectDay(const QDate& day);
    // Hands the choice back without closing ("適用"); false when the date is not valid.
    bool Apply();

signals:
    void ChoiceApplied(const velo::sheet::ReferenceChoice& choice);

private:
    void BuildLayout();
    QWidget* BuildCalendarColumn();
    void FillTabs();
    void OnTabChanged(int index);
    void OnBandChosen(const QDate& date, int start, int end);
    void MoveDays(int days);
    void MoveMonth(int delta);
    void RefreshView();
    // Shows the notice of a load that could not read a table file (hidden after one that
    // read everything) and, for a failing status, the message naming the file.
    void ShowReadFailure(int status);
    void ShowChoice();
    void OnOk();

    CVeloDBSys* m_db;
    ReferenceDlgInputs m_inputs;
    SheetSettings m_settings;
    VELOOFFICEHOUR m_hours{};
    std::vector<ColumnEntity> m_columns;
    std::vector<ReferenceTab> m_tabs;
    QDate m_firstDay;  // the calendar's day, the first day of the grid
    QDate m_date;      // the selected date: the calendar's day or the block of a chosen band
    int m_start = 0, m_end = 0;
    std::optional<ReferenceChoice> m_applied;

    CMonthCalendar* m_calendar = nullptr;
    CCalendarLegend* m_legend = nullptr;
    QTabBar* m_tabBar = nullptr;
    CReferenceView* m_view = nullptr;
    QLabel* m_dayText = nullptr;
    QLabel* m_bandText = nullptr;
    QLabel* m_readNotice = nullptr;
};

}  // namespace velo::sheet
