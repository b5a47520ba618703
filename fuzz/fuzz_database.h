// The fuzz input as a navigation database: the bytes are taken as an SQLite file
// image and opened as the main database of an in-memory connection, so the readers
// meet whatever tables, columns and stored values the image describes (or the
// errors of an image that is no database at all).
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "navdata/database.h"

namespace core_calc::fuzz {

class FuzzDatabase {
 public:
  FuzzDatabase(const std::uint8_t* data, std::size_t size) : db_(":memory:") {
    // A database may hold views whose queries never end; that is SQLite's own
    // matter, not the readers', so a statement is stopped after a bounded amount
    // of work.
    sqlite3_progress_handler(db_.handle(), 1000, &stop_runaway, &steps_);
    auto* image = static_cast<unsigned char*>(sqlite3_malloc64(size ? size : 1));
    if (!image) return;
    if (size) std::memcpy(image, data, size);
    // SQLite frees the copy when the connection closes, or at once when it fails.
    sqlite3_deserialize(db_.handle(), "main", image, static_cast<sqlite3_int64>(size),
                        static_cast<sqlite3_int64>(size),
                        SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
  }

  const navdata::Database& get() const { return db_; }

 private:
  static int stop_runaway(void* steps) {
    return ++*static_cast<long*>(steps) > kMaxProgressCalls ? 1 : 0;
  }

  static constexpr long kMaxProgressCalls = 20000;  // about 2e7 virtual machine steps
  navdata::Database db_;
  long steps_ = 0;
};

}  // namespace core_calc::fuzz
