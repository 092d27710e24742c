// CMessageService: the one way the suite shows message boxes, Yes/No questions, the print
// dialog, the folder browser and file pickers. Every call is recorded, and a test can
// install a script that answers instead of a person. On the offscreen or minimal platform
// without a script, each call answers its default (No / Cancel / no path) so that no test
// can wait for a person.
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QMessageBox;
class QPrintDialog;
class QWidget;

class CMessageService {
public:
    // Results of MessageBox, numbered as the suite counts them.
    enum EResult { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
    enum class EIcon { None, Information, Warning, Critical, Question };
    enum class EButtons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class EKind { MessageBox, YesNo, Directory, OpenFile, SaveFile, Print };
    using Icon = EIcon;
    using Buttons = EButtons;
    using Kind = EKind;

    struct Request {
        EKind kind = EKind::MessageBox;
        QString text;    // message, or the start folder/file of a picker
        QString title;   // window title
        QString filter;  // file pickers' name filter
        EIcon icon = EIcon::None;
        EButtons buttons = EButtons::Ok;
        int result = 0;  // the answer given (IDOK, IDNO, ...)
        QString path;    // the path a picker returned ("" on cancel)
    };

    // Shows a message box; returns IDOK, IDCANCEL, IDYES or IDNO. Yes/No boxes default to
    // No and Escape answers No (or Cancel where there is one).
    static int MessageBox(QWidget* parent, const QString& text, const QString& title,
                          EIcon icon = EIcon::Information, EButtons buttons = EButtons::Ok);
    // A Yes/No question whose default is No; true for Yes.
    static bool AskYesNo(QWidget* parent, const QString& text, const QString& title = QString());
    // The box that MessageBox shows a person for `request` (text, title, the picture of its
    // icon, its buttons and their default), not yet shown; pictures of the screens use it.
    static std::unique_ptr<QMessageBox> NewMessageBox(QWidget* parent, const Request& request);

    // Pickers return the chosen path, or "" on cancel.
    static QString GetExistingDirectory(QWidget* parent, const QString& title,
                                        const QString& start);
    static QString GetOpenFileName(QWidget* parent, const QString& title, const QString& start,
                                   const QString& filter = QString());
    static QString GetSaveFileName(QWidget* parent, const QString& title, const QString& start,
                                   const QString& filter = QString());
    // Runs the print dialog; true when the user accepted it (the dialog's printer then
    // holds the choices). A script's IDOK accepts without showing the dialog.
    static bool ExecPrintDialog(QPrintDialog* dialog);
    // True when no person can see a window: no application object, or the offscreen or
    // minimal platform (tests, scripted runs). Previews and dialogs are then skipped.
    static bool IsHeadless();

    // Installs the answerer for every kind of request (an empty function removes it). For
    // pickers, IDOK/IDYES accepts with the path from the path script, anything else cancels.
    static void SetScript(std::function<int(const Request&)> script);
    // The path a picker returns when the script accepts; "" (cancel) when not set.
    static void SetPathScript(std::function<QString(const Request&)> script);

    // Every request since the last ClearHistory, with its answer.
    static QList<Request> History();
    static void ClearHistory();
};
