// The stand-in host: the GCB and its tables, the allocators with their
// accounting layer, tasks, options, log and exit settings.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "host.h"
#include "host_impl.h"

namespace zbhost {

namespace {

std::atomic<Host *> g_active{nullptr};

// The runtime handle only has to be a non-null value the module copies.
const char kRuntimeHandle[] = "zbhost runtime";

void *allocator_alloc(host_allocator *self, size_t size, uint32_t flags) {
  auto *a = reinterpret_cast<HostAllocator *>(self);
  return a->impl->allocate(a, size, flags);
}

// Any host allocator frees any host block: the module releases its task
// slot through the pool although it came from the name table's allocator.
void allocator_free(host_allocator *self, void *block, int32_t, uint32_t) {
  reinterpret_cast<HostAllocator *>(self)->impl->release(block);
}

void init_allocator(HostAllocator &a, Impl *impl, const char *name, Task *task) {
  a.base.alloc = allocator_alloc;
  a.base.free = allocator_free;
  a.impl = impl;
  a.name = name;
  a.task = task;
}

void set_current(gcb &g, task_context *t) { __atomic_store_n(&g.current_task, t, __ATOMIC_RELEASE); }

// Everything of a GCB but its current task.
void fill_gcb(Impl &m, gcb &g) {
  std::memcpy(g.eye, "GCB", 4);
  g.vectors[0] = m.vec0.data();
  g.vectors[30] = m.vec30.data();
  g.vectors[155] = m.vec155.data();
  std::memset(g.marks, 0xFF, sizeof g.marks);
  g.service = 0;
  g.reg_alloc = &m.reg_alloc.base;
  g.pool = &m.pool.base;
  g.runtime_handle = const_cast<char *>(kRuntimeHandle);
  for (int c = 0; c < 256; ++c) {
    g.upcase[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    g.ctype[c] = c >= '0' && c <= '9' ? GCB_CTYPE_DIGIT : 0;
  }
}

}  // namespace

struct Services {
  static Impl *impl_of(Host *h) { return h ? h->impl_.get() : nullptr; }
};

Impl *active_impl() { return Services::impl_of(g_active.load(std::memory_order_acquire)); }

void put_service(Impl &m, unsigned v, unsigned s, gcb_entry e) {
  size_t slots = v == 0 ? m.vec0.size() : v == 30 ? m.vec30.size() : v == 155 ? m.vec155.size() : 0;
  if (s >= slots) {
    std::fprintf(stderr, "zbhost: no slot %u in vector %u\n", s, v);
    std::abort();
  }
  m.g.vectors[v][s] = e;
}

// --- accounting layer --------------------------------------------------------

void *Impl::allocate(HostAllocator *a, size_t size, uint32_t flags) {
  std::lock_guard<std::mutex> lock(alloc_mu);
  if (fail_after == 0) return nullptr;
  void *p = std::calloc(1, size ? size : 1);
  if (!p) return nullptr;
  if (fail_after > 0) --fail_after;
  ++allocations;
  blocks.emplace(p, Block{a, size});
  last_allocation = Host::AllocationInfo{a->name, size, flags};
  return p;
}

void Impl::release(void *block) {
  if (!block) return;
  std::lock_guard<std::mutex> lock(alloc_mu);
  auto it = blocks.find(block);
  if (it == blocks.end()) {
    ++bad_frees;
    return;
  }
  blocks.erase(it);
  std::free(block);
}

void Impl::release_all_of(const HostAllocator *a) {
  std::lock_guard<std::mutex> lock(alloc_mu);
  for (auto it = blocks.begin(); it != blocks.end();) {
    if (a == nullptr || it->second.owner == a) {
      std::free(it->first);
      it = blocks.erase(it);
    } else {
      ++it;
    }
  }
}

// --- tasks -------------------------------------------------------------------

Task *Impl::find_task(const name_table *names) {
  if (!names) return nullptr;
  std::lock_guard<std::mutex> lock(tasks_mu);
  for (auto &t : tasks)
    if (&t->names == names) return t.get();
  return nullptr;
}

Task *Impl::find_task(const task_context *ctx) {
  if (!ctx) return nullptr;
  std::lock_guard<std::mutex> lock(tasks_mu);
  for (auto &t : tasks)
    if (&t->ctx == ctx) return t.get();
  return nullptr;
}

Task *Impl::make_task() {
  auto t = std::make_unique<Task>();
  Task *p = t.get();
  std::memcpy(p->ctx.eye, "TASKCTX", 8);
  p->ctx.names = &p->names;
  p->ctx.objects = &p->header;
  p->ctx.host_private = p;
  init_allocator(p->alloc, this, "task", p);
  p->names.alloc = &p->alloc.base;
  p->names.host_private = p;
  p->header = task_object{&p->locale_obj, 1, 0, nullptr};
  p->locales.push_back(std::make_unique<locale_tables>(Host::default_locale()));
  p->locale_obj = task_object{nullptr, 2, 0, p->locales.back().get()};
  p->pages.reset(static_cast<void ***>(std::calloc(kPages, sizeof(void **))));
  if (!p->pages) throw std::bad_alloc();
  std::lock_guard<std::mutex> lock(tasks_mu);
  tasks.push_back(std::move(t));
  return p;
}

void Impl::log_line(std::string line) {
  std::lock_guard<std::mutex> lock(log_mu);
  if (!capture) std::fprintf(stderr, "%s\n", line.c_str());
  log.push_back(std::move(line));
}

// --- Host --------------------------------------------------------------------

Host::Host() : impl_(std::make_unique<Impl>()) {
  Host *expected = nullptr;
  if (!g_active.compare_exchange_strong(expected, this))
    throw std::logic_error("zbhost::Host: another Host is active");
  Impl &m = *impl_;
  m.self = this;
  init_allocator(m.reg_alloc, &m, "registration", nullptr);
  init_allocator(m.pool, &m, "pool", nullptr);
  fill_gcb(m, m.g);
  std::memcpy(m.pidb.eye, "PIDB", 5);
  m.pidb.host = this;
  install_services(m);
  install_calendar(m);
  set_current(m.g, &m.make_task()->ctx);
}

Host::~Host() {
  // End every task still alive (running its termination routines), then
  // release whatever the registration allocator and the pool still hold.
  for (;;) {
    Task *t = nullptr;
    {
      std::lock_guard<std::mutex> lock(impl_->tasks_mu);
      if (!impl_->tasks.empty()) t = impl_->tasks.back().get();
    }
    if (!t) break;
    impl_->end(t);
  }
  impl_->release_all_of(nullptr);
  g_active.store(nullptr, std::memory_order_release);
}

Host *Host::active() { return g_active.load(std::memory_order_acquire); }

gcb *Host::gcb_ptr() { return &impl_->g; }
void *Host::pidb() { return &impl_->pidb; }

gcb *Host::new_gcb() {
  auto spare = std::make_unique<SpareGcb>();
  fill_gcb(*impl_, spare->g);
  std::lock_guard<std::mutex> lock(impl_->gcbs_mu);
  set_current(spare->g, current_task());
  impl_->gcbs.push_back(std::move(spare));
  return &impl_->gcbs.back()->g;
}

void Host::release_gcb(gcb *g) {
  std::lock_guard<std::mutex> lock(impl_->gcbs_mu);
  auto &all = impl_->gcbs;
  for (auto it = all.begin(); it != all.end(); ++it) {
    if (&(*it)->g == g) {
      all.erase(it);
      return;
    }
  }
}

void Host::set_gmt_offset(std::optional<double> seconds) {
  std::lock_guard<std::mutex> lock(impl_->gmt_mu);
  impl_->gmt_offset = seconds;
}

namespace {
std::string option_key(const std::string &name) {
  std::string k = name;
  for (char &c : k)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return k;
}
}  // namespace

void Host::set_option(const std::string &name, const std::string &value) {
  std::lock_guard<std::mutex> lock(impl_->opt_mu);
  impl_->option_values.push_back(std::make_unique<std::string>(value));
  impl_->options[option_key(name)] = impl_->option_values.back().get();
}

void Host::clear_option(const std::string &name) {
  std::lock_guard<std::mutex> lock(impl_->opt_mu);
  impl_->options.erase(option_key(name));
}

// Option lookup for xoptcgt: the stable value text, or null when unset.
const char *lookup_option(Impl &m, const char *name) {
  std::lock_guard<std::mutex> lock(m.opt_mu);
  auto it = m.options.find(option_key(name));
  return it == m.options.end() ? nullptr : it->second->c_str();
}

void Host::set_blank_is_missing(bool on) { impl_->blank_is_missing.store(on); }
void Host::set_year_cutoff(int first_year) { impl_->year_cutoff.store(first_year); }
int Host::year_cutoff() const { return impl_->year_cutoff.load(); }

void Host::capture_log(bool on) {
  std::lock_guard<std::mutex> lock(impl_->log_mu);
  impl_->capture = on;
}

std::vector<std::string> Host::log() const {
  std::lock_guard<std::mutex> lock(impl_->log_mu);
  return impl_->log;
}

void Host::clear_log() {
  std::lock_guard<std::mutex> lock(impl_->log_mu);
  impl_->log.clear();
}

void Host::fail_allocations_after(long n) {
  std::lock_guard<std::mutex> lock(impl_->alloc_mu);
  impl_->fail_after = n < 0 ? -1 : n;
}

long Host::allocations() const {
  std::lock_guard<std::mutex> lock(impl_->alloc_mu);
  return impl_->allocations;
}

long Host::live_blocks() const {
  std::lock_guard<std::mutex> lock(impl_->alloc_mu);
  return static_cast<long>(impl_->blocks.size());
}

long Host::bad_frees() const {
  std::lock_guard<std::mutex> lock(impl_->alloc_mu);
  return impl_->bad_frees;
}

std::optional<Host::AllocationInfo> Host::last_allocation() const {
  std::lock_guard<std::mutex> lock(impl_->alloc_mu);
  return impl_->last_allocation;
}

void Host::set_exit_returns(bool on) {
  std::lock_guard<std::mutex> lock(impl_->exit_mu);
  impl_->exit_returns = on;
}

std::vector<std::pair<int32_t, int32_t>> Host::exits() const {
  std::lock_guard<std::mutex> lock(impl_->exit_mu);
  return impl_->exits;
}

task_context *Host::current_task() {
  return __atomic_load_n(&impl_->g.current_task, __ATOMIC_ACQUIRE);
}

task_context *Host::new_task() { return &impl_->make_task()->ctx; }

void Host::switch_task(task_context *t) {
  std::lock_guard<std::mutex> lock(impl_->gcbs_mu);
  set_current(impl_->g, t);
  for (auto &spare : impl_->gcbs) set_current(spare->g, t);
}

void Host::end_task(task_context *t) {
  if (Task *task = impl_->find_task(t)) impl_->end(task);
}

// The routines run with the ending task current; a routine may register
// another, which then runs too. Afterwards the task's blocks, pages and
// tables are freed.
void Impl::end(Task *task) {
  task_context *t = &task->ctx;
  task_context *prev = self->current_task();
  self->switch_task(t);
  for (;;) {
    term_routine r = nullptr;
    {
      std::lock_guard<std::mutex> lock(task->mu);
      if (task->terms.empty()) break;
      r = task->terms.back().first;
      task->terms.pop_back();
    }
    r();
  }
  self->switch_task(prev == t ? nullptr : prev);

  release_all_of(&task->alloc);
  std::unique_ptr<Task> owned;
  std::lock_guard<std::mutex> lock(tasks_mu);
  for (auto it = tasks.begin(); it != tasks.end(); ++it) {
    if (it->get() == task) {
      owned = std::move(*it);
      tasks.erase(it);
      break;
    }
  }
}

void Host::set_locale(task_context *t, const locale_tables &tables) {
  Task *task = impl_->find_task(t);
  if (!task) return;
  std::lock_guard<std::mutex> lock(task->mu);
  // Older sets stay allocated: a reader may still be using one.
  task->locales.push_back(std::make_unique<locale_tables>(tables));
  __atomic_store_n(&task->locale_obj.tables, task->locales.back().get(), __ATOMIC_RELEASE);
}

locale_tables Host::default_locale() {
  locale_tables l{};
  for (int c = 0; c < 256; ++c) {
    bool digit = c >= '0' && c <= '9';
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    l.digit[c] = digit;
    l.run_end[c] = !digit;
    l.token[c] = digit || letter;
  }
  for (unsigned char c : {'-', '/', '.', ':', ' '}) l.separator[c] = 1;
  return l;
}

}  // namespace zbhost
