// Read-only connections to navigation database files, kept open between reading
// calls together with their prepared statements, so a reading call costs a query
// rather than an open that parses the schema again.
//
// Invariants:
// - A connection serves one thread at a time: a Lease holds it exclusively and
//   gives it back when it ends.
// - A connection is handed out again only for the file it was opened on: the
//   same absolute name (a relative path is taken under the current directory of
//   the moment) and the same device, inode, size and modification time. A file
//   replaced or rewritten since gets a fresh connection, and the idle connections
//   of the earlier file are closed.
// - A missing file is never created: its lease fails every statement with
//   SQLite's "unable to open database file", so each reader meets the failure
//   inside its own guard, at its first query.
// - At most kIdlePerFile idle connections per file and kIdleTotal in all.
// - After fork() the child forgets every connection (other threads of the parent
//   may have been using them) without closing it, and opens fresh ones; a lease
//   held across the fork is dropped in the child when it ends.
//
// The pool is an object its user owns (the module holds one for the process);
// any number of threads may lease from it at once.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "navdata/database.h"
#include "navdata/fork_safety.h"

namespace core_calc::navdata {

// What identifies a file's contents without reading them.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0;

  bool operator==(const FileStamp&) const = default;
};

class ConnectionPool final : private ForkParticipant {
 public:
  static constexpr std::size_t kIdlePerFile = 4;
  static constexpr std::size_t kIdleTotal = 8;

  class Lease {
   public:
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    ~Lease();

    const Database& db() const { return *db_; }

   private:
    friend class ConnectionPool;
    Lease(ConnectionPool* pool, std::string name, FileStamp stamp, std::unique_ptr<Database> db,
          std::uint64_t generation);

    ConnectionPool* pool_;  // null for a missing file: nothing goes back
    std::string name_;
    FileStamp stamp_;
    std::unique_ptr<Database> db_;
    std::uint64_t generation_;
  };

  ConnectionPool();
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // A connection to the file at `path`. A missing file gives a lease whose
  // statements fail (see above); a file that exists but cannot be opened (a
  // directory) throws DatabaseError; a path containing NUL throws
  // std::invalid_argument.
  Lease lease(const std::string& path);

  std::size_t idle_count() const;

 private:
  struct Idle {
    std::string name;
    FileStamp stamp;
    std::unique_ptr<Database> db;
  };

  static Lease missing_lease();
  void give_back(Lease& lease) noexcept;

  void lock_for_fork() override;
  void unlock_after_fork_in_parent() override;
  void reset_after_fork_in_child() override;

  mutable std::mutex mutex_;
  std::vector<Idle> idle_;    // least recently returned first
  std::uint64_t generation_;  // advances in a forked child; older leases are forgotten
};

}  // namespace core_calc::navdata
