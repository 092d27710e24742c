// The warning velo gives once at start when accounts outside the clinic can read the
// database folder or files in it: the tables, the settings with the mail passwords, the
// memo files and the sent mails hold patients' personal data. Plain logic, so a test
// reaches it without a window; the one warning at start is shown from here too.
#pragma once

#include <QString>
#include <string>
#include <vector>

// The warning for `folder` whose files and folders `open` (full paths, as
// privatefiles::OpenToOthers gives them) others can read; "" when `open` is empty.
QString OpenToOthersWarning(const QString& folder, const std::vector<std::string>& open);

// Says once, when accounts outside the clinic can read `folder` or files in it, which ones
// and how to close them: on the error output, and in a message box when `interactive` (not
// when velo only takes a picture of its window).
void WarnIfOpenToOthers(const QString& folder, bool interactive);
