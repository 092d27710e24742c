// The treatment items of a category: listing, numbering, adding, renaming and deleting
// them, the editor dialog, and CVeloComDlg::OpenTreatmentItem that runs it.
#include "suite/comdlg/treatmentitemdlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "suite/comdlg/storableedits.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/editex.h"
#include "suite/tool/messageservice.h"

namespace {

using comdlg::OpenIn;
using comdlg::FieldText;

constexpr char kHiddenMark[] = "__";
constexpr int kItemDigits = 3;
constexpr int kMaxItem = 999;
enum EColumn : int { kColCode, kColText };

bool IsEnd(int status) { return status == recman::kEndOfFile || status == recman::kKeyNotFound; }

bool IsHidden(const tagTREATMENTITEMDB& r) {
    return std::strncmp(r.HiddenMark, kHiddenMark, 2) == 0;
}

// Reads every item of the category (hidden ones too) in item order while visit says so.
int ScanCategory(CTreatmentItemDB& items, CVeloDBSys* db, const std::string& category,
                 const std::function<void(const tagTREATMENTITEMDB&)>& visit) {
    int status = OpenIn(items, db);
    if (status != 0) return status;
    char key[sizeof(tagTREATMENTITEMDB::CategoryCode) + sizeof(tagTREATMENTITEMDB::ItemCode)] = {};
    std::strncpy(key, category.c_str(), sizeof(tagTREATMENTITEMDB::CategoryCode) - 1);
    items.SetKey(CTreatmentItemDB::kKeyCategoryItemOrder);
    items.SetKeyBuffer(key, sizeof key);
    for (status = items.GetGREQ(); status == 0; status = items.GetNEXT()) {
        if (FieldText(items.m_Data.CategoryCode) != category) break;
        visit(items.m_Data);
    }
    return IsEnd(status) ? 0 : status;
}

// Checks a text for the category: given, fitting, and not listed already under another
// item than `ownItem`.
ETreatmentItemResult CheckText(CVeloDBSys* db, const std::string& category, const QString& text,
                               const std::string& ownItem, int* status) {
    const std::string bytes = QStringToCp932(text.trimmed());
    if (bytes.empty()) return ETreatmentItemResult::EmptyText;
    if (bytes.size() > sizeof(tagTREATMENTITEMDB::Text) - 1) {
        return ETreatmentItemResult::TextTooLong;
    }
    bool duplicate = false;
    CTreatmentItemDB items;
    const int result = ScanCategory(items, db, category, [&](const tagTREATMENTITEMDB& r) {
        if (!IsHidden(r) && FieldText(r.Text) == bytes && FieldText(r.ItemCode) != ownItem) {
            duplicate = true;
        }
    });
    if (result != 0) {
        if (status != nullptr) *status = result;
        return ETreatmentItemResult::DatabaseError;
    }
    return duplicate ? ETreatmentItemResult::DuplicateText : ETreatmentItemResult::Ok;
}

int ItemNumber(const std::string& code) {
    if (code.empty() || code.size() > 9) return -1;
    for (char c : code) {
        if (c < '0' || c > '9') return -1;
    }
    return std::stoi(code);
}

ETreatmentItemResult Failed(int result, int* status) {
    if (result == recman::kKeyNotFound) return ETreatmentItemResult::NotFound;
    if (status != nullptr) *status = result;
    return ETreatmentItemResult::DatabaseError;
}

}  // namespace

QString TreatmentItemResultMessage(ETreatmentItemResult result, int status) {
    switch (result) {
        case ETreatmentItemResult::Ok:
            return QString();
        case ETreatmentItemResult::NoCategory:
            return QStringLiteral("処置分類が見つかりません。");
        case ETreatmentItemResult::EmptyText:
            return QStringLiteral("処置内容を入力してください。");
        case ETreatmentItemResult::TextTooLong:
            return QStringLiteral("処置内容が長すぎます。全角100文字までで入力してください。");
        case ETreatmentItemResult::DuplicateText:
            return QStringLiteral("この処置内容は既に登録されています。");
        case ETreatmentItemResult::Full:
            return QStringLiteral("この分類にはこれ以上処置内容を登録できません。");
        case ETreatmentItemResult::NotFound:
            return QStringLiteral(
                "処置内容が見つかりません。他の端末で削除された可能性があります。");
        case ETreatmentItemResult::DatabaseError:
            return QStringLiteral("データベースの登録・更新が失敗しました。\n（状態 %1）")
                .arg(status);
    }
    return QString();
}

bool TreatmentCategoryName(CVeloDBSys* db, const QString& category, QString* name) {
    CTreatmentCategoryDB categories;
    if (category.isEmpty() || OpenIn(categories, db) != 0) return false;
    if (categories.GetTreatmentCategoryData(category.toLatin1().constData()) != 0) return false;
    if (name != nullptr) {
        *name = Cp932FieldToQString(categories.m_Data.Name, sizeof categories.m_Data.Name);
    }
    return true;
}

int ListTreatmentItems(CVeloDBSys* db, const QString& category,
                       std::vector<CTreatmentItemRow>* rows) {
    rows->clear();
    CTreatmentItemDB items;
    return ScanCategory(items, db, category.toStdString(), [&](const tagTREATMENTITEMDB& r) {
        if (IsHidden(r)) return;
        rows->push_back({Cp932FieldToQString(r.ItemCode, sizeof r.ItemCode),
                         Cp932FieldToQString(r.Text, sizeof r.Text)});
    });
}

ETreatmentItemResult AddTreatmentItem(CVeloDBSys* db, const QString& category, const QString& text,
                                      QString* itemCode, int* status) {
    if (!TreatmentCategoryName(db, category, nullptr)) return ETreatmentItemResult::NoCategory;
    const std::string cat = category.toStdString();
    ETreatmentItemResult check = CheckText(db, cat, text, std::string(), status);
    if (check != ETreatmentItemResult::Ok) return check;

    std::set<int> used;
    CTreatmentItemDB items;
    int result = ScanCategory(items, db, cat, [&](const tagTREATMENTITEMDB& r) {
        used.insert(ItemNumber(FieldText(r.ItemCode)));
    });
    if (result != 0) return Failed(result, status);
    int next = used.empty() || *used.rbegin() < 1 ? 1 : *used.rbegin() + 1;
    if (next > kMaxItem) {
        next = 1;
        while (next <= kMaxItem && used.count(next) != 0) ++next;
        if (next > kMaxItem) return ETreatmentItemResult::Full;
    }
    char code[8];
    std::snprintf(code, sizeof code, "%0*d", kItemDigits, next);
    result = CBaseDBCall::RunInTransaction([&] {
        items.ClearData();
        SetField(items.m_Data.CategoryCode, cat.c_str());
        SetField(items.m_Data.ItemCode, code);
        SetCp932Field(items.m_Data.Text, sizeof items.m_Data.Text, text.trimmed());
        return items.Insert();
    });
    if (result != 0) return Failed(result, status);
    if (itemCode != nullptr) *itemCode = QString::fromLatin1(code);
    return ETreatmentItemResult::Ok;
}

ETreatmentItemResult RenameTreatmentItem(CVeloDBSys* db, const QString& category,
                                         const QString& item, const QString& text, int* status) {
    const std::string cat = category.toStdString();
    ETreatmentItemResult check = CheckText(db, cat, text, item.toStdString(), status);
    if (check != ETreatmentItemResult::Ok) return check;
    CTreatmentItemDB items;
    int result = OpenIn(items, db);
    if (result == 0) {
        result = CBaseDBCall::RunInTransaction([&] {
            const int found = items.GetTreatmentItemData(cat.c_str(), item.toLatin1().constData());
            if (found != 0) return found;
            SetCp932Field(items.m_Data.Text, sizeof items.m_Data.Text, text.trimmed());
            return items.Update();
        });
    }
    return result == 0 ? ETreatmentItemResult::Ok : Failed(result, status);
}

ETreatmentItemResult DeleteTreatmentItem(CVeloDBSys* db, const QString& category,
                                         const QString& item, int* status) {
    CTreatmentItemDB items;
    int result = OpenIn(items, db);
    if (result == 0) {
        result = CBaseDBCall::RunInTransaction([&] {
            const int found = items.GetTreatmentItemData(category.toLatin1().constData(),
                                                         item.toLatin1().constData());
            return found != 0 ? found : items.Delete();
        });
    }
    return result == 0 ? ETreatmentItemResult::Ok : Failed(result, status);
}

CTreatmentItemDlg::CTreatmentItemDlg(CVeloDBSys* db, const QString& category,
                                     const QString& categoryName, QWidget* parent)
    : QDialog(parent), m_db(db), m_category(category) {
    setWindowTitle(QStringLiteral("処置内容の登録"));
    setMinimumSize(460, 360);
    resize(520, 440);
    auto* heading = new QLabel(QStringLiteral("処置分類：%1").arg(categoryName), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kIdList));
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels({QStringLiteral("No."), QStringLiteral("処置内容")});
    m_list->setColumnWidth(kColCode, 56);

    m_text = new CEditEx(this);
    m_text->setObjectName(QString::number(kIdText));
    m_text->setMaxLength(static_cast<int>(sizeof(tagTREATMENTITEMDB::Text)) - 1);
    if (CVeloSubTools::GetGlobalSettingInt("IME", "ModeAuto", 1) != 0) {
        m_text->SetIMEModes(CVeloSubTools::GetGlobalSettingInt("IME", "ModeName", 1));
    }
    m_text->setPlaceholderText(QStringLiteral("処置内容を入力"));
    auto* add = new QPushButton(QStringLiteral("追加"), this);
    add->setObjectName(QString::number(kIdAdd));
    add->setAutoDefault(false);
    m_rename = new QPushButton(QStringLiteral("変更"), this);
    m_rename->setObjectName(QString::number(kIdRename));
    m_rename->setAutoDefault(false);
    m_delete = new QPushButton(QStringLiteral("削除"), this);
    m_delete->setObjectName(QString::number(kIdDelete));
    m_delete->setAutoDefault(false);
    auto* editRow = new QHBoxLayout;
    editRow->addWidget(m_text, 1);
    editRow->addWidget(add);
    editRow->addWidget(m_rename);
    editRow->addWidget(m_delete);

    auto* buttons = new QDialogButtonBox(this);
    m_choose = buttons->addButton(QStringLiteral("選択"), QDialogButtonBox::AcceptRole);
    m_choose->setObjectName(QStringLiteral("1"));
    m_choose->setAutoDefault(false);
    QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("2"));
    close->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_list, 1);
    layout->addLayout(editRow);
    layout->addWidget(buttons);

    connect(add, &QPushButton::clicked, this, &CTreatmentItemDlg::OnAdd);
    connect(m_text, &QLineEdit::returnPressed, this, &CTreatmentItemDlg::OnAdd);
    connect(m_rename, &QPushButton::clicked, this, &CTreatmentItemDlg::OnRename);
    connect(m_delete, &QPushButton::clicked, this, &CTreatmentItemDlg::OnDelete);
    connect(m_choose, &QPushButton::clicked, this, &CTreatmentItemDlg::OnChoose);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            &CTreatmentItemDlg::OnSelectionChanged);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CTreatmentItemDlg::OnChoose);
    Reload();
    m_text->setFocus();
}

void CTreatmentItemDlg::Reload(const QString& selectItem) {
    std::vector<CTreatmentItemRow> rows;
    const int status = ListTreatmentItems(m_db, m_category, &rows);
    m_list->clear();
    for (const CTreatmentItemRow& row : rows) {
        auto* item = new QTreeWidgetItem(m_list, {row.item, row.text});
        if (!selectItem.isEmpty() && row.item == selectItem) {
            m_list->setCurrentItem(item);
            m_list->scrollToItem(item);
        }
    }
    if (status != 0) Report(ETreatmentItemResult::DatabaseError, status);
    OnSelectionChanged();
}

QString CTreatmentItemDlg::SelectedItem() const {
    const QTreeWidgetItem* item = m_list->currentItem();
    return item != nullptr && item->isSelected() ? item->text(kColCode) : QString();
}

void CTreatmentItemDlg::OnSelectionChanged() {
    const QTreeWidgetItem* item = m_list->currentItem();
    const bool selected = item != nullptr && item->isSelected();
    m_rename->setEnabled(selected);
    m_delete->setEnabled(selected);
    m_choose->setEnabled(selected);
    if (selected) m_text->setText(item->text(kColText));
}

// Shows the message of a failed result; true when the result is Ok.
bool CTreatmentItemDlg::Report(ETreatmentItemResult result, int status) {
    if (result == ETreatmentItemResult::Ok) return true;
    CMessageService::MessageBox(this, TreatmentItemResultMessage(result, status), windowTitle(),
                                CMessageService::EIcon::Warning);
    m_text->setFocus();
    return false;
}

void CTreatmentItemDlg::OnAdd() {
    if (!CheckStorableEdits(this, windowTitle(), {m_text})) return;
    QString code;
    int status = 0;
    if (!Report(AddTreatmentItem(m_db, m_category, m_text->text(), &code, &status), status)) {
        return;
    }
    m_resultKey = CVeloComDlg::MakeItemKey(m_category, code);
    Reload(code);
    m_text->setFocus();
    m_text->selectAll();
}

void CTreatmentItemDlg::OnRename() {
    const QString item = SelectedItem();
    if (item.isEmpty()) return;
    if (!CheckStorableEdits(this, windowTitle(), {m_text})) return;
    int status = 0;
    const ETreatmentItemResult result =
        RenameTreatmentItem(m_db, m_category, item, m_text->text(), &status);
    if (!Report(result, status)) {
        if (result == ETreatmentItemResult::NotFound) Reload();
        return;
    }
    m_resultKey = CVeloComDlg::MakeItemKey(m_category, item);
    Reload(item);
}

void CTreatmentItemDlg::OnDelete() {
    const QString item = SelectedItem();
    if (item.isEmpty()) return;
    const QString text = m_list->currentItem()->text(kColText);
    if (!CMessageService::AskYesNo(
            this, QStringLiteral("「%1」を削除してもよろしいですか。").arg(text), windowTitle())) {
        return;
    }
    int status = 0;
    const ETreatmentItemResult result = DeleteTreatmentItem(m_db, m_category, item, &status);
    // An item some other workstation removed first is gone all the same.
    if (result != ETreatmentItemResult::NotFound && !Report(result, status)) return;
    m_resultKey = CVeloComDlg::MakeItemKey(m_category, item);
    m_text->clear();
    Reload();
}

void CTreatmentItemDlg::OnChoose() {
    const QString item = SelectedItem();
    if (item.isEmpty()) return;
    m_resultKey = CVeloComDlg::MakeItemKey(m_category, item);
    accept();
}

QString CVeloComDlg::OpenTreatmentItem(CVeloDBSys* db, const char* categoryCode, QWidget* parent) {
    QWidget* owner = parent != nullptr ? parent : QApplication::activeWindow();
    const QString category = QString::fromLatin1(categoryCode != nullptr ? categoryCode : "");
    QString name;
    if (!TreatmentCategoryName(db, category, &name)) {
        CMessageService::MessageBox(
            owner, TreatmentItemResultMessage(ETreatmentItemResult::NoCategory),
            QStringLiteral("処置内容の登録"), CMessageService::EIcon::Warning);
        return QString();
    }
    CTreatmentItemDlg dialog(db, category, name, owner);
    dialog.exec();
    return dialog.ResultKey();
}
