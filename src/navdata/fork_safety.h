// What a child process needs to go on reading after fork() in a process whose
// other threads were reading at that moment.
//
// The child has only the forking thread. A mutex another thread held at the fork
// stays locked in the child for ever, and a connection another thread was using
// is left mid-statement. So, around every fork(), the handlers registered here
// take, in this order: the mutex of each participant (the connection pools); the
// fork gate, which every call into SQLite's file locking holds (those calls take
// the mutex SQLite keeps per open file, which the child needs to open that file
// again); then SQLite's static mutexes that reading threads take (see
// fork_safety.cpp), in SQLite's own nesting order. No other thread is inside any
// of them when the process is copied. Afterwards the parent releases them all; the
// child releases them and lets each participant drop what belonged to the threads
// that are gone.
//
// The handlers are registered with pthread_atfork once per process, when the
// first participant joins or the first gate is passed; a participant must leave
// before it is destroyed.
#pragma once

#include <mutex>

namespace core_calc::navdata {

class ForkParticipant {
 public:
  // Takes the participant's mutex; the fork follows.
  virtual void lock_for_fork() = 0;
  // In the parent after the fork: releases the mutex.
  virtual void unlock_after_fork_in_parent() = 0;
  // In the child after the fork: forgets what other threads may have been using,
  // then releases the mutex.
  virtual void reset_after_fork_in_child() = 0;

 protected:
  ~ForkParticipant() = default;
};

void join_fork_handling(ForkParticipant& participant);
void leave_fork_handling(ForkParticipant& participant);

// Held by a thread for the length of one call into SQLite's file locking; a
// fork waits until no thread holds it. Threads pass it side by side; it must not
// be nested in one thread.
class ForkGate {
 public:
  ForkGate();
  ~ForkGate();
  ForkGate(const ForkGate&) = delete;
  ForkGate& operator=(const ForkGate&) = delete;

 private:
  std::mutex& lane_;
};

}  // namespace core_calc::navdata
