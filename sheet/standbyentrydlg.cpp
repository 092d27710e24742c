// The standby entry dialog: the patient part, the wished days and hours, the memo and OK.
#include "sheet/standbyentrydlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>
#include <memory>
#include <vector>

#include "sheet/sheetsettings.h"
#include "sheet/standby.h"
#include "sheet/textlimit.h"
#include "suite/comdlg/querypatientdlg.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/patientdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

constexpr int kPatientEditMax = 20;

QString MessageTitle() { return QStringLiteral("予約キャンセル待ち"); }

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

template <typename T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

QDateEdit* NewDatePicker(int id, QWidget* parent) {
    auto* picker = Named(new QDateEdit(CDate::Today(), parent), id);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    return picker;
}

// Selects the item showing "%02d" of value, adding it when the combo does not offer it, so
// an entry stored under other settings is saved back unchanged.
void SelectNumber(QComboBox* combo, int value) {
    const QString text = QString::asprintf("%02d", value);
    int index = combo->findText(text);
    if (index < 0) {
        combo->addItem(text);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

int ComboNumber(const QComboBox* combo) { return combo->currentText().toInt(); }

EPatientQueryMode QueryMode(int key) {
    switch (key) {
        case CPatientDB::kKeyChartNo: return EPatientQueryMode::ById;
        case CPatientDB::kKeyKana: return EPatientQueryMode::ByKana;
        default: return EPatientQueryMode::ByName;
    }
}

}  // namespace

CStandbyEntryDlg::CStandbyEntryDlg(CVeloDBSys* db, int standbyNo, QWidget* parent)
    : QDialog(parent), m_db(db), m_standbyNo(standbyNo) {
    RegisterStandbyStrings();
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("予約キャンセル待ち ") +
                   (standbyNo == 0 ? QStringLiteral("新規") : QStringLiteral("編集")));
    BuildLayout();
    FillTimeCombos();
    if (standbyNo != 0) LoadEntry(standbyNo);
}

void CStandbyEntryDlg::BuildLayout() {
    const SheetSettings settings = ReadSheetSettings();
    auto* patientGroup = new QGroupBox(QStringLiteral("患者"), this);
    auto* patientGrid = new QGridLayout(patientGroup);
    struct PatientRow {
        const char* caption;
        int editId, searchId;
        CEditEx** edit;
        int key;
    };
    const PatientRow rows[] = {
        {"ID", kIdChartNo, kIdSearchChartNo, &m_chartNo, CPatientDB::kKeyChartNo},
        {"フリガナ", kIdKana, kIdSearchKana, &m_kana, CPatientDB::kKeyKana},
        {"氏名", kIdName, kIdSearchName, &m_name, CPatientDB::kKeyName},
    };
    int line = 0;
    for (const PatientRow& row : rows) {
        auto* edit = Named(new CEditEx(patientGroup), row.editId);
        edit->setMaxLength(kPatientEditMax);
        *row.edit = edit;
        auto* search = NewButton(QStringLiteral("検索"), row.searchId, patientGroup);
        const int key = row.key;
        connect(search, &QPushButton::clicked, this, [this, key] { SearchPatient(key); });
        connect(edit, &QLineEdit::returnPressed, this, [this, key] { SearchPatient(key); });
        connect(edit, &QLineEdit::textEdited, this, [this, edit] {
            if (!m_showingPatient && !m_patientId.empty()) ClearPatient(edit);
        });
        patientGrid->addWidget(new QLabel(QString::fromUtf8(row.caption), patientGroup), line, 0);
        patientGrid->addWidget(edit, line, 1);
        patientGrid->addWidget(search, line, 2);
        ++line;
    }
    if (settings.imeModeAuto != 0) {
        m_name->SetIMEModes(settings.imeModeName);
        m_kana->SetIMEModes(settings.imeModeFurigana);
    }
    auto* clear = NewButton(QStringLiteral("患者クリア"), kIdClearPatient, patientGroup);
    auto* create = NewButton(QStringLiteral("新規患者"), kIdNewPatient, patientGroup);
    connect(clear, &QPushButton::clicked, this, [this] { ClearPatient(nullptr); });
    connect(create, &QPushButton::clicked, this, &CStandbyEntryDlg::OnNewPatient);
    auto* patientButtons = new QHBoxLayout;
    patientButtons->addWidget(clear);
    patientButtons->addWidget(create);
    patientButtons->addStretch();
    patientGrid->addLayout(patientButtons, line, 0, 1, 3);

    auto* wishGroup = new QGroupBox(QStringLiteral("希望日時"), this);
    auto* wishGrid = new QGridLayout(wishGroup);
    m_dateFrom = NewDatePicker(kIdDateFrom, wishGroup);
    m_dateTo = NewDatePicker(kIdDateTo, wishGroup);
    m_hourFrom = Named(new QComboBox(wishGroup), kIdHourFrom);
    m_minuteFrom = Named(new QComboBox(wishGroup), kIdMinuteFrom);
    m_hourTo = Named(new QComboBox(wishGroup), kIdHourTo);
    m_minuteTo = Named(new QComboBox(wishGroup), kIdMinuteTo);
    m_oneDay = Named(new QCheckBox(QStringLiteral("１日のみ"), wishGroup), kIdOneDay);
    m_oneDay->setChecked(true);
    connect(m_oneDay, &QCheckBox::clicked, this, &CStandbyEntryDlg::OnOneDayClicked);
    connect(m_dateFrom, &QDateEdit::dateChanged, this, &CStandbyEntryDlg::OnDateFromChanged);
    connect(m_dateTo, &QDateEdit::dateChanged, this, &CStandbyEntryDlg::OnDateToChanged);
    wishGrid->addWidget(new QLabel(QStringLiteral("開始"), wishGroup), 0, 0);
    wishGrid->addWidget(m_dateFrom, 0, 1);
    wishGrid->addWidget(m_hourFrom, 0, 2);
    wishGrid->addWidget(new QLabel(QStringLiteral("時"), wishGroup), 0, 3);
    wishGrid->addWidget(m_minuteFrom, 0, 4);
    wishGrid->addWidget(new QLabel(QStringLiteral("分"), wishGroup), 0, 5);
    wishGrid->addWidget(m_oneDay, 0, 6);
    wishGrid->addWidget(new QLabel(QStringLiteral("終了"), wishGroup), 1, 0);
    wishGrid->addWidget(m_dateTo, 1, 1);
    wishGrid->addWidget(m_hourTo, 1, 2);
    wishGrid->addWidget(new QLabel(QStringLiteral("時"), wishGroup), 1, 3);
    wishGrid->addWidget(m_minuteTo, 1, 4);
    wishGrid->addWidget(new QLabel(QStringLiteral("分"), wishGroup), 1, 5);

    m_memo = Named(new CEditEx(this), kIdMemo);
    LimitEditToCp932Bytes(m_memo, kMemoMaxBytes);
    if (settings.imeModeAuto != 0) m_memo->SetIMEModes(settings.imeModeComment);
    auto* memoRow = new QHBoxLayout;
    memoRow->addWidget(new QLabel(QStringLiteral("連絡欄"), this));
    memoRow->addWidget(m_memo, 1);

    auto* ok = NewButton(QStringLiteral("OK"), kIdOk, this);
    auto* cancel = NewButton(QStringLiteral("キャンセル"), kIdCancel, this);
    connect(ok, &QPushButton::clicked, this, &CStandbyEntryDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(patientGroup);
    layout->addWidget(wishGroup);
    layout->addLayout(memoRow);
    layout->addLayout(buttons);
}

void CStandbyEntryDlg::FillTimeCombos() {
    const SheetSettings settings = ReadSheetSettings();
    for (QComboBox* combo : {m_hourFrom, m_hourTo}) {
        for (int hour = settings.appointTimeFromH; hour <= settings.appointTimeToH; ++hour)
            combo->addItem(QString::asprintf("%02d", hour));
        combo->setCurrentIndex(0);
    }
    const int step = settings.timeSpan > 0 ? settings.timeSpan : 15;
    for (QComboBox* combo : {m_minuteFrom, m_minuteTo}) {
        for (int minute = 0; minute < 60; minute += step)
            combo->addItem(QString::asprintf("%02d", minute));
        combo->setCurrentIndex(0);
    }
}

void CStandbyEntryDlg::LoadEntry(int standbyNo) {
    StandbyEntry entry;
    if (ReadStandbyEntry(m_db, standbyNo, &entry) != 0) {
        CMessageService::MessageBox(this, QStringLiteral("キャンセル待ちのデータが見つかりません。"),
                                    MessageTitle(), CMessageService::EIcon::Warning);
        return;
    }
    ShowPatient(entry.patientId);
    // An entry over several days is no one-day entry: a tick would drag its end day along.
    m_oneDay->setChecked(entry.dateFrom == entry.dateTo);
    if (CDate::IsValid(entry.dateFrom.c_str()))
        m_dateFrom->setDate(CDate::FromYmd(entry.dateFrom.c_str()));
    if (CDate::IsValid(entry.dateTo.c_str()))
        m_dateTo->setDate(CDate::FromYmd(entry.dateTo.c_str()));
    SelectNumber(m_hourFrom, entry.timeFrom / 100);
    SelectNumber(m_minuteFrom, entry.timeFrom % 100);
    SelectNumber(m_hourTo, entry.timeTo / 100);
    SelectNumber(m_minuteTo, entry.timeTo % 100);
    m_memo->setText(entry.memo);
    m_reservationNo = entry.reservationNo;
}

void CStandbyEntryDlg::ShowPatient(const std::string& patientId) {
    CPatientDB patients;
    if (patientId.empty() || patients.SetAssociatedDB(m_db) != 0 ||
        patients.GetPatientData(patientId.c_str()) != 0) {
        ClearPatient(nullptr);
        return;
    }
    const tagPATIENTDB& p = patients.m_Data;
    m_showingPatient = true;
    m_patientId = patientId;
    m_chartNo->setText(Cp932FieldToQString(p.ChartNo, sizeof p.ChartNo));
    m_kana->setText(Cp932FieldToQString(p.Kana, sizeof p.Kana));
    m_name->setText(Cp932FieldToQString(p.Name, sizeof p.Name));
    m_showingPatient = false;
}

void CStandbyEntryDlg::ClearPatient(QLineEdit* keep) {
    m_showingPatient = true;
    for (CEditEx* edit : {m_chartNo, m_kana, m_name}) {
        if (edit != keep) edit->clear();
    }
    m_patientId.clear();
    m_showingPatient = false;
}

void CStandbyEntryDlg::SearchPatient(int key) {
    const QLineEdit* edit = key == CPatientDB::kKeyChartNo ? m_chartNo
                            : key == CPatientDB::kKeyKana  ? m_kana
                                                           : m_name;
    const QString text = edit->text();
    std::vector<CPatientHit> hits;
    SearchPatients(m_db, text, QueryMode(key), 1, &hits);
    if (hits.empty()) {
        CMessageService::MessageBox(this, QStringLiteral("該当する患者が見つかりません。"),
                                    MessageTitle(), CMessageService::EIcon::Information);
        return;
    }
    const char* mode = key == CPatientDB::kKeyChartNo ? "BYID"
                       : key == CPatientDB::kKeyKana  ? "BYKANA"
                                                      : "BYNAME";
    const QString chosen =
        CVeloComDlg::VCDQueryPatientData(m_db, text.toUtf8().constData(), mode, this);
    if (!chosen.isEmpty()) ShowPatient(chosen.toStdString());
}

void CStandbyEntryDlg::OnNewPatient() {
    std::unique_ptr<tagPATIENTDB> patient = CVeloComDlg::GetNewPatientData(m_db, 1, "", this);
    if (patient) ShowPatient(std::string(patient->PatientID, ::strnlen(patient->PatientID,
                                                                       sizeof patient->PatientID)));
}

void CStandbyEntryDlg::OnOneDayClicked() {
    if (m_oneDay->isChecked()) m_dateTo->setDate(m_dateFrom->date());
}

// While "１日のみ" is ticked the end day is the start day, so moving the start day and
// pressing OK stores that one day.
void CStandbyEntryDlg::OnDateFromChanged() {
    if (m_oneDay->isChecked()) m_dateTo->setDate(m_dateFrom->date());
}

// An end day moved away from the start day makes the entry one of several days.
void CStandbyEntryDlg::OnDateToChanged() {
    if (m_oneDay->isChecked() && m_dateTo->date() != m_dateFrom->date())
        m_oneDay->setChecked(false);
}

StandbyEntry CStandbyEntryDlg::GatherEntry() const {
    StandbyEntry entry;
    entry.standbyNo = m_standbyNo;
    entry.patientId = m_patientId;
    entry.dateFrom = CDate::ToYmd(m_dateFrom->date());
    entry.dateTo = CDate::ToYmd(m_dateTo->date());
    entry.timeFrom = ComboNumber(m_hourFrom) * 100 + ComboNumber(m_minuteFrom);
    entry.timeTo = ComboNumber(m_hourTo) * 100 + ComboNumber(m_minuteTo);
    entry.memo = LimitCp932Bytes(m_memo->text(), kMemoMaxBytes);
    entry.reservationNo = m_reservationNo;
    return entry;
}

void CStandbyEntryDlg::OnOK() {
    // An entry without a patient or with its days the wrong way round would never be
    // listed, so it is refused with the reason instead of being stored out of sight.
    const StandbyEntry entry = GatherEntry();
    if (entry.patientId.empty()) {
        CMessageService::MessageBox(this, QStringLiteral("患者を選択してください。"),
                                    MessageTitle(), CMessageService::EIcon::Warning);
        return;
    }
    if (entry.dateTo < entry.dateFrom) {
        CMessageService::MessageBox(this,
                                    QStringLiteral("希望日の終了日が開始日より前になっています。"),
                                    MessageTitle(), CMessageService::EIcon::Warning);
        return;
    }
    if (!CheckStorableText(this, MessageTitle(), entry.memo)) return;
    int saved = 0;
    if (SaveStandbyEntry(m_db, entry, &saved) != 0) {
        CMessageService::MessageBox(this, LoadString(kIdsStandbyAddFailed), MessageTitle(),
                                    CMessageService::EIcon::Warning);
        return;
    }
    m_savedNo = saved;
    accept();
}

void CStandbyEntryDlg::keyPressEvent(QKeyEvent* event) {
    // Escape never closes; Return moves on (the patient edits search, the memo stays put).
    if (event->key() == Qt::Key_Escape) return;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focus = focusWidget();
        const bool patientEdit = focus == m_chartNo || focus == m_kana || focus == m_name;
        if (!patientEdit && focus != m_memo) focusNextChild();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace velo::sheet
