// The suite's string table: numbered UTF-8 texts that modules register at start-up and
// look up by id, as command captions, tooltips and messages.
#pragma once

#include <QString>
#include <initializer_list>
#include <utility>

// Adds texts to the table; an id registered again takes the newer text.
void RegisterStrings(std::initializer_list<std::pair<int, const char*>> strings);

// The text of an id, or "" when none is registered.
QString LoadString(int id);
