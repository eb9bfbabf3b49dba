// Hostile-input harness shared by the fuzz targets and the property tests.
//
// One input drives one call: a five-byte header chooses the routine, the
// width, the available length, the target length and the mode; the rest is
// the field. The field's window (min(width, available length) bytes) is held
// so that its last byte is followed by an inaccessible page, and the target
// is fenced the same way, with canary bytes in front. Every call is made in
// both modules, and each result is checked against properties that hold for
// any input; a broken property is recorded in the Checker.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>
#include <string>
#include <string_view>
#include <vector>

#include "entity_text.h"
#include "host.h"
#include "ifmblock.h"
#include "support/call_block.h"
#include "support/entity_record.h"
#include "support/guard.h"

namespace zbfuzz {

struct Checker {
  std::vector<std::string> failures;
  std::string context;  // what the current call was, for messages
  void fail(const std::string &what) { failures.push_back(context + ": " + what); }
  void expect(bool ok, const std::string &what) {
    if (!ok) fail(what);
  }
};

}  // namespace zbfuzz


namespace zbfuzz {

using Record = ::iso_entity;

// Fields and targets placed against an inaccessible page, as
// zbtest::GuardedField places them, but from mappings kept for reuse: a
// fuzz run makes millions of them. Each thread keeps its own stack of
// mappings; a field longer than a mapping holds gets a GuardedField.
class Fenced {
 public:
  explicit Fenced(std::string_view text) : size_(text.size()) {
    Pool &pool = pool_of_thread();
    if (text.size() <= kRoom && pool.used < kSlots) {
      slot_ = pool.used++;
      if (!pool.map[slot_]) pool.map[slot_] = map_slot();
      begin_ = pool.map[slot_] + kRoom - text.size();
    } else {
      big_ = std::make_unique<zbtest::GuardedField>(text);
      begin_ = big_->data();
    }
    if (!text.empty()) std::memcpy(begin_, text.data(), text.size());
  }
  ~Fenced() {
    if (slot_ >= 0) --pool_of_thread().used;  // released in reverse order of taking
  }
  Fenced(const Fenced &) = delete;
  Fenced &operator=(const Fenced &) = delete;
  char *data() const { return begin_; }
  size_t size() const { return size_; }

 private:
  static constexpr size_t kRoom = 8192;  // two pages of text, then the guard
  static constexpr int kSlots = 32;
  struct Pool {
    char *map[kSlots] = {};
    int used = 0;
  };
  static Pool &pool_of_thread() {
    thread_local Pool pool;
    return pool;
  }
  static char *map_slot();
  int slot_ = -1;
  size_t size_;
  char *begin_ = nullptr;
  std::unique_ptr<zbtest::GuardedField> big_;
};

inline char *Fenced::map_slot() {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t len = kRoom + page;
  void *m = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) std::abort();
  char *base = static_cast<char *>(m);
  if (mprotect(base + kRoom, page, PROT_NONE) != 0) std::abort();
  return base;  // kept for the life of the thread's pool
}

// --- the routines of one module -----------------------------------------------

struct Api {
  // Registered readers, in the order of kBasicNames.
  ifm_reader basic[8];
  ifm_reader i8601tm, i8601tz, i8601lz, i8601da, i8601dn, i8601dt, i8601dz;
  uint32_t (*i8601_time)(ifmblock *, int32_t);
  uint32_t (*i8601_datetime)(ifmblock *, int32_t);
  int32_t (*date_ok)(const char *, int32_t);
  int32_t (*read2digs)(const char **, int32_t *, int32_t *);
  uint32_t (*get_time_offset)(int32_t, const ifmblock *, ifmblock *, int32_t *);
  ifm_reader zifmymd, zifmtim;
  int32_t (*zifmgmd)(task_context *, const char *, int32_t, double *, double *, double *);
  int32_t (*read_date_or_duration)(const char *, int32_t, Record *, int32_t, int32_t);
  int32_t (*convert_to_bcd)(Record *);
  int32_t (*derive_interval)(const char *, int32_t, Record *, Record *, int32_t);
  int32_t (*compute_end)(const Record *, const Record *, Record *);
  int32_t (*compute_start)(const Record *, const Record *, Record *);
  uint32_t (*is8601dui)(ifmblock *, int32_t);
  uint32_t (*is8601pdi)(ifmblock *, int32_t);
  uint32_t (*is8601vli)(ifmblock *, int32_t);
  uint32_t (*n8601prob)(ifmblock *, int32_t, int32_t);
  void (*uwxn8601_init)(void);
  int32_t (*vzsntl)(const void *, int64_t, int32_t);
  int32_t (*wzstnot)(const void *, int32_t, int32_t);
  int32_t (*wzstpos)(const void *, int32_t, int32_t);
  int32_t (*vzstl)(const void *, int64_t, const uint8_t *);
  int32_t (*wzstlen)(const char *);
  int32_t (*wzstrip)(const void *, int32_t);
  int32_t (*wzbcup)(const void *, const void *, int32_t);
  void (*wzstjls)(char *, int32_t, int32_t, int32_t *, int32_t *);
  uint32_t (*wzclchr)(int64_t, char *, int32_t);
};

inline const char *const kBasicNames[8] = {"b8601da", "b8601tm", "b8601tz", "b8601dt",
                                           "b8601dz", "b8601dn", "b8601dj", "b8601ci"};

// Fills api from a loaded module; false (with the missing name) when a
// routine is not exported.
inline bool bind_api(const zbhost::Module &m, Api *api, std::string *missing) {
  bool ok = true;
  auto get = [&](auto &slot, const char *name) {
    void *p = m.symbol(name);
    if (!p) {
      ok = false;
      *missing += std::string(name) + " ";
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(p);
  };
  for (int i = 0; i < 8; ++i) get(api->basic[i], kBasicNames[i]);
  get(api->i8601tm, "i8601tm");
  get(api->i8601tz, "i8601tz");
  get(api->i8601lz, "i8601lz");
  get(api->i8601da, "i8601da");
  get(api->i8601dn, "i8601dn");
  get(api->i8601dt, "i8601dt");
  get(api->i8601dz, "i8601dz");
  get(api->i8601_time, "i8601_time");
  get(api->i8601_datetime, "i8601_datetime");
  get(api->date_ok, "date_ok");
  get(api->read2digs, "read2digs");
  get(api->get_time_offset, "get_time_offset");
  get(api->zifmymd, "zifmymd");
  get(api->zifmtim, "zifmtim");
  get(api->zifmgmd, "zifmgmd");
  get(api->read_date_or_duration, "read_date_or_duration");
  get(api->convert_to_bcd, "convert_to_bcd");
  get(api->derive_interval, "derive_interval");
  get(api->compute_end, "compute_end");
  get(api->compute_start, "compute_start");
  get(api->is8601dui, "is8601dui");
  get(api->is8601pdi, "is8601pdi");
  get(api->is8601vli, "is8601vli");
  get(api->n8601prob, "n8601prob");
  get(api->uwxn8601_init, "uwxn8601_init");
  get(api->vzsntl, "vzsntl");
  get(api->wzstnot, "wzstnot");
  get(api->wzstpos, "wzstpos");
  get(api->vzstl, "vzstl");
  get(api->wzstlen, "wzstlen");
  get(api->wzstrip, "wzstrip");
  get(api->wzbcup, "wzbcup");
  get(api->wzstjls, "wzstjls");
  get(api->wzclchr, "wzclchr");
  return ok;
}

// The host and both modules (0 zelbrant, 1 morvista).
struct Env {
  zbhost::Host *host = nullptr;
  Api api[2];
};

// Host settings every run uses: a fixed local GMT offset (+01:00), so that
// readers of an optional zone give the same answer everywhere, and
// diagnostics on in the current task of both modules.
inline bool prepare(Env *env, const zbhost::Module &zel, const zbhost::Module &mor,
                    std::string *error) {
  if (!bind_api(zel, &env->api[0], error) || !bind_api(mor, &env->api[1], error)) return false;
  env->host->set_gmt_offset(3600.0);
  env->host->set_option("DEBUG", "n8601diag");
  env->host->capture_log(true);
  env->api[0].uwxn8601_init();
  env->api[1].uwxn8601_init();
  return true;
}

// --- the input ----------------------------------------------------------------

struct Input {
  uint8_t sel = 0, wcode = 0, acode = 0, tcode = 0, extra = 0;
  std::string_view text;
};

inline Input parse_input(const uint8_t *data, size_t size) {
  Input in;
  uint8_t h[5] = {0, 0, 0, 0, 0};
  size_t n = size < 5 ? size : 5;
  std::memcpy(h, data, n);
  in.sel = h[0];
  in.wcode = h[1];
  in.acode = h[2];
  in.tcode = h[3];
  in.extra = h[4];
  in.text = std::string_view(reinterpret_cast<const char *>(data) + n, size - n);
  return in;
}

// A length code: 0x00-0x7F the text's length plus the code (longer than the
// text), 0x80-0xF7 the text's length minus (code - 0x80), possibly negative;
// the top codes are the edges: 0, -1, INT32_MIN, INT32_MAX, -length.
inline int32_t length_from_code(uint8_t code, int32_t len) {
  switch (code) {
    case 0xFF: return 0;
    case 0xFE: return -1;
    case 0xFD: return INT32_MIN;
    case 0xFC: return INT32_MAX;
    case 0xFB: return -len;
    default: break;
  }
  if (code < 0x80) return len + code;
  return len - (code - 0x80);
}

// The field a call sees: width, available length, and the window bytes.
struct Field {
  int32_t width = 0, avail = 0;
  std::string window;  // min(width, avail) bytes, or none
  int32_t window_len() const { return static_cast<int32_t>(window.size()); }
};

inline Field make_field(const Input &in, std::string_view text) {
  Field f;
  const int32_t len = static_cast<int32_t>(text.size() > 4096 ? 4096 : text.size());
  f.width = length_from_code(in.wcode, len);
  f.avail = length_from_code(in.acode, len);
  // The window may not reach past the bytes the input holds: when both
  // lengths exceed them, the available length is the bytes there are.
  if (f.width > len && f.avail > len) f.avail = len;
  int32_t w = f.width < f.avail ? f.width : f.avail;
  if (w < 0) w = 0;
  f.window.assign(text.data(), static_cast<size_t>(w));
  return f;
}

// The target length of a character informat (and of n8601prob).
inline int32_t target_len_from_code(uint8_t code) {
  switch (code) {
    case 0xFF: return INT32_MIN;
    case 0xFE: return -1;
    default: return code < 0xC0 ? code % 72 : -(code & 0x3F);
  }
}

constexpr uint8_t kCanary = 0xA5;
constexpr size_t kFence = 16;

// A call block over a guarded copy of the field, the field's copy to check
// that nothing wrote to it, and a fenced target of target_len bytes.
class Call {
 public:
  Call(const Field &f, int32_t target_len, bool numeric)
      : field_(f.window), copy_(f.window),
        target_(std::string(kFence + room(target_len, numeric), static_cast<char>(kCanary))) {
    blk = zbtest::call_block(field_.data(), f.width, f.avail, target_.data() + kFence, target_len);
    if (numeric) {
      const uint64_t bits = kSentinelBits;
      std::memcpy(target_.data() + kFence, &bits, 8);
    }
  }

  ifmblock blk;
  char *field() { return field_.data(); }
  char *target() { return target_.data() + kFence; }

  // The field holds what it held; nothing before the target changed.
  void check_fences(Checker *c) {
    c->expect(std::memcmp(field_.data(), copy_.data(), copy_.size()) == 0,
              "the caller's field was modified");
    bool fence_ok = true;
    for (size_t i = 0; i < kFence; ++i)
      fence_ok = fence_ok && static_cast<uint8_t>(target_.data()[i]) == kCanary;
    c->expect(fence_ok, "a byte before the target was written");
  }
  double value() const {
    double d;
    std::memcpy(&d, target_.data() + kFence, 8);
    return d;
  }
  bool untouched_numeric() const {
    uint64_t b;
    std::memcpy(&b, target_.data() + kFence, 8);
    return b == kSentinelBits;
  }
  // The character target's bytes (room(target_len) of them).
  std::string target_bytes() const {
    return std::string(target_.data() + kFence, target_.size() - kFence);
  }

  static constexpr uint64_t kSentinelBits = 0x7FF4DEADBEEF0001ull;

 private:
  static size_t room(int32_t target_len, bool numeric) {
    if (numeric) return 8;
    return target_len > 0 ? static_cast<size_t>(target_len) : 0;
  }
  Fenced field_;
  std::string copy_;
  Fenced target_;
};

inline std::string hex_bytes(const void *p, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto *b = static_cast<const uint8_t *>(p);
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += kHex[b[i] >> 4];
    s += kHex[b[i] & 0xF];
  }
  return s;
}

inline std::string printable(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

inline uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return b;
}

// One observable outcome of a call, compared across the two modules.
struct Outcome {
  uint32_t rc = 0;
  uint32_t status = 0;
  std::string target;  // target bytes (8 for a numeric target)
  std::string extra;   // anything else the routine hands back
  std::vector<std::string> log;
  bool operator==(const Outcome &o) const {
    return rc == o.rc && status == o.status && target == o.target && extra == o.extra &&
           log == o.log;
  }
  std::string describe() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "rc %08X status %u target ", rc, status);
    std::string s = buf + hex_bytes(target.data(), target.size());
    if (!extra.empty()) s += " extra " + hex_bytes(extra.data(), extra.size());
    for (const std::string &l : log) s += " log[" + printable(l) + "]";
    return s;
  }
};

inline void compare_modules(const Outcome &zel, const Outcome &mor, Checker *c) {
  c->expect(zel == mor, "zelbrant and morvista differ: " + zel.describe() + " vs " + mor.describe());
}

// --- text of host values, with the host's own calendar -------------------------

// Extended date text of a host date; empty when it has no four-digit year
// the readers take.
inline std::string date_text(double days) {
  if (!(days >= static_cast<double>(zbhost::cal::min_day()) &&
        days <= static_cast<double>(zbhost::cal::max_day())) ||
      days != std::floor(days))
    return {};
  const auto c = zbhost::cal::civil_from_days(static_cast<int64_t>(days));
  if (c.year < 1000 || c.year > 9999) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(c.year), c.month, c.day);
  return buf;
}

// Extended time text of a time of day in [0, 86400); fractions to nine
// places. Empty outside that range.
inline std::string time_text(double secs) {
  if (!(secs >= 0 && secs < 86400)) return {};
  // Nanoseconds first, so that a fraction that rounds up carries into the
  // seconds (59.9999999998 is 60, not 59 with the fraction dropped).
  const int64_t ns = std::llround(secs * 1e9);
  const int64_t s = ns / 1000000000, nano = ns % 1000000000;
  if (s >= 86400) return {};  // rounds to the next day: no text for it
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                        static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  if (nano > 0)
    std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%09lld", static_cast<long long>(nano));
  return buf;
}

inline std::string datetime_text(double secs) {
  if (!std::isfinite(secs)) return {};
  const double days = std::floor(secs / 86400);
  const std::string d = date_text(days);
  const std::string t = time_text(secs - days * 86400);
  if (d.empty() || t.empty()) return {};
  return d + "T" + t;
}

// Reads text with an extended reader (a plain field, width = length).
inline uint32_t read_back(ifm_reader reader, const std::string &text, double *value) {
  Fenced f(text);
  const auto len = static_cast<int32_t>(text.size());
  ifmblock blk = zbtest::call_block(f.data(), len, len, value, 8);
  return reader(&blk);
}

inline bool close_enough(double a, double b) {
  return a == b || std::fabs(a - b) <= 1e-6 * (1 + std::fabs(a));
}

// A reader's value, shown as extended text and read back: the same value.
inline void check_round_trip(ifm_reader back, const std::string &text, double value, Checker *c) {
  if (text.empty()) return;  // no text for it (range)
  double again = 0;
  const uint32_t rc = read_back(back, text, &again);
  char buf[96];
  std::snprintf(buf, sizeof buf, "value %.17g shown as ", value);
  c->expect(rc == 0 && close_enough(again, value),
            buf + text + " reads back as " + std::to_string(rc) + "/" + std::to_string(again));
}

// --- the blank-trimmed window ------------------------------------------------------

inline std::string_view trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

inline bool all_digits(std::string_view s) {
  for (char ch : s)
    if (ch < '0' || ch > '9') return false;
  return true;
}

// The host's missing-value notation: blanks alone, or a lone '.' among
// blanks (the stand-in host's rule, blank_is_missing on).
inline bool missing_notation(std::string_view window) {
  const std::string_view t = trimmed(window);
  return t.empty() || t == ".";
}

}  // namespace zbfuzz
