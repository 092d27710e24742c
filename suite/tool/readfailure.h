// When a screen cannot read one of its table files (a truncated or overwritten file, a
// disk error), showing an empty day or an empty list would let staff book into chairs that
// are taken. Screens say instead which file could not be read and what to do about it.
#pragma once

#include <QString>

class QLabel;
class QWidget;

// The message for a read of `tableFile` (for example "RESERVATION.BTR") that ended with the
// record manager's `status`: names the file, says its data could not be read, and tells the
// user to run the database check or call the administrator.
QString TableReadFailureMessage(const QString& tableFile, int status);

// A one-line form of the same, for a status line or a notice drawn over an empty view.
QString TableReadFailureNotice(const QString& tableFile);

// The notice a screen keeps over (or under) what it shows while that could not be read
// whole: a red strip, hidden until SetReadFailureNotice names a file. Every screen uses
// the same one, so staff learn to recognise it.
QLabel* NewReadFailureNotice(QWidget* parent);
// Shows the notice for `tableFile`, or hides it when `tableFile` is empty.
void SetReadFailureNotice(QLabel* notice, const QString& tableFile);

// Shows TableReadFailureMessage as a warning with `title`.
void ShowTableReadFailure(QWidget* parent, const QString& title, const QString& tableFile,
                          int status);
