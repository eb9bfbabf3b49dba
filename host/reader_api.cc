// The reader API (zelbrant/reader.h) over the stand-in host.
//
// The host is one per process, so the handles share it: the first zb_open
// starts it with the handles' host options and GMT offset, the last
// zb_close ends it. Each module file is loaded once into the host for the
// task state (its task initialisation runs there, its termination when the
// host ends), and each handle reads through a private instance of the file
// when it can have one, so that handles used by different threads do not
// write to the same GCB.
#include "zelbrant/reader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api_internal.h"
#include "codes.h"
#include "entity_text.h"
#include "family.h"
#include "host.h"
#include "records.h"

namespace {

using entity_reader = uint32_t (*)(ifmblock *, int32_t);
using problem_reporter = uint32_t (*)(ifmblock *, int32_t, int32_t);

constexpr int32_t kMaxWidth = 32767;
constexpr int32_t kMaxTargetLength = ZB_MAX_TARGET_LENGTH;
constexpr int32_t kDefaultMode = ZB_DEFAULT_ENTITY_MODE;
// Written into a target before each call, to see whether the reader wrote it.
constexpr uint64_t kSentinelBits = 0x7FF4DEADBEEF0001ull;
constexpr char kTextSentinel = '\x01';

thread_local std::string t_error;

int fail(int status, std::string message) {
  t_error = std::move(message);
  return status;
}

}  // namespace

namespace {

// The entity informats, by routine name and by the name of their messages.
struct EntityName {
  const char *routine;
  const char *message_name;  // without the '$'
  int32_t kind;
};
constexpr EntityName kEntities[] = {
    {"is8601dui", "IS860DU", ZB_KIND_DURATION},
    {"is8601pdi", "IS860PD", ZB_KIND_PACKED},
    {"is8601vli", "IS860VL", ZB_KIND_INTERVAL},
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

const EntityName *find_entity(std::string_view s) {
  bool dollar = !s.empty() && s.front() == '$';
  if (dollar) s.remove_prefix(1);
  for (const EntityName &e : kEntities)
    if (same_name(s, dollar ? e.message_name : e.routine)) return &e;
  return nullptr;
}

// What a call of a reader takes.
struct Call {
  int32_t kind = ZB_KIND_DATETIME;
  ifm_reader numeric = nullptr;
  entity_reader entity = nullptr;
  problem_reporter report = nullptr;  // n8601prob, for entity readers
  int32_t width = -1;
  int32_t decimals = 0;
  int32_t target_len = 0;
  int32_t mode = kDefaultMode;  // entity readers: the mode word and the fill selector
  int32_t fill = 0;
};

// One reader of a handle.
struct Reader : Call {
  bool registered = false;
  std::string display;
};

// A module file loaded into the host for its task state.
struct Loaded {
  std::unique_ptr<zbhost::Module> module;
  std::unique_ptr<zbhost::Family> family;  // goes before the module
};

// The host options and GMT offset the host runs with, in a form that
// compares: names in upper case, sorted.
struct HostSettings {
  std::vector<std::pair<std::string, std::string>> options;
  std::optional<double> gmt_offset;
  bool operator==(const HostSettings &) const = default;
};

struct Shared {
  std::mutex mu;
  std::unique_ptr<zbhost::Host> host;
  HostSettings settings;
  std::map<std::string, Loaded> modules;  // by path
  std::set<const zb_handle *> handles;
};

Shared &shared() {
  static Shared *s = new Shared;  // never destroyed: handles may outlive static destruction
  return *s;
}

}  // namespace

struct zb_handle {
  const zbhost::Module *module = nullptr;  // the instance it reads through
  const zbhost::Family *family = nullptr;
  std::unique_ptr<zbhost::Module> own_module;  // a private instance, if it has one
  std::unique_ptr<zbhost::Family> own_family;
  int32_t mode = kDefaultMode;
  int32_t target_length = 0;
  bool exact_length = false;  // target_length as given, 0 included
  int32_t fill = 0;
  std::vector<Reader> readers;
};

namespace {

#if defined(ZB_READER_BUILD)
bool is_file(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
#endif

// The file of a module given by name or path: a name is looked for in
// ZB_MODULE_DIR, beside this library when it is the shared one (an
// installed package), then where the host library looks (an installed
// tree, the build).
int module_file(const char *module, std::string *path) {
  std::string m(module);
  if (m.find('/') != std::string::npos) {
    *path = m;
    return ZB_OK;
  }
  if (m != "zelbrant" && m != "morvista")
    return fail(ZB_E_LOAD, "unknown module '" + m +
                               "': give zelbrant, morvista or the path of a module file");
#if defined(ZB_READER_BUILD)
  if (const char *env = std::getenv("ZB_MODULE_DIR"); !(env && *env)) {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&zb_open), &info) && info.dli_fname) {
      std::string self(info.dli_fname);
      size_t slash = self.rfind('/');
      std::string beside = (slash == std::string::npos ? "." : self.substr(0, slash)) + "/" + m + ".so";
      if (is_file(beside)) {
        *path = beside;
        return ZB_OK;
      }
    }
  }
#endif
  *path = zbhost::module_path(m);
  return ZB_OK;
}

int read_options(const zb_options *o, HostSettings *s, zb_handle *h) {
  if (!o) return ZB_OK;
  if (o->size < ZB_OPTIONS_V1_SIZE)
    return fail(ZB_E_OPTION, "zb_options.size is " + std::to_string(o->size) + ", expected " +
                                 std::to_string(sizeof(zb_options)));
  // The members of version 2, when the record has them.
  const bool v2 = o->size >= offsetof(zb_options, has_target_length) + sizeof(int32_t);
  const bool exact_mode = v2 && o->has_entity_mode;
  const bool exact_length = v2 && o->has_target_length;
  if (o->n_host_options && !o->host_options)
    return fail(ZB_E_NULL, "host_options is null but n_host_options is not 0");
  for (uint32_t i = 0; i < o->n_host_options; ++i) {
    const char *text = o->host_options[i];
    if (!text) return fail(ZB_E_NULL, "host option " + std::to_string(i) + " is null");
    std::string t(text);
    size_t eq = t.find('=');
    if (eq == 0 || eq == std::string::npos)
      return fail(ZB_E_OPTION, "bad host option '" + t + "': give NAME=VALUE");
    std::string name = t.substr(0, eq);
    for (char &c : name) c = upper(c);
    s->options.emplace_back(name, t.substr(eq + 1));
  }
  std::stable_sort(s->options.begin(), s->options.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  if (o->has_gmt_offset) {
    if (o->gmt_offset < -86399 || o->gmt_offset > 86399)
      return fail(ZB_E_OPTION, "GMT offset " + std::to_string(o->gmt_offset) +
                                   " s is out of range: -86399 to 86399");
    s->gmt_offset = o->gmt_offset;
  }
  if (o->target_length < 0 || o->target_length > kMaxTargetLength)
    return fail(ZB_E_OPTION, "target length " + std::to_string(o->target_length) +
                                 " is out of range: 1 to " + std::to_string(kMaxTargetLength) +
                                 ", or 0 for the default");
  h->mode = o->entity_mode || exact_mode ? o->entity_mode : kDefaultMode;
  h->target_length = o->target_length;
  h->exact_length = exact_length;
  h->fill = o->fill_stars ? 1 : 0;
  return ZB_OK;
}

// Called with the lock held: the host with these settings, started if need be.
int start_host(Shared &s, const HostSettings &settings) {
  if (s.host) {
    if (!(settings == s.settings))
      return fail(ZB_E_OPTION,
                  "the host runs with other host options or another GMT offset for the "
                  "handles already open; close them first");
    return ZB_OK;
  }
  try {
    s.host = std::make_unique<zbhost::Host>();
  } catch (const std::logic_error &) {
    return fail(ZB_E_HOST, "this process already runs a stand-in host of its own");
  }
  s.host->capture_log(true);
  // xexit returns to its caller: a registration block the host cannot
  // allocate comes back as a failure instead of ending the process.
  s.host->set_exit_returns(true);
  for (const auto &o : settings.options) s.host->set_option(o.first, o.second);
  if (settings.gmt_offset) s.host->set_gmt_offset(*settings.gmt_offset);
  s.settings = settings;
  return ZB_OK;
}

// Called with the lock held when the last handle has gone: ends the task
// (the modules' termination routines run while they are loaded), then the
// modules and the host.
void stop_host(Shared &s) {
  if (!s.host) return;
  if (task_context *t = s.host->current_task()) s.host->end_task(t);
  s.modules.clear();
  s.host.reset();
  s.settings = HostSettings();
}

// Called with the lock held: the module file loaded for the task state.
// given: the module as the caller named it, for messages.
int load_shared(Shared &s, const std::string &path, const char *given, Loaded **out) {
  auto it = s.modules.find(path);
  if (it != s.modules.end()) {
    *out = &it->second;
    return ZB_OK;
  }
  std::string error;
  Loaded l;
  l.module = zbhost::Module::load(*s.host, path, &error);
  if (!l.module) return fail(ZB_E_LOAD, error);
  l.family = zbhost::Family::load(*s.host, *l.module, &error);
  if (!l.family)
    return fail(ZB_E_LOAD, "cannot register module " + std::string(given) + ": " + error);
  if (auto init = l.module->fn<void (*)()>("uwxn8601_init")) init();
  *out = &s.modules.emplace(path, std::move(l)).first->second;
  return ZB_OK;
}

int open_handle(const char *module, const zb_options *opts, zb_handle **out) {
  auto h = std::make_unique<zb_handle>();
  HostSettings settings;
  if (int rc = read_options(opts, &settings, h.get())) return rc;
  std::string path;
  if (int rc = module_file(module, &path)) return rc;

  Shared &s = shared();
  std::lock_guard<std::mutex> lock(s.mu);
  if (int rc = start_host(s, settings)) return rc;
  Loaded *loaded = nullptr;
  int rc = load_shared(s, path, module, &loaded);
  if (rc) {
    if (s.handles.empty()) stop_host(s);
    return rc;
  }
  h->module = loaded->module.get();
  h->family = loaded->family.get();
  // A private instance where the system allows one; the shared one otherwise,
  // with the same results.
  std::string error;
  h->own_module = zbhost::Module::load_private(*s.host, path, &error);
  if (h->own_module) h->own_family = zbhost::Family::load(*s.host, *h->own_module, &error);
  if (h->own_family) {
    h->module = h->own_module.get();
    h->family = h->own_family.get();
  } else {
    h->own_module.reset();
  }
  s.handles.insert(h.get());
  *out = h.release();
  return ZB_OK;
}

// Handles closed so far. A thread remembers the last handle it found open
// and the count at that time: while no handle has closed since, the same
// handle needs no look-up under the lock, so reading field by field on
// several threads does not serialise on it.
std::atomic<uint64_t> g_closes{0};
thread_local const zb_handle *t_known = nullptr;
thread_local uint64_t t_known_closes = 0;

// The handle, or null (with the message set) when it is not one.
zb_handle *checked(zb_handle *h) {
  if (!h) {
    fail(ZB_E_HANDLE, "the handle is null");
    return nullptr;
  }
  uint64_t closes = g_closes.load(std::memory_order_acquire);
  if (h == t_known && closes == t_known_closes) return h;
  Shared &s = shared();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.handles.count(h)) {
    fail(ZB_E_HANDLE, "not an open handle (closed, or never opened)");
    return nullptr;
  }
  t_known = h;
  t_known_closes = closes;
  return h;
}

int checked_reader(zb_handle *h, int32_t reader, const Reader **out) {
  if (!checked(h)) return ZB_E_HANDLE;
  if (reader < 0 || static_cast<size_t>(reader) >= h->readers.size())
    return fail(ZB_E_READER, "no reader " + std::to_string(reader) + " in this handle (it has " +
                                 std::to_string(h->readers.size()) + ")");
  *out = &h->readers[static_cast<size_t>(reader)];
  return ZB_OK;
}

bool is_entity(const Call &r) { return r.entity != nullptr; }

int32_t kind_of(zbhost::ValueKind k) {
  switch (k) {
    case zbhost::ValueKind::date: return ZB_KIND_DATE;
    case zbhost::ValueKind::time: return ZB_KIND_TIME;
    case zbhost::ValueKind::datetime: return ZB_KIND_DATETIME;
  }
  return ZB_KIND_DATETIME;
}

// An entity reader of that name ([$]NAME[W][.]): 1 found, 0 no entity name,
// or an API status.
int lookup_entity(zb_handle *h, std::string_view name, int32_t width, Reader *r) {
  std::string_view s = name;
  if (!s.empty() && s.back() == '.') s.remove_suffix(1);
  const EntityName *e = find_entity(s);
  int64_t w = -1;
  std::string width_text;
  if (!e) {
    std::string_view base;
    if (!zbhost::split_width(s, &base, &w) || !(e = find_entity(base))) return 0;
    width_text = std::string(s.substr(base.size()));
    if (width >= 1 && w != width)
      return fail(ZB_E_WIDTH, "reader '" + std::string(name) + "' is given two widths");
  } else if (width >= 1) {
    w = width, width_text = std::to_string(width);
  }
  if (w != -1 && (w < 1 || w > kMaxWidth))
    return fail(ZB_E_WIDTH, "width " + width_text + " is out of range for " + e->routine +
                                ": 1 to " + std::to_string(kMaxWidth));
  r->entity = h->module->fn<entity_reader>(e->routine);
  if (!r->entity) return fail(ZB_E_NAME, std::string("the module does not export ") + e->routine);
  r->report = h->module->fn<problem_reporter>("n8601prob");
  r->kind = e->kind;
  r->width = static_cast<int32_t>(w);
  r->target_len = h->target_length || h->exact_length ? h->target_length
                   : e->kind == ZB_KIND_INTERVAL      ? 32
                                                      : 16;
  r->mode = h->mode;
  r->fill = h->fill;
  r->display = std::string(e->routine) + (w > 0 ? std::to_string(w) : "");
  return 1;
}

int lookup(zb_handle *h, const char *name, int32_t width, int32_t *out) {
  if (!checked(h)) return ZB_E_HANDLE;
  if (!name || !out) return fail(ZB_E_NULL, !name ? "the name is null" : "the result pointer is null");
  if (width == 0 || width < -1 || width > kMaxWidth)
    return fail(ZB_E_WIDTH, "width " + std::to_string(width) + " is out of range: 1 to " +
                                std::to_string(kMaxWidth) + ", or -1 for the informat's own");
  Reader r;
  int found = lookup_entity(h, name, width, &r);
  if (found < 0) return found;
  if (found == 0) {
    std::string why;
    std::optional<int32_t> w;
    if (width >= 1) w = width;
    zbhost::LookupError kind = zbhost::LookupError::none;
    auto inf = h->family->lookup(name, w, &why, &kind);
    if (!inf) return fail(kind == zbhost::LookupError::width ? ZB_E_WIDTH : ZB_E_NAME, why);
    r.numeric = inf->reader;
    r.kind = kind_of(inf->kind);
    r.width = inf->width;
    r.decimals = inf->decimals;
    r.registered = inf->registered;
    r.display = inf->display;
  }
  h->readers.push_back(std::move(r));
  *out = static_cast<int32_t>(h->readers.size() - 1);
  return ZB_OK;
}

// One field's window into the reader's call block.
void set_field(const Call &r, const char *text, int32_t len, ifmblock *blk) {
  std::memset(blk, 0, sizeof *blk);
  blk->width = r.width >= 0 ? r.width : len;
  blk->decimals = r.decimals;
  blk->input = text;
  blk->avail = len;
}

// One call of a numeric reader on its double target as it stands.
uint32_t call_numeric(const Call &r, const char *text, int32_t len, double *target,
                      uint32_t *status) {
  ifmblock blk;
  set_field(r, text, len, &blk);
  blk.target = target;
  blk.target_len = sizeof *target;
  uint32_t code = r.numeric(&blk);
  *status = blk.status;
  return code;
}

// One call of an entity reader on its target (target_len bytes) as it
// stands; on a problem code the module reports it the way a host does.
uint32_t call_entity(const Call &r, const char *text, int32_t len, char *target,
                     uint32_t *status) {
  ifmblock blk;
  set_field(r, text, len, &blk);
  blk.target = target;
  blk.target_len = r.target_len;
  uint32_t code = r.entity(&blk, r.mode);
  if (code != 0 && r.report) r.report(&blk, r.fill, static_cast<int32_t>(code));
  *status = blk.status;
  return code;
}

// Reads one field with a numeric reader into *value. Inlined into the
// column loop: a column of short fields spends a good part of its time on
// the calls around the reader's.
[[gnu::always_inline]] inline void read_numeric(const Call &r, const char *text, int32_t len,
                                                double *value, uint32_t *code, uint32_t *status,
                                                uint8_t *written) {
  std::memcpy(value, &kSentinelBits, sizeof *value);
  uint32_t st;
  *code = call_numeric(r, text, len, value, &st);
  bool wrote = std::memcmp(value, &kSentinelBits, sizeof *value) != 0;
  if (!wrote) *value = ifm_missing();
  if (status) *status = st;
  if (written) *written = wrote;
}

// Reads one field with an entity reader into out (target_len bytes).
void read_entity(const Call &r, const char *text, int32_t len, char *out, uint32_t *code,
                 uint32_t *text_len, uint32_t *status, uint8_t *written) {
  std::memset(out, kTextSentinel, static_cast<size_t>(r.target_len));
  uint32_t st;
  *code = call_entity(r, text, len, out, &st);
  bool wrote = false;
  for (int32_t i = 0; i < r.target_len && !wrote; ++i) wrote = out[i] != kTextSentinel;
  if (text_len) *text_len = wrote ? std::min<uint32_t>(st, static_cast<uint32_t>(r.target_len)) : 0;
  if (status) *status = st;
  if (written) *written = wrote;
}

bool present(const uint8_t *validity, size_t i) {
  return !validity || (validity[i / 8] >> (i % 8)) & 1u;
}

// The offsets of a column checked before anything is read: ascending, and
// no field longer than a call block can say.
template <class Off>
int check_offsets(const Off *off, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (off[i + 1] < off[i] || (i == 0 && off[0] < 0))
      return fail(ZB_E_RANGE, "offset " + std::to_string(i + 1) + " (" +
                                  std::to_string(off[i + 1]) + ") lies before offset " +
                                  std::to_string(i) + " (" + std::to_string(off[i]) + ")");
    if (static_cast<int64_t>(off[i + 1]) - static_cast<int64_t>(off[i]) > INT32_MAX)
      return fail(ZB_E_RANGE, "field " + std::to_string(i) + " is longer than 2147483647 bytes");
  }
  return ZB_OK;
}

// Calls f(i, text, len) for each present field of the column and g(i) for
// each absent one.
template <class Present, class Absent>
void each_field(const zb_column &c, Present f, Absent g) {
  if (c.starts) {
    // One loop for both kinds of start, chosen once for the column.
    auto spans = [&](auto at) {
      for (size_t i = 0; i < c.n; ++i) {
        if (present(c.validity, i)) f(i, at(c.starts[i]), c.lengths[i]);
        else g(i);
      }
    };
    if (c.flags & ZB_ADDRESSES)
      spans([](int64_t a) { return reinterpret_cast<const char *>(static_cast<uintptr_t>(a)); });
    else
      spans([&](int64_t s) { return c.data + s; });
    return;
  }
  if (c.offsets || c.offsets32) {
    for (size_t i = 0; i < c.n; ++i) {
      if (!present(c.validity, i)) {
        g(i);
        continue;
      }
      int64_t a = c.offsets ? c.offsets[i] : c.offsets32[i];
      int64_t b = c.offsets ? c.offsets[i + 1] : c.offsets32[i + 1];
      f(i, c.data + a, static_cast<int32_t>(b - a));
    }
    return;
  }
  const int32_t len = static_cast<int32_t>(c.field_len);
  const bool padded = c.flags & ZB_NUL_PADDED;
  for (size_t i = 0; i < c.n; ++i) {
    if (!present(c.validity, i)) {
      g(i);
      continue;
    }
    const char *p = c.data + i * c.stride;
    int32_t k = len;
    if (padded)
      while (k > 0 && p[k - 1] == 0) --k;
    f(i, p, k);
  }
}

int read_column(zb_handle *h, int32_t reader, const zb_column *col, zb_results *out) {
  const Reader *found = nullptr;
  if (int rc = checked_reader(h, reader, &found)) return rc;
  if (!col || !out) return fail(ZB_E_NULL, !col ? "the column is null" : "the results are null");
  // Copies for the loops below: as far as the compiler knows a reader may
  // write anywhere, so what they read through pointers would be loaded again
  // after each call.
  const zb_column c = *col;
  const Call call = *found;
  const Call *r = &call;
  if (c.n == 0) return ZB_OK;
  if (!out->codes) return fail(ZB_E_NULL, "results.codes is null");
  if ((c.offsets != nullptr) + (c.offsets32 != nullptr) + (c.starts != nullptr) > 1)
    return fail(ZB_E_RANGE, "the column gives more than one layout");
  if (!c.starts != !c.lengths)
    return fail(ZB_E_NULL, "column.starts and column.lengths go together");
  bool by_offsets = c.offsets || c.offsets32;
  const bool addresses = c.flags & ZB_ADDRESSES;
  if (addresses && !c.starts)
    return fail(ZB_E_RANGE, "ZB_ADDRESSES is given without the spans layout");
  if (c.starts) {
    // The sign bits of them all first, a loop without branches; the field
    // for the message only when one is negative. Addresses are unsigned:
    // only their lengths are checked, and a present field's address is not
    // null.
    int64_t signs = 0;
    bool null_text = false;
    if (addresses) {
      for (size_t i = 0; i < c.n; ++i) {
        signs |= c.lengths[i];
        null_text |= (c.starts[i] == 0) & (c.lengths[i] != 0);
      }
    } else {
      for (size_t i = 0; i < c.n; ++i) signs |= c.starts[i] | c.lengths[i];
    }
    for (size_t i = 0; signs < 0 && i < c.n; ++i)
      if ((!addresses && c.starts[i] < 0) || c.lengths[i] < 0)
        return fail(ZB_E_RANGE, "field " + std::to_string(i) + " has a negative start or length");
    for (size_t i = 0; null_text && i < c.n; ++i)
      if (c.starts[i] == 0 && c.lengths[i] != 0)
        return fail(ZB_E_NULL, "field " + std::to_string(i) + " has a null address");
  }
  bool any_data = c.starts ? !addresses
                  : by_offsets ? (c.offsets ? c.offsets[c.n] > c.offsets[0]
                                            : c.offsets32[c.n] > c.offsets32[0])
                               : c.field_len > 0;
  if (!c.data && any_data) return fail(ZB_E_NULL, "column.data is null");
  if (by_offsets) {
    int rc = c.offsets ? check_offsets(c.offsets, c.n) : check_offsets(c.offsets32, c.n);
    if (rc) return rc;
  } else if (c.field_len > static_cast<size_t>(INT32_MAX)) {
    return fail(ZB_E_RANGE, "field length " + std::to_string(c.field_len) +
                                " is above 2147483647");
  }
  uint32_t *status = out->status;
  uint8_t *written = out->written;
  if (!is_entity(*r)) {
    if (!out->values) return fail(ZB_E_NULL, "results.values is null");
    double *values = out->values;
    uint32_t *codes = out->codes;
    each_field(
        c,
        [&](size_t i, const char *text, int32_t len) {
          read_numeric(*r, text, len, values + i, codes + i, status ? status + i : nullptr,
                       written ? written + i : nullptr);
        },
        [&](size_t i) {
          values[i] = ifm_missing();
          codes[i] = 0;
          if (status) status[i] = 0;
          if (written) written[i] = 0;
        });
    return ZB_OK;
  }
  if (!out->texts) return fail(ZB_E_NULL, "results.texts is null");
  if (out->text_stride < static_cast<size_t>(r->target_len))
    return fail(ZB_E_RANGE, "text stride " + std::to_string(out->text_stride) +
                                " is below the target length " + std::to_string(r->target_len));
  char *texts = out->texts;
  size_t stride = out->text_stride;
  uint32_t *codes = out->codes, *lens = out->text_lens;
  each_field(
      c,
      [&](size_t i, const char *text, int32_t len) {
        read_entity(*r, text, len, texts + i * stride, codes + i, lens ? lens + i : nullptr,
                    status ? status + i : nullptr, written ? written + i : nullptr);
      },
      [&](size_t i) {
        std::memset(texts + i * stride, 0, stride);
        codes[i] = 0;
        if (lens) lens[i] = 0;
        if (status) status[i] = 0;
        if (written) written[i] = 0;
      });
  return ZB_OK;
}

// Whether the running host has the modules' diagnostics on: a DEBUG host
// option that holds "N8601DIAG" in any letter case.
bool diagnostics_on() {
  Shared &s = shared();
  std::lock_guard<std::mutex> lock(s.mu);
  for (const auto &o : s.settings.options) {
    if (o.first != "DEBUG") continue;
    std::string v = o.second;
    for (char &c : v) c = upper(c);
    if (v.find("N8601DIAG") != std::string::npos) return true;
  }
  return false;
}

// Copies text into a NUL-terminated field of n bytes, cut to fit.
template <size_t N>
void put_text(char (&field)[N], std::string_view text) {
  size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

// A NUL-padded field of a module record: up to its first NUL.
std::string_view record_text(const char *p, size_t width) {
  const void *nul = std::memchr(p, 0, width);
  return {p, nul ? static_cast<size_t>(static_cast<const char *>(nul) - p) : width};
}

int describe_module(const char *module, zb_module_info *out) {
  std::string path;
  if (int rc = module_file(module, &path)) return rc;
  Shared &s = shared();
  std::lock_guard<std::mutex> lock(s.mu);
  // The running host, or one for this call alone.
  std::unique_ptr<zbhost::Host> own;
  if (!s.host) {
    try {
      own = std::make_unique<zbhost::Host>();
    } catch (const std::logic_error &) {
      return fail(ZB_E_HOST, "this process already runs a stand-in host of its own");
    }
  }
  std::string error;
  auto m = zbhost::Module::load(s.host ? *s.host : *own, path, &error);
  if (!m) return fail(ZB_E_LOAD, error);
  const uint32_t size = out->size;
  std::memset(out, 0, sizeof *out);
  out->size = size;
  const vi_mcn_record *img = m->image();
  const pcn_record *pcn = m->pcn();
  put_text(out->name, pcn ? record_text(pcn->name, sizeof pcn->name) : std::string_view("?"));
  put_text(out->release, record_text(img->release, sizeof img->release));
  put_text(out->build, record_text(img->build_id, sizeof img->build_id));
  put_text(out->built, record_text(img->build_date, sizeof img->build_date));
  // The version record: pointer-sized slots, the long build identifier in
  // the first.
  if (auto q = m->fn<void (*)(void *)>("qjvercn1")) {
    const void *info[INFO_SLOTS] = {};
    q(info);
    if (info[0]) put_text(out->long_build, record_text(static_cast<const char *>(info[0]), 64));
  }
  put_text(out->path, path);
  return ZB_OK;
}

// Runs an API call, turning an allocation failure into its status.
template <class F>
int guarded(F f) {
  try {
    return f();
  } catch (const std::bad_alloc &) {
    return fail(ZB_E_MEMORY, "out of memory");
  }
}

}  // namespace

extern "C" {

int zb_open(const char *module, const zb_options *opts, zb_handle **out) {
  if (!out) return fail(ZB_E_NULL, "the result pointer is null");
  *out = nullptr;
  if (!module) return fail(ZB_E_NULL, "the module name is null");
  return guarded([&] { return open_handle(module, opts, out); });
}

void zb_close(zb_handle *h) {
  if (!h) return;
  Shared &s = shared();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.handles.erase(h)) return;
  g_closes.fetch_add(1, std::memory_order_acq_rel);
  delete h;  // the private instance goes while the host lives
  if (s.handles.empty()) stop_host(s);
}

int zb_lookup(zb_handle *h, const char *name, int32_t width, int32_t *reader) {
  return guarded([&] { return lookup(h, name, width, reader); });
}

int zb_describe(zb_handle *h, int32_t reader, zb_reader_info *out) {
  const Reader *r = nullptr;
  if (int rc = checked_reader(h, reader, &r)) return rc;
  if (!out) return fail(ZB_E_NULL, "the result pointer is null");
  std::memset(out, 0, sizeof *out);
  out->kind = r->kind;
  out->width = r->width;
  out->decimals = r->decimals;
  out->target_length = r->target_len;
  out->registered = r->registered;
  size_t n = std::min(r->display.size(), sizeof out->display - 1);
  std::memcpy(out->display, r->display.data(), n);
  return ZB_OK;
}

int zb_read_field(zb_handle *h, int32_t reader, const char *text, size_t len, double *value,
                  uint32_t *code) {
  const Reader *r = nullptr;
  if (int rc = checked_reader(h, reader, &r)) return rc;
  if (is_entity(*r))
    return fail(ZB_E_KIND, r->display + " is an entity reader: use zb_read_entity_field");
  if ((!text && len) || !value || !code) return fail(ZB_E_NULL, "a required pointer is null");
  if (len > static_cast<size_t>(INT32_MAX))
    return fail(ZB_E_RANGE, "field length " + std::to_string(len) + " is above 2147483647");
  read_numeric(*r, text, static_cast<int32_t>(len), value, code, nullptr, nullptr);
  return ZB_OK;
}

int zb_read_entity_field(zb_handle *h, int32_t reader, const char *text, size_t len, char *out,
                         size_t out_len, uint32_t *code, uint32_t *text_len) {
  const Reader *r = nullptr;
  if (int rc = checked_reader(h, reader, &r)) return rc;
  if (!is_entity(*r))
    return fail(ZB_E_KIND, r->display + " is a numeric reader: use zb_read_field");
  if ((!text && len) || !out || !code || !text_len)
    return fail(ZB_E_NULL, "a required pointer is null");
  if (len > static_cast<size_t>(INT32_MAX))
    return fail(ZB_E_RANGE, "field length " + std::to_string(len) + " is above 2147483647");
  if (out_len < static_cast<size_t>(r->target_len))
    return fail(ZB_E_RANGE, "room for " + std::to_string(out_len) +
                                " bytes is below the target length " +
                                std::to_string(r->target_len));
  read_entity(*r, text, static_cast<int32_t>(len), out, code, text_len, nullptr, nullptr);
  return ZB_OK;
}

int zb_read_into(zb_handle *h, int32_t reader, const char *text, size_t len, void *target,
                 size_t target_len, uint32_t *code, uint32_t *status) {
  const Reader *r = nullptr;
  if (int rc = checked_reader(h, reader, &r)) return rc;
  if ((!text && len) || !target || !code || !status)
    return fail(ZB_E_NULL, "a required pointer is null");
  if (len > static_cast<size_t>(INT32_MAX))
    return fail(ZB_E_RANGE, "field length " + std::to_string(len) + " is above 2147483647");
  const size_t need = is_entity(*r) ? static_cast<size_t>(r->target_len) : sizeof(double);
  if (target_len < need)
    return fail(ZB_E_RANGE, "room for " + std::to_string(target_len) + " bytes is below the " +
                                std::to_string(need) + " the reader writes");
  // The caller's bytes as they are: a double target need not be aligned.
  if (is_entity(*r)) {
    *code = call_entity(*r, text, static_cast<int32_t>(len), static_cast<char *>(target), status);
  } else {
    double v;
    std::memcpy(&v, target, sizeof v);
    *code = call_numeric(*r, text, static_cast<int32_t>(len), &v, status);
    std::memcpy(target, &v, sizeof v);
  }
  return ZB_OK;
}

int zb_read_column(zb_handle *h, int32_t reader, const zb_column *col, zb_results *out) {
  return guarded([&] { return read_column(h, reader, col, out); });
}

int zb_entity_text(const char *hex, size_t len, char *out, size_t size) {
  if ((!hex && len) || (!out && size)) return fail(ZB_E_NULL, "a required pointer is null");
  return guarded([&] {
    std::string why;
    std::string text = zbhost::packed_text(std::string_view(hex, len), &why);
    if (text.empty()) return fail(ZB_E_RANGE, "not a packed entity: " + why);
    if (size) {
      size_t n = std::min(text.size(), size - 1);
      std::memcpy(out, text.data(), n);
      out[n] = 0;
    }
    return static_cast<int>(text.size());
  });
}

int zb_reader_logs(zb_handle *h, int32_t reader, int32_t *logs) {
  const Reader *r = nullptr;
  if (int rc = checked_reader(h, reader, &r)) return rc;
  if (!logs) return fail(ZB_E_NULL, "the result pointer is null");
  const int32_t full = r->kind == ZB_KIND_INTERVAL ? 32 : 16;
  *logs = is_entity(*r) && (diagnostics_on() || r->target_len < full);
  return ZB_OK;
}

int zb_module_describe(const char *module, zb_module_info *out) {
  if (!module || !out) return fail(ZB_E_NULL, !module ? "the module name is null" : "the result pointer is null");
  if (out->size < sizeof(zb_module_info))
    return fail(ZB_E_RANGE, "zb_module_info.size is " + std::to_string(out->size) +
                                ", expected " + std::to_string(sizeof(zb_module_info)));
  return guarded([&] { return describe_module(module, out); });
}

void zb_civil_from_days(int64_t days, int64_t *year, int32_t *month, int32_t *day) {
  const zbhost::cal::Civil c = zbhost::cal::civil_from_days(days);
  *year = c.year;
  *month = static_cast<int32_t>(c.month);
  *day = static_cast<int32_t>(c.day);
}

const char *zb_last_error(void) { return t_error.c_str(); }

const char *zb_code_text(uint32_t code) { return zbhost::code_text(code); }

const char *zb_problem_text(uint32_t code) { return zbhost::problem_text(code); }

size_t zb_take_log(char *buf, size_t size) {
  Shared &s = shared();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.host) return 0;
  std::string all;
  for (const std::string &line : s.host->log()) all += line + "\n";
  if (buf && size) {
    size_t n = std::min(all.size(), size - 1);
    std::memcpy(buf, all.data(), n);
    buf[n] = 0;
    s.host->clear_log();
  }
  return all.size();
}

}  // extern "C"

namespace zbhost {
// Sets the calling thread's last error, for the API's calls in other files.
int api_fail(int status, std::string message) { return fail(status, std::move(message)); }
int api_fail(int status, const char *message) { return fail(status, message); }
void api_drop_readers(zb_handle *h, size_t keep) {
  if (keep < h->readers.size()) h->readers.resize(keep);
}
}  // namespace zbhost
