// The file layer every connection of this library opens with: SQLite's default
// (unix) layer, unchanged except that each call into its file locking passes the
// fork gate (see fork_safety.h).
//
// Why: the unix layer keeps one mutex per open file, shared by every connection
// of the process to that file, and takes it for every lock and unlock and when a
// connection to the file is opened or closed. Held by another thread at the
// moment of a fork, it would stay locked in the child, and the child's first open
// of that file would wait for ever. With the gate, a fork waits until no such call
// is in progress.
#pragma once

namespace core_calc::navdata {

// Registers the layer with SQLite on first use (once per process) and returns its
// name, for sqlite3_open_v2.
const char* fork_safe_vfs();

}  // namespace core_calc::navdata
