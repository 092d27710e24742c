// Small direct record-manager helpers of velodb for table files that are looked at as
// files rather than through a table class: the record length a file declares, and the
// table files present in a folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velodb {

// Opens the file read-only and asks the record manager for its record length. Returns the
// record manager's status (0 on success).
int ReadRecordLength(const std::string& path, uint32_t* recordLength);

// True when the folder's tables live on a server (it holds a connection file, readable or not).
bool IsServerFolder(const std::string& folder);

// The tables of a database folder, sorted byte-wise: its table files, or, for a folder whose
// tables live on a server, the catalogue's tables the server holds.
std::vector<std::string> ListTables(const std::string& folder);

// Names of the table files (extension ".BTR" in any case) in folder, sorted byte-wise.
std::vector<std::string> ListTableFiles(const std::string& folder);

// True for a table file's name: it ends with ".BTR" in any case.
bool HasTableExtension(const std::string& name);

// "reservation", "Reservation.btr" -> "RESERVATION.BTR".
std::string TableFileName(const std::string& table);

}  // namespace velodb
