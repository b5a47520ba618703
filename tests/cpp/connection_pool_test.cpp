// The pool's identity rule: a connection comes back only for the same file
// (name, device, inode, size, modification time), stale ones are closed, a missing
// file fails at its first statement without being created, and an idle connection
// holds no read transaction.
#include "navdata/connection_pool.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace core_calc::navdata {
namespace {

namespace fs = std::filesystem;

// A database holding the single value `value`.
void write_db(const fs::path& path, int value) {
  fs::remove(path);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string sql =
      "CREATE TABLE t (v); INSERT INTO t VALUES (" + std::to_string(value) + ")";
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

int value_of(const Database& db) {
  Statement st(db, "SELECT v FROM t");
  if (!st.step()) throw std::runtime_error("no row");
  return static_cast<int>(st.column_int(0));
}

class ConnectionPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("pool-test-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "nav.db").string();
    write_db(path_, 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  sqlite3* handle_of_next_lease(const std::string& path) {
    const ConnectionPool::Lease lease = pool_.lease(path);
    return lease.db().handle();
  }

  fs::path dir_;
  std::string path_;
  ConnectionPool pool_;
};

TEST_F(ConnectionPoolTest, ReusesTheConnectionOfTheSameFileOnly) {
  sqlite3* first = handle_of_next_lease(path_);
  EXPECT_EQ(handle_of_next_lease(path_), first);
  {
    const ConnectionPool::Lease a = pool_.lease(path_);
    const ConnectionPool::Lease b = pool_.lease(path_);  // one connection, one thread
    EXPECT_NE(a.db().handle(), b.db().handle());
  }
  write_db(dir_ / "other.db", 2);
  const std::string other = (dir_ / "other.db").string();
  EXPECT_NE(handle_of_next_lease(other), first);
  EXPECT_EQ(handle_of_next_lease(path_), first);
}

TEST_F(ConnectionPoolTest, AReplacedOrRewrittenFileGetsAFreshConnection) {
  EXPECT_EQ(value_of(pool_.lease(path_).db()), 1);
  write_db(dir_ / "new.db", 2);
  fs::rename(dir_ / "new.db", path_);
  {
    const ConnectionPool::Lease lease = pool_.lease(path_);
    EXPECT_EQ(value_of(lease.db()), 2);
    EXPECT_EQ(pool_.idle_count(), 0u);  // the connection to the replaced file was closed
  }
  // Same inode, new contents with the same change counter as before, which SQLite
  // itself would take for unchanged: the size and the modification time tell.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  write_db(dir_ / "copy.db", 3);
  fs::copy_file(dir_ / "copy.db", path_, fs::copy_options::overwrite_existing);
  EXPECT_EQ(value_of(pool_.lease(path_).db()), 3);
}

TEST_F(ConnectionPoolTest, ARelativePathFollowsTheCurrentDirectory) {
  const fs::path before = fs::current_path();
  fs::create_directories(dir_ / "b");
  write_db(dir_ / "b" / "nav.db", 2);
  fs::current_path(dir_);
  const int in_first = value_of(pool_.lease("nav.db").db());
  fs::current_path(dir_ / "b");
  const int in_second = value_of(pool_.lease("nav.db").db());
  fs::current_path(before);
  EXPECT_EQ(in_first, 1);
  EXPECT_EQ(in_second, 2);
}

TEST_F(ConnectionPoolTest, AMissingFileFailsAtItsFirstStatementAndIsNotCreated) {
  handle_of_next_lease(path_);
  fs::remove(path_);
  const ConnectionPool::Lease lease = pool_.lease(path_);
  EXPECT_EQ(lease.db().handle(), nullptr);
  try {
    Statement st(lease.db(), "SELECT v FROM t");
    FAIL() << "a statement on a missing file";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "unable to open database file");
  }
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(pool_.idle_count(), 0u);
}

TEST_F(ConnectionPoolTest, WhatCannotBeAFileIsTheCallersError) {
  EXPECT_THROW(pool_.lease(dir_.string()), DatabaseError);  // a directory
  EXPECT_THROW(pool_.lease(path_ + std::string(1, '\0') + "x"), std::invalid_argument);
}

TEST_F(ConnectionPoolTest, AnIdleConnectionHoldsNoReadTransaction) {
  sqlite3* handle = nullptr;
  {
    const ConnectionPool::Lease lease = pool_.lease(path_);
    handle = lease.db().handle();
    Statement st(lease.db(), "SELECT v FROM t");
    ASSERT_TRUE(st.step());  // stopped after its first row
  }
  EXPECT_EQ(sqlite3_txn_state(handle, nullptr), SQLITE_TXN_NONE);
  // The statement stays prepared for the next lease, reset and unbound.
  EXPECT_NE(sqlite3_next_stmt(handle, nullptr), nullptr);
  EXPECT_EQ(sqlite3_stmt_busy(sqlite3_next_stmt(handle, nullptr)), 0);
}

TEST_F(ConnectionPoolTest, KeepsOnlyAFewIdleConnections) {
  {
    std::vector<ConnectionPool::Lease> leases;
    for (int i = 0; i < 6; ++i) leases.push_back(pool_.lease(path_));
  }
  EXPECT_EQ(pool_.idle_count(), ConnectionPool::kIdlePerFile);
}

}  // namespace
}  // namespace core_calc::navdata
