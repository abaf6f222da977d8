// The process's privilege: see nt.h.
#include "nt.h"

#include <unistd.h>

int nt_is_privileged() { return ::geteuid() == 0; }
