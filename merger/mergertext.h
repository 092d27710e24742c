// Messages and questions of the merger program. Every box goes through the suite's message
// service (tests script the answers and read what was shown), under the program's title.
#pragma once

#include <QString>

class QWidget;

namespace unita {

// The title of the merger's window and of its message boxes.
QString ProgramTitle();

enum class EMergerIcon { Information, Warning, Question };

void ShowMergerMessage(QWidget* parent, const QString& text,
                       EMergerIcon icon = EMergerIcon::Information);

// A Yes/No question whose default is No; true for Yes.
bool AskMerger(QWidget* parent, const QString& text);

}  // namespace unita
