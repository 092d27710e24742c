// The OK and "ｷｬﾝｾﾙ" buttons of the suite's dialogs, named "1" and "2" (IDOK, IDCANCEL) so
// tests find them; OK is the default button and "ｷｬﾝｾﾙ" rejects the dialog.
#pragma once

class QDialog;
class QDialogButtonBox;
class QPushButton;

// Makes the button box on `dialog`; the caller connects the returned OK button (*ok) to its
// own handler and places the box.
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, QPushButton** ok);
