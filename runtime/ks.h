// Process start-up, and the one policy for memory exhaustion.
//
// Memory exhaustion ends the process. ks_system_init installs a new-handler:
// when operator new (plain or nothrow) cannot get memory, it writes the one
// line "<program>: Error: Unable to allocate memory." on stderr (the name
// given to imsg_set_app_name, stdout flushed and a progress line erased
// first) and ends the process with status 1 at once, without unwinding:
// temporary files (an uncommitted atomic_file's, an import's) stay behind.
// So no `new` throws std::bad_alloc and none returns null: code neither
// catches bad_alloc nor checks `new` for null, and no status reports a
// failed `new` (the status 12 that the driver interface keeps is never
// returned). What an input says it needs is checked
// against the input's real size before it is allocated, so that a damaged
// file is reported as damaged and the run goes on. Allocations outside
// operator new still fail softly: the storage areas (stg.h) return null, and
// glob and the digests report their own failures.
#pragma once

// Called once, first, by every program: the new-handler above, the locale of
// the environment, and stdout in big pieces unless it is a terminal.
void ks_system_init();
