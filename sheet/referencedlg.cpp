// The reference dialog: the calendar column on the left with its date buttons, the chosen
// day and band and the patient, the tabs and the grid on the right.
#include "sheet/referencedlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include "sheet/monthcalendar.h"
#include "sheet/referenceview.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/readfailure.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CReferenceDlg::CReferenceDlg(CVeloDBSys* db, const ReferenceDlgInputs& inputs, QWidget* parent)
    : QDialog(parent), m_db(db), m_inputs(inputs) {
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("予約参照"));
    setSizeGripEnabled(true);
    RegisterReferenceStrings();
    m_settings = ReadSheetSettings();
    CGlobalSettings::GetOfficeHours(&m_hours);
    m_columns = LoadColumnEntities(db, inputs.columnMode);
    m_tabs = ReferenceTabs(m_columns);
    m_date = inputs.date.isValid() ? inputs.date : CDate::Today();
    m_firstDay = m_date;
    m_start = inputs.start;
    m_end = inputs.end;

    BuildLayout();
    FillTabs();
    m_calendar->SetDatabase(db);
    m_calendar->SetSettings(m_settings);
    m_calendar->SetToday(CDate::Today());
    m_calendar->SetShownDate(m_date);
    m_calendar->Reload();
    m_legend->SetSettings(m_settings);
    m_view->SetDatabase(db);
    m_view->SetSettings(m_settings, m_hours);
    RefreshView();
    ShowChoice();
}

void CReferenceDlg::BuildLayout() {
    auto* row = new QHBoxLayout(this);
    row->addWidget(BuildCalendarColumn());
    auto* right = new QVBoxLayout();
    m_tabBar = new QTabBar(this);
    m_tabBar->setObjectName(QString::number(kIdTabs));
    m_tabBar->setExpanding(false);
    right->addWidget(m_tabBar);
    m_readNotice = NewReadFailureNotice(this);
    right->addWidget(m_readNotice);
    m_view = new CReferenceView(this);
    right->addWidget(m_view, 1);
    row->addLayout(right, 1);
    resize(1000, 640);

    connect(m_view, &CReferenceView::BandChosen, this, &CReferenceDlg::OnBandChosen);
    connect(m_calendar, &CMonthCalendar::DayClicked, this, &CReferenceDlg::SelectDay);
}

QWidget* CReferenceDlg::BuildCalendarColumn() {
    auto* area = new QWidget(this);
    area->setFixedWidth(280);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);

    const CalendarButtonIds ids{kIdPrevMonth, kIdToday,    kIdNextMonth,
                                kIdFourWeeks, kIdSixWeeks, kIdEightWeeks};
    column->addLayout(MakeCalendarButtons(area, ids, [this](int id) {
        switch (id) {
            case kIdPrevMonth: MoveMonth(-1); break;
            case kIdNextMonth: MoveMonth(1); break;
            case kIdToday: SelectDay(CDate::Today()); break;
            case kIdFourWeeks: MoveDays(28); break;
            case kIdSixWeeks: MoveDays(42); break;
            default: MoveDays(56); break;
        }
    }));

    m_calendar = new CMonthCalendar(area);
    m_calendar->setObjectName(QString::number(kIdCalendar));
    m_calendar->setMinimumHeight(230);
    column->addWidget(m_calendar);
    m_legend = new CCalendarLegend(area);
    column->addWidget(m_legend);

    auto* chosen = new QGroupBox(QStringLiteral("選択された日時"), area);
    auto* chosenLayout = new QVBoxLayout(chosen);
    m_dayText = new QLabel(chosen);
    m_dayText->setObjectName(QString::number(kIdDayText));
    m_bandText = new QLabel(chosen);
    m_bandText->setObjectName(QString::number(kIdBandText));
    chosenLayout->addWidget(m_dayText);
    chosenLayout->addWidget(m_bandText);
    column->addWidget(chosen);

    auto* patient = new QGroupBox(QStringLiteral("選択された患者"), area);
    auto* patientLayout = new QVBoxLayout(patient);
    auto* name = new QLabel(m_inputs.patientName, patient);
    name->setObjectName(QString::number(kIdPatientName));
    patientLayout->addWidget(name);
    column->addWidget(patient);
    column->addStretch(1);

    auto* commands = new QHBoxLayout();
    QPushButton* refresh = NewButton(QStringLiteral("更新"), kIdRefresh, area);
    QPushButton* apply = NewButton(QStringLiteral("適用"), kIdApply, area);
    QPushButton* ok = NewButton(QStringLiteral("OK"), kIdOk, area);
    QPushButton* close = NewButton(QStringLiteral("閉じる"), kIdClose, area);
    for (QPushButton* button : {refresh, apply, ok, close}) commands->addWidget(button);
    column->addLayout(commands);
    connect(refresh, &QPushButton::clicked, this, [this] {
        m_calendar->Reload();
        RefreshView();
    });
    connect(apply, &QPushButton::clicked, this, [this] { Apply(); });
    connect(ok, &QPushButton::clicked, this, &CReferenceDlg::OnOk);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    return area;
}

void CReferenceDlg::FillTabs() {
    for (const ReferenceTab& tab : m_tabs) m_tabBar->addTab(tab.label);
    m_tabBar->setCurrentIndex(0);
    connect(m_tabBar, &QTabBar::currentChanged, this, &CReferenceDlg::OnTabChanged);
}

void CReferenceDlg::OnTabChanged(int) { RefreshView(); }

void CReferenceDlg::RefreshView() {
    ReferenceRequest request;
    request.columnMode = m_inputs.columnMode;
    request.columns = m_columns;
    const int tab = m_tabBar->currentIndex();
    request.tabColumn = tab <= 0 ? kAllColumnsTab : uint16_t(tab - 1);
    request.editingNo = m_inputs.reservationNo;
    m_view->SetRequest(request);
    m_view->SetFirstDate(m_firstDay);
    const int status = m_view->Reload();
    ShowReadFailure(status);
}

void CReferenceDlg::ShowReadFailure(int status) {
    const QString file = QString::fromStdString(m_view->FailedTable());
    SetReadFailureNotice(m_readNotice, file);
    if (status != 0) ShowTableReadFailure(this, windowTitle(), file, status);
}

void CReferenceDlg::SelectDay(const QDate& day) {
    if (!day.isValid()) return;
    m_date = day;
    m_firstDay = day;
    m_calendar->SetShownDate(day);
    m_calendar->update();
    RefreshView();
    ShowChoice();
}

void CReferenceDlg::MoveDays(int days) { SelectDay(m_firstDay.addDays(days)); }

void CReferenceDlg::MoveMonth(int delta) {
    const QDate month = QDate(m_firstDay.year(), m_firstDay.month(), 1).addMonths(delta);
    SelectDay(month);
}

void CReferenceDlg::OnBandChosen(const QDate& date, int start, int end) {
    m_date = date;
    m_start = start;
    m_end = end;
    ShowChoice();
}

void CReferenceDlg::ShowChoice() {
    m_dayText->setText(ReferenceDateText(m_date));
    m_bandText->setText(m_start == 0 && m_end == 0
                            ? QString()
                            : QString::fromStdString(WeekDragTipText(m_start, m_end, true)));
}

ReferenceChoice CReferenceDlg::Choice() const {
    ReferenceChoice choice;
    choice.date = m_date;
    choice.start = m_start;
    choice.end = m_end;
    const int tab = m_tabBar->currentIndex();
    if (tab > 0 && size_t(tab) < m_tabs.size()) choice.columnKey = m_tabs[size_t(tab)].code;
    return choice;
}

bool CReferenceDlg::Apply() {
    const ReferenceChoice choice = Choice();
    if (!choice.date.isValid()) return false;
    // A time that looks free in a grid that could not be read may well be taken.
    if (const std::string& failed = m_view->FailedTable(); !failed.empty()) {
        CMessageService::MessageBox(
            this,
            QStringLiteral("%1 のデータを読み込めていないため、この日時を選べません。\n"
                           "空いて見える時間にも予約が入っている可能性があります。"
                           "「更新」で正しく読み込めてから選んでください。")
                .arg(QString::fromStdString(failed)),
            windowTitle(), CMessageService::EIcon::Warning);
        return false;
    }
    m_applied = choice;
    emit ChoiceApplied(choice);
    return true;
}

void CReferenceDlg::OnOk() {
    if (Apply()) accept();
}

}  // namespace velo::sheet
