// Whether a database folder lies on a network file system. The embedded engine keeps its
// table files in the folder and relies on the file locks of the machine it runs on; over
// NFS, SMB/CIFS and the like those locks are not reliable and the files' change counters
// are not seen alike on every machine, so workstations sharing such a folder can corrupt
// the database. The programs say so when they open such a folder, and point to the
// database server, which a folder chooses by holding a connection file.
#pragma once

#include <string>

// The name of the network file system whose statfs f_type is `fsType` ("NFS", "SMB/CIFS",
// "AFS", ...); "" for any other type.
std::string NetworkFileSystemName(unsigned long fsType);

// The network file system that the embedded engine would keep the tables of `folder` on,
// "" when there is nothing to warn about: the folder holds the server connection file
// ("velodb.conninfo", its tables live on a database server) or its file system is not a
// network one. A folder that does not exist yet is judged by the nearest folder above it
// that does.
std::string EmbeddedEngineNetworkShare(const std::string& folder, unsigned long fsType);
// The same, with the f_type that statfs gives for the folder; "" when statfs cannot tell.
std::string EmbeddedEngineNetworkShare(const std::string& folder);
