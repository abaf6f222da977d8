// Process exit.
#pragma once

// Ends the program with that status (flushes the standard streams).
[[noreturn]] void pfm_exit(int status);
