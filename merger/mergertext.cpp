#include "merger/mergertext.h"

#include <QCursor>
#include <QGuiApplication>
#include <vector>

#include "suite/tool/messageservice.h"

namespace unita {

namespace {

// Boxes come up in the middle of commands that show the wait cursor; the box shows the
// normal cursor, and the command's cursor returns when it closes.
class CNormalCursorWhileShown {
public:
    CNormalCursorWhileShown() {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
        while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
            m_lifted.push_back(*cursor);
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ~CNormalCursorWhileShown() {
        for (auto it = m_lifted.rbegin(); it != m_lifted.rend(); ++it) {
            QGuiApplication::setOverrideCursor(*it);
        }
    }
    CNormalCursorWhileShown(const CNormalCursorWhileShown&) = delete;
    CNormalCursorWhileShown& operator=(const CNormalCursorWhileShown&) = delete;

private:
    std::vector<QCursor> m_lifted;
};

}  // namespace

QString ProgramTitle() { return QStringLiteral("Calyx & Xylo データベースマージプログラム"); }

void ShowMergerMessage(QWidget* parent, const QString& text, EMergerIcon icon) {
    CMessageService::EIcon shown = CMessageService::EIcon::Information;
    if (icon == EMergerIcon::Warning) shown = CMessageService::EIcon::Warning;
    if (icon == EMergerIcon::Question) shown = CMessageService::EIcon::Question;
    const CNormalCursorWhileShown cursor;
    CMessageService::MessageBox(parent, text, ProgramTitle(), shown);
}

bool AskMerger(QWidget* parent, const QString& text) {
    const CNormalCursorWhileShown cursor;
    return CMessageService::AskYesNo(parent, text, ProgramTitle());
}

}  // namespace unita
