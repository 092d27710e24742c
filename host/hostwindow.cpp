// The host's main window and its pages.
#include "hostwindow.h"

#include <QDate>
#include <QFormLayout>
#include <QVBoxLayout>

#include "sheetmodule.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/navstrip.h"

namespace {

QString CountText(const CHostCount& count, const QString& unit) {
    if (count.status != 0) return QStringLiteral("読み込めません (状態 %1)").arg(count.status);
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::Japanese).toString(count.count), unit);
}

QLabel* MakeValueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

CHostWindow::CHostWindow(CVeloDBSys* db, const CModuleEntry* sheet, const QString& imageFolder,
                         QWidget* parent)
    : QMainWindow(parent), m_db(db), m_sheet(sheet) {
    setWindowTitle(QStringLiteral("Velo"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_strip = new CNavigationStrip(imageFolder, central);
    m_strip->setAutoFillBackground(true);
    QPalette stripPalette = m_strip->palette();
    stripPalette.setColor(QPalette::Window, QColor(0xe4, 0xe9, 0xf0));
    m_strip->setPalette(stripPalette);
    layout->addWidget(m_strip);

    m_pages = new QStackedWidget(central);
    QFont pageFont = m_pages->font();
    pageFont.setPointSizeF(pageFont.pointSizeF() * 1.2);
    m_pages->setFont(pageFont);
    m_statusPage = MakeStatusPage();
    m_otherPage = MakeOtherProgramPage();
    m_pages->addWidget(m_statusPage);
    m_pages->addWidget(m_otherPage);
    layout->addWidget(m_pages, 1);
    setCentralWidget(central);

    connect(m_strip, &CNavigationStrip::ButtonPressed, this, &CHostWindow::OnButtonPressed);
    RefreshStatus();
    ShowPage(kScreenNone);
}

QWidget* CHostWindow::MakeStatusPage() {
    auto* page = new QWidget(this);
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(24, 16, 24, 16);
    m_statusTitle = new QLabel(page);
    QFont titleFont = m_statusTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_statusTitle->setFont(titleFont);
    outer->addWidget(m_statusTitle);

    auto* form = new QFormLayout();
    form->setLabelAlignment(Qt::AlignLeft);
    form->setHorizontalSpacing(24);
    m_folderValue = MakeValueLabel(page);
    m_patientsValue = MakeValueLabel(page);
    m_reservationsValue = MakeValueLabel(page);
    m_labValue = MakeValueLabel(page);
    form->addRow(QStringLiteral("データベース"), m_folderValue);
    form->addRow(QStringLiteral("患者"), m_patientsValue);
    form->addRow(QStringLiteral("本日の予約"), m_reservationsValue);
    form->addRow(QStringLiteral("技工物"), m_labValue);
    outer->addLayout(form);

    m_moduleNote = new QLabel(page);
    m_moduleNote->setWordWrap(true);
    QPalette notePalette = m_moduleNote->palette();
    notePalette.setColor(QPalette::WindowText, QColor(0x50, 0x5a, 0x6a));
    m_moduleNote->setPalette(notePalette);
    outer->addSpacing(12);
    outer->addWidget(m_moduleNote);
    outer->addStretch(1);
    return page;
}

QWidget* CHostWindow::MakeOtherProgramPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 16, 24, 16);
    m_otherTitle = new QLabel(page);
    QFont titleFont = m_otherTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    m_otherTitle->setFont(titleFont);
    layout->addWidget(m_otherTitle);
    auto* text = new QLabel(QStringLiteral("この画面はスイートの別のプログラムが表示します。\n"
                                           "上のボタンでほかの画面に切り替えられます。"),
                            page);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch(1);
    return page;
}

void CHostWindow::RefreshStatus() {
    const QDate today = QDate::currentDate();
    const CHostSummary summary =
        SummariseDatabase(m_db, today.toString(QStringLiteral("yyyyMMdd")).toStdString());
    m_folderValue->setText(QString::fromStdString(summary.folder));
    m_patientsValue->setText(CountText(summary.patients, QStringLiteral("人")));
    m_reservationsValue->setText(CountText(summary.reservations, QStringLiteral("件")) +
                                 today.toString(QStringLiteral("  (yyyy/MM/dd)")));
    QString lab = CountText(summary.labItems, QStringLiteral("件"));
    if (summary.labItems.status == 0 && summary.labPending.status == 0) {
        lab += QStringLiteral("  (未完成 %1)")
                   .arg(CountText(summary.labPending, QStringLiteral("件")));
    }
    m_labValue->setText(lab);
    if (m_sheet != nullptr && m_sheet->IsAvailable()) {
        m_moduleNote->setText(
            QStringLiteral("予約シートは %1 から開きます。「予約」のボタンで表示します。")
                .arg(m_sheet->LibraryPath()));
    } else {
        const QString problem = m_sheet != nullptr ? m_sheet->Problem() : QString();
        m_moduleNote->setText(
            QStringLiteral("予約シートのモジュールはプログラムのフォルダーから読み込みます。"
                           "読み込めないため、この画面を表示しています。") +
            (problem.isEmpty() ? QString() : QStringLiteral("\n(%1)").arg(problem)));
    }
}

void CHostWindow::ShowPage(int screenCode) {
    m_current = screenCode;
    m_strip->SetCurrentScreen(screenCode);
    if (screenCode == kScreenNone || screenCode == kScreenReservation) {
        m_statusTitle->setText(screenCode == kScreenReservation
                                   ? QStringLiteral("予約")
                                   : QStringLiteral("データベースの状態"));
        m_pages->setCurrentWidget(m_statusPage);
        return;
    }
    m_otherTitle->setText(ScreenTitle(screenCode));
    m_pages->setCurrentWidget(m_otherPage);
}

const CModuleEntry* CHostWindow::ModuleFor(int screenCode) const {
    const CModuleEntry* module = nullptr;
    if (screenCode == kScreenReservation) module = m_sheet;
    if (screenCode == kScreenLab) module = m_lab;
    return module != nullptr && module->IsAvailable() ? module : nullptr;
}

void CHostWindow::ShowScreen(int screenCode) {
    // A module runs modally and names the next screen when it closes, which may be another
    // module's. A module that names its own screen, or none, leads to the start screen
    // rather than reopening without end.
    int screen = screenCode;
    while (const CModuleEntry* module = ModuleFor(screen)) {
        ShowPage(screen);
        const int next = ScreenAfterModule(module->Start(m_db));
        RefreshStatus();
        if (next == kScreenExit) {
            close();
            return;
        }
        if (next == screen) {
            ShowPage(kScreenNone);
            return;
        }
        screen = next;
    }
    ShowPage(screen);
}

void CHostWindow::OnButtonPressed(int position) {
    const CNavDecision decision = DecideNavigation(m_current, position);
    switch (decision.action) {
        case ENavAction::kStay:
            return;
        case ENavAction::kAskExit:
            if (CMessageService::AskYesNo(this, ExitQuestion())) close();
            return;
        case ENavAction::kSwitch:
            ShowScreen(decision.screenCode);
            return;
    }
}
