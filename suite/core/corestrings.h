// Texts the billing screens share with the rest of the suite.
#pragma once

#include <QString>

// The update failure message (string 1514), from the string table when a module has
// registered it, else the suite's wording.
QString UpdateErrorText();
