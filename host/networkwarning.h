// The warning velo gives once at start when the database folder it opens keeps its tables
// in the embedded engine on a network file system, where workstations sharing the folder
// can corrupt the database. Plain logic, so a test reaches it without a window.
#pragma once

#include <QString>
#include <string>

// The warning for `folder` on the network file system `share` ("NFS", "SMB/CIFS", ...), as
// EmbeddedEngineNetworkShare names it; "" when `share` is empty (nothing to warn about).
QString NetworkShareWarning(const QString& folder, const std::string& share);
