// CReserveSheetDlg: the reservation screen "予約". Around one grid view (the day or the
// week view) it shows the suite's navigation strip, the month calendar with its legend,
// the shown day's reservation list, the toolbars and a status line with today's memo. It
// keeps the shown date and the week start, switches layout (unit/doctor) and view
// (day/week) and stores both in the host profile, and ends with the screen code of the
// strip button the user chose (-100 when closed any other way).
#pragma once

#include <QDate>
#include <QDialog>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "sheet/monthcalendar.h"
#include "sheet/reservationdlg.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"

class CNavigationStrip;
class CTableWatcher;
class CVeloDBSys;
class QAction;
class QLabel;
class QStackedWidget;
class QToolBar;
class QWidget;

namespace velo::sheet {

class CDayList;
class CDaySheetView;
class CSheetGridView;
class CWeekSheetView;

// The reservation menu's commands to grey for a list row: a came row cannot be edited,
// changed, cancelled or deleted (ascending order); a row without the tick has no payment.
std::vector<int> ListMenuGreyed(const DayListRow& row);

class CReserveSheetDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 1001;
    static constexpr int kNavigationHeight = 58;

    explicit CReserveSheetDlg(CVeloDBSys* db, QWidget* parent = nullptr);
    ~CReserveSheetDlg() override;
    CReserveSheetDlg(const CReserveSheetDlg&) = delete;
    CReserveSheetDlg& operator=(const CReserveSheetDlg&) = delete;

    // The code of the strip button that ended the sheet, or -100.
    int ScreenCode() const { return m_screenCode; }
    // The number of the standby entry waiting for a band ("" when none).
    const std::string& PendingStandbyNo() const { return m_standbyNo; }

    // Runs a command (sheetstrings.h) as if its button was pressed. Disabled commands and
    // commands whose dialogs this window does not have yet do nothing.
    void RunCommand(int commandId);
    // What a press on the strip's button at `position` does.
    void OnStripButton(int position);

    QDate Today() const { return m_today; }
    QDate ShownDate() const { return m_dates.shown; }
    QDate WeekStart() const { return m_dates.weekStart; }
    // Moves the shown date (and the week start with it) and reloads.
    void SetShownDate(const QDate& date);
    int LayoutMode() const { return m_layoutMode; }
    int AppointMode() const { return m_appointMode; }
    bool IsZoomed() const { return m_zoomed; }

    // The date heading and the status line as shown.
    QString HeadingText() const;
    QString StatusText() const;
    // The notice shown over the grid while the sheet holds data it could not read ("" when
    // everything was read).
    QString ReadFailureNotice() const;

    // Parts, for tests and screenshots.
    CNavigationStrip* Strip() const { return m_strip; }
    CMonthCalendar* Calendar() const { return m_calendar; }
    CCalendarLegend* Legend() const { return m_legend; }
    CDayList* DayList() const { return m_dayList; }
    CDaySheetView* DayView() const { return m_dayView; }
    CWeekSheetView* WeekView() const { return m_weekView; }
    // The command's action in the main toolbar or the normal view toolbar; null if none.
    QAction* Action(int commandId) const;
    // What tells the sheet of other programs' changes.
    CTableWatcher* Watcher() const { return m_watcher; }

signals:
    // The sheet has shown a change another program made (see ShowChangesOfOthers).
    void reloadedForChanges();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Build();
    QToolBar* MakeToolbar(int toolbarId, const std::vector<int>& ids, int iconSize);
    QWidget* BuildCalendarArea();
    void Reload();
    void ReloadActiveView(bool keepScroll);
    // Watches the tables and memo files the sheet shows for other programs' changes.
    void WatchForChanges();
    // The memo files of the shown month's year and of today's, whose notes the calendar and
    // the status line show.
    void WatchMemoYears();
    // Reloads what the changed files show, keeping the shown dates and view, the grid's
    // scroll position and selected bar, and the day list's selected row and scroll position.
    void ShowChangesOfOthers(const QStringList& fileNames);
    void FillList();
    void MoveDates(const SheetDates& dates, bool rebuildCalendar);
    void SetLayout(int mode);
    void SetViewMode(int mode);
    void SetZoom(bool zoomed);
    void UpdateToolbar();
    void UpdateHeading();
    void UpdateStatusLine();
    // A view or the calendar finished loading: the notice follows, and a failure is
    // reported once the action that loaded is over.
    void OnLoadFinished(const ReadFailure& failure);
    // Shows the failures of the loads since the last report in one message.
    void ReportReadFailures();
    void UpdateReadNotice();
    // True, after saying why, while the active view holds a day it could not read:
    // free-looking cells may be taken, so nothing is booked until a reload succeeds.
    bool RefuseBookingIntoUnreadDay();
    void OnCameToggled(int row, bool came);
    void OnListSelection(int row);
    // Selects the list row of a bar chosen on the grid, or clears the list ("" number) for a
    // range started there.
    void FollowGridSelection(const std::string& reservationNo);
    void RunForTargetPatient(bool billing);
    void ShowReservationMenu(const std::vector<int>& greyed, const QPoint& at);
    void DeleteTargetReservation();
    bool IsBusy() const;
    // Inputs of a new reservation on the shown date, in the current layout.
    ReservationDlgInputs NewReservationInputs() const;
    // Runs the reservation dialog; on OK the sheet moves to the reservation's day, reloads
    // and counts the month again.
    void OpenReservationDialog(const ReservationDlgInputs& inputs);
    void OnRangeChosen(const std::vector<ColumnEntity>& columns, int column, int start, int end,
                       const QString& date);
    // Edit (dialog mode 0) or change (mode 1) of a booked target reservation.
    void EditTargetReservation(int dialogMode);
    // The calendar memo dialog on `day`; the calendar and the status line follow its edits.
    void OpenCalendarMemo(const QDate& day);
    // The standby list; an entry handed back waits for the next band chosen on the grid.
    void OpenStandbyList();
    // The reserved-patient search; its change and cancel requests are carried out here.
    void OpenReservedSearch();
    void CancelFoundReservation(const std::string& reservationNo);
    // After a reservation was saved or cancelled: the sheet shows its day, keeps the grid's
    // scroll position and counts the month again, since any of its days may have changed.
    void ShowDayAfterSave(const QDate& day);
    // Asks, then marks the booked target reservation cancelled with `status` through the
    // cancel-reason dialog.
    void CancelTargetReservation(uint8_t status);
    // The commands and captions of the two kinds of cancellation (the "Sub" menu).
    static std::vector<std::pair<int, QString>> CancelKinds();
    // Hangs the two kinds of cancellation under the revoke button's arrow.
    void AttachCancelKinds();

    // The reservation the commands act on: the selected list row, else the selected bar of
    // the active view (a blocked-time entry has no row).
    struct Target {
        std::string reservationNo;
        std::string patientId;
        uint8_t status = 0;
    };
    Target TargetReservation() const;
    const ReservationBar* SelectedBar() const;
    // The view shown: the week view in week mode, else the day view.
    CSheetGridView* ActiveView() const;
    std::string TargetPatient() const;

    CVeloDBSys* m_db;
    int m_screenCode = -100;
    QDate m_today;
    SheetDates m_dates;
    int m_layoutMode = 0;
    int m_appointMode = 0;
    bool m_zoomed = false;
    int m_busyInit = 0;
    int m_busyMode = 0;
    HostSheetProfile m_profile;
    SheetSettings m_settings;
    QSize m_initialSize;
    // The patient chosen for booking by the reserved-patient search, handed to the next
    // booking made on the grid.
    std::string m_bookingPatient;
    // The standby entry chosen on the standby list, booked into the next band chosen.
    std::string m_standbyNo;
    // Set while the list follows a selection made on the grid.
    bool m_listFollowsGrid = false;
    // Read failures not yet reported to the user.
    std::vector<ReadFailure> m_unreported;

    CNavigationStrip* m_strip = nullptr;
    QToolBar* m_mainToolbar = nullptr;
    QToolBar* m_viewToolbar = nullptr;
    QToolBar* m_zoomViewToolbar = nullptr;
    QWidget* m_calendarArea = nullptr;
    CMonthCalendar* m_calendar = nullptr;
    CCalendarLegend* m_legend = nullptr;
    CDayList* m_dayList = nullptr;
    QLabel* m_heading = nullptr;
    QLabel* m_readNotice = nullptr;
    QStackedWidget* m_views = nullptr;
    CDaySheetView* m_dayView = nullptr;
    CWeekSheetView* m_weekView = nullptr;
    QLabel* m_statusLine = nullptr;
    CTableWatcher* m_watcher = nullptr;
    std::multimap<int, QAction*> m_actions;
};

}  // namespace velo::sheet
