// The treatment selection dialog: categories, their items, appending to the treatment edit.
#include "sheet/treatmentselectdlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sheet/reservationdlg.h"
#include "sheet/textlimit.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/text/cp932.h"

namespace velo::sheet {
namespace {

constexpr char kHiddenMark[] = "__";
constexpr char kFirstCategory[] = "000";

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CTreatmentSelectDlg::CTreatmentSelectDlg(CVeloDBSys* db, QLineEdit* target, QWidget* parent)
    : QDialog(parent), m_db(db), m_target(target) {
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("処置内容選択"));

    m_category = new QComboBox(this);
    m_category->setObjectName(QString::number(kIdCategory));
    m_category->setMinimumContentsLength(16);
    QPushButton* addCategory = NewButton(QStringLiteral("#"), kIdAddCategory, this);
    addCategory->setFixedWidth(28);
    m_items = new QListWidget(this);
    m_items->setObjectName(QString::number(kIdItems));
    QPushButton* editItems = NewButton(QStringLiteral("#"), kIdEditItems, this);
    editItems->setFixedWidth(28);
    QPushButton* append = NewButton(QStringLiteral("追加"), kIdAppend, this);
    QPushButton* close = NewButton(QStringLiteral("閉じる"), kIdClose, this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("分類"), this));
    top->addWidget(m_category, 1);
    top->addWidget(addCategory);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_items, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(editItems);
    side->addStretch(1);
    middle->addLayout(side);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(append);
    bottom->addWidget(close);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(middle, 1);
    main->addLayout(bottom);
    resize(420, 380);

    connect(m_category, &QComboBox::currentIndexChanged, this, &CTreatmentSelectDlg::FillItems);
    connect(m_items, &QListWidget::itemDoubleClicked, this, &CTreatmentSelectDlg::AppendSelected);
    connect(append, &QPushButton::clicked, this, &CTreatmentSelectDlg::AppendSelected);
    connect(addCategory, &QPushButton::clicked, this, &CTreatmentSelectDlg::OnAddCategory);
    connect(editItems, &QPushButton::clicked, this, &CTreatmentSelectDlg::OnEditItems);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    FillCategories(std::string());
}

CTreatmentSelectDlg::~CTreatmentSelectDlg() = default;

void CTreatmentSelectDlg::FillCategories(const std::string& code) {
    const QSignalBlocker blocker(m_category);
    m_category->clear();
    CTreatmentCategoryDB categories;
    if (categories.SetAssociatedDB(m_db) == 0) {
        categories.SetKey(CTreatmentCategoryDB::kKeyCodeOrder);
        categories.SetKeyBuffer(kFirstCategory, sizeof categories.m_Data.Code);
        for (int st = categories.GetGREQ(); st == 0 && !categories.IsEOF();
             st = categories.GetNEXT()) {
            const tagTREATMENTCATEGORYDB& r = categories.m_Data;
            if (FieldText(r.HiddenMark) == kHiddenMark) continue;
            const std::string number = FieldText(r.Code);
            m_category->addItem(Cp932FieldToQString(r.Name, sizeof r.Name),
                                QString::fromStdString(number));
            if (number == code) m_category->setCurrentIndex(m_category->count() - 1);
        }
    }
    if (m_category->currentIndex() < 0 && m_category->count() > 0) m_category->setCurrentIndex(0);
    FillItems();
}

std::string CTreatmentSelectDlg::CategoryCode() const {
    return m_category->currentIndex() < 0 ? std::string()
                                          : m_category->currentData().toString().toStdString();
}

void CTreatmentSelectDlg::FillItems() {
    m_items->clear();
    const std::string category = CategoryCode();
    if (category.empty()) return;
    CTreatmentItemDB items;
    if (items.SetAssociatedDB(m_db) != 0) return;
    char key[sizeof items.m_Data.CategoryCode + sizeof items.m_Data.ItemCode] = {};
    SetField(key, sizeof items.m_Data.CategoryCode, category.c_str());
    items.SetKey(CTreatmentItemDB::kKeyCategoryItemOrder);
    items.SetKeyBuffer(key, sizeof key);
    for (int st = items.GetGREQ(); st == 0 && !items.IsEOF(); st = items.GetNEXT()) {
        const tagTREATMENTITEMDB& r = items.m_Data;
        if (FieldText(r.CategoryCode) != category) break;
        if (FieldText(r.HiddenMark) == kHiddenMark) continue;
        m_items->addItem(Cp932FieldToQString(r.Text, sizeof r.Text));
    }
}

void CTreatmentSelectDlg::AppendSelected() {
    const QListWidgetItem* item = m_items->currentItem();
    if (item == nullptr || m_target == nullptr) return;
    m_target->setText(LimitCp932Bytes(m_target->text() + item->text(),
                                      CReservationDlg::kTreatmentMaxBytes));
}

void CTreatmentSelectDlg::OnAddCategory() {
    const QString code = CVeloComDlg::DoGetNewTblItem(m_db, "TREATMENTCATEGORY", this);
    if (code.isEmpty()) return;
    FillCategories(code.toStdString());
}

void CTreatmentSelectDlg::OnEditItems() {
    const std::string category = CategoryCode();
    if (category.empty()) return;
    char number[8];
    std::snprintf(number, sizeof number, "%03d", std::atoi(category.c_str()));
    const QString key = CVeloComDlg::OpenTreatmentItem(m_db, number, this);
    if (!key.isEmpty()) FillItems();
}

}  // namespace velo::sheet
