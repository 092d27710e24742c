// The patient query: the prefix search over the patient file's ID, reading and name keys,
// the list dialog that shows its hits, and CVeloComDlg::VCDQueryPatientData that runs it.
#include "suite/comdlg/querypatientdlg.h"

#include <strings.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstring>

#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"

namespace {

enum EColumn { kColId, kColName, kColKana, kColSex, kColBirth, kColumnCount };
constexpr const char* kHeaders[kColumnCount] = {"ID", "氏名", "フリガナ", "性別", "生年月日"};
constexpr int kWidths[kColumnCount] = {90, 140, 160, 50, 100};

QString BirthText(const char* yyyymmdd) {
    if (!CDate::IsValid(yyyymmdd)) return QString();
    return CDate::FromYmd(yyyymmdd).toString(QStringLiteral("yyyy/MM/dd"));
}

}  // namespace

EPatientQueryMode PatientQueryModeFromText(const char* mode) {
    if (mode != nullptr && ::strcasecmp(mode, "BYKANA") == 0) return EPatientQueryMode::ByKana;
    if (mode != nullptr && ::strcasecmp(mode, "BYNAME") == 0) return EPatientQueryMode::ByName;
    return EPatientQueryMode::ById;
}

int SearchPatients(CVeloDBSys* db, const QString& text, EPatientQueryMode mode, int limit,
                   std::vector<CPatientHit>* hits, bool* more) {
    if (more != nullptr) *more = false;
    if (hits == nullptr) return recman::kInvalidOperation;
    hits->clear();
    CPatientDB patients;
    int status = db != nullptr && !db->GetDatabaseFolder().empty()
                     ? patients.Open(db->GetDatabaseFolder())
                     : patients.Open();
    if (status != 0) return status;
    const std::string prefix = QStringToCp932(text.trimmed());
    const tagPATIENTDB& r = patients.m_Data;
    const char* field = nullptr;
    switch (mode) {
        case EPatientQueryMode::ById:
            status = patients.GetPatientDataByID(prefix.c_str());
            field = r.ChartNo;
            break;
        case EPatientQueryMode::ByKana:
            status = patients.GetPatientDataByKana(prefix.c_str());
            field = r.Kana;
            break;
        case EPatientQueryMode::ByName:
            status = patients.GetPatientDataByName(prefix.c_str());
            field = r.Name;
            break;
    }
    for (; status == 0; status = patients.GetNEXT()) {
        if (std::strncmp(field, prefix.c_str(), prefix.size()) != 0) break;
        if (r.InactiveFlag != 0) continue;
        if (static_cast<int>(hits->size()) >= limit) {
            if (more != nullptr) *more = true;
            break;
        }
        CPatientHit hit;
        hit.patientId = std::string(r.PatientID, strnlen(r.PatientID, sizeof r.PatientID));
        hit.chartNo = Cp932FieldToQString(r.ChartNo);
        hit.name = Cp932FieldToQString(r.Name);
        hit.kana = Cp932FieldToQString(r.Kana);
        hit.sex = r.Sex[0] == '1' ? QStringLiteral("男") : QStringLiteral("女");
        hit.birthDate = BirthText(r.BirthDate);
        hits->push_back(std::move(hit));
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) status = 0;
    return status;
}

CQueryPatientDlg::CQueryPatientDlg(CVeloDBSys* db, const QString& initial, EPatientQueryMode mode,
                                   QWidget* parent)
    : QDialog(parent), m_db(db) {
    setWindowTitle(QStringLiteral("該当患者リスト"));
    resize(600, 420);
    m_text = new QLineEdit(initial, this);
    m_text->setObjectName(QString::number(kIdText));
    auto* search = new QPushButton(QStringLiteral("検索"), this);
    search->setObjectName(QString::number(kIdSearch));
    search->setAutoDefault(false);
    m_byId = new QRadioButton(QStringLiteral("ID"), this);
    m_byId->setObjectName(QString::number(kIdById));
    m_byKana = new QRadioButton(QStringLiteral("フリガナ"), this);
    m_byKana->setObjectName(QString::number(kIdByKana));
    m_byName = new QRadioButton(QStringLiteral("氏名"), this);
    m_byName->setObjectName(QString::number(kIdByName));
    switch (mode) {
        case EPatientQueryMode::ById:
            m_byId->setChecked(true);
            break;
        case EPatientQueryMode::ByKana:
            m_byKana->setChecked(true);
            break;
        case EPatientQueryMode::ByName:
            m_byName->setChecked(true);
            break;
    }
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kIdList));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setColumnCount(kColumnCount);
    QStringList headers;
    for (const char* header : kHeaders) headers << QString::fromUtf8(header);
    m_list->setHeaderLabels(headers);
    for (int c = 0; c < kColumnCount; ++c) m_list->setColumnWidth(c, kWidths[c]);
    m_status = new QLabel(this);
    m_status->setObjectName(QString::number(kIdStatus));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAutoDefault(false);
    QPushButton* cancel = buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(m_text, 1);
    top->addWidget(search);
    auto* modes = new QHBoxLayout;
    modes->addWidget(m_byId);
    modes->addWidget(m_byKana);
    modes->addWidget(m_byName);
    modes->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(modes);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    connect(search, &QPushButton::clicked, this, &CQueryPatientDlg::Search);
    connect(m_text, &QLineEdit::returnPressed, this, &CQueryPatientDlg::Search);
    for (QRadioButton* radio : {m_byId, m_byKana, m_byName}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) Search();
        });
    }
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row) {
        m_list->setCurrentItem(row);
        OnOK();
    });
    connect(ok, &QPushButton::clicked, this, &CQueryPatientDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Search();
    m_text->setFocus();
}

EPatientQueryMode CQueryPatientDlg::Mode() const {
    if (m_byKana->isChecked()) return EPatientQueryMode::ByKana;
    if (m_byName->isChecked()) return EPatientQueryMode::ByName;
    return EPatientQueryMode::ById;
}

void CQueryPatientDlg::Search() {
    std::vector<CPatientHit> hits;
    bool more = false;
    const int status =
        SearchPatients(m_db, m_text->text(), Mode(), kPatientQueryLimit, &hits, &more);
    m_list->clear();
    for (const CPatientHit& hit : hits) {
        auto* row = new QTreeWidgetItem(m_list);
        row->setText(kColId, hit.chartNo);
        row->setText(kColName, hit.name);
        row->setText(kColKana, hit.kana);
        row->setText(kColSex, hit.sex);
        row->setText(kColBirth, hit.birthDate);
        row->setData(kColId, Qt::UserRole, QString::fromStdString(hit.patientId));
    }
    if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
    QString text = QStringLiteral("件数：%1").arg(hits.size());
    if (more) text += QStringLiteral("（先頭の %1 件を表示しています）").arg(kPatientQueryLimit);
    if (status != 0)
        text += QStringLiteral("　患者データの読み込みに失敗しました（状態 %1）").arg(status);
    m_status->setText(text);
}

void CQueryPatientDlg::OnOK() {
    const QTreeWidgetItem* row = m_list->currentItem();
    if (row == nullptr) return;
    m_chosen = row->data(kColId, Qt::UserRole).toString().toStdString();
    accept();
}

void CQueryPatientDlg::keyPressEvent(QKeyEvent* event) {
    // Enter in the search field searches; elsewhere it chooses the selected patient.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_text->hasFocus()) return;
        OnOK();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString CVeloComDlg::VCDQueryPatientData(CVeloDBSys* db, const char* initial, const char* mode,
                                         QWidget* parent) {
    CQueryPatientDlg dialog(db, QString::fromUtf8(initial != nullptr ? initial : ""),
                            PatientQueryModeFromText(mode),
                            parent != nullptr ? parent : QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return QString();
    return QString::fromStdString(dialog.ChosenPatientId());
}
