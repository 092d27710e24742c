// The lab schedule window: its controls, settings, refreshes and commands.
#include "lab/labscheduledlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "lab/byitemview.h"
#include "lab/labformdata.h"
#include "lab/labitemdlg.h"
#include "lab/labstrings.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/formprinter/formprinter.h"
#include "suite/text/hostprofile.h"
#include "suite/tool/commandicons.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/navstrip.h"
#include "suite/tool/readfailure.h"
#include "suite/tool/strings.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace {

const QString kSection = QStringLiteral("VELOLAB");
constexpr int kRefreshDelayMs = 100;
constexpr int kPickingDays = 3;         // picking range: the day - 3 to the day + 3
constexpr int kNormalDays = 7;          // normal range: today to today + 7
constexpr int kDeleteHeaderWidth = 16;  // "%-16s", counted in code page 932 bytes
constexpr int kColumnPadding = 12;      // room beside a cell's text
constexpr int kWidestColumn = 420;      // a column never grows past this
// The tables the window shows: the items, their patients and categories, and the names of
// doctors and staff.
constexpr const char* kItemTable = "MATERIAL.BTR";
constexpr const char* kPatientTable = "PATIENT1.BTR";
constexpr const char* kCategoryTable = "MATERIALITEMCATE.BTR";
constexpr const char* kDoctorTable = "DOCTOR.BTR";
constexpr const char* kStaffTable = "CUSTOMTBL.BTR";

LabItemDialogRunner& ItemDialogRunner() {
    static LabItemDialogRunner runner;
    return runner;
}

LabItemDialogResult RunLabItemDlg(const LabItemDialogRequest& request) {
    CLabItemDlg dialog(request.db, request.materialNo, request.patientId, request.day,
                       request.pickingState, request.parent);
    std::vector<std::string> dueDates;
    QObject::connect(&dialog, &CLabItemDlg::saved, &dialog,
                     [&dueDates](const QString&, const QString& dueDate) {
                         dueDates.push_back(dueDate.toStdString());
                     });
    dialog.exec();
    LabItemDialogResult result{dialog.SavedMaterialNo(), dialog.SavedDueDate(), {}};
    if (!dueDates.empty()) {
        dueDates.pop_back();  // the last save is dueDate
        result.earlierDueDates = std::move(dueDates);
    }
    return result;
}

// The width of a text in code page 932 bytes: ASCII and half-width katakana take one byte,
// everything else two.
int Cp932Width(const QString& text) {
    int width = 0;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        width += (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F)) ? 1 : 2;
    }
    return width;
}

QString Ymd(const QDate& date) { return date.toString(QStringLiteral("yyyyMMdd")); }

}  // namespace

void CLabScheduleDlg::SetItemDialogRunner(LabItemDialogRunner runner) {
    ItemDialogRunner() = std::move(runner);
}

CLabScheduleDlg::CLabScheduleDlg(CVeloDBSys* db, QWidget* parent) : QDialog(parent), m_db(db) {
    Build();
}

CLabScheduleDlg::CLabScheduleDlg(CVeloDBSys* db, const std::string& patientId,
                                 const std::string& day, QWidget* parent)
    : QDialog(parent),
      m_db(db),
      m_picking(true),
      m_pickingState(1),
      m_patientId(patientId),
      m_day(day) {
    Build();
}

void CLabScheduleDlg::Build() {
    RegisterLabStrings();
    setWindowTitle(LoadString(kIdsLabTitle));
    setObjectName(QStringLiteral("labScheduleDlg"));
    setSizeGripEnabled(true);
    ReadSettings();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (!m_picking) {
        // The strip draws stand-in buttons when the images folder is missing.
        const QString images =
            QString::fromStdString(CTools::LastDelimAdd(CVeloSubTools::GetDataFolder())) +
            QStringLiteral("images");
        m_strip = new CNavigationStrip(images, this);
        m_strip->SetCurrentScreen(kScreenLab);
        m_strip->setAutoFillBackground(true);
        QPalette palette = m_strip->palette();
        palette.setColor(QPalette::Window, QColor(0xe4, 0xe9, 0xf0));
        m_strip->setPalette(palette);
        layout->addWidget(m_strip);
        connect(m_strip, &CNavigationStrip::ButtonPressed, this, &CLabScheduleDlg::OnStripButton);
    }
    BuildToolbar();
    layout->addWidget(m_toolbar);
    BuildFilters(layout);

    m_readFailureNotice = NewReadFailureNotice(this);
    layout->addWidget(m_readFailureNotice);

    m_views = new QStackedWidget(this);
    m_list = new CXListCtrl(m_views);
    m_list->setObjectName(QStringLiteral("labList"));
    for (int c = 0; c < kColumnCount; ++c) {
        m_list->InsertColumn(c, QString::fromUtf8(kLabColumnHeaders[c]), kLabColumnWidths[c]);
    }
    m_byItem = new CByItemView(m_views);
    m_views->addWidget(m_list);
    m_views->addWidget(m_byItem);
    layout->addWidget(m_views, 1);

    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    m_countLabel = new QLabel(status);
    status->addWidget(m_countLabel);
    layout->addWidget(status);

    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CLabScheduleDlg::UpdateControls);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CLabScheduleDlg::OnListActivated);
    connect(m_byItem, &CByItemView::SelectionChanged, this, &CLabScheduleDlg::UpdateControls);
    connect(m_byItem, &CByItemView::CardActivated, this, &CLabScheduleDlg::OnCardActivated);

    m_names = LoadLabNames(m_db);

    // The first range: today to a week ahead, or a few days around the appointment.
    QDate from = CDate::Today();
    QDate to = from.addDays(kNormalDays);
    if (m_picking) {
        const QDate day = CDate::FromYmd(m_day.c_str());
        const QDate centre = day.isValid() ? day : CDate::Today();
        from = centre.addDays(-kPickingDays);
        to = centre.addDays(kPickingDays);
    }
    {
        const QSignalBlocker blockFrom(m_fromEdit);
        const QSignalBlocker blockTo(m_toEdit);
        m_fromEdit->setDate(from);
        m_toEdit->setDate(to);
    }

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(kRefreshDelayMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { Refresh(SelectedMaterialNo()); });
    connect(m_fromEdit, &QDateEdit::dateChanged, this, [this] { m_refreshTimer->start(); });
    connect(m_toEdit, &QDateEdit::dateChanged, this, [this] { m_refreshTimer->start(); });
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(f5, &QShortcut::activated, this, [this] { RunCommand(kCmdLabRefresh); });

    {
        // The stored view is shown by the first refresh below; switching to it now would
        // read it once more, before the window is shown.
        const QSignalBlocker blockList(m_listRadio);
        const QSignalBlocker blockByItem(m_byItemRadio);
        (m_view == kByItemView ? m_byItemRadio : m_listRadio)->setChecked(true);
    }
    m_views->setCurrentIndex(m_view);
    UpdateControls();
    resize(1180, 720);
    if (!m_picking) setWindowState(windowState() | Qt::WindowMaximized);
    m_refreshTimer->start();

    m_watcher = new CTableWatcher(this);
    // Changes wait while the item dialog is open and while a refresh is due anyway.
    m_watcher->SetBusyCheck([this] { return m_inItemDialog || m_refreshTimer->isActive(); });
    connect(m_watcher, &CTableWatcher::changed, this, &CLabScheduleDlg::ShowChangesOfOthers);
    if (m_db != nullptr && !m_db->GetDatabaseFolder().empty()) {
        m_watcher->WatchTables(m_db->GetDatabaseFolder(),
                               {kItemTable, kPatientTable, kCategoryTable, kDoctorTable,
                                kStaffTable});
    }
}

void CLabScheduleDlg::BuildToolbar() {
    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QString::number(m_picking ? kIdrLabPickToolbar : kIdrLabToolbar));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(kCommandIconSize, kCommandIconSize));
    struct Button {
        int id;
        const char* icon;
    };
    std::vector<Button> buttons;
    if (m_picking) {
        buttons = {{kCmdLabOk, "dialog-ok-apply"}, {kCmdLabCancel, "dialog-cancel"}};
    } else {
        buttons = {{kCmdLabClose, "window-close"}};
    }
    buttons.insert(buttons.end(), {{kCmdLabNew, "document-new"},
                                   {kCmdLabEdit, "document-edit"},
                                   {kCmdLabDelete, "edit-delete"},
                                   {kCmdLabPrint, "document-print"},
                                   {kCmdLabCsv, "document-save"}});
    for (const Button& button : buttons) {
        if (button.id == kCmdLabNew) m_toolbar->addSeparator();
        QAction* action = m_toolbar->addAction(CommandIcon(button.icon), QString());
        action->setData(button.id);
        action->setObjectName(QString::number(button.id));
        const int id = button.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    CTools::SetText2ToolbarOfDlg(m_toolbar);
    CTools::SetTip2ToolbarOfDlg(m_toolbar);
}

void CLabScheduleDlg::BuildFilters(QBoxLayout* layout) {
    auto* row = new QHBoxLayout();
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(6);
    m_dateCheck = new QCheckBox(QStringLiteral("予定日範囲"), this);
    m_fromEdit = new QDateEdit(this);
    m_toEdit = new QDateEdit(this);
    for (QDateEdit* edit : {m_fromEdit, m_toEdit}) {
        edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
        edit->setCalendarPopup(true);
        edit->setMinimumDate(QDate(100, 1, 1));
        edit->setMaximumDate(QDate(9999, 12, 31));
    }
    m_notFinishedCheck = new QCheckBox(QStringLiteral("未完成のみ"), this);
    m_emptyDaysCheck = new QCheckBox(QStringLiteral("予定のない日も出力"), this);
    m_showIdCheck = new QCheckBox(QStringLiteral("ID表示"), this);
    m_refreshButton = new QPushButton(QStringLiteral("再検索"), this);
    m_refreshButton->setAutoDefault(false);
    m_refreshButton->setToolTip(LoadString(kCmdLabRefresh).section(u'\n', 0, 0));
    m_listRadio = new QRadioButton(QStringLiteral("通常表示"), this);
    m_byItemRadio = new QRadioButton(QStringLiteral("技工物別表示"), this);
    m_listRadio->setToolTip(LoadString(kCmdLabListView).section(u'\n', 0, 0));
    m_byItemRadio->setToolTip(LoadString(kCmdLabByItemView).section(u'\n', 0, 0));
    m_dateCheck->setObjectName(QStringLiteral("dateCheck"));
    m_fromEdit->setObjectName(QStringLiteral("fromDate"));
    m_toEdit->setObjectName(QStringLiteral("toDate"));
    m_notFinishedCheck->setObjectName(QStringLiteral("notFinished"));
    m_emptyDaysCheck->setObjectName(QStringLiteral("showEmptyDays"));
    m_showIdCheck->setObjectName(QStringLiteral("showId"));

    row->addWidget(m_dateCheck);
    row->addWidget(m_fromEdit);
    row->addWidget(new QLabel(QStringLiteral("～"), this));
    row->addWidget(m_toEdit);
    row->addSpacing(12);
    row->addWidget(m_notFinishedCheck);
    row->addWidget(m_emptyDaysCheck);
    row->addWidget(m_showIdCheck);
    row->addSpacing(12);
    row->addWidget(m_refreshButton);
    row->addStretch(1);
    row->addWidget(m_listRadio);
    row->addWidget(m_byItemRadio);
    layout->addLayout(row);

    // The stored filters, set before the signals are connected so that nothing refreshes.
    m_dateCheck->setChecked(
        CHostProfile::GetProfileInt(kSection, QStringLiteral("IsDateCheck"), 1) != 0);
    m_notFinishedCheck->setChecked(
        CHostProfile::GetProfileInt(kSection, QStringLiteral("IsNotFinished"), 0) != 0);
    m_emptyDaysCheck->setChecked(
        m_dateCheck->isChecked() &&
        CHostProfile::GetProfileInt(kSection, QStringLiteral("IsShowEmptyDay"), 0) != 0);
    m_showIdCheck->setChecked(CHostProfile::GetProfileInt(kSection, QStringLiteral("ShowID"), 0) !=
                              0);

    connect(m_dateCheck, &QCheckBox::toggled, this, &CLabScheduleDlg::OnDateCheckToggled);
    connect(m_notFinishedCheck, &QCheckBox::toggled, this,
            [this] { Refresh(SelectedMaterialNo()); });
    connect(m_emptyDaysCheck, &QCheckBox::toggled, this, [this] { Refresh(SelectedMaterialNo()); });
    connect(m_refreshButton, &QPushButton::clicked, this, [this] { RunCommand(kCmdLabRefresh); });
    connect(m_listRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetView(kListView);
    });
    connect(m_byItemRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetView(kByItemView);
    });
}

void CLabScheduleDlg::ReadSettings() {
    m_view = CHostProfile::GetProfileInt(kSection, QStringLiteral("ViewOption"), 0) == 1
                 ? kByItemView
                 : kListView;
}

void CLabScheduleDlg::WriteClosingSettings() const {
    const std::pair<const char*, bool> choices[] = {
        {"IsDateCheck", m_dateCheck->isChecked()},
        {"IsNotFinished", m_notFinishedCheck->isChecked()},
        {"IsShowEmptyDay", m_emptyDaysCheck->isChecked()},
        {"ShowID", m_showIdCheck->isChecked()},
    };
    // One rewrite of the profile: the four choices are stored together or not at all.
    std::vector<CIniValue> values;
    for (const auto& [key, on] : choices) {
        values.push_back(
            {kSection, QString::fromUtf8(key), on ? QStringLiteral("1") : QStringLiteral("0")});
    }
    if (!CHostProfile::WriteProfileValues(values)) {
        std::fprintf(stderr, "VeloLab: cannot write the window's choices to %s\n",
                     CHostProfile::Path().c_str());
    }
}

void CLabScheduleDlg::done(int r) {
    m_refreshTimer->stop();
    WriteClosingSettings();
    QDialog::done(r);
}

void CLabScheduleDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Neither key ends the window.
            event->accept();
            return;
        case Qt::Key_Delete:
            event->accept();
            RunCommand(kCmdLabDelete);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

LabFilter CLabScheduleDlg::CurrentFilter() const {
    LabFilter filter;
    filter.useRange = m_dateCheck->isChecked();
    filter.from = Ymd(m_fromEdit->date()).toStdString();
    filter.to = Ymd(m_toEdit->date()).toStdString();
    filter.patientId = m_patientId;
    filter.notFinishedOnly = m_notFinishedCheck->isChecked();
    filter.showId = m_showIdCheck->isChecked();
    return filter;
}

QAction* CLabScheduleDlg::Action(int commandId) const {
    for (QAction* action : m_toolbar->actions()) {
        if (action->data().isValid() && action->data().toInt() == commandId) return action;
    }
    return nullptr;
}

QString CLabScheduleDlg::CountText() const { return m_countLabel->text(); }

std::string CLabScheduleDlg::SelectedMaterialNo() const {
    if (m_view == kByItemView) return m_byItem->SelectedMaterialNo();
    const int row = m_list->GetSelIndex();
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) return std::string();
    return m_rows[static_cast<size_t>(row)].materialNo;
}

void CLabScheduleDlg::UpdateControls() {
    const bool range = m_dateCheck->isChecked();
    m_fromEdit->setEnabled(range);
    m_toEdit->setEnabled(range);
    m_emptyDaysCheck->setEnabled(m_view == kByItemView && range);
    m_showIdCheck->setEnabled(m_view == kListView);
    // Nothing is changed, picked, printed or exported on the strength of a load that could
    // not be read whole: what it left out would be missing or wrong.
    const bool readable = !m_readFailure.Failed();
    const bool selected = readable && !SelectedMaterialNo().empty();
    for (int id : {kCmdLabEdit, kCmdLabDelete, kCmdLabOk}) {
        if (QAction* action = Action(id)) action->setEnabled(selected);
    }
    for (int id : {kCmdLabPrint, kCmdLabCsv}) {
        if (QAction* action = Action(id)) action->setEnabled(readable);
    }
}

void CLabScheduleDlg::OnDateCheckToggled(bool checked) {
    if (!checked && m_emptyDaysCheck->isChecked()) {
        const QSignalBlocker block(m_emptyDaysCheck);
        m_emptyDaysCheck->setChecked(false);
    }
    UpdateControls();
    Refresh(SelectedMaterialNo());
}

void CLabScheduleDlg::SetView(EView view) {
    if (view == m_view && m_views->currentIndex() == view) return;
    const std::string selected = SelectedMaterialNo();
    m_view = view;
    CHostProfile::WriteProfileInt(kSection, QStringLiteral("ViewOption"), view);
    m_views->setCurrentIndex(view);
    UpdateControls();
    Refresh(selected);
}

LabReadFailure CLabScheduleDlg::RefreshList(const LabFilter& filter, const std::string& selectNo) {
    m_rows.clear();
    // A failed read ends the reading; the list shows what was read.
    LabReadFailure failure;
    ReadLabRows(m_db, filter, m_names, &m_rows, &failure);
    const QSignalBlocker block(m_list);
    m_list->DeleteAllItems();
    int selectRow = -1;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const LabRow& row = m_rows[i];
        const int index = m_list->InsertItem(static_cast<int>(i), row.text[0]);
        for (int c = 1; c < kColumnCount; ++c) m_list->SetItemText(index, c, row.text[c]);
        m_list->SetItemData(index, static_cast<quintptr>(i));
        if (row.finished) {
            QTreeWidgetItem* item = m_list->topLevelItem(index);
            for (int c = 0; c < kColumnCount; ++c) item->setForeground(c, QColor(0x70, 0x70, 0x70));
        }
        if (!selectNo.empty() && row.materialNo == selectNo) selectRow = index;
    }
    // The column widths are the least; a column grows to show its longest text in full.
    for (int c = 0; c < kColumnCount; ++c) {
        m_list->resizeColumnToContents(c);
        const int needed = m_list->columnWidth(c) + kColumnPadding;
        m_list->setColumnWidth(c, std::max(kLabColumnWidths[c], std::min(needed, kWidestColumn)));
    }
    if (selectRow >= 0) {
        m_list->SetSelIndex(selectRow);
        m_list->scrollToItem(m_list->topLevelItem(selectRow));
    }
    // A list that could not be read whole is read again before it is printed or exported.
    m_listStale = failure.Failed();
    return failure;
}

void CLabScheduleDlg::SetReadFailure(const LabReadFailure& failure) {
    m_readFailure = failure;
    SetReadFailureNotice(m_readFailureNotice, failure.Failed()
                                                  ? QString::fromStdString(failure.tableFile)
                                                  : QString());
}

void CLabScheduleDlg::Refresh(const std::string& selectNo) {
    m_refreshTimer->stop();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // What others changed in the tables read here until now is shown by this refresh.
    m_watcher->MarkSeen({kItemTable, kPatientTable, kCategoryTable});
    // Name tables that could not be read are read again with every load.
    if (m_names.failure.Failed()) {
        m_watcher->MarkSeen({kDoctorTable, kStaffTable});
        m_names = LoadLabNames(m_db);
    }
    const LabFilter filter = CurrentFilter();
    LabReadFailure failure;
    int count = 0;
    bool refused = false;
    if (m_view == kListView) {
        failure = RefreshList(filter, selectNo);
        count = static_cast<int>(m_rows.size());
    } else {
        m_listStale = true;
        const ByItemResult result = m_byItem->Rebuild(m_db, filter, m_emptyDaysCheck->isChecked(),
                                                      m_names, selectNo, &failure);
        refused = result == ByItemResult::RangeTooLong;
        count = m_byItem->CardCount();
    }
    if (m_names.failure.Failed()) failure = m_names.failure;
    QApplication::restoreOverrideCursor();
    m_countLabel->setText(LoadString(kIdsLabCount) + QStringLiteral(" %1").arg(count));
    SetReadFailure(failure);
    UpdateControls();
    if (failure.Failed()) {
        ShowTableReadFailure(this, windowTitle(), QString::fromStdString(failure.tableFile),
                             failure.status);
    } else if (m_picking && m_pickingState == 1 && count == 0 && !refused && !m_inItemDialog &&
               !m_showingChanges) {
        // Nothing for the patient yet: offer the entry of a new item at once.
        QMetaObject::invokeMethod(
            this, [this] { RunCommand(kCmdLabNew); }, Qt::QueuedConnection);
    }
    emit Refreshed();
}

void CLabScheduleDlg::ShowChangesOfOthers(const QStringList& fileNames) {
    if (fileNames.contains(kDoctorTable) || fileNames.contains(kStaffTable)) {
        m_names = LoadLabNames(m_db);
    }
    // Refresh scrolls the selected item into view; the user's own scroll position wins.
    const QPoint listScroll(m_list->horizontalScrollBar()->value(),
                            m_list->verticalScrollBar()->value());
    const QPoint cardScroll(m_byItem->horizontalScrollBar()->value(),
                            m_byItem->verticalScrollBar()->value());
    m_showingChanges = true;
    Refresh(SelectedMaterialNo());
    m_showingChanges = false;
    m_list->doItemsLayout();
    m_list->horizontalScrollBar()->setValue(listScroll.x());
    m_list->verticalScrollBar()->setValue(listScroll.y());
    m_byItem->horizontalScrollBar()->setValue(cardScroll.x());
    m_byItem->verticalScrollBar()->setValue(cardScroll.y());
    emit reloadedForChanges();
}

void CLabScheduleDlg::RunCommand(int commandId) {
    if (QAction* action = Action(commandId); action != nullptr && !action->isEnabled()) return;
    switch (commandId) {
        case kCmdLabOk:
            if (m_picking) OnOk();
            return;
        case kCmdLabCancel:
            if (m_picking) reject();
            return;
        case kCmdLabClose:
            reject();
            return;
        case kCmdLabNew:
            OnNew();
            return;
        case kCmdLabEdit:
            OnEdit();
            return;
        case kCmdLabDelete:
            OnDelete();
            return;
        case kCmdLabPrint:
            OnPrint();
            return;
        case kCmdLabCsv:
            OnCsv();
            return;
        case kCmdLabRefresh:
            Refresh(SelectedMaterialNo());
            return;
        case kCmdLabListView:
            m_listRadio->setChecked(true);
            return;
        case kCmdLabByItemView:
            m_byItemRadio->setChecked(true);
            return;
        default:
            return;
    }
}

void CLabScheduleDlg::OnStripButton(int position) {
    if (position < 0 || position >= kNavButtonCount) return;
    const CNavButton& button = NavigationButtons()[static_cast<size_t>(position)];
    if (button.screenCode == kScreenLab) return;  // this window's own screen
    if (button.screenCode == kScreenExit &&
        !CMessageService::AskYesNo(this, ExitQuestion(), windowTitle())) {
        return;
    }
    m_resultCode = button.screenCode;
    accept();
}

void CLabScheduleDlg::OnListActivated() {
    if (m_picking) {
        RunCommand(kCmdLabOk);
    } else {
        RunCommand(kCmdLabEdit);
    }
}

void CLabScheduleDlg::OnCardActivated(const QString&) { OnListActivated(); }

void CLabScheduleDlg::OnOk() {
    const std::string selected = SelectedMaterialNo();
    if (selected.empty()) return;
    m_picked = selected;
    accept();
}

void CLabScheduleDlg::OnNew() { RunItemDialog(QString()); }

void CLabScheduleDlg::OnEdit() {
    const std::string selected = SelectedMaterialNo();
    if (selected.empty()) return;
    RunItemDialog(QString::fromStdString(selected));
}

void CLabScheduleDlg::RunItemDialog(const QString& materialNo) {
    if (m_inItemDialog) return;
    m_inItemDialog = true;
    LabItemDialogRequest request;
    request.db = m_db;
    request.materialNo = materialNo;
    request.patientId = m_patientId;
    request.day = m_day;
    request.pickingState = m_pickingState;
    request.parent = this;
    const LabItemDialogRunner& runner = ItemDialogRunner();
    const LabItemDialogResult result = runner ? runner(request) : RunLabItemDlg(request);
    m_inItemDialog = false;
    if (result.savedNo.empty()) return;
    // Show what was saved: every saved item's due day comes into the range, so that none
    // entered with "登録して新規" is out of sight, and the last one is selected.
    if (m_pickingState == 1) m_pickingState = 2;
    std::vector<std::string> dueDates = result.earlierDueDates;
    dueDates.push_back(result.dueDate);
    WidenRangeTo(dueDates);
    Refresh(result.savedNo);
}

void CLabScheduleDlg::WidenRangeTo(const std::vector<std::string>& days) {
    if (!m_dateCheck->isChecked()) return;
    const QSignalBlocker blockFrom(m_fromEdit);
    const QSignalBlocker blockTo(m_toEdit);
    for (const std::string& day : days) {
        const QDate date = CDate::FromYmd(day.c_str());
        if (!date.isValid()) continue;
        if (date < m_fromEdit->date()) m_fromEdit->setDate(date);
        if (date > m_toEdit->date()) m_toEdit->setDate(date);
    }
}

QString CLabScheduleDlg::DeleteDescription(int row) const {
    QString text;
    for (int c = 0; c < kColumnCount; ++c) {
        QString header = QString::fromUtf8(kLabColumnHeaders[c]);
        const int pad = kDeleteHeaderWidth - Cp932Width(header);
        if (pad > 0) header += QString(pad, u' ');
        text += header + QStringLiteral("\t: ") + m_list->GetItemText(row, c) + u'\n';
    }
    return text;
}

void CLabScheduleDlg::OnDelete() {
    const std::string selected = SelectedMaterialNo();
    if (selected.empty()) return;
    QString question;
    if (m_view == kListView) {
        question = LoadString(kIdsLabDeleteQuestion).arg(DeleteDescription(m_list->GetSelIndex()));
    } else {
        question = LoadString(kIdsLabByItemDelete);
    }
    const int status = DeleteLabItem(
        m_db, selected, [&] { return CMessageService::AskYesNo(this, question, windowTitle()); });
    if (status == 2) return;  // declined: nothing changed
    if (status != 0) {
        CMessageService::MessageBox(this, LoadString(kIdsLabDeleteFailed), windowTitle(),
                                    CMessageService::EIcon::Warning);
        return;
    }
    Refresh();
}

void CLabScheduleDlg::OnPrint() {
    if (m_view == kByItemView) {
        m_byItem->Print();
        return;
    }
    const LabFilter filter = CurrentFilter();
    if (m_listStale && !RefreshListForOutput(filter)) return;
    const FormHeader header = ReadFormHeader(filter, CDate::ToYmd(CDate::Today()));
    const std::string data = BuildFormData(m_rows, header);
    QString message;
    const std::string path = FormDataFilePath(&message);
    if (path.empty()) {
        CMessageService::MessageBox(this, message, windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    // A data file that cannot be written ends the command without a message.
    if (!WriteFormDataFile(path, data)) return;
    const std::string form =
        CTools::LastDelimAdd(CVeloSubTools::GetTemplatesFolder()) + "GikoubutuForm1.frm";
    CFormPrinter::OnStart(path.c_str(), form.c_str(),
                          LoadString(kIdsLabFormTitle).toUtf8().constData(), 0);
    std::remove(path.c_str());
}

bool CLabScheduleDlg::RefreshListForOutput(const LabFilter& filter) {
    const LabReadFailure failure = RefreshList(filter, SelectedMaterialNo());
    if (!failure.Failed()) return true;
    ShowTableReadFailure(this, windowTitle(), QString::fromStdString(failure.tableFile),
                         failure.status);
    return false;
}

void CLabScheduleDlg::OnCsv() {
    if (m_listStale && !RefreshListForOutput(CurrentFilter())) return;
    CVeloComDlg::ListToCSV(QStringLiteral("MaterialList"), m_list, CVeloComDlg::kCsvAskForPath);
}
