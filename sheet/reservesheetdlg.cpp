// The reservation sheet's main window: building its parts, the date movements, the layout
// and view modes, the list's came box and the commands it runs itself.
#include "sheet/reservesheetdlg.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "recman/recman.h"
#include "sheet/calendarmemo.h"
#include "sheet/daylist.h"
#include "sheet/daysheetview.h"
#include "sheet/displayitemdlg.h"
#include "sheet/displayitems.h"
#include "sheet/calendarmemodlg.h"
#include "sheet/cancelreasondlg.h"
#include "sheet/reservation.h"
#include "sheet/reservationcommands.h"
#include "sheet/reservationdlg.h"
#include "sheet/reservationsave.h"
#include "sheet/reservedsearchdlg.h"
#include "sheet/sheetprint.h"
#include "sheet/sheetstrings.h"
#include "sheet/standbydlg.h"
#include "sheet/weeksheetview.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/core/velocore.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/tool/commandicons.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/navstrip.h"
#include "suite/tool/readfailure.h"
#include "suite/tool/strings.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/tools.h"

namespace velo::sheet {

namespace {

constexpr int kToolbarSeparator = 0;
constexpr int kTemplateWidth = 960;  // the window's size at creation, also its minimum
constexpr int kTemplateHeight = 640;
constexpr int kCalendarWidth = 300;
constexpr uint32_t kNavigationColour = 0x009900;  // colour reference 0x00BBGGRR

std::string Ymd(const QDate& date) {
    return date.toString(QStringLiteral("yyyyMMdd")).toStdString();
}

// The tables the sheet shows: the reservations, the patients and masters their bars and list
// rows are written with, and the units and doctors the columns are made of.
const std::vector<std::string>& ShownTables() {
    static const std::vector<std::string> tables = {
        "RESERVATION.BTR", "PATIENT1.BTR",   "PATIENT2.BTR",       "CATEGORY.BTR",
        "DOCTOR.BTR",      "STAFF.BTR",      "RESERVATIONWAY.BTR", "CREDITITEM.BTR",
        "MATERIAL.BTR",    "CONDITION.BTR",  "INTRODR.BTR",        "CUSTOMTBL.BTR"};
    return tables;
}

bool IsColumnTable(const QString& name) {
    return name == QLatin1String("CATEGORY.BTR") || name == QLatin1String("DOCTOR.BTR");
}

QString MemoFileName(const std::string& folder, int year) {
    return QString::fromStdString(
        std::filesystem::path(CalendarMemoPath(folder, year)).filename().string());
}

bool IsMemoFile(const QString& name) {
    return name.startsWith(QLatin1String("CalendarMemo"), Qt::CaseInsensitive);
}

// The name of the command's icon.
const char* IconNameOf(int id) {
    switch (id) {
        case kCmdClose:
            return "window-close";
        case kCmdPatientDetail:
            return "user-properties";
        case kCmdBilling:
            return "wallet-open";
        case kCmdNewReservation:
            return "resource-calendar-insert";
        case kCmdChangeReservation:
            return "exchange-positions";
        case kCmdRevokeReservation:
            return "view-time-schedule-baselined-remove";
        case kCmdEditReservation:
            return "view-time-schedule-edit";
        case kCmdDeleteReservation:
            return "edit-delete";
        case kCmdRefresh:
            return "view-refresh";
        case kCmdSearch:
            return "edit-find";
        case kCmdPrintSheet:
            return "document-print";
        case kCmdPrintBook:
            return "view-calendar-list";
        case kCmdLayoutUnit:
            return "view-split-left-right";
        case kCmdLayoutDoctor:
            return "system-users";
        case kCmdStandby:
            return "clock";
        case kCmdVisitFlow:
            return "view-calendar-timeline";
        case kCmdXylo:
            return "system-run";
        case kCmdZoom:
            return "view-fullscreen";
        case kCmdRestore:
            return "view-restore";
        case kCmdDayView:
            return "view-calendar-upcoming-days";
        case kCmdWeekView:
            return "view-calendar-week";
        case kCmdBack:
            return "go-previous";
        case kCmdForward:
            return "go-next";
        case kCmdToday:
            return "go-jump-today";
        case kCmdBalloonItems:
            return "view-conversation-balloon";
        case kCmdBarItems:
            return "view-list-details";
        case kCmdCalendarMemo:
            return "view-pim-notes";
        default:
            return "";
    }
}

}  // namespace

CReserveSheetDlg::CReserveSheetDlg(CVeloDBSys* db, QWidget* parent) : QDialog(parent), m_db(db) {
    Build();
}

CReserveSheetDlg::~CReserveSheetDlg() {
    const QRect outer = frameGeometry();
    if (!WriteWindowSize(outer.width(), outer.height())) {
        std::fprintf(stderr, "VeloSheet: cannot write the window size to the host profile\n");
    }
}

void CReserveSheetDlg::Build() {
    m_busyInit = 1;
    m_busyMode = 1;
    RegisterSheetStrings();
    setObjectName(QString::number(kTemplateId));
    setWindowTitle(LoadString(kIdsSheetTitle));
    setSizeGripEnabled(true);
    m_profile = ReadHostSheetProfile();
    m_settings = ReadSheetSettings();
    m_layoutMode = m_profile.reservationMode != 0 ? 1 : 0;
    const int storedView = m_profile.appointMode != 0 ? 1 : 0;
    int y = 0, m = 0, d = 0;
    CDate::GetNowDate(&y, &m, &d);
    m_today = QDate(y, m, d);
    m_dates = GoTodayInView(m_today, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    const QString images =
        QString::fromStdString(CTools::LastDelimAdd(CVeloSubTools::GetDataFolder())) +
        QStringLiteral("images");
    m_strip = new CNavigationStrip(images, this);
    m_strip->setObjectName(QStringLiteral("1126"));
    m_strip->SetCurrentScreen(kScreenReservation);
    m_strip->setFixedHeight(kNavigationHeight);
    m_strip->setAutoFillBackground(true);
    QPalette palette = m_strip->palette();
    palette.setColor(QPalette::Window, FromColorRef(kNavigationColour));
    m_strip->setPalette(palette);
    connect(m_strip, &CNavigationStrip::ButtonPressed, this, &CReserveSheetDlg::OnStripButton);
    layout->addWidget(m_strip);

    m_mainToolbar = MakeToolbar(kIdrMainToolbar,
                                {kCmdClose,
                                 0,
                                 kCmdPatientDetail,
                                 kCmdBilling,
                                 0,
                                 kCmdNewReservation,
                                 kCmdChangeReservation,
                                 kCmdRevokeReservation,
                                 0,
                                 kCmdEditReservation,
                                 kCmdDeleteReservation,
                                 0,
                                 kCmdRefresh,
                                 0,
                                 kCmdSearch,
                                 kCmdPrintSheet,
                                 kCmdPrintBook,
                                 0,
                                 kCmdLayoutUnit,
                                 kCmdLayoutDoctor,
                                 0,
                                 kCmdStandby,
                                 kCmdVisitFlow,
                                 0,
                                 kCmdXylo},
                                kCommandIconSize);
    m_mainToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    AttachCancelKinds();
    layout->addWidget(m_mainToolbar);

    auto* body = new QHBoxLayout();
    body->setContentsMargins(4, 4, 4, 0);
    body->setSpacing(4);
    m_calendarArea = BuildCalendarArea();
    body->addWidget(m_calendarArea);

    auto* right = new QVBoxLayout();
    right->setSpacing(2);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("1007"));
    m_heading->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setPixelSize(16);
    m_heading->setFont(headingFont);
    m_heading->setBackgroundRole(QPalette::Mid);
    m_heading->setAutoFillBackground(true);
    right->addWidget(m_heading);
    const std::initializer_list<int> viewButtons = {
        0, kCmdDayView,      kCmdWeekView, 0, kCmdBack,        kCmdToday, kCmdForward,
        0, kCmdBalloonItems, kCmdBarItems, 0, kCmdCalendarMemo};
    std::vector<int> normal{kCmdZoom}, zoomed{kCmdRestore};
    normal.insert(normal.end(), viewButtons);
    zoomed.insert(zoomed.end(), viewButtons);
    m_viewToolbar = MakeToolbar(kIdrViewToolbar, normal, kCommandIconSize);
    m_zoomViewToolbar = MakeToolbar(kIdrZoomViewToolbar, zoomed, kCommandIconSize);
    right->addWidget(m_viewToolbar);
    right->addWidget(m_zoomViewToolbar);
    for (int id : {kCmdDayView, kCmdWeekView, kCmdLayoutUnit, kCmdLayoutDoctor}) {
        for (auto [it, end] = m_actions.equal_range(id); it != end; ++it)
            it->second->setCheckable(true);
    }
    m_zoomViewToolbar->hide();

    m_readNotice = NewReadFailureNotice(this);
    right->addWidget(m_readNotice);

    m_views = new QStackedWidget(this);
    m_views->setObjectName(QStringLiteral("1030"));
    m_views->setContentsMargins(2, 2, 2, 2);
    m_dayView = new CDaySheetView(m_db, m_views);
    m_weekView = new CWeekSheetView(m_db, m_views);
    m_views->addWidget(m_dayView);
    m_views->addWidget(m_weekView);
    right->addWidget(m_views, 1);
    body->addLayout(right, 1);
    layout->addLayout(body, 1);

    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("1090"));
    m_statusLine->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_statusLine->setContentsMargins(4, 1, 4, 1);
    layout->addWidget(m_statusLine);

    connect(m_dayView, &CDaySheetView::barSelected, this, [this](const QString& no) {
        if (m_appointMode == 0) FollowGridSelection(no.toStdString());
        UpdateToolbar();
    });
    connect(m_dayView, &CDaySheetView::refreshRequested, this, [this] { RunCommand(kCmdRefresh); });
    connect(m_weekView, &CWeekSheetView::barSelected, this, [this](const QString& no) {
        if (m_appointMode == 1) FollowGridSelection(no.toStdString());
        UpdateToolbar();
    });
    for (CSheetGridView* view :
         {static_cast<CSheetGridView*>(m_dayView), static_cast<CSheetGridView*>(m_weekView)}) {
        connect(view, &CSheetGridView::rangeStarted, this, [this] {
            FollowGridSelection(std::string());
            UpdateToolbar();
        });
    }
    connect(m_weekView, &CWeekSheetView::refreshRequested, this,
            [this] { RunCommand(kCmdRefresh); });
    connect(m_weekView, &CWeekSheetView::dateChanged, this, [this](const QString& date) {
        const QDate day = QDate::fromString(date, QStringLiteral("yyyyMMdd"));
        if (!day.isValid()) return;
        m_dates.shown = day;
        m_calendar->SetShownDate(day);
        FillList();
        UpdateHeading();
        UpdateToolbar();
    });
    connect(m_dayView, &CDaySheetView::rangeChosen, this,
            [this](int column, int start, int end, const QString& date) {
                OnRangeChosen(m_dayView->Columns(), column, start, end, date);
            });
    connect(m_weekView, &CWeekSheetView::rangeChosen, this,
            [this](int column, int start, int end, const QString& date) {
                OnRangeChosen(m_weekView->Columns(), column, start, end, date);
            });
    for (CSheetGridView* view : {static_cast<CSheetGridView*>(m_dayView),
                                 static_cast<CSheetGridView*>(m_weekView)}) {
        connect(view, &CSheetGridView::barActivated, this,
                [this] { RunCommand(kCmdEditReservation); });
    }
    connect(m_dayList, &CDayList::RowDoubleClicked, this,
            [this] { RunCommand(kCmdEditReservation); });
    connect(m_dayView, &CDaySheetView::deleteRequested, this,
            [this] { RunCommand(kCmdDeleteReservation); });
    connect(m_weekView, &CWeekSheetView::deleteRequested, this,
            [this] { RunCommand(kCmdDeleteReservation); });
    connect(m_dayList, &CDayList::CameToggled, this, &CReserveSheetDlg::OnCameToggled);
    connect(m_dayList, &CDayList::SelectionChanged, this, &CReserveSheetDlg::OnListSelection);
    connect(m_dayList, &CDayList::ContextMenuWanted, this, [this](int row, const QPoint& at) {
        if (const DayListRow* entry = m_dayList->Entry(row); entry != nullptr) {
            ShowReservationMenu(ListMenuGreyed(*entry), at);
        }
    });
    const auto barMenu = [this](const ReservationBar* bar, const QPoint& at) {
        if (bar != nullptr) ShowReservationMenu(GreyedMenuCommands(*bar), at);
    };
    connect(m_dayView, &CDaySheetView::contextMenuRequested, this,
            [this, barMenu](const QPoint& at) { barMenu(m_dayView->SelectedBar(), at); });
    connect(m_weekView, &CWeekSheetView::contextMenuRequested, this,
            [this, barMenu](const QPoint& at) { barMenu(m_weekView->SelectedBar(), at); });
    connect(m_dayView, &CSheetGridView::loadFinished, this,
            [this] { OnLoadFinished(m_dayView->LoadFailure()); });
    connect(m_weekView, &CSheetGridView::loadFinished, this,
            [this] { OnLoadFinished(m_weekView->LoadFailure()); });
    connect(m_calendar, &CMonthCalendar::loadFinished, this,
            [this] { OnLoadFinished(m_calendar->Data().failure); });
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(f5, &QShortcut::activated, this, [this] { RunCommand(kCmdRefresh); });

    m_calendar->SetDatabase(m_db);
    m_calendar->SetSettings(m_settings);
    m_calendar->SetToday(m_today);
    m_calendar->SetShownDate(m_dates.shown);
    m_calendar->Reload();
    m_legend->SetSettings(m_settings);
    m_dayView->SetLayoutMode(m_layoutMode);
    m_weekView->SetLayoutMode(m_layoutMode);

    resize(kTemplateWidth, kTemplateHeight);
    m_initialSize = size();
    setMinimumSize(m_initialSize);
    setWindowState(windowState() | Qt::WindowMaximized);
    UpdateStatusLine();
    m_appointMode = -1;
    SetViewMode(storedView);
    m_busyInit = 0;
    m_busyMode = 0;
    UpdateToolbar();
    WatchForChanges();
}

void CReserveSheetDlg::WatchForChanges() {
    m_watcher = new CTableWatcher(this);
    // A drag over the cells is not cut short by a reload; the changes wait for its end.
    m_watcher->SetBusyCheck(
        [this] { return IsBusy() || m_dayView->IsDragging() || m_weekView->IsDragging(); });
    connect(m_watcher, &CTableWatcher::changed, this, &CReserveSheetDlg::ShowChangesOfOthers);
    if (m_db == nullptr || m_db->GetDatabaseFolder().empty()) return;
    m_watcher->WatchTables(m_db->GetDatabaseFolder(), ShownTables());
    WatchMemoYears();
}

void CReserveSheetDlg::WatchMemoYears() {
    if (m_watcher == nullptr || m_db == nullptr || m_db->GetDatabaseFolder().empty()) return;
    const std::string& folder = m_db->GetDatabaseFolder();
    m_watcher->WatchFile(CalendarMemoPath(folder, m_dates.shown.year()));
    m_watcher->WatchFile(CalendarMemoPath(folder, m_today.year()));
}

void CReserveSheetDlg::ShowChangesOfOthers(const QStringList& fileNames) {
    bool tables = false, columns = false, memos = false;
    for (const QString& name : fileNames) {
        if (IsMemoFile(name)) {
            memos = true;
        } else {
            tables = true;
            columns = columns || IsColumnTable(name);
        }
    }
    if (tables) {
        const DayListRow* entry = m_dayList->SelectedEntry();
        const std::string listed = entry != nullptr ? entry->reservationNo : std::string();
        const int listScroll = m_dayList->List()->verticalScrollBar()->value();
        // The counts, and the memo marks with them.
        m_calendar->Recount(m_dates.shown);
        if (m_appointMode == 1) {
            m_weekView->SetDates(Ymd(m_dates.shown), Ymd(m_dates.weekStart));
            if (columns) m_dayView->ForgetColumns();
        } else {
            m_dayView->SetDate(Ymd(m_dates.shown));
            if (columns) m_weekView->ForgetColumns();
        }
        ActiveView()->ReloadKeepingPlace(columns);
        // The grid has kept its own selected bar and scroll position: the list is filled and
        // its row selected again without the grid following either.
        m_listFollowsGrid = true;
        FillList();
        if (!listed.empty()) m_dayList->SelectReservation(listed);
        m_listFollowsGrid = false;
        m_dayList->List()->doItemsLayout();
        m_dayList->List()->verticalScrollBar()->setValue(listScroll);
        UpdateHeading();
        UpdateToolbar();
    } else if (memos) {
        m_calendar->Reload();
    }
    if (memos) UpdateStatusLine();
    emit reloadedForChanges();
}

QToolBar* CReserveSheetDlg::MakeToolbar(int toolbarId, const std::vector<int>& ids,
                                        int iconSize) {
    auto* toolbar = new QToolBar(this);
    toolbar->setObjectName(QString::number(toolbarId));
    toolbar->setIconSize(QSize(iconSize, iconSize));
    for (int id : ids) {
        if (id == kToolbarSeparator) {
            toolbar->addSeparator();
            continue;
        }
        QAction* action = toolbar->addAction(CommandIcon(IconNameOf(id)), QString());
        action->setData(id);
        action->setObjectName(QString::number(id));
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        m_actions.emplace(id, action);
    }
    CTools::SetText2ToolbarOfDlg(toolbar);
    CTools::SetTip2ToolbarOfDlg(toolbar);
    return toolbar;
}

QWidget* CReserveSheetDlg::BuildCalendarArea() {
    auto* area = new QWidget(this);
    area->setFixedWidth(kCalendarWidth);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    const CalendarButtonIds ids{kCmdPrevMonth, kCmdTodayButton, kCmdNextMonth,
                                kCmdFourWeeks, kCmdSixWeeks,    kCmdEightWeeks};
    column->addLayout(MakeCalendarButtons(area, ids, [this](int id) { RunCommand(id); }));
    m_calendar = new CMonthCalendar(area);
    m_calendar->setObjectName(QStringLiteral("1002"));
    m_calendar->setMinimumHeight(230);
    column->addWidget(m_calendar);
    m_legend = new CCalendarLegend(area);
    column->addWidget(m_legend);
    m_dayList = new CDayList(area);
    column->addWidget(m_dayList, 1);
    connect(m_calendar, &CMonthCalendar::DayClicked, this,
            [this](const QDate& day) { MoveDates(PickDay(day), true); });
    connect(m_calendar, &CMonthCalendar::DayDoubleClicked, this,
            [this](const QDate& day) { OpenCalendarMemo(day); });
    connect(m_calendar, &CMonthCalendar::DaysOffChanged, this, &CReserveSheetDlg::Reload);
    return area;
}

QAction* CReserveSheetDlg::Action(int commandId) const {
    for (auto [it, end] = m_actions.equal_range(commandId); it != end; ++it) {
        QWidget* owner = qobject_cast<QWidget*>(it->second->parent());
        if (owner != m_zoomViewToolbar) return it->second;
    }
    return nullptr;
}

void CReserveSheetDlg::RunCommand(int commandId) {
    if (QAction* action = Action(commandId); action != nullptr && !action->isEnabled()) return;
    const bool week = m_appointMode == 1;
    switch (commandId) {
        case kCmdClose:
            reject();
            return;
        case kCmdPatientDetail:
            RunForTargetPatient(false);
            break;
        case kCmdBilling:
            RunForTargetPatient(true);
            break;
        case kCmdRefresh:
        case kCmdRefreshButton:
            Reload();
            break;
        case kCmdLayoutUnit:
            SetLayout(0);
            break;
        case kCmdLayoutDoctor:
            SetLayout(1);
            break;
        case kCmdDayView:
        case kCmdDayViewButton:
            SetViewMode(0);
            break;
        case kCmdWeekView:
        case kCmdWeekViewButton:
            SetViewMode(1);
            break;
        case kCmdZoom:
        case kCmdZoomButton:
            SetZoom(true);
            break;
        case kCmdRestore:
        case kCmdRestoreButton:
            SetZoom(false);
            break;
        case kCmdVisitFlow:
            CVeloComDlg::OpenVisitFlowDialog(m_db, Ymd(m_dates.shown).c_str(), this);
            ReloadActiveView(true);
            break;
        case kCmdBack:
            MoveDates(MoveDays(m_dates, week, -1, -7), !m_zoomed);
            break;
        case kCmdForward:
            MoveDates(MoveDays(m_dates, week, 1, 7), !m_zoomed);
            break;
        case kCmdFourWeeks:
            MoveDates(MoveDays(m_dates, week, 28, 28), !m_zoomed);
            break;
        case kCmdSixWeeks:
            MoveDates(MoveDays(m_dates, week, 42, 42), !m_zoomed);
            break;
        case kCmdEightWeeks:
            MoveDates(MoveDays(m_dates, week, 56, 56), !m_zoomed);
            break;
        case kCmdToday:
            MoveDates(GoTodayInView(m_today, week), !m_zoomed);
            break;
        case kCmdTodayButton:
            MoveDates(GoToday(m_today), true);
            break;
        case kCmdPrevMonth:
            MoveDates(MoveMonth(m_dates, -1), true);
            break;
        case kCmdNextMonth:
            MoveDates(MoveMonth(m_dates, 1), true);
            break;
        case kCmdBalloonItems:
        case kCmdBarItems: {
            const bool balloon = commandId == kCmdBalloonItems;
            CDisplayItemDlg dialog(m_db, balloon ? kBalloonItems : kBarItems,
                                   balloon ? m_profile.tipKana : m_profile.timeKana, this);
            if (dialog.exec() == QDialog::Accepted) {
                const bool ok =
                    balloon ? WriteTipKana(dialog.Kana()) : WriteTimeKana(dialog.Kana());
                if (!ok) {
                    CMessageService::MessageBox(this,
                                                QStringLiteral("設定を保存できませんでした。"),
                                                windowTitle(), CMessageService::EIcon::Warning);
                }
                m_profile = ReadHostSheetProfile();
                ReloadActiveView(true);
            }
            break;
        }
        case kCmdXylo: {
            const DayListRow* entry = m_dayList->SelectedEntry();
            if (entry == nullptr || entry->patientId.empty()) break;
            const QString program =
                QString::fromStdString(CTools::LastDelimAdd(m_profile.xyloDir.toStdString())) +
                QStringLiteral("Hub.exe");
            // Nothing waits for the program; a failure to start is not reported.
            QProcess::startDetached(
                program, {QStringLiteral("@7A3C"),
                          QStringLiteral("ID=") + QString::fromStdString(entry->patientId)});
            break;
        }
        case kCmdDeleteReservation:
            DeleteTargetReservation();
            break;
        case kCmdStandby:
            OpenStandbyList();
            break;
        case kCmdSearch:
            OpenReservedSearch();
            break;
        case kCmdCalendarMemo:
            OpenCalendarMemo(m_dates.shown);
            break;
        case kCmdPrintSheet:
        case kCmdPrintBook:
            PrintSheetView(ActiveView(),
                           commandId == kCmdPrintSheet ? PrintVariant::Sheet : PrintVariant::Book,
                           this);
            break;
        case kCmdNewReservation:
            if (!RefuseBookingIntoUnreadDay()) OpenReservationDialog(NewReservationInputs());
            break;
        case kCmdEditReservation:
            EditTargetReservation(kDialogModeNewOrEdit);
            break;
        case kCmdChangeReservation:
            EditTargetReservation(kDialogModeChange);
            break;
        case kCmdCancelWithNotice:
            CancelTargetReservation(static_cast<uint8_t>(ResStatus::CancelledWithNotice));
            break;
        case kCmdCancelLastMinute:
            CancelTargetReservation(static_cast<uint8_t>(ResStatus::CancelledLastMinute));
            break;
        case kCmdRevokeReservation:
            CancelTargetReservation(static_cast<uint8_t>(ResStatus::Revoked));
            break;
        default:
            // Commands handled elsewhere (the toolbar's own menus) or not this window's.
            break;
    }
    UpdateToolbar();
}

void CReserveSheetDlg::OnStripButton(int position) {
    if (position < 0 || position >= kNavButtonCount || m_zoomed) return;
    const CNavButton& button = NavigationButtons()[static_cast<size_t>(position)];
    if (button.screenCode == kScreenReservation) return;  // this screen
    if (button.screenCode == kScreenExit &&
        !CMessageService::AskYesNo(this, ExitQuestion(), windowTitle())) {
        return;
    }
    m_screenCode = button.screenCode;
    accept();
}

void CReserveSheetDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Neither key ends the sheet.
            event->accept();
            return;
        case Qt::Key_Delete:
            event->accept();
            RunCommand(kCmdDeleteReservation);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CReserveSheetDlg::SetShownDate(const QDate& date) {
    if (date.isValid()) MoveDates(PickDay(date), true);
}

void CReserveSheetDlg::Reload() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Everything the watcher covers is read again here, so what other programs changed
    // until now is shown by this reload and not once more after it.
    if (m_watcher != nullptr) m_watcher->MarkAllSeen();
    m_calendar->Recount(m_dates.shown);
    ReloadActiveView(true);
    UpdateStatusLine();
    QApplication::restoreOverrideCursor();
}

void CReserveSheetDlg::ReloadActiveView(bool keepScroll) {
    // A failure to read is reported through the view's loadFinished.
    if (m_appointMode == 1) {
        m_weekView->SetDates(Ymd(m_dates.shown), Ymd(m_dates.weekStart));
        m_weekView->Reload(keepScroll);
    } else {
        m_dayView->SetDate(Ymd(m_dates.shown));
        m_dayView->Reload(keepScroll);
    }
    FillList();
    UpdateHeading();
    UpdateToolbar();
}

void CReserveSheetDlg::FillList() {
    const DayData& data = m_appointMode == 1 ? m_weekView->Data() : m_dayView->Data();
    m_dayList->SetRows(data.list);
}

void CReserveSheetDlg::MoveDates(const SheetDates& dates, bool rebuildCalendar) {
    if (!dates.shown.isValid()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_dates = dates;
    if (rebuildCalendar) m_calendar->SetShownDate(m_dates.shown);
    ReloadActiveView(false);
    WatchMemoYears();
    QApplication::restoreOverrideCursor();
}

void CReserveSheetDlg::SetLayout(int mode) {
    m_busyMode = 1;
    UpdateToolbar();
    m_layoutMode = mode != 0 ? 1 : 0;
    (m_appointMode == 1 ? static_cast<QWidget*>(m_weekView) : m_dayView)->setUpdatesEnabled(false);
    if (m_appointMode == 1) {
        m_weekView->SetDates(Ymd(m_dates.shown), Ymd(m_dates.weekStart));
        m_weekView->SetLayoutMode(m_layoutMode);
    } else {
        m_dayView->SetDate(Ymd(m_dates.shown));
        m_dayView->SetLayoutMode(m_layoutMode);
    }
    (m_appointMode == 1 ? static_cast<QWidget*>(m_weekView) : m_dayView)->setUpdatesEnabled(true);
    if (!WriteReservationMode(m_layoutMode)) {
        std::fprintf(stderr, "VeloSheet: cannot write ReservationMode to the host profile\n");
    }
    FillList();
    m_busyMode = 0;
    UpdateToolbar();
}

void CReserveSheetDlg::SetViewMode(int mode) {
    mode = mode != 0 ? 1 : 0;
    m_busyMode = 1;
    m_appointMode = mode;
    if (mode == 1) {
        if (m_weekView->LayoutMode() != m_layoutMode) m_weekView->SetLayoutMode(m_layoutMode);
        m_views->setCurrentWidget(m_weekView);
    } else {
        if (m_dayView->LayoutMode() != m_layoutMode) m_dayView->SetLayoutMode(m_layoutMode);
        m_views->setCurrentWidget(m_dayView);
    }
    ReloadActiveView(false);
    if (!WriteAppointMode(mode)) {
        std::fprintf(stderr, "VeloSheet: cannot write AppointMode to the host profile\n");
    }
    const QStringList tips = LoadString(mode == 1 ? kIdsWeekTips : kIdsDayTips).split(u'\n');
    const int stepIds[] = {kCmdBack, kCmdToday, kCmdForward};
    for (int i = 0; i < 3 && i < tips.size(); ++i) {
        for (auto [it, end] = m_actions.equal_range(stepIds[i]); it != end; ++it) {
            it->second->setToolTip(tips[i]);
            it->second->setText(tips[i]);
        }
    }
    m_busyMode = 0;
    UpdateToolbar();
}

void CReserveSheetDlg::SetZoom(bool zoomed) {
    m_zoomed = zoomed;
    m_calendarArea->setVisible(!zoomed);
    m_strip->setVisible(!zoomed);
    m_viewToolbar->setVisible(!zoomed);
    m_zoomViewToolbar->setVisible(zoomed);
    m_views->setObjectName(QString::number(zoomed ? 1031 : 1030));
    m_heading->setObjectName(QString::number(zoomed ? 1008 : 1007));
    if (!zoomed) {
        m_calendar->SetShownDate(m_dates.shown);
        m_calendar->update();
    }
}

CSheetGridView* CReserveSheetDlg::ActiveView() const {
    return m_appointMode == 1 ? static_cast<CSheetGridView*>(m_weekView)
                              : static_cast<CSheetGridView*>(m_dayView);
}

const ReservationBar* CReserveSheetDlg::SelectedBar() const {
    return m_appointMode == 1 ? m_weekView->SelectedBar() : m_dayView->SelectedBar();
}

CReserveSheetDlg::Target CReserveSheetDlg::TargetReservation() const {
    if (const DayListRow* entry = m_dayList->SelectedEntry(); entry != nullptr) {
        return {entry->reservationNo, entry->patientId, entry->status};
    }
    if (const ReservationBar* bar = SelectedBar(); bar != nullptr) {
        return {bar->reservationNo, bar->patientId, bar->status};
    }
    return {};
}

bool CReserveSheetDlg::IsBusy() const { return m_busyInit != 0 || m_busyMode != 0; }

ReservationDlgInputs CReserveSheetDlg::NewReservationInputs() const {
    ReservationDlgInputs inputs;
    inputs.columnMode = m_layoutMode;
    inputs.date = Ymd(m_dates.shown);
    return inputs;
}

void CReserveSheetDlg::OpenReservationDialog(const ReservationDlgInputs& inputs) {
    CReservationDlg dialog(m_db, inputs, this);
    if (dialog.exec() != QDialog::Accepted) return;
    ShowDayAfterSave(QDate::fromString(dialog.DateText(), QStringLiteral("yyyy/MM/dd")));
    const std::string saved = dialog.SavedReservationNo();
    if (!saved.empty() && m_dayList->SelectReservation(saved) && m_appointMode == 0)
        m_dayView->HighlightReservation(saved);
    UpdateToolbar();
}

void CReserveSheetDlg::OpenCalendarMemo(const QDate& day) {
    if (m_db == nullptr || m_db->GetDatabaseFolder().empty()) return;
    CCalendarMemoDlg memo(m_db->GetDatabaseFolder(), day, m_settings.imeModeAuto,
                          m_settings.imeModeComment, this);
    memo.exec();
    if (!memo.MemosChanged()) return;
    // The calendar's marks and tooltips and today's note in the status line; the memo files
    // this sheet has just written are not another program's change.
    const std::string& folder = m_db->GetDatabaseFolder();
    m_watcher->MarkSeen({MemoFileName(folder, m_dates.shown.year()),
                         MemoFileName(folder, m_today.year()), MemoFileName(folder, day.year())});
    m_calendar->Reload();
    UpdateStatusLine();
}

void CReserveSheetDlg::OpenStandbyList() {
    CStandbyDlg standby(m_db, CStandbyDlg::kModeSheet, this);
    const bool chosen = standby.exec() == QDialog::Accepted && !standby.ChosenStandbyNo().empty();
    m_standbyNo = chosen ? standby.ChosenStandbyNo() : std::string();
    UpdateStatusLine();
}

void CReserveSheetDlg::OpenReservedSearch() {
    CReservedSearchDlg search(m_db, this);
    const int result = search.exec();
    const std::string number = search.ChosenReservationNo();
    if (number.empty()) return;
    if (result == CReservedSearchDlg::kResultChange) {
        ReservationDlgInputs inputs = NewReservationInputs();
        inputs.reservationNo = number;
        inputs.dialogMode = kDialogModeChange;
        const QDate day = ReservationDay(m_db, number);
        if (day.isValid()) inputs.date = Ymd(day);
        OpenReservationDialog(inputs);
    } else if (result == CReservedSearchDlg::kResultCancel) {
        CancelFoundReservation(number);
    }
}

void CReserveSheetDlg::CancelFoundReservation(const std::string& reservationNo) {
    if (!CMessageService::AskYesNo(this, LoadString(kIdsCancelQuestion), windowTitle())) return;
    CCancelReasonDlg dialog(m_db, reservationNo,
                            static_cast<uint8_t>(ResStatus::CancelledLastMinute), this);
    if (dialog.exec() != QDialog::Accepted) return;
    ShowDayAfterSave(ReservationDay(m_db, reservationNo));
}

void CReserveSheetDlg::ShowDayAfterSave(const QDate& day) {
    if (day.isValid() && day != m_dates.shown) m_dates = PickDay(day);
    Reload();
}

void CReserveSheetDlg::OnRangeChosen(const std::vector<ColumnEntity>& columns, int column,
                                     int start, int end, const QString& date) {
    if (column < 0 || size_t(column) >= columns.size()) return;
    // Refused before the patient and the standby entry waiting for a band are taken, so
    // that they still wait after the reload.
    if (RefuseBookingIntoUnreadDay()) return;
    ReservationDlgInputs inputs = NewReservationInputs();
    inputs.columnKey = columns[size_t(column)].code;
    inputs.start = start;
    inputs.end = end;
    inputs.date = date.toStdString();
    // The patient picked by the reserved-patient search goes to this one booking only.
    inputs.patientId = m_bookingPatient;
    m_bookingPatient.clear();
    // A patient taken from the standby list is booked into the band chosen next.
    inputs.standbyNo = m_standbyNo;
    m_standbyNo.clear();
    UpdateStatusLine();
    OpenReservationDialog(inputs);
}

void CReserveSheetDlg::EditTargetReservation(int dialogMode) {
    const Target target = TargetReservation();
    if (target.reservationNo.empty() || target.status != 0 || IsBusy()) return;
    if (dialogMode == kDialogModeChange && target.patientId.empty()) return;
    ReservationDlgInputs inputs = NewReservationInputs();
    inputs.reservationNo = target.reservationNo;
    inputs.dialogMode = dialogMode;
    OpenReservationDialog(inputs);
}

void CReserveSheetDlg::CancelTargetReservation(uint8_t status) {
    const Target target = TargetReservation();
    if (target.reservationNo.empty() || target.patientId.empty() || target.status != 0 ||
        IsBusy()) {
        return;
    }
    if (!CMessageService::AskYesNo(this, LoadString(kIdsCancelQuestion), windowTitle())) return;
    CCancelReasonDlg dialog(m_db, target.reservationNo, status, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Reload();
}

void CReserveSheetDlg::DeleteTargetReservation() {
    const Target target = TargetReservation();
    if (target.reservationNo.empty() || target.status != 0 || IsBusy()) return;
    // After a delete, and after one that failed because the reservation is no longer there,
    // the grid, the list and the day's count show what the file holds now.
    if (AskAndDeleteReservation(m_db, target.reservationNo, this) == 0) return;
    Reload();
}

std::string CReserveSheetDlg::TargetPatient() const {
    if (const DayListRow* entry = m_dayList->SelectedEntry(); entry != nullptr) {
        return entry->patientId;
    }
    const ReservationBar* bar = SelectedBar();
    return bar != nullptr ? bar->patientId : std::string();
}

void CReserveSheetDlg::RunForTargetPatient(bool billing) {
    const std::string patient = TargetPatient();
    if (patient.empty()) return;
    if (billing) {
        CVeloCore::OnBilling(m_db, patient.c_str());
    } else {
        CVeloCore::OnStart(m_db, patient.c_str());
    }
}

void CReserveSheetDlg::OnCameToggled(int row, bool came) {
    const DayListRow* entry = m_dayList->Entry(row);
    if (entry == nullptr) return;
    const std::string reservationNo = entry->reservationNo;
    // A refused switch (a receipted fee) has told the user why; any other failure is a
    // failed write.
    const int status = SwitchCame(m_db, reservationNo, came, m_settings, this);
    if (status != 0 && status != kCameSwitchRefused) {
        CMessageService::MessageBox(this, LoadString(1514), windowTitle(),
                                    CMessageService::EIcon::Warning);
    }
    // Read back what the file holds, so the list and the bar show the stored state.
    ReloadActiveView(true);
    m_dayList->SelectReservation(reservationNo);
    if (m_appointMode == 0) m_dayView->HighlightReservation(reservationNo);
    UpdateToolbar();
}

std::vector<int> ListMenuGreyed(const DayListRow& row) {
    if (row.came) {
        return {kCmdEditReservation, kCmdDeleteReservation, kCmdRevokeReservation,
                kCmdChangeReservation};
    }
    return {kCmdBilling};
}

void CReserveSheetDlg::ShowReservationMenu(const std::vector<int>& greyed, const QPoint& at) {
    static const struct {
        int id;
        const char* text;
    } kItems[] = {{kCmdPatientDetail, "患者詳細"},       {kCmdBilling, "入金処理"},
                  {kCmdEditReservation, "予約の編集"},   {kCmdChangeReservation, "予約の変更"},
                  {kCmdRevokeReservation, "予約の取消"}, {kCmdDeleteReservation, "予約の削除"}};
    QMenu menu(this);
    const auto isEnabled = [&greyed](int id) {
        return std::find(greyed.begin(), greyed.end(), id) == greyed.end();
    };
    for (const auto& item : kItems) {
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setEnabled(isEnabled(item.id));
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    // The two kinds of cancellation follow the revoke item's state.
    QMenu* cancelKinds = menu.addMenu(QStringLiteral("キャンセル"));
    cancelKinds->setEnabled(isEnabled(kCmdRevokeReservation));
    for (const auto& [id, text] : CancelKinds()) {
        const int command = id;
        connect(cancelKinds->addAction(text), &QAction::triggered, this,
                [this, command] { RunCommand(command); });
    }
    menu.exec(at);
}

std::vector<std::pair<int, QString>> CReserveSheetDlg::CancelKinds() {
    return {{kCmdCancelLastMinute, QStringLiteral("キャンセル　<来院直前>")},
            {kCmdCancelWithNotice, QStringLiteral("キャンセル　<連絡あり>")}};
}

void CReserveSheetDlg::AttachCancelKinds() {
    // The revoke button opens the two kinds of cancellation from its arrow.
    QAction* revoke = Action(kCmdRevokeReservation);
    auto* button = revoke != nullptr
                       ? qobject_cast<QToolButton*>(m_mainToolbar->widgetForAction(revoke))
                       : nullptr;
    if (button == nullptr) return;
    auto* menu = new QMenu(button);
    for (const auto& [id, text] : CancelKinds()) {
        QAction* action = menu->addAction(text);
        action->setData(id);
        action->setObjectName(QString::number(id));
        const int command = id;
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        m_actions.emplace(id, action);
    }
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
}

void CReserveSheetDlg::FollowGridSelection(const std::string& reservationNo) {
    m_listFollowsGrid = true;
    if (reservationNo.empty()) {
        m_dayList->List()->clearSelection();
    } else {
        m_dayList->SelectReservation(reservationNo);
    }
    m_listFollowsGrid = false;
}

void CReserveSheetDlg::OnListSelection(int row) {
    const DayListRow* entry = m_dayList->Entry(row);
    // A change the grid made itself is not handed back to it: a blocked-time bar, which
    // has no row, would lose its selection, and a range just started would be cancelled.
    if (m_appointMode == 0 && !m_listFollowsGrid) {
        if (entry != nullptr) {
            m_dayView->HighlightReservation(entry->reservationNo);
        } else {
            m_dayView->ClearSelection();
        }
    }
    UpdateToolbar();
}

void CReserveSheetDlg::UpdateToolbar() {
    if (m_dayList == nullptr || m_dayView == nullptr) return;
    const DayListRow* entry = m_dayList->SelectedEntry();
    bool edit = false, change = false, billing = false, detail = false;
    if (entry != nullptr) {
        const bool settled = entry->came || entry->status == 1;
        edit = change = !settled;
        billing = entry->came;
        detail = true;
    } else if (const ReservationBar* bar = SelectedBar(); bar != nullptr) {
        // A blocked-time bar has no list row: it can be edited and deleted, in either view.
        if (bar->patientId.empty() && bar->status == 0) edit = true;
    }
    if (m_busyInit != 0 || m_busyMode != 0) edit = change = billing = detail = false;
    const auto enable = [this](int id, bool on) {
        for (auto [it, end] = m_actions.equal_range(id); it != end; ++it)
            it->second->setEnabled(on);
    };
    enable(kCmdEditReservation, edit);
    enable(kCmdDeleteReservation, edit);
    enable(kCmdChangeReservation, change);
    enable(kCmdRevokeReservation, change);
    enable(kCmdCancelWithNotice, change);
    enable(kCmdCancelLastMinute, change);
    enable(kCmdBilling, billing);
    enable(kCmdPatientDetail, detail);
    enable(kCmdXylo, m_profile.isXylo && !m_profile.xyloDir.isEmpty() &&
                         m_dayList->List()->selectedItems().size() == 1);
    const auto check = [this](int id, bool on) {
        for (auto [it, end] = m_actions.equal_range(id); it != end; ++it)
            it->second->setChecked(on);
    };
    check(kCmdLayoutUnit, m_layoutMode == 0);
    check(kCmdLayoutDoctor, m_layoutMode != 0);
    check(kCmdDayView, m_appointMode != 1);
    check(kCmdWeekView, m_appointMode == 1);
}

void CReserveSheetDlg::UpdateHeading() {
    QString text;
    if (m_appointMode == 1) {
        const QString format = QStringLiteral("yyyy年MM月dd日");
        text = QStringLiteral("%1 ～ %2")
                   .arg(m_dates.weekStart.toString(format),
                        m_dates.weekStart.addDays(6).toString(format));
    } else {
        const QStringList names = LoadString(kIdsWeekdayNames).split(u' ', Qt::SkipEmptyParts);
        const int weekday = m_dates.shown.dayOfWeek() % 7;  // Sunday 0
        const QDate& d = m_dates.shown;
        text = QString::asprintf("%d年%2d月%2d日(", d.year(), d.month(), d.day()) +
               (weekday < names.size() ? names[weekday] : QString()) + QStringLiteral(")");
    }
    m_heading->setText(text);
}

void CReserveSheetDlg::UpdateStatusLine() {
    QString text =
        QString::asprintf("%04d年%02d月%02d日", m_today.year(), m_today.month(), m_today.day());
    if (m_db != nullptr && !m_db->GetDatabaseFolder().empty()) {
        const MonthMemos memos =
            ReadMonthMemos(m_db->GetDatabaseFolder(), m_today.year(), m_today.month());
        const QString memo = memos[static_cast<size_t>(m_today.day())];
        // The status line is one line high: a memo of several lines is shown joined.
        if (!memo.isEmpty()) text += QStringLiteral("　") + memo.simplified();
    }
    m_statusLine->setText(text);
}

void CReserveSheetDlg::OnLoadFinished(const ReadFailure& failure) {
    UpdateReadNotice();
    if (!failure.Failed()) return;
    // One action may load the calendar and a view (or both views) from the same damaged
    // file: their failures are gathered and shown in one message after the action.
    m_unreported.push_back(failure);
    if (m_unreported.size() == 1) {
        QMetaObject::invokeMethod(this, &CReserveSheetDlg::ReportReadFailures,
                                  Qt::QueuedConnection);
    }
}

void CReserveSheetDlg::ReportReadFailures() {
    if (m_unreported.empty()) return;
    QStringList files;
    for (const ReadFailure& failure : m_unreported) {
        const QString file = QString::fromStdString(failure.tableFile);
        if (!files.contains(file)) files << file;
    }
    const int status = m_unreported.front().status;
    m_unreported.clear();
    ShowTableReadFailure(this, windowTitle(), files.join(QStringLiteral("、")), status);
}

void CReserveSheetDlg::UpdateReadNotice() {
    if (m_readNotice == nullptr) return;
    ReadFailure failure = ActiveView()->LoadFailure();
    if (!failure.Failed()) failure = m_calendar->Data().failure;
    SetReadFailureNotice(m_readNotice, failure.Failed()
                                           ? QString::fromStdString(failure.tableFile)
                                           : QString());
}

bool CReserveSheetDlg::RefuseBookingIntoUnreadDay() {
    const ReadFailure& failure = ActiveView()->LoadFailure();
    if (!failure.Failed()) return false;
    CMessageService::MessageBox(
        this, LoadString(kIdsUnreadDayBooking).arg(QString::fromStdString(failure.tableFile)),
        windowTitle(), CMessageService::EIcon::Warning);
    return true;
}

QString CReserveSheetDlg::ReadFailureNotice() const {
    return m_readNotice->isVisibleTo(this) ? m_readNotice->text() : QString();
}

QString CReserveSheetDlg::HeadingText() const { return m_heading->text(); }
QString CReserveSheetDlg::StatusText() const { return m_statusLine->text(); }

}  // namespace velo::sheet
