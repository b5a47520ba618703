// Two pieces of work side by side: the one place where the network build starts
// threads. `side` runs on a thread of its own when the system grants one, `main`
// on the calling thread; without a second thread `side` runs after `main` (with
// run_side_by_side) or not at all, `main` being told so (with run_beside). Both
// have finished when the call returns, and the first failure (of `main`, else of
// `side`) is rethrown then.
#pragma once

#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace core_calc {

// main(side_runs): side_runs tells whether `side` runs beside it; when it does not,
// `main` does all the work and `side` is skipped.
template <class Main, class Side>
void run_beside(Main&& main, Side&& side) {
  std::exception_ptr side_error;
  std::exception_ptr main_error;
  {
    std::optional<std::jthread> helper;
    try {
      helper.emplace([&] {
        try {
          side();
        } catch (...) {
          side_error = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
    }
    try {
      main(helper.has_value());
    } catch (...) {
      main_error = std::current_exception();
    }
  }  // joins the helper
  if (main_error) std::rethrow_exception(main_error);
  if (side_error) std::rethrow_exception(side_error);
}

template <class Main, class Side>
void run_side_by_side(Main&& main, Side&& side) {
  std::exception_ptr side_error;
  auto guarded_side = [&] {
    try {
      side();
    } catch (...) {
      side_error = std::current_exception();
    }
  };
  std::exception_ptr main_error;
  {
    std::optional<std::jthread> helper;
    try {
      helper.emplace(guarded_side);
    } catch (const std::system_error&) {
      // No second thread to be had: the side work follows the main work.
    }
    try {
      main();
    } catch (...) {
      main_error = std::current_exception();
    }
    if (!helper) guarded_side();
  }  // joins the helper
  if (main_error) std::rethrow_exception(main_error);
  if (side_error) std::rethrow_exception(side_error);
}

}  // namespace core_calc
