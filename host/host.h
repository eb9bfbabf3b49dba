// The stand-in host: builds a GCB with real services, loads modules, and
// makes every service observable to tests (captured log, allocator failure
// injection, options, local GMT offset, tasks).
//
// The services are plain function pointers with no context argument, so they
// reach the host through one process-wide active Host: constructing a Host
// makes it the active one; at most one exists at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gcb.h"
#include "ifmblock.h"
#include "records.h"

namespace zbhost {

// The directory to load the two modules from: $ZB_MODULE_DIR when set; for a
// program installed in P/bin, P/lib/zelbrant when it holds them; otherwise
// the build directory. A program built against an installed tree gets the
// module directory from the CMake package (zelbrant_MODULE_DIR) instead.
std::string module_dir();
// Path of a deliverable there ("zelbrant" -> <dir>/zelbrant.so).
std::string module_path(const std::string &name);

// Answers of the name-table and task services besides 0 (and
// XYTNGL_UNBOUND from xytngl).
constexpr uint32_t kBadArgument = 0x80008020u;  // null pointer, bad length, unknown table
constexpr uint32_t kNoEntry = 0x80008021u;      // handle never created by wtrscrt
constexpr uint32_t kTableFull = 0x80008022u;    // every handle is in use, or no memory
// Answers of wzrlchr besides 0.
constexpr int32_t kNoDigit = 1;   // the text does not begin with a digit
constexpr int32_t kOverflow = 2;  // the digits exceed a signed 64-bit integer

class Host;
struct Impl;  // the host's private state (host_impl.h)

// A host task: its context (name table, locale chain) and its termination
// routines registered through vir2g.
struct Task;

class Host {
 public:
  // Builds the GCB with a first task, current. Throws std::logic_error when
  // another Host is active.
  Host();
  // Ends every task still alive (running its termination routines) and
  // frees every block the host's allocators still hold.
  ~Host();
  Host(const Host &) = delete;
  Host &operator=(const Host &) = delete;

  static Host *active();

  gcb *gcb_ptr();
  void *pidb();

  // A further GCB, for a private instance of a module (Module::load_private):
  // the same vectors, tables, allocators and current task as gcb_ptr(), but
  // marker bytes and service number of its own and no cache line shared with
  // another GCB, so that instances read from different threads do not take
  // the words their bindings write away from one another. It follows
  // switch_task as the host's own does, and lives until release_gcb or the
  // end of the host.
  gcb *new_gcb();
  void release_gcb(gcb *g);  // g from new_gcb; anything else is ignored

  // --- services -----------------------------------------------------------
  // Local offset from GMT in seconds, east positive; nullopt: the system's.
  void set_gmt_offset(std::optional<double> seconds);
  // Host options read by xoptcgt (DEBUG among them). Names ignore letter
  // case; value texts once handed out stay valid while the Host lives.
  void set_option(const std::string &name, const std::string &value);
  void clear_option(const std::string &name);
  // wzifmch: an all-blank field counts as missing notation (default on).
  void set_blank_is_missing(bool on);
  // Years below 100 given to zmdy fall in the 100 years from this one
  // (default 1926: 26..99 -> 1926..1999, 0..25 -> 2000..2025).
  void set_year_cutoff(int first_year);
  int year_cutoff() const;

  // --- log ------------------------------------------------------------------
  // Lines written through xpslog, always kept here; they are echoed to
  // standard error unless capturing is on.
  void capture_log(bool on);
  std::vector<std::string> log() const;
  void clear_log();

  // --- allocators ------------------------------------------------------------
  // Registration allocator, pool and every task's name-table allocator share
  // one accounting layer: blocks come zero-filled, and a block of any of them
  // may be freed through any of them (the module frees its task slot through
  // the pool).
  // The next n allocations succeed, every later one fails; -1: never fail.
  void fail_allocations_after(long n);
  long allocations() const;       // successful allocations so far
  long live_blocks() const;       // allocated and not yet freed
  // Frees of pointers that no host allocator handed out (ignored otherwise).
  long bad_frees() const;
  // The latest successful allocation: which allocator ("registration",
  // "pool" or "task"), the size and the flags the caller passed.
  struct AllocationInfo {
    std::string allocator;
    size_t size;
    uint32_t flags;
  };
  std::optional<AllocationInfo> last_allocation() const;

  // --- xexit -----------------------------------------------------------------
  // By default xexit ends the current task and the process (exit status 3).
  // A test host records the call and returns to the caller instead.
  void set_exit_returns(bool on);
  std::vector<std::pair<int32_t, int32_t>> exits() const;

  // --- tasks -----------------------------------------------------------------
  // Each task has its own name table (with its allocator) and locale chain.
  task_context *current_task();
  task_context *new_task();            // not made current
  // Stores t as the current task of every GCB (atomically, release order);
  // null leaves no task current.
  void switch_task(task_context *t);
  // Calls the task's termination routines (with it current), then frees it.
  // The first task may be ended too; the host then has no current task until
  // another is switched in.
  void end_task(task_context *t);
  // Replaces the locale tables of a task (copied).
  void set_locale(task_context *t, const locale_tables &tables);
  static locale_tables default_locale();

 private:
  friend struct Services;
  std::unique_ptr<Impl> impl_;
};

// A loaded module.
class Module {
 public:
  // Loads the library, calls mcn_main with the host's GCB and process block
  // and checks the image record. On failure returns null and sets *error to a
  // message that names the file.
  static std::unique_ptr<Module> load(Host &host, const std::string &path, std::string *error);
  // Loads a private instance of the library file: a copy of it in an
  // anonymous memory file, so the instance has globals of its own (the
  // system loads a file once however often it is opened), and its mcn_main
  // is given a GCB of its own (Host::new_gcb). Threads that each read through
  // an instance of their own share no GCB. The instance, the copy and the GCB
  // go with the Module, which must go before the host; so nothing the
  // instance registers with the host (a termination routine) may outlive it.
  // Failure as for load; path must name a file.
  static std::unique_ptr<Module> load_private(Host &host, const std::string &path,
                                              std::string *error);
  ~Module();
  Module(const Module &) = delete;
  Module &operator=(const Module &) = delete;

  void *symbol(const char *name) const;  // null when not exported
  template <class F>
  F fn(const char *name) const {
    return reinterpret_cast<F>(symbol(name));
  }
  const vi_mcn_record *image() const { return image_; }
  const pcn_record *pcn() const;  // first record of mcn_pcns
  const std::string &path() const { return path_; }
  // The GCB its mcn_main was given.
  gcb *gcb_ptr() const { return gcb_; }

 private:
  Module() = default;
  static std::unique_ptr<Module> start(Host &host, void *handle, const std::string &path,
                                       gcb *g, std::string *error);
  void *handle_ = nullptr;
  const vi_mcn_record *image_ = nullptr;
  std::string path_;
  gcb *gcb_ = nullptr;
  // A private instance only: the host that gave its GCB, and the memory file
  // it was loaded from.
  Host *owner_ = nullptr;
  int fd_ = -1;
};

// Calendar arithmetic of vector 155, usable directly by tests and tools.
//
// The host's date functions (vector 155) work on the proleptic Gregorian
// calendar with dates as days from 1960-01-01. Their rules:
//  - zmdy(month, day, year) yields the missing value when a component is
//    missing, not a whole number, or the three make no calendar date. A year
//    below 100 stands for the first year at or after year_cutoff() that ends
//    in those two digits; the year must then lie in kMinYear..kMaxYear
//    (1582..20000, whole years).
//  - Every function yields the missing value for a missing input and for a
//    date (or the date part of a datetime) outside those years.
//  - zdatprt, ztimprt, zhour, zminute and zsecond split with floored
//    division: ztimprt is always in [0, 86400), zhour(-1800) is 23; zsecond
//    keeps the fraction.
//  - zjuldat gives year * 1000 + day of the year; zymdjul takes it apart.
namespace cal {
constexpr int kMinYear = 1582;
constexpr int kMaxYear = 20000;
// Days from 1960-01-01 of a proleptic Gregorian date (no range check).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d);
// The same for a year of 1 or more, by a shorter way (zmdy's).
int64_t days_from_civil_positive(int64_t y, unsigned m, unsigned d);
struct Civil {
  int64_t year;
  unsigned month, day;
};
Civil civil_from_days(int64_t days);
// A calendar date in kMinYear..kMaxYear.
bool valid_date(int64_t y, int64_t m, int64_t d);
bool is_leap(int64_t y);
unsigned last_day(int64_t y, unsigned m);  // 0 for a month outside 1..12
// The host date range: 1582-01-01 and 20000-12-31 as day numbers.
int64_t min_day();
int64_t max_day();
}  // namespace cal

}  // namespace zbhost
