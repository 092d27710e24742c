// The string resources of the lab-work module, registered in the suite's string table.
#pragma once

// Registers the lab module's strings; calling it again is harmless.
void RegisterLabStrings();
