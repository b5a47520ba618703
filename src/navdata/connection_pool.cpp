#include "navdata/connection_pool.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>

namespace core_calc::navdata {
namespace {

// The name SQLite itself would resolve the path to at this moment.
std::string absolute_name(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  if (error) return path;  // no current directory to name: the path as given
  return cwd.string() + "/" + path;
}

std::optional<FileStamp> stamp_of(const std::string& name) {
  struct stat info;
  if (name.empty() || ::stat(name.c_str(), &info) != 0) return std::nullopt;
  return FileStamp{
      info.st_dev, info.st_ino, info.st_size,
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

}  // namespace

ConnectionPool::Lease::Lease(ConnectionPool* pool, std::string name, FileStamp stamp,
                             std::unique_ptr<Database> db, std::uint64_t generation)
    : pool_(pool),
      name_(std::move(name)),
      stamp_(stamp),
      db_(std::move(db)),
      generation_(generation) {}

ConnectionPool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)),
      name_(std::move(other.name_)),
      stamp_(other.stamp_),
      db_(std::move(other.db_)),
      generation_(other.generation_) {}

ConnectionPool::Lease::~Lease() {
  if (pool_ && db_) pool_->give_back(*this);
}

ConnectionPool::ConnectionPool() : generation_(0) {
  join_fork_handling(*this);
}

ConnectionPool::~ConnectionPool() {
  leave_fork_handling(*this);
}

ConnectionPool::Lease ConnectionPool::lease(const std::string& path) {
  if (path.find('\0') != std::string::npos) throw std::invalid_argument("embedded null byte");
  // Stamped before opening: should the file change in between, the connection
  // carries the older stamp and is merely replaced on its next lease.
  const std::string name = absolute_name(path);
  const std::optional<FileStamp> stamp = stamp_of(name);
  std::vector<std::unique_ptr<Database>> stale;  // closed once the mutex is released
  std::unique_ptr<Database> reused;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    generation = generation_;
    auto same_file = [&](const Idle& idle) {
      return stamp && idle.name == name && idle.stamp == *stamp;
    };
    // The most recently returned connection of this very file, its pages warmest.
    for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
      if (!same_file(*it)) continue;
      reused = std::move(it->db);
      idle_.erase(std::next(it).base());
      break;
    }
    // Connections to an earlier file of this name will never serve again.
    for (auto it = idle_.begin(); it != idle_.end();) {
      if (it->name == name && !same_file(*it)) {
        stale.push_back(std::move(it->db));
        it = idle_.erase(it);
      } else {
        ++it;
      }
    }
  }
  stale.clear();
  if (!stamp) return missing_lease();
  if (reused) return Lease(this, name, *stamp, std::move(reused), generation);
  try {
    return Lease(this, name, *stamp, std::make_unique<Database>(name), generation);
  } catch (const DatabaseError&) {
    if (!stamp_of(name)) return missing_lease();  // deleted in the meantime
    throw;
  }
}

ConnectionPool::Lease ConnectionPool::missing_lease() {
  return Lease(nullptr, {}, {},
               std::make_unique<Database>(Database::Missing{sqlite3_errstr(SQLITE_CANTOPEN)}), 0);
}

void ConnectionPool::give_back(Lease& lease) noexcept {
  std::unique_ptr<Database> evicted;  // closed once the mutex is released
  std::lock_guard lock(mutex_);
  if (lease.generation_ != generation_) {
    // Leased before a fork, returned in the child: the parent's threads may
    // have left SQLite's state of it half changed, so it is never touched again.
    static_cast<void>(lease.db_.release());
    return;
  }
  std::size_t same_name = 0;
  for (const Idle& idle : idle_) same_name += idle.name == lease.name_;
  if (same_name >= kIdlePerFile) {
    evicted = std::move(lease.db_);
    return;
  }
  try {
    idle_.push_back({std::move(lease.name_), lease.stamp_, std::move(lease.db_)});
  } catch (const std::bad_alloc&) {
    return;  // the connection, left in the lease, closes with it
  }
  if (idle_.size() > kIdleTotal) {
    evicted = std::move(idle_.front().db);
    idle_.erase(idle_.begin());
  }
}

std::size_t ConnectionPool::idle_count() const {
  std::lock_guard lock(mutex_);
  return idle_.size();
}

void ConnectionPool::lock_for_fork() {
  mutex_.lock();
}

void ConnectionPool::unlock_after_fork_in_parent() {
  mutex_.unlock();
}

void ConnectionPool::reset_after_fork_in_child() {
  // Closing would let SQLite act on locks and files the parent still uses.
  for (Idle& idle : idle_) static_cast<void>(idle.db.release());
  idle_.clear();
  ++generation_;
  mutex_.unlock();
}

}  // namespace core_calc::navdata
