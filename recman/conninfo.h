// The connection file of a server-backed database folder, and how a connection string is
// named in messages.
#pragma once

#include <string>

namespace recman {

// The path of the connection file in `folder`.
std::string ConnInfoPath(const std::string& folder);

// The server a connection string names, as messages show it: "HOST:PORT のデータベース NAME"
// (the socket folder stands for the host when the connection goes through a socket).
std::string DescribeServer(const std::string& conninfo);

}  // namespace recman
