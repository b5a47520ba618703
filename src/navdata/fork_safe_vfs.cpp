#include "navdata/fork_safe_vfs.h"

#include <sqlite3.h>

#include <array>
#include <stdexcept>

#include "navdata/fork_safety.h"

namespace core_calc::navdata {
namespace {

constexpr const char* kName = "core_calc-fork-safe";

// An open file of this layer: the header SQLite sees, followed in the same
// allocation by the file of the layer underneath.
struct GatedFile {
  sqlite3_file base;
  sqlite3_file* real;
};

// The layer as SQLite sees it, and the one underneath that does the work.
struct ForkSafeVfs {
  sqlite3_vfs vfs;  // first: SQLite hands back a pointer to it
  sqlite3_vfs* base;
};

sqlite3_file* real(sqlite3_file* file) {
  return reinterpret_cast<GatedFile*>(file)->real;
}
const sqlite3_io_methods& methods(sqlite3_file* file) {
  return *real(file)->pMethods;
}

// Calls that may take the per-file mutex pass the gate.
int gated_close(sqlite3_file* f) {
  ForkGate gate;
  return methods(f).xClose(real(f));
}
int gated_lock(sqlite3_file* f, int level) {
  ForkGate gate;
  return methods(f).xLock(real(f), level);
}
int gated_unlock(sqlite3_file* f, int level) {
  ForkGate gate;
  return methods(f).xUnlock(real(f), level);
}
int gated_check_reserved(sqlite3_file* f, int* out) {
  ForkGate gate;
  return methods(f).xCheckReservedLock(real(f), out);
}
int gated_file_control(sqlite3_file* f, int op, void* arg) {
  ForkGate gate;
  return methods(f).xFileControl(real(f), op, arg);
}
int gated_shm_map(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  ForkGate gate;
  return methods(f).xShmMap(real(f), page, size, extend, out);
}
int gated_shm_lock(sqlite3_file* f, int offset, int n, int flags) {
  ForkGate gate;
  return methods(f).xShmLock(real(f), offset, n, flags);
}
void gated_shm_barrier(sqlite3_file* f) {
  ForkGate gate;
  methods(f).xShmBarrier(real(f));
}
int gated_shm_unmap(sqlite3_file* f, int delete_flag) {
  ForkGate gate;
  return methods(f).xShmUnmap(real(f), delete_flag);
}

// The others pass straight through.
int read(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
  return methods(f).xRead(real(f), out, amount, offset);
}
int write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  return methods(f).xWrite(real(f), data, amount, offset);
}
int truncate(sqlite3_file* f, sqlite3_int64 size) {
  return methods(f).xTruncate(real(f), size);
}
int sync(sqlite3_file* f, int flags) {
  return methods(f).xSync(real(f), flags);
}
int file_size(sqlite3_file* f, sqlite3_int64* out) {
  return methods(f).xFileSize(real(f), out);
}
int sector_size(sqlite3_file* f) {
  return methods(f).xSectorSize(real(f));
}
int device_characteristics(sqlite3_file* f) {
  return methods(f).xDeviceCharacteristics(real(f));
}
int fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  return methods(f).xFetch(real(f), offset, amount, out);
}
int unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
  return methods(f).xUnfetch(real(f), offset, page);
}

// One table per version of the layer underneath, so SQLite sees exactly the
// methods the real file has.
constexpr sqlite3_io_methods methods_of_version(int version) {
  return {version,
          gated_close,
          read,
          write,
          truncate,
          sync,
          file_size,
          gated_lock,
          gated_unlock,
          gated_check_reserved,
          gated_file_control,
          sector_size,
          device_characteristics,
          version >= 2 ? gated_shm_map : nullptr,
          version >= 2 ? gated_shm_lock : nullptr,
          version >= 2 ? gated_shm_barrier : nullptr,
          version >= 2 ? gated_shm_unmap : nullptr,
          version >= 3 ? fetch : nullptr,
          version >= 3 ? unfetch : nullptr};
}
constexpr std::array<sqlite3_io_methods, 3> kMethods = {
    methods_of_version(1), methods_of_version(2), methods_of_version(3)};

int open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  sqlite3_vfs* base = reinterpret_cast<ForkSafeVfs*>(vfs)->base;
  auto* gated = reinterpret_cast<GatedFile*>(file);
  gated->real = reinterpret_cast<sqlite3_file*>(gated + 1);
  gated->base.pMethods = nullptr;
  const int rc = base->xOpen(base, name, gated->real, flags, out_flags);
  // SQLite closes a file whose methods are set, even after a failed open.
  if (const sqlite3_io_methods* m = gated->real->pMethods) {
    const int version = m->iVersion < 1 ? 1 : (m->iVersion > 3 ? 3 : m->iVersion);
    gated->base.pMethods = &kMethods[version - 1];
  }
  return rc;
}

// The other methods of the layer underneath work unchanged on a copy of it.
sqlite3_vfs* make_vfs() {
  sqlite3_initialize();
  sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
  if (!base) throw std::runtime_error("no SQLite file layer");
  static ForkSafeVfs layer{*base, base};  // registered for the life of the process
  layer.vfs.pNext = nullptr;
  layer.vfs.zName = kName;
  layer.vfs.szOsFile = static_cast<int>(sizeof(GatedFile)) + base->szOsFile;
  layer.vfs.xOpen = open;
  if (const int rc = sqlite3_vfs_register(&layer.vfs, 0); rc != SQLITE_OK)
    throw std::runtime_error(sqlite3_errstr(rc));
  return &layer.vfs;
}

}  // namespace

const char* fork_safe_vfs() {
  static const sqlite3_vfs* const vfs = make_vfs();
  return vfs->zName;
}

}  // namespace core_calc::navdata
