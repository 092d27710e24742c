// The clinic days editor: the calendar and the three choices work on a CClinicDayMarks, and
// every change recolours the month and refills the list at once; OK stores the changes.
#include "suite/comdlg/clinicdaysdlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextCharFormat>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/tool/date.h"
#include "suite/tool/japaneseholidays.h"
#include "suite/tool/messageservice.h"

namespace {

// Day colours: the clinic's own marks as backgrounds, the rule's days off as red numbers.
const QColor kClosedBackground(255, 205, 205);
const QColor kOpenBackground(200, 240, 200);
const QColor kDayOffText(0xD0, 0, 0);
const QColor kWorkingText(0x32, 0x32, 0x32);

QString MarkText(CGlobalSettings::EClinicDay mark) {
    return mark == CGlobalSettings::kClinicDayClosed ? QStringLiteral("休診日")
                                                     : QStringLiteral("診療日");
}

}  // namespace

CClinicDaysDlg::CClinicDaysDlg(const QDate& day, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("休診日・診療日の設定"));
    m_marks.Load();

    m_calendar = new QCalendarWidget(this);
    m_calendar->setObjectName(QString::number(kIdCalendar));
    m_calendar->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setGridVisible(true);
    // The week starts as on the sheet's calendars: Sunday, or Monday for CalendarMode 1.
    const int mode = CVeloSubTools::GetGlobalSettingInt("GLOBAL", "CalendarMode", 0) % 7;
    m_calendar->setFirstDayOfWeek(mode == 1 ? Qt::Monday : Qt::Sunday);
    // The weekend columns are coloured by the clinic's rule, not by the widget.
    QTextCharFormat plain;
    plain.setForeground(kWorkingText);
    m_calendar->setWeekdayTextFormat(Qt::Saturday, plain);
    m_calendar->setWeekdayTextFormat(Qt::Sunday, plain);
    m_calendar->setSelectedDate(day.isValid() ? day : CDate::Today());

    auto* choices = new QGroupBox(QStringLiteral("選んだ日"), this);
    m_dayText = new QLabel(choices);
    m_dayText->setObjectName(QString::number(kIdDayText));
    m_dayText->setMinimumHeight(5 * fontMetrics().height());
    m_dayText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_dayText->setWordWrap(true);
    m_usual = new QRadioButton(QStringLiteral("通常どおり（曜日の診療時間と祝日に従う）"), choices);
    m_closed = new QRadioButton(QStringLiteral("休診日にする"), choices);
    m_open = new QRadioButton(QStringLiteral("診療日にする（祝日でも診療する）"), choices);
    m_usual->setObjectName(QString::number(kIdUsual));
    m_closed->setObjectName(QString::number(kIdClosed));
    m_open->setObjectName(QString::number(kIdOpen));
    auto* group = new QButtonGroup(this);
    for (QRadioButton* radio : {m_usual, m_closed, m_open}) group->addButton(radio);
    auto* choiceLayout = new QVBoxLayout(choices);
    choiceLayout->addWidget(m_dayText);
    choiceLayout->addWidget(m_usual);
    choiceLayout->addWidget(m_closed);
    choiceLayout->addWidget(m_open);
    choiceLayout->addStretch(1);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kIdList));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels(
        {QStringLiteral("日付"), QStringLiteral("設定"), QStringLiteral("祝日")});
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 120);
    m_list->setColumnWidth(1, 70);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QString::number(kIdOk));
    cancel->setObjectName(QString::number(kIdCancel));
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(m_calendar, 1);
    top->addWidget(choices, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(QStringLiteral("設定済みの日（ダブルクリックでその日へ）"), this));
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(660, 500);

    connect(m_calendar, &QCalendarWidget::selectionChanged, this, &CClinicDaysDlg::OnDaySelected);
    connect(m_calendar, &QCalendarWidget::currentPageChanged, this, &CClinicDaysDlg::PaintMonth);
    for (QRadioButton* radio : {m_usual, m_closed, m_open}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) OnMarkChosen();
        });
    }
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CClinicDaysDlg::OnListActivated);
    connect(ok, &QPushButton::clicked, this, &CClinicDaysDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    PaintMonth();
    FillList();
    ShowDay();
}

void CClinicDaysDlg::OnDaySelected() { ShowDay(); }

void CClinicDaysDlg::ShowDay() {
    const QDate day = m_calendar->selectedDate();
    const CGlobalSettings::EClinicDay mark = m_marks.Mark(day);
    {
        const QSignalBlocker usual(m_usual), closed(m_closed), open(m_open);
        m_usual->setChecked(mark == CGlobalSettings::kClinicDayUsual);
        m_closed->setChecked(mark == CGlobalSettings::kClinicDayClosed);
        m_open->setChecked(mark == CGlobalSettings::kClinicDayOpen);
    }
    m_dayText->setText(m_marks.Describe(day));
}

void CClinicDaysDlg::OnMarkChosen() {
    const CGlobalSettings::EClinicDay mark =
        m_closed->isChecked() ? CGlobalSettings::kClinicDayClosed
        : m_open->isChecked() ? CGlobalSettings::kClinicDayOpen
                              : CGlobalSettings::kClinicDayUsual;
    m_marks.SetMark(m_calendar->selectedDate(), mark);
    PaintMonth();
    FillList();
    m_dayText->setText(m_marks.Describe(m_calendar->selectedDate()));
}

void CClinicDaysDlg::PaintMonth() {
    const QDate first(m_calendar->yearShown(), m_calendar->monthShown(), 1);
    // The widget shows a few days of the neighbouring months too.
    for (QDate day = first.addDays(-7); day < first.addMonths(1).addDays(14);
         day = day.addDays(1)) {
        QTextCharFormat format;
        format.setForeground(m_marks.DayOffReason(day) != CDate::kWorking ? kDayOffText
                                                                          : kWorkingText);
        const CGlobalSettings::EClinicDay mark = m_marks.Mark(day);
        if (mark == CGlobalSettings::kClinicDayClosed) format.setBackground(kClosedBackground);
        if (mark == CGlobalSettings::kClinicDayOpen) format.setBackground(kOpenBackground);
        const QString holiday = HolidayName(day.year(), day.month(), day.day());
        if (!holiday.isEmpty()) format.setToolTip(holiday);
        m_calendar->setDateTextFormat(day, format);
    }
}

void CClinicDaysDlg::FillList() {
    m_list->clear();
    for (const auto& [day, mark] : m_marks.MarkedDays()) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, day.toString(QStringLiteral("yyyy/MM/dd")));
        item->setText(1, MarkText(mark));
        item->setText(2, HolidayName(day.year(), day.month(), day.day()));
        item->setData(0, Qt::UserRole, day);
    }
}

void CClinicDaysDlg::OnListActivated(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    const QDate day = item->data(0, Qt::UserRole).toDate();
    if (day.isValid()) m_calendar->setSelectedDate(day);
}

void CClinicDaysDlg::OnOK() {
    const bool changed = m_marks.IsModified();
    std::string error;
    if (!m_marks.Save(&error)) {
        CMessageService::MessageBox(
            this,
            QStringLiteral("休診日・診療日の設定を保存できませんでした。\n"
                           "データベースフォルダーに書き込めるか確かめてください。\n%1")
                .arg(QString::fromLocal8Bit(error.c_str())),
            windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    m_saved = changed;
    accept();
}

bool CVeloComDlg::OpenClinicDaysSetting(const char* yyyymmdd, QWidget* parent) {
    const QDate day = CDate::FromYmd(yyyymmdd);
    CClinicDaysDlg dialog(day, parent != nullptr ? parent : QApplication::activeWindow());
    dialog.exec();
    return dialog.Saved();
}
