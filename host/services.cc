// The host services of vectors 0 and 30: field services, options, log,
// exit, GMT offset, termination registration and task name tables.
//
// wzifmch, wzrlchr, wzifmn and wzfmhc run on every field from many threads:
// they take no lock and allocate nothing.
#include <stdarg.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string_view>

#include "host.h"
#include "host_impl.h"

namespace zbhost {

namespace {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// --- field services ---------------------------------------------------------

// wzifmch(text, len, target): missing-value notation is a lone '.' with only
// blanks around it, or (while blank_is_missing is on) a field of blanks
// alone, len 0 included. Then the missing value goes to *target and the
// answer is 1; otherwise 0 and *target is left alone.
int32_t svc_wzifmch(const char *text, int32_t len, double *target) {
  int32_t b = 0, e = (text && len > 0) ? len : 0;
  // A field that begins with neither a blank nor a '.' is no missing value;
  // most fields are such, and the readers ask on every one.
  if (e > 0 && text[0] != ' ' && text[0] != '.') return 0;
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  bool missing;
  if (b == e) {
    Impl *m = active_impl();
    missing = m ? m->blank_is_missing.load(std::memory_order_relaxed) : true;
  } else {
    missing = e - b == 1 && text[b] == '.';
  }
  if (!missing) return 0;
  if (target) *target = ifm_missing();
  return 1;
}

// wzrlchr(text, len, 0, &used, &value): the decimal digits the text begins
// with, at most len of them (no sign, no blanks). 0 with used and value set;
// kNoDigit when the text does not begin with a digit, kOverflow past
// INT64_MAX; on failure used and value are left alone.
int32_t svc_wzrlchr(const char *text, int32_t len, int32_t, int32_t *used, int64_t *value) {
  if (!text || len <= 0 || !is_digit(text[0])) return kNoDigit;
  int32_t n = 1;
  int64_t v = text[0] - '0';
  if (len == 2 || len == 4) {
    // Dates and times hand over their parts as runs of two and four digits,
    // three or more on every field: read without the loop, the host calls
    // of a date take a fifth less time (docs/performance.md).
    if (is_digit(text[1])) {
      v = v * 10 + (text[1] - '0');
      n = 2;
      if (len == 4 && is_digit(text[2])) {
        v = v * 10 + (text[2] - '0');
        n = 3;
        if (is_digit(text[3])) {
          v = v * 10 + (text[3] - '0');
          n = 4;
        }
      }
    }
  } else {
    constexpr int64_t kTenth = INT64_MAX / 10;
    for (; n < len && is_digit(text[n]); ++n) {
      const int d = text[n] - '0';
      // v * 10 + d would pass INT64_MAX; tested without a division a digit.
      if (v > kTenth || (v == kTenth && d > INT64_MAX % 10)) return kOverflow;
      v = v * 10 + d;
    }
  }
  if (used) *used = n;
  if (value) *value = v;
  return 0;
}

// wzifmn(blk): the host's numeric reading of the window min(width, avail):
// optional blanks, an optional sign, digits with at most one '.', optional
// blanks. Stores the number in the double target and returns 0; on anything
// else IFM_INVALID_DATA and the target is left alone.
uint32_t svc_wzifmn(ifmblock *blk) {
  if (!blk || !blk->target) return IFM_INVALID_DATA;
  int32_t n = blk->width < blk->avail ? blk->width : blk->avail;
  if (n < 0) n = 0;
  const char *t = blk->input;
  if (!t && n > 0) return IFM_INVALID_DATA;
  int32_t b = 0, e = n;
  while (b < e && t[b] == ' ') ++b;
  while (e > b && t[e - 1] == ' ') --e;
  bool negative = false;
  if (b < e && (t[b] == '+' || t[b] == '-')) negative = t[b++] == '-';
  int digits = 0, points = 0;
  for (int32_t i = b; i < e; ++i) {
    if (is_digit(t[i]))
      ++digits;
    else if (t[i] == '.')
      ++points;
    else
      return IFM_INVALID_DATA;
  }
  if (digits == 0 || points > 1) return IFM_INVALID_DATA;
  double v = 0;
  auto r = std::from_chars(t + b, t + e, v, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != t + e) return IFM_INVALID_DATA;
  *static_cast<double *>(blk->target) = negative ? -v : v;
  return 0;
}

// wzfmhc(bytes, count, outlen, 1, out): two upper-case hexadecimal digits a
// byte, high nibble first, at most outlen characters. 0 when every digit
// fitted, 1 when the output was cut short, kBadArgument on bad arguments.
int32_t svc_wzfmhc(const void *bytes, int32_t count, int32_t outlen, int32_t, char *out) {
  if (count < 0 || outlen < 0 || (count > 0 && !bytes) || (outlen > 0 && !out))
    return static_cast<int32_t>(kBadArgument);
  static const char kHex[] = "0123456789ABCDEF";
  const auto *p = static_cast<const unsigned char *>(bytes);
  int64_t want = int64_t{count} * 2;
  int64_t n = want < outlen ? want : outlen;
  // Whole bytes two digits at a time; an odd last position gets the high
  // nibble of its byte alone.
  const int64_t whole = n / 2;
  for (int64_t i = 0; i < whole; ++i) {
    const unsigned char byte = p[i];
    out[2 * i] = kHex[byte >> 4];
    out[2 * i + 1] = kHex[byte & 0x0F];
  }
  if (n & 1) out[n - 1] = kHex[p[whole] >> 4];
  return want > outlen ? 1 : 0;
}

// wzdtgmt(&offset): local offset from GMT in seconds, east positive: the
// host's setting, else the system zone's current offset.
void svc_wzdtgmt(double *offset) {
  if (!offset) return;
  if (Impl *m = active_impl()) {
    std::lock_guard<std::mutex> lock(m->gmt_mu);
    if (m->gmt_offset) {
      *offset = *m->gmt_offset;
      return;
    }
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  *offset = static_cast<double>(local.tm_gmtoff);
}

// --- options, log, exit ------------------------------------------------------

// xoptcgt(name, &status): the option's value text with status 0, or "" with
// status 1 when it is not set. The text stays valid while the host lives.
const char *svc_xoptcgt(const char *name, int32_t *status) {
  Impl *m = active_impl();
  const char *v = (m && name) ? lookup_option(*m, name) : nullptr;
  if (status) *status = v ? 0 : 1;
  return v ? v : "";
}

void svc_xpslog(const char *fmt, va_list ap) {
  Impl *m = active_impl();
  va_list copy;
  va_copy(copy, ap);
  try {
    std::string line = format_log_line(fmt, copy);
    if (m)
      m->log_line(std::move(line));
    else
      std::fprintf(stderr, "%s\n", line.c_str());
  } catch (const std::bad_alloc &) {
    std::fputs("zbhost: log line lost: out of memory\n", stderr);
  }
  va_end(copy);
}

// xexit(code, 0): ends the current task and the process with exit status 3,
// or, on a host set to let it return, records the call and returns.
void svc_xexit(int32_t code, int32_t zero) {
  Impl *m = active_impl();
  if (m) {
    std::lock_guard<std::mutex> lock(m->exit_mu);
    m->exits.emplace_back(code, zero);
    if (m->exit_returns) return;
  }
  std::fprintf(stderr, "zbhost: xexit(%d, %d): ending the task and the process\n", code, zero);
  if (m) m->self->end_task(m->self->current_task());
  std::exit(3);
}

// --- termination routines and name tables -------------------------------------

// Services never let an exception into module code: running out of memory
// becomes the given answer.
template <class F>
int32_t no_throw(uint32_t answer, F body) {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    return static_cast<int32_t>(answer);
  }
}

Task *task_of(name_table *names) {
  Impl *m = active_impl();
  return m ? m->find_task(names) : nullptr;
}

// vir2g(routine, &token, names, pidb): registers a termination routine with
// the task owning the name table; the host calls it when the task ends.
int32_t svc_vir2g(term_routine routine, uint64_t *token, name_table *names, void *) {
  Impl *m = active_impl();
  Task *t = m ? m->find_task(names) : nullptr;
  if (!t || !routine || !token) return static_cast<int32_t>(kBadArgument);
  return no_throw(kTableFull, [&] {
    uint64_t tok = m->next_token.fetch_add(1);
    std::lock_guard<std::mutex> lock(t->mu);
    t->terms.emplace_back(routine, tok);
    *token = tok;
    return 0;
  });
}

bool issued(const Task &t, uint32_t h) { return h != 0 && h < t.next_handle; }

// wtrscrt(names, &handle, 0, token): a new entry holding a null pointer.
int32_t svc_wtrscrt(name_table *names, uint32_t *handle, int32_t, uint64_t) {
  Task *t = task_of(names);
  if (!t || !handle) return static_cast<int32_t>(kBadArgument);
  std::lock_guard<std::mutex> lock(t->mu);
  if (t->next_handle > UINT32_MAX) return static_cast<int32_t>(kTableFull);
  auto h = static_cast<uint32_t>(t->next_handle);
  void **&page = t->pages[h >> 16];
  if (!page) {
    CallocPtr<void *> fresh(static_cast<void **>(std::calloc(kPageEntries, sizeof(void *))));
    if (!fresh) return static_cast<int32_t>(kTableFull);
    if (no_throw(kTableFull, [&] {
          t->page_store.push_back(std::move(fresh));
          return 0;
        }) != 0)
      return static_cast<int32_t>(kTableFull);
    page = t->page_store.back().get();
  }
  ++t->next_handle;
  *handle = h;
  return 0;
}

// wtrsset(names, handle, ptr): stores ptr under the handle.
int32_t svc_wtrsset(name_table *names, uint32_t handle, void *ptr) {
  Task *t = task_of(names);
  if (!t) return static_cast<int32_t>(kBadArgument);
  std::lock_guard<std::mutex> lock(t->mu);
  if (!issued(*t, handle)) return static_cast<int32_t>(kNoEntry);
  t->pages[handle >> 16][handle & 0xFFFF] = ptr;
  return 0;
}

bool name_ok(const char *name, int32_t len) { return len >= 0 && (name || len == 0); }

// xytnsl(names, 1, name, len, handle): binds the name (len bytes, compared
// as bytes) to an entry; a later bind of the same name replaces it.
int32_t svc_xytnsl(name_table *names, int32_t, const char *name, int32_t len, uint32_t handle) {
  Task *t = task_of(names);
  if (!t || !name_ok(name, len)) return static_cast<int32_t>(kBadArgument);
  std::lock_guard<std::mutex> lock(t->mu);
  if (!issued(*t, handle)) return static_cast<int32_t>(kNoEntry);
  return no_throw(kTableFull, [&] {
    t->bindings[std::string(name, static_cast<size_t>(len))] = handle;
    return 0;
  });
}

// xytngl(names, 0, name, len, &handle, &table): 0 with the bound handle and
// the page table (entry = table[handle >> 16][handle & 0xFFFF]);
// XYTNGL_UNBOUND when the name is not bound, outputs then left alone.
uint32_t svc_xytngl(name_table *names, int32_t, const char *name, int32_t len, uint32_t *handle,
                    name_pages *table) {
  Task *t = task_of(names);
  if (!t || !name_ok(name, len) || !handle || !table) return kBadArgument;
  std::lock_guard<std::mutex> lock(t->mu);
  auto it = t->bindings.find(std::string_view(name, static_cast<size_t>(len)));
  if (it == t->bindings.end()) return XYTNGL_UNBOUND;
  *handle = it->second;
  *table = t->pages.get();
  return 0;
}

}  // namespace

// --- log formatting ------------------------------------------------------------

std::string format_log_line(const char *fmt, va_list ap) {
  std::string out;
  if (!fmt) return out;
  char num[32];
  for (const char *p = fmt; *p; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char *start = p;
    ++p;
    bool star = false, dot_star = false;
    if (*p == '*') {
      star = true;
      ++p;
    } else if (p[0] == '.' && p[1] == '*') {
      dot_star = true;
      p += 2;
    }
    switch (*p) {
      case '%':
        out += '%';
        break;
      case 'd':
      case 'i':
        std::snprintf(num, sizeof num, "%d", va_arg(ap, int));
        out += num;
        break;
      case 'u':
        std::snprintf(num, sizeof num, "%u", va_arg(ap, unsigned));
        out += num;
        break;
      case 'x':
        std::snprintf(num, sizeof num, "%x", va_arg(ap, unsigned));
        out += num;
        break;
      case 'c':
        out += static_cast<char>(va_arg(ap, int));
        break;
      case 's': {
        // A counted text (%*s, %.*s) is read up to its length and no further:
        // fields are not NUL-terminated.
        int limit = (star || dot_star) ? va_arg(ap, int) : -1;
        const char *s = va_arg(ap, const char *);
        if (!s) {
          out += "(null)";
        } else if (!(star || dot_star)) {
          out += s;
        } else {
          for (int i = 0; i < limit && s[i]; ++i) out += s[i];
        }
        break;
      }
      case '\0':
        out.append(start, p);
        --p;  // let the loop see the end
        break;
      default:
        // An unknown conversion is shown as written; no argument is taken.
        out.append(start, p + 1);
        break;
    }
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

void install_services(Impl &m) {
  put_service(m, SVC_VIR2G, entry(svc_vir2g));
  put_service(m, SVC_WTRSCRT, entry(svc_wtrscrt));
  put_service(m, SVC_WTRSSET, entry(svc_wtrsset));
  put_service(m, SVC_WZDTGMT, entry(svc_wzdtgmt));
  put_service(m, SVC_WZFMHC, entry(svc_wzfmhc));
  put_service(m, SVC_WZIFMCH, entry(svc_wzifmch));
  put_service(m, SVC_WZIFMN, entry(svc_wzifmn));
  put_service(m, SVC_WZRLCHR, entry(svc_wzrlchr));
  put_service(m, SVC_XEXIT, entry(svc_xexit));
  put_service(m, SVC_XOPTCGT, entry(svc_xoptcgt));
  put_service(m, SVC_XPSLOG, entry(svc_xpslog));
  put_service(m, SVC_XYTNSL, entry(svc_xytnsl));
  put_service(m, SVC_XYTNGL, entry(svc_xytngl));
}

}  // namespace zbhost
