// import_navdata: X-Plane-format navigation data files into a navigation database.
// Converts the arguments, runs the import with the GIL released and turns its
// errors into host exceptions that name the file and the line. _import_command:
// the core-calc-import command of the package, on the host's sys.stdout and stderr.
#include <cstring>
#include <memory>

#include "module/bindings.h"
#include "navimport/import_command.h"
#include "navimport/navdata_import.h"

namespace core_calc::module {
namespace {

namespace ni = core_calc::navimport;

// A host path (text, bytes or path-like) as the bytes the system uses.
std::string path_text(py::handle value) {
  const py::module_ os = py::module_::import("os");
  return std::string(py::bytes(os.attr("fsencode")(os.attr("fspath")(value))));
}

// A path from the core back as host text, undecodable bytes kept as os.fsdecode does.
py::object host_path(const std::string& path) {
  return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

std::vector<std::string> source_paths(py::handle sources) {
  std::vector<std::string> paths;
  if (PyUnicode_Check(sources.ptr()) || PyBytes_Check(sources.ptr()) ||
      py::hasattr(sources, "__fspath__")) {
    paths.push_back(path_text(sources));
    return paths;
  }
  for (py::handle item : py::iter(sources)) paths.push_back(path_text(item));
  return paths;
}

// Thrown through the core to stop the import after a host error.
struct Stopped {};

// Forwards progress to the host's callable and lets the host interrupt the import. A
// host error (an interrupt included) is kept, and the import stopped with Stopped.
class HostProgress : public ni::ImportObserver {
 public:
  explicit HostProgress(py::object progress) : progress_(std::move(progress)) {}

  void file_done(const ni::FileReport& r) override {
    py::gil_scoped_acquire gil;
    guarded([&] {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (progress_.is_none()) return;
      py::dict report;
      report["path"] = host_path(r.path);
      report["kind"] = ni::kind_name(r.kind);
      report["version"] = r.version;
      report["lines"] = r.lines;
      report["records"] = r.records;
      report["duplicates"] = r.duplicates;
      report["unresolved"] = r.unresolved;
      report["skipped"] = r.skipped;
      report["seconds"] = r.seconds;
      progress_(report);
    });
  }

  void still_working() override {
    py::gil_scoped_acquire gil;
    guarded([] {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
  }

  // Raises the kept host error, if any.
  void rethrow() {
    if (error_) {
      error_->restore();
      error_.reset();
      throw py::error_already_set();
    }
  }

 private:
  template <class Call>
  void guarded(Call&& call) {
    try {
      call();
    } catch (py::error_already_set& e) {
      error_ = std::make_unique<py::error_already_set>(std::move(e));
      throw Stopped{};
    }
  }

  py::object progress_;
  std::unique_ptr<py::error_already_set> error_;
};

[[noreturn]] void raise_data_error(const ni::DataError& e) {
  py::object error = py::reinterpret_borrow<py::object>(PyExc_ValueError)(to_text(e.what()));
  error.attr("filename") = host_path(e.path());
  error.attr("lineno") = e.line() == 0 ? py::object(py::none()) : py::int_(e.line());
  PyErr_SetObject(PyExc_ValueError, error.ptr());
  throw py::error_already_set();
}

[[noreturn]] void raise_source_error(const ni::SourceError& e) {
  py::object error = py::reinterpret_borrow<py::object>(PyExc_OSError)(
      e.errno_value(), to_text(std::strerror(e.errno_value())), host_path(e.path()));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

py::dict import_navdata(py::object sources, py::object db_path, py::object progress) {
  const std::vector<std::string> paths = source_paths(sources);
  const std::string target = path_text(db_path);
  if (!progress.is_none() && !PyCallable_Check(progress.ptr())) {
    PyErr_SetString(PyExc_TypeError, "progress must be callable or None");
    throw py::error_already_set();
  }
  HostProgress observer(progress);
  ni::TableCounts counts;
  try {
    py::gil_scoped_release release;
    counts = ni::import_navdata(paths, target, &observer);
  } catch (const Stopped&) {
    observer.rethrow();
  } catch (const ni::DataError& e) {
    raise_data_error(e);
  } catch (const ni::SourceError& e) {
    raise_source_error(e);
  } catch (const ni::OutputError& e) {
    PyErr_SetString(PyExc_OSError, e.what());
    throw py::error_already_set();
  }
  py::dict result;
  for (const auto& [table, rows] : counts) result[to_text(table)] = rows;
  return result;
}

// The command's lines on the host's streams; a signal the host turns into an
// exception (Ctrl-C) stops the import, the exception kept for the caller.
class HostStreams : public ni::CommandOutput {
 public:
  void out(std::string_view line) override { write("stdout", line); }
  void err(std::string_view line) override { write("stderr", line); }
  void still_working() override {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return;
    error_ = std::make_unique<py::error_already_set>();
    throw ni::ImportInterrupted();
  }

  // The kept exception unless it is the interrupt the command reported (exit 130).
  void rethrow_other() {
    if (!error_ || error_->matches(PyExc_KeyboardInterrupt)) return;
    error_->restore();
    error_.reset();
    throw py::error_already_set();
  }

 private:
  static void write(const char* stream, std::string_view line) {
    py::gil_scoped_acquire gil;
    PyObject* file = PySys_GetObject(stream);  // borrowed
    if (!file || file == Py_None) return;
    py::handle(file).attr("write")(to_text(std::string(line) + "\n"));
    py::handle(file).attr("flush")();
  }

  std::unique_ptr<py::error_already_set> error_;
};

int import_command(py::object argv) {
  if (argv.is_none()) argv = py::module_::import("sys").attr("argv")[py::slice(1, {}, {})];
  std::vector<std::string> args;
  for (py::handle arg : argv) args.push_back(path_text(arg));
  HostStreams streams;
  int status = 0;
  {
    py::gil_scoped_release release;
    status = ni::import_command(args, streams);
  }
  streams.rethrow_other();
  return status;
}

}  // namespace

void def_import_navdata(py::module_& m) {
  m.def("import_navdata", &import_navdata, py::arg("sources"), py::arg("db_path"),
        py::arg("progress") = py::none(), doc::kImportNavdata);
  m.def("_import_command", &import_command, py::arg("argv") = py::none(), doc::kImportCommand);
}

}  // namespace core_calc::module
