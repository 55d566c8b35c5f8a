// The file layer the registry store opens its database through: SQLite's own
// Unix layer, with changes that cut the system calls and waits of a small
// committed transaction (on a virtual machine each system call costs
// microseconds, and a registry call is one transaction). A small write
// transaction makes three system calls (writer lock, one write, unlock)
// where the Unix layer makes eight:
//
// - Write-ahead log frames are gathered in memory and written with one
//   system call when the transaction's commit frame is complete, instead of
//   two calls per frame (frame header and page). Anything else done with the
//   log file (reads, syncs, size queries, writes elsewhere) and every barrier
//   on the shared index writes the gathered bytes first, so no process ever
//   sees a commit whose frames are not in the file, and a process killed
//   before the write simply never committed.
// - A connection starting a read transaction holding no other lock mostly
//   does not try to move a reader mark forward to the newest frame (an
//   exclusive lock taken and dropped on a reader slot: two system calls in
//   every transaction after a commit). It reads under the newest mark that
//   exists, which sees exactly the same data; a mark only limits how far a
//   checkpoint may copy while the reader runs. Checkpoints still move the
//   marks and log restarts reset them, every 16th read transaction moves one
//   as usual (so that overlapping readers cannot hold an old mark forever),
//   and when no usable mark exists the attempt goes through.
// - A write transaction announced by kWriteIntentControl takes the writer
//   lock where SQLite asks for its reader lock, and holds no reader lock at
//   all: while a connection holds the writer lock nobody can commit, restart
//   the log or recover it, and a checkpoint cannot copy anything newer than
//   the writer's view, which is what a reader lock would have protected. When
//   the writer lock is given back, the reader lock is taken for real, unless
//   kTransactionEndsControl said that the transaction ends there (nothing is
//   read between the writer lock's release and the reader lock's). Should a
//   checkpoint have taken that slot's mark out of use meanwhile (the slot
//   looked free), the writer lock is kept instead until the transaction ends.
//
// Locking between processes is otherwise unchanged (POSIX locks on the -shm
// file), so processes using the plain Unix layer on the same file stay
// compatible.
#ifndef TOBRELTOOLS_PLATFORM_REGISTRY_VFS_H_
#define TOBRELTOOLS_PLATFORM_REGISTRY_VFS_H_

#if defined(_WIN32)
#error "registry_vfs.h belongs to the registry emulation for hosts that are not Windows"
#endif

#include "TobrelTools/export.h"

namespace tobrel {
namespace regstore {

// File controls on the main database (sqlite3_file_control with an int 1 or
// 0): the next transaction begun is a write transaction; the transaction is
// being committed or rolled back with no statement left running.
const int kWriteIntentControl = 0x54520001;
const int kTransactionEndsControl = 0x54520002;

// Registers the layer with SQLite (once, not as the default) and returns its
// name for sqlite3_open_v2, or nullptr when it cannot be registered (SQLite's
// default layer is then the one to use).
TOBREL_API const char* storeVfsName();

}  // namespace regstore
}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_REGISTRY_VFS_H_
