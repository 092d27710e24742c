// The mail template dialog and CVeloComDlg::OpenMailTemplateSetting that runs it.
#include "suite/comdlg/mailtemplatedlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "suite/comdlg/velocomdlg.h"
#include "suite/text/cp932.h"
#include "suite/tool/dialogbuttons.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/storabletext.h"

namespace {

enum EColumn : int { kColNumber, kColTitle };
constexpr int kMaxLineLength = 255;

QString NewTemplateTitle() { return QStringLiteral("新しいテンプレート"); }

QString ChoiceText(const CMailTemplate& t) {
    return QStringLiteral("%1：%2").arg(t.number).arg(t.title);
}

QPushButton* MakeButton(QWidget* parent, int id, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CMailTemplateDlg::CMailTemplateDlg(int number, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("メールのテンプレート設定"));
    resize(760, 520);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kIdList));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels({QStringLiteral("No."), QStringLiteral("タイトル")});
    m_list->setColumnWidth(kColNumber, 48);
    m_list->setMinimumWidth(220);
    QPushButton* add = MakeButton(this, kIdAdd, QStringLiteral("追加"));
    m_delete = MakeButton(this, kIdDelete, QStringLiteral("削除"));
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(m_delete);
    listButtons->addStretch(1);
    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(new QLabel(QStringLiteral("テンプレート一覧"), this));
    listColumn->addWidget(m_list, 1);
    listColumn->addLayout(listButtons);

    m_title = new QLineEdit(this);
    m_title->setObjectName(QString::number(kIdTitle));
    m_title->setMaxLength(kMaxLineLength);
    m_subject = new QLineEdit(this);
    m_subject->setObjectName(QString::number(kIdSubject));
    m_subject->setMaxLength(kMaxLineLength);
    m_body = new QPlainTextEdit(this);
    m_body->setObjectName(QString::number(kIdBody));
    m_body->setTabChangesFocus(true);
    m_body->setLineWrapMode(QPlainTextEdit::NoWrap);

    m_placeholder = new QComboBox(this);
    m_placeholder->setObjectName(QString::number(kIdPlaceholder));
    for (const CMailTemplateSet::Placeholder& p : CMailTemplateSet::Placeholders()) {
        const QString text = QString::fromUtf8(p.text);
        m_placeholder->addItem(QStringLiteral("%1　%2").arg(text, QString::fromUtf8(p.meaning)),
                               text);
    }
    m_insert = MakeButton(this, kIdInsert, QStringLiteral("挿入"));
    auto* placeholderRow = new QHBoxLayout;
    placeholderRow->addWidget(m_placeholder);
    placeholderRow->addWidget(m_insert);
    placeholderRow->addWidget(
        new QLabel(QStringLiteral("本文のカーソル位置に挿入します（送信時に置き換え）"), this));
    placeholderRow->addStretch(1);

    auto* editor = new QFormLayout;
    editor->addRow(QStringLiteral("タイトル"), m_title);
    editor->addRow(QStringLiteral("件名"), m_subject);
    editor->addRow(QStringLiteral("本文"), m_body);
    editor->addRow(QStringLiteral("差し込み文字"), placeholderRow);

    auto* top = new QHBoxLayout;
    top->addLayout(listColumn);
    top->addLayout(editor, 1);

    m_chosen = new QComboBox(this);
    m_chosen->setObjectName(QString::number(kIdChosen));
    m_chosen->setMinimumWidth(240);
    auto* chosenRow = new QHBoxLayout;
    chosenRow->addWidget(new QLabel(QStringLiteral("予約お知らせメールに使うテンプレート"), this));
    chosenRow->addWidget(m_chosen);
    chosenRow->addStretch(1);

    QPushButton* ok = nullptr;
    QDialogButtonBox* buttons = MakeOkCancelButtons(this, &ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(chosenRow);
    layout->addWidget(buttons);

    connect(m_list, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentItemChanged(current); });
    connect(add, &QPushButton::clicked, this, &CMailTemplateDlg::OnAdd);
    connect(m_delete, &QPushButton::clicked, this, &CMailTemplateDlg::OnDelete);
    connect(m_insert, &QPushButton::clicked, this, &CMailTemplateDlg::OnInsert);
    connect(m_title, &QLineEdit::textChanged, this, &CMailTemplateDlg::OnEdited);
    connect(m_subject, &QLineEdit::textChanged, this, &CMailTemplateDlg::OnEdited);
    connect(m_body, &QPlainTextEdit::textChanged, this, &CMailTemplateDlg::OnEdited);
    connect(m_chosen, &QComboBox::currentIndexChanged, this, &CMailTemplateDlg::OnChosenChanged);
    connect(ok, &QPushButton::clicked, this, &CMailTemplateDlg::OnOK);

    m_set.Load();
    const bool known = m_set.Find(number) != nullptr;
    const int first = m_set.Templates().empty() ? -1 : m_set.Templates().front().number;
    FillChosen();
    FillList(known ? number : first);
}

QTreeWidgetItem* CMailTemplateDlg::ItemOf(int number) const {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(kColNumber, Qt::UserRole).toInt() == number) return item;
    }
    return nullptr;
}

// Rebuilds the list from the working copy (which is in number order: new templates take
// the next number) and makes `select` the template in the editor.
void CMailTemplateDlg::FillList(int select) {
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        for (const CMailTemplate& t : m_set.Templates()) {
            auto* item = new QTreeWidgetItem(m_list, {QString::number(t.number), t.title});
            item->setData(kColNumber, Qt::UserRole, t.number);
        }
    }
    QTreeWidgetItem* item = ItemOf(select);
    if (item != nullptr) {
        const QSignalBlocker blocker(m_list);
        m_list->setCurrentItem(item);
        m_list->scrollToItem(item);
    }
    ShowTemplate(item != nullptr ? select : -1);
}

// Fills the choice of the reminder's template; a stored number without a template shows no
// choice until the user makes one.
void CMailTemplateDlg::FillChosen() {
    const QSignalBlocker blocker(m_chosen);
    m_chosen->clear();
    for (const CMailTemplate& t : m_set.Templates()) m_chosen->addItem(ChoiceText(t), t.number);
    m_chosen->setCurrentIndex(m_chosen->findData(m_set.Chosen()));
}

void CMailTemplateDlg::ShowTemplate(int number) {
    const CMailTemplate* t = m_set.Find(number);
    m_current = t != nullptr ? number : -1;
    m_showing = true;
    m_title->setText(t != nullptr ? t->title : QString());
    m_subject->setText(t != nullptr ? t->subject : QString());
    m_body->setPlainText(t != nullptr ? t->body : QString());
    m_showing = false;
    const bool editing = t != nullptr;
    for (QWidget* w : std::initializer_list<QWidget*>{m_title, m_subject, m_body, m_placeholder,
                                                      m_insert, m_delete}) {
        w->setEnabled(editing);
    }
}

void CMailTemplateDlg::OnCurrentItemChanged(QTreeWidgetItem* current) {
    // The template left behind already holds every keystroke (OnEdited).
    ShowTemplate(current != nullptr ? current->data(kColNumber, Qt::UserRole).toInt() : -1);
}

void CMailTemplateDlg::OnEdited() {
    if (m_showing || m_current < 0) return;
    const CMailTemplate* before = m_set.Find(m_current);
    const bool titleChanged = before != nullptr && before->title != m_title->text();
    m_set.Edit(m_current, m_title->text(), m_subject->text(), m_body->toPlainText());
    if (!titleChanged) return;
    if (QTreeWidgetItem* item = ItemOf(m_current)) item->setText(kColTitle, m_title->text());
    const int index = m_chosen->findData(m_current);
    if (index >= 0) m_chosen->setItemText(index, ChoiceText(*m_set.Find(m_current)));
}

void CMailTemplateDlg::OnAdd() {
    const int number = m_set.Add(NewTemplateTitle());
    FillChosen();
    FillList(number);
    m_title->setFocus();
    m_title->selectAll();
}

void CMailTemplateDlg::OnDelete() {
    const CMailTemplate* t = m_set.Find(m_current);
    if (t == nullptr) return;
    if (!CMessageService::AskYesNo(
            this,
            QStringLiteral("テンプレート「%1：%2」を削除してもよろしいですか。")
                .arg(t->number)
                .arg(t->title),
            windowTitle())) {
        return;
    }
    // The template below the deleted one takes its place, or the one above at the end.
    const int row = m_list->indexOfTopLevelItem(ItemOf(m_current));
    const int removed = m_current;
    m_current = -1;
    m_set.Remove(removed);
    int next = -1;
    if (m_list->topLevelItemCount() > 1) {
        const int nextRow = row + 1 < m_list->topLevelItemCount() ? row + 1 : row - 1;
        next = m_list->topLevelItem(nextRow)->data(kColNumber, Qt::UserRole).toInt();
    }
    FillChosen();
    FillList(next);
}

void CMailTemplateDlg::OnInsert() {
    if (m_current < 0) return;
    m_body->insertPlainText(m_placeholder->currentData().toString());
    m_body->setFocus();
}

void CMailTemplateDlg::OnChosenChanged(int index) {
    m_set.SetChosen(index >= 0 ? m_chosen->itemData(index).toInt() : -1);
}

// Titles, subjects and bodies must be storable in code page 932; the first template that
// is not is shown with the field in question focused.
bool CMailTemplateDlg::TextsStorable() {
    for (const CMailTemplate& t : m_set.Templates()) {
        const std::pair<QString, QWidget*> fields[] = {
            {t.title, m_title}, {t.subject, m_subject}, {t.body, m_body}};
        for (const auto& [text, widget] : fields) {
            if (CharactersCp932Lacks(text).isEmpty()) continue;
            if (QTreeWidgetItem* item = ItemOf(t.number)) m_list->setCurrentItem(item);
            CheckStorableText(this, windowTitle(), text);
            widget->setFocus();
            return false;
        }
    }
    return true;
}

void CMailTemplateDlg::OnOK() {
    if (!TextsStorable()) return;
    std::string error;
    if (!m_set.Save(&error)) {
        CMessageService::MessageBox(this,
                                    QStringLiteral("テンプレートを保存できませんでした。\n%1")
                                        .arg(QString::fromLocal8Bit(error.c_str())),
                                    windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    QDialog::accept();
}

void CMailTemplateDlg::reject() {
    if (m_set.IsModified() &&
        !CMessageService::AskYesNo(this,
                                   QStringLiteral("変更したテンプレートを保存せずに"
                                                  "閉じてもよろしいですか。"),
                                   windowTitle())) {
        return;
    }
    QDialog::reject();
}

bool CVeloComDlg::OpenMailTemplateSetting(int number, QWidget* parent) {
    QWidget* owner = parent != nullptr ? parent : QApplication::activeWindow();
    CMailTemplateDlg dialog(number, owner);
    return dialog.exec() == QDialog::Accepted;
}
