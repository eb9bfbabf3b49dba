// The stand-in host's private state, shared by its source files (host.cc,
// services.cc, calendar.cc, module.cc). Not part of the host's API.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "gcb.h"
#include "host.h"

namespace zbhost {

struct Impl;

// A host allocator: the GCB-visible operations first, then what the
// accounting layer needs to know about the allocator.
struct HostAllocator {
  host_allocator base;  // must stay first: the module hands us &base
  Impl *impl;
  const char *name;     // "registration", "pool" or "task"
  Task *task;           // owning task of a name-table allocator, else null
};
static_assert(offsetof(HostAllocator, base) == 0);

// Name-table entries live in pages of 65536 pointers; the page directory
// covers every 32-bit handle and never moves, so a table pointer handed out
// by xytngl stays valid for the life of the task.
constexpr size_t kPageEntries = 65536;
constexpr size_t kPages = 65536;

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};
template <class T>
using CallocPtr = std::unique_ptr<T[], FreeDeleter>;

struct Task {
  task_context ctx;        // what the module sees; ctx.host_private = this
  name_table names;        // names.alloc = &alloc.base; names.host_private = this
  HostAllocator alloc;     // the name table's allocator
  task_object header;      // first object of the chain (kind 1): carries no tables
  task_object locale_obj;  // second (kind 2): the task's locale table set

  std::mutex mu;  // guards everything below
  std::vector<std::unique_ptr<locale_tables>> locales;  // every version set, kept
  // calloc'ed: the system hands out zero pages lazily, so a task that uses
  // few handles costs little.
  CallocPtr<void **> pages;                  // kPages page pointers
  std::vector<CallocPtr<void *>> page_store;  // owns the pages
  uint64_t next_handle = 1;  // next handle to issue; 0 is never issued
  std::map<std::string, uint32_t, std::less<>> bindings;
  std::vector<std::pair<term_routine, uint64_t>> terms;  // vir2g registrations
};

struct ProcessBlock {
  char eye[8];  // "PIDB"
  Host *host;
};

// A GCB of Host::new_gcb, aligned so that it shares no cache line with
// another.
struct alignas(64) SpareGcb {
  gcb g{};
};

struct Impl {
  Host *self = nullptr;
  gcb g{};
  std::array<gcb_entry, GCB_VEC0_SLOTS> vec0{};
  std::array<gcb_entry, GCB_VEC30_SLOTS> vec30{};
  std::array<gcb_entry, GCB_VEC155_SLOTS> vec155{};
  HostAllocator reg_alloc{};
  HostAllocator pool{};
  ProcessBlock pidb{};

  // Read lock-free by the per-field services.
  std::atomic<bool> blank_is_missing{true};
  std::atomic<int> year_cutoff{1926};

  // Allocation accounting (one layer under every host allocator).
  struct Block {
    HostAllocator *owner;
    size_t size;
  };
  mutable std::mutex alloc_mu;
  std::unordered_map<void *, Block> blocks;
  long allocations = 0;
  long fail_after = -1;  // remaining successes before failure; -1: never fail
  long bad_frees = 0;
  std::optional<Host::AllocationInfo> last_allocation;

  // GCBs of private module instances. gcbs_mu also orders switch_task
  // against new_gcb, so every GCB agrees on the current task.
  std::mutex gcbs_mu;
  std::vector<std::unique_ptr<SpareGcb>> gcbs;

  // Tasks.
  mutable std::mutex tasks_mu;
  std::vector<std::unique_ptr<Task>> tasks;
  std::atomic<uint64_t> next_token{1};

  // Options: every value ever set stays allocated, so pointers returned by
  // xoptcgt remain valid while readers hold them.
  mutable std::mutex opt_mu;
  std::map<std::string, const std::string *> options;
  std::vector<std::unique_ptr<std::string>> option_values;

  mutable std::mutex gmt_mu;
  std::optional<double> gmt_offset;

  mutable std::mutex log_mu;
  std::vector<std::string> log;
  bool capture = false;

  mutable std::mutex exit_mu;
  bool exit_returns = false;
  std::vector<std::pair<int32_t, int32_t>> exits;

  // Accounting layer.
  void *allocate(HostAllocator *a, size_t size, uint32_t flags);
  void release(void *block);
  void release_all_of(const HostAllocator *a);

  Task *find_task(const name_table *names);  // null when not a live task's table
  Task *find_task(const task_context *ctx);  // null when not a live task
  void end(Task *task);                      // termination routines, then free
  Task *make_task();
  void log_line(std::string line);
};

// The Impl of the active host, or null when no host exists.
Impl *active_impl();

// Puts a service entry into slot s of vector v of the GCB (0, 30 or 155).
void put_service(Impl &m, unsigned v, unsigned s, gcb_entry e);
template <class F>
gcb_entry entry(F f) {
  return reinterpret_cast<gcb_entry>(f);
}

// Service entries, defined in services.cc and calendar.cc; host.cc puts them
// into the GCB's vectors.
void install_services(Impl &impl);
void install_calendar(Impl &impl);

// The value text of an option, stable while the host lives; null when unset.
const char *lookup_option(Impl &m, const char *name);

// Formats one log line from a printf-style format (%d, %i, %u, %x, %c, %s,
// %*s and %.*s, %%). %*s and %.*s take an int length and a text of which at
// most that many bytes are read.
std::string format_log_line(const char *fmt, va_list ap);

}  // namespace zbhost
