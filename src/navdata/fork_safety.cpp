#include "navdata/fork_safety.h"

#include <pthread.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <system_error>
#include <vector>

namespace core_calc::navdata {
namespace {

// SQLite's static mutexes that a reading thread may hold and that the child
// needs for its own reading, in the order SQLite nests them (an earlier one may
// be held while a later one is taken, never the reverse), so taking them in this
// order cannot deadlock with a reading thread:
// - VFS1: the unix layer's lock of its table of open files, taken when a file is
//   opened or closed; held while it allocates, and while it names a temporary
//   file (a large sort spills to one) with random bytes;
// - PRNG: the random number generator, which the child's first open resets,
//   since the process id changed; held while it seeds itself the first time;
// - MAIN: taken by every open to find the file layer;
// - MEM: the allocator's statistics, taken for every allocation and release;
// - PMEM: the page cache's statistics, taken for every page allocated or freed.
constexpr std::array<int, 5> kSqliteMutexes = {SQLITE_MUTEX_STATIC_VFS1, SQLITE_MUTEX_STATIC_PRNG,
                                               SQLITE_MUTEX_STATIC_MAIN, SQLITE_MUTEX_STATIC_MEM,
                                               SQLITE_MUTEX_STATIC_PMEM};

// The gate is a set of lanes: a thread passes through its own lane, so threads
// rarely wait for each other, and a fork closes every lane.
constexpr std::size_t kGateLanes = 16;

// Process-wide by nature: fork() copies the whole process. Created once and never
// destroyed, since the handlers may run until the process ends.
struct ForkRegistry {
  std::mutex mutex;  // guards participants; held across the fork
  std::vector<ForkParticipant*> participants;
  std::array<std::mutex, kGateLanes> gate;
  std::array<sqlite3_mutex*, kSqliteMutexes.size()> sqlite_mutexes{};
};

ForkRegistry& registry();

void prepare() {
  ForkRegistry& r = registry();
  r.mutex.lock();
  for (ForkParticipant* p : r.participants) p->lock_for_fork();
  for (std::mutex& lane : r.gate) lane.lock();
  for (sqlite3_mutex* m : r.sqlite_mutexes) sqlite3_mutex_enter(m);
}

void release_sqlite_and_gate(ForkRegistry& r) {
  for (auto m = r.sqlite_mutexes.rbegin(); m != r.sqlite_mutexes.rend(); ++m)
    sqlite3_mutex_leave(*m);
  for (std::mutex& lane : r.gate) lane.unlock();
}

void in_parent() {
  ForkRegistry& r = registry();
  release_sqlite_and_gate(r);
  for (auto p = r.participants.rbegin(); p != r.participants.rend(); ++p)
    (*p)->unlock_after_fork_in_parent();
  r.mutex.unlock();
}

void in_child() {
  ForkRegistry& r = registry();
  release_sqlite_and_gate(r);
  for (auto p = r.participants.rbegin(); p != r.participants.rend(); ++p)
    (*p)->reset_after_fork_in_child();
  r.mutex.unlock();
}

ForkRegistry& registry() {
  static ForkRegistry* const instance = [] {
    // The static mutexes exist only once SQLite is initialised; a null one (a
    // build without threads) is taken and released as a no-op.
    sqlite3_initialize();
    auto* r = new ForkRegistry;
    for (std::size_t i = 0; i < kSqliteMutexes.size(); ++i)
      r->sqlite_mutexes[i] = sqlite3_mutex_alloc(kSqliteMutexes[i]);
    if (const int rc = pthread_atfork(&prepare, &in_parent, &in_child); rc != 0)
      throw std::system_error(rc, std::generic_category(), "pthread_atfork");
    return r;
  }();
  return *instance;
}

}  // namespace

ForkGate::ForkGate()
    : lane_([]() -> std::mutex& {
        static std::atomic<std::size_t> next_lane{0};
        thread_local const std::size_t lane = next_lane++ % kGateLanes;
        return registry().gate[lane];
      }()) {
  lane_.lock();
}

ForkGate::~ForkGate() {
  lane_.unlock();
}

void join_fork_handling(ForkParticipant& participant) {
  ForkRegistry& r = registry();
  std::lock_guard lock(r.mutex);
  r.participants.push_back(&participant);
}

void leave_fork_handling(ForkParticipant& participant) {
  ForkRegistry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase(r.participants, &participant);
}

}  // namespace core_calc::navdata
