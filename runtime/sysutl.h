// The host name and the process's group name.
#pragma once

#include <string>

// Host name, or "UnknownHost" when it cannot be had.
std::string sysutl_myhostname();
// The group name, or its number when the group database has no entry for it.
std::string sysutl_mygroupname();
