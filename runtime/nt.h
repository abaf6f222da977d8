// The process's privilege.
#pragma once

// 1 when the process runs privileged (euid 0), else 0.
int nt_is_privileged();
