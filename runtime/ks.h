// Process start-up.
#pragma once

// Called once, first, by every program: the locale of the environment, and
// stdout in big pieces unless it is a terminal.
void ks_system_init();
