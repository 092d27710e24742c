// CMessageService: scripted, recorded and real dialogs behind one set of calls.
#include "suite/tool/messageservice.h"

#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <mutex>

#include "suite/tool/commandicons.h"

namespace {

std::mutex g_mutex;
std::function<int(const CMessageService::Request&)> g_script;
std::function<QString(const CMessageService::Request&)> g_pathScript;
QList<CMessageService::Request> g_history;

using Request = CMessageService::Request;

int DefaultAnswer(const Request& request) {
    switch (request.buttons) {
        case CMessageService::EButtons::Ok:
            return CMessageService::IDOK;
        case CMessageService::EButtons::OkCancel:
            return CMessageService::IDCANCEL;
        case CMessageService::EButtons::YesNo:
            return CMessageService::IDNO;
        case CMessageService::EButtons::YesNoCancel:
            return CMessageService::IDNO;
    }
    return CMessageService::IDCANCEL;
}

void Record(const Request& request) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_history.append(request);
}

// Answers from the script, if one is installed. Returns false when the real dialog (or
// the headless default) has to answer.
bool Scripted(Request* request) {
    std::function<int(const Request&)> script;
    std::function<QString(const Request&)> pathScript;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        script = g_script;
        pathScript = g_pathScript;
    }
    if (!script) return false;
    request->result = script(*request);
    const bool picker = request->kind == CMessageService::EKind::Directory ||
                        request->kind == CMessageService::EKind::OpenFile ||
                        request->kind == CMessageService::EKind::SaveFile;
    const bool accepted =
        request->result == CMessageService::IDOK || request->result == CMessageService::IDYES;
    if (picker && accepted && pathScript) request->path = pathScript(*request);
    return true;
}

// The name of the picture that stands beside the message, or nullptr for none.
const char* MessageIconName(CMessageService::EIcon icon) {
    switch (icon) {
        case CMessageService::EIcon::Information:
            return "dialog-information";
        case CMessageService::EIcon::Warning:
            return "dialog-warning";
        case CMessageService::EIcon::Critical:
            return "dialog-error";
        case CMessageService::EIcon::Question:
            return "dialog-question";
        case CMessageService::EIcon::None:
            break;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<QMessageBox> CMessageService::NewMessageBox(QWidget* parent,
                                                            const Request& request) {
    auto owned = std::make_unique<QMessageBox>(QMessageBox::NoIcon, request.title, request.text,
                                               QMessageBox::NoButton, parent);
    QMessageBox& box = *owned;
    if (const char* name = MessageIconName(request.icon)) {
        box.setIconPixmap(MessageIcon(name).pixmap(QSize(kMessageIconSize, kMessageIconSize),
                                                   box.devicePixelRatio()));
    }
    // The buttons carry their words only, like those of every other dialog of the suite; a
    // platform theme would otherwise put the style's generic pictures on them.
    const auto add = [&box](QMessageBox::StandardButton which) {
        QPushButton* button = box.addButton(which);
        button->setIcon(QIcon());
        return button;
    };
    QPushButton* defaultButton = nullptr;
    switch (request.buttons) {
        case CMessageService::EButtons::Ok:
            defaultButton = add(QMessageBox::Ok);
            box.setEscapeButton(defaultButton);
            break;
        case CMessageService::EButtons::OkCancel:
            add(QMessageBox::Ok);
            defaultButton = add(QMessageBox::Cancel);
            box.setEscapeButton(defaultButton);
            break;
        case CMessageService::EButtons::YesNo:
            add(QMessageBox::Yes);
            defaultButton = add(QMessageBox::No);
            box.setEscapeButton(defaultButton);
            break;
        case CMessageService::EButtons::YesNoCancel:
            add(QMessageBox::Yes);
            defaultButton = add(QMessageBox::No);
            box.setEscapeButton(add(QMessageBox::Cancel));
            break;
    }
    box.setDefaultButton(defaultButton);
    return owned;
}

namespace {

int ShowMessageBox(QWidget* parent, const Request& request) {
    const std::unique_ptr<QMessageBox> box = CMessageService::NewMessageBox(parent, request);
    box->exec();
    switch (box->standardButton(box->clickedButton())) {
        case QMessageBox::Ok:
            return CMessageService::IDOK;
        case QMessageBox::Yes:
            return CMessageService::IDYES;
        case QMessageBox::No:
            return CMessageService::IDNO;
        case QMessageBox::Cancel:
            return CMessageService::IDCANCEL;
        default:
            return DefaultAnswer(request);
    }
}

QString Pick(QWidget* parent, CMessageService::EKind kind, const QString& title,
             const QString& start, const QString& filter) {
    Request request;
    request.kind = kind;
    request.text = start;
    request.title = title;
    request.filter = filter;
    request.buttons = CMessageService::EButtons::OkCancel;
    if (!Scripted(&request)) {
        if (CMessageService::IsHeadless()) {
            request.result = CMessageService::IDCANCEL;
        } else {
            switch (kind) {
                case CMessageService::EKind::Directory:
                    request.path = QFileDialog::getExistingDirectory(parent, title, start);
                    break;
                case CMessageService::EKind::OpenFile:
                    request.path = QFileDialog::getOpenFileName(parent, title, start, filter);
                    break;
                default:
                    request.path = QFileDialog::getSaveFileName(parent, title, start, filter);
                    break;
            }
            request.result =
                request.path.isEmpty() ? CMessageService::IDCANCEL : CMessageService::IDOK;
        }
    }
    if (request.result != CMessageService::IDOK && request.result != CMessageService::IDYES) {
        request.path.clear();
    }
    Record(request);
    return request.path;
}

}  // namespace

bool CMessageService::IsHeadless() {
    if (QGuiApplication::instance() == nullptr) return true;
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

int CMessageService::MessageBox(QWidget* parent, const QString& text, const QString& title,
                                EIcon icon, EButtons buttons) {
    Request request;
    request.kind = buttons == EButtons::YesNo ? EKind::YesNo : EKind::MessageBox;
    request.text = text;
    request.title = title;
    request.icon = icon;
    request.buttons = buttons;
    if (!Scripted(&request)) {
        request.result =
            CMessageService::IsHeadless() ? DefaultAnswer(request) : ShowMessageBox(parent, request);
    }
    Record(request);
    return request.result;
}

bool CMessageService::AskYesNo(QWidget* parent, const QString& text, const QString& title) {
    return MessageBox(parent, text, title, EIcon::Question, EButtons::YesNo) == IDYES;
}

QString CMessageService::GetExistingDirectory(QWidget* parent, const QString& title,
                                              const QString& start) {
    return Pick(parent, EKind::Directory, title, start, QString());
}

QString CMessageService::GetOpenFileName(QWidget* parent, const QString& title,
                                         const QString& start, const QString& filter) {
    return Pick(parent, EKind::OpenFile, title, start, filter);
}

QString CMessageService::GetSaveFileName(QWidget* parent, const QString& title,
                                         const QString& start, const QString& filter) {
    return Pick(parent, EKind::SaveFile, title, start, filter);
}

bool CMessageService::ExecPrintDialog(QPrintDialog* dialog) {
    Request request;
    request.kind = EKind::Print;
    request.title = dialog ? dialog->windowTitle() : QString();
    request.buttons = EButtons::OkCancel;
    if (dialog == nullptr) {
        request.result = IDCANCEL;
    } else if (!Scripted(&request)) {
        if (CMessageService::IsHeadless()) {
            request.result = IDCANCEL;
        } else {
            request.result = dialog->exec() == QDialog::Accepted ? IDOK : IDCANCEL;
        }
    }
    Record(request);
    return request.result == IDOK || request.result == IDYES;
}

void CMessageService::SetScript(std::function<int(const Request&)> script) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_script = std::move(script);
}

void CMessageService::SetPathScript(std::function<QString(const Request&)> script) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_pathScript = std::move(script);
}

QList<CMessageService::Request> CMessageService::History() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_history;
}

void CMessageService::ClearHistory() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_history.clear();
}
