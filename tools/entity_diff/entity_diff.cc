// Side-by-side check of two builds of the entity code: loads zelbrant and
// morvista from an old and a new build directory into one stand-in host,
// runs both on the same generated and mutated inputs and compares, call by
// call, everything the host can see: the return code, the whole call block
// afterwards, every byte of the target (and beyond it), every host service
// called through the GCB (service, arguments, what it gave back; pointers as
// offsets into the field or the target, the bytes handed to wzfmhc by value)
// and every log line. Also compares read_date_or_duration and
// derive_interval record for record, and convert_to_bcd on random records;
// then as many calls again of the numeric readers (the basic and extended
// readers and the calendar routines) on date and time texts.
//
//   zb_entity_diff OLD_BUILD_DIR NEW_BUILD_DIR [CALLS] [SEED]
//
// Prints the number of comparisons of each kind and of the differences by
// what explains them (see why_it_may_differ and mended), with the first unexplained
// ones. Exit status 0 when nothing differs, 3 when every difference is an
// entity text whose fraction has more than three digits or one of a mended
// fault (see fault_class and mended), 1 when any other differs. CALLS (entity
// calls, and numeric calls) defaults to 1000000.
#include <array>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/fields.h"
#include "gcb.h"
#include "host.h"
#include "ifmblock.h"
#include "support/call_block.h"
#include "support/entity_record.h"
#include "support/module_api.h"

namespace {

using zbbench::Rng;

using Rec = iso_entity;  // the entity record

using Reader = uint32_t (*)(ifmblock *, int32_t);
// The numeric readers compared as well: every numeric reader of the catalog
// (the registered basic readers, the extended readers and the calendar
// routines), each exported by both modules, by their catalog positions.
constexpr int count_numeric() {
  int n = 0;
  for (const zb_catalog_row &r : zb_catalog) n += !zb_catalog_entity(r);
  return n;
}
constexpr int kNumericCount = count_numeric();
constexpr std::array<int, kNumericCount> kNumericRow = [] {
  std::array<int, kNumericCount> at{};
  int n = 0;
  for (int i = 0; i < zb_catalog_count; ++i)
    if (!zb_catalog_entity(zb_catalog[i])) at[static_cast<size_t>(n++)] = i;
  return at;
}();
const char *numeric_name(int what) { return zb_catalog[kNumericRow[static_cast<size_t>(what)]].routine; }

using Api = zbtest::ModuleApi;

// --- the trace of host calls ---------------------------------------------------

std::vector<uint64_t> *trace = nullptr;
const char *field_lo = nullptr, *field_hi = nullptr;  // the input buffer
const char *target_lo = nullptr, *target_hi = nullptr;

void put(uint64_t w) {
  if (trace) trace->push_back(w);
}
void put_d(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  put(b);
}
void put_ptr(const void *p) {
  const char *c = static_cast<const char *>(p);
  if (c == nullptr) {
    put(0);
  } else if (c >= field_lo && c <= field_hi) {
    put(1);
    put(static_cast<uint64_t>(c - field_lo));
  } else if (c >= target_lo && c <= target_hi) {
    put(2);
    put(static_cast<uint64_t>(c - target_lo));
  } else {
    put(3);  // the module's own storage: compared by content where it matters
  }
}
void put_text(const char *s) {
  put(0x7E57);
  for (; s && *s; ++s) put(static_cast<unsigned char>(*s));
}

gcb_entry orig[256][400];
template <class F>
F original(unsigned v, unsigned s) {
  return reinterpret_cast<F>(orig[v][s]);
}
long services_called = 0;
uint64_t tag(unsigned v, unsigned s) {
  if (trace) ++services_called;
  return uint64_t{v} << 32 | s | 0x5EC0000000000000ull;
}

int32_t w_wzrlchr(const char *text, int32_t len, int32_t zero, int32_t *used, int64_t *value) {
  put(tag(SVC_WZRLCHR));
  put_ptr(text);
  put(static_cast<uint32_t>(len));
  put(static_cast<uint32_t>(zero));
  int32_t rc = original<svc_wzrlchr>(SVC_WZRLCHR)(text, len, zero, used, value);
  put(static_cast<uint32_t>(rc));
  if (rc == 0) {
    put(used ? static_cast<uint32_t>(*used) : 0xDEAD);
    put(value ? static_cast<uint64_t>(*value) : 0xDEAD);
  }
  return rc;
}
int32_t w_wzfmhc(const void *bytes, int32_t count, int32_t outlen, int32_t one, char *out) {
  put(tag(SVC_WZFMHC));
  put(static_cast<uint32_t>(count));
  if (bytes && count > 0 && count <= 64)
    for (int32_t i = 0; i < count; ++i) put(static_cast<const uint8_t *>(bytes)[i]);
  put(static_cast<uint32_t>(outlen));
  put(static_cast<uint32_t>(one));
  put_ptr(out);
  int32_t rc = original<svc_wzfmhc>(SVC_WZFMHC)(bytes, count, outlen, one, out);
  put(static_cast<uint32_t>(rc));
  return rc;
}
int32_t w_wzifmch(const char *text, int32_t len, double *target) {
  put(tag(SVC_WZIFMCH));
  put_ptr(text);
  put(static_cast<uint32_t>(len));
  put(target ? 1 : 0);
  int32_t rc = original<svc_wzifmch>(SVC_WZIFMCH)(text, len, target);
  put(static_cast<uint32_t>(rc));
  if (rc == 1 && target) put_d(*target);
  return rc;
}
uint32_t w_wzifmn(ifmblock *blk) {
  put(tag(SVC_WZIFMN));
  put_ptr(blk->input);
  put(static_cast<uint32_t>(blk->width));
  put(static_cast<uint32_t>(blk->avail));
  uint32_t rc = original<svc_wzifmn>(SVC_WZIFMN)(blk);
  put(rc);
  return rc;
}
void w_xpslog(const char *fmt, va_list ap) {
  put(tag(SVC_XPSLOG));
  put_text(fmt);
  original<svc_xpslog>(SVC_XPSLOG)(fmt, ap);
}
const char *w_xoptcgt(const char *name, int32_t *status) {
  put(tag(SVC_XOPTCGT));
  put_text(name);
  const char *r = original<svc_xoptcgt>(SVC_XOPTCGT)(name, status);
  put_text(r);
  if (status) put(static_cast<uint32_t>(*status));
  return r;
}
void w_wzdtgmt(double *offset) {
  put(tag(SVC_WZDTGMT));
  original<svc_wzdtgmt>(SVC_WZDTGMT)(offset);
  if (offset) put_d(*offset);
}
template <unsigned V, unsigned S>
double w_d1(double a) {
  put(tag(V, S));
  put_d(a);
  double r = original<svc_d1>(V, S)(a);
  put_d(r);
  return r;
}
template <unsigned V, unsigned S>
double w_d3(double a, double b, double c) {
  put(tag(V, S));
  put_d(a);
  put_d(b);
  put_d(c);
  double r = original<svc_d3>(V, S)(a, b, c);
  put_d(r);
  return r;
}
template <unsigned V, unsigned S>
double w_d4(double a, double b, double c, double d) {
  put(tag(V, S));
  put_d(a);
  put_d(b);
  put_d(c);
  put_d(d);
  double r = original<svc_d4>(V, S)(a, b, c, d);
  put_d(r);
  return r;
}
void w_zymdjul(double *y, double *m, double *d, double julian) {
  put(tag(SVC_ZYMDJUL));
  put_d(julian);
  original<svc_zymdjul>(SVC_ZYMDJUL)(y, m, d, julian);
  put_d(*y);
  put_d(*m);
  put_d(*d);
}
// Every other service: its number and nothing else (none is expected here).
#define W_ANY(name, v, s)                                   \
  void name() {                                             \
    put(tag(v, s));                                         \
    put(0xBAD);                                             \
  }

void wrap(gcb *g, unsigned v, unsigned s, gcb_entry w) {
  orig[v][s] = g->vectors[v][s];
  g->vectors[v][s] = w;
}
template <class F>
gcb_entry e(F f) {
  return reinterpret_cast<gcb_entry>(f);
}

void install(gcb *g) {
  wrap(g, SVC_WZRLCHR, e(w_wzrlchr));
  wrap(g, SVC_WZFMHC, e(w_wzfmhc));
  wrap(g, SVC_WZIFMCH, e(w_wzifmch));
  wrap(g, SVC_WZIFMN, e(w_wzifmn));
  wrap(g, SVC_XPSLOG, e(w_xpslog));
  wrap(g, SVC_XOPTCGT, e(w_xoptcgt));
  wrap(g, SVC_WZDTGMT, e(w_wzdtgmt));
  wrap(g, SVC_ZDATPRT, e(w_d1<SVC_ZDATPRT>));
  wrap(g, SVC_ZDAY, e(w_d1<SVC_ZDAY>));
  wrap(g, SVC_ZDHMS, e(w_d4<SVC_ZDHMS>));
  wrap(g, SVC_ZHMS, e(w_d3<SVC_ZHMS>));
  wrap(g, SVC_ZHOUR, e(w_d1<SVC_ZHOUR>));
  wrap(g, SVC_ZJULDAT, e(w_d1<SVC_ZJULDAT>));
  wrap(g, SVC_ZMDY, e(w_d3<SVC_ZMDY>));
  wrap(g, SVC_ZMINUTE, e(w_d1<SVC_ZMINUTE>));
  wrap(g, SVC_ZMONTH, e(w_d1<SVC_ZMONTH>));
  wrap(g, SVC_ZSECOND, e(w_d1<SVC_ZSECOND>));
  wrap(g, SVC_ZTIMPRT, e(w_d1<SVC_ZTIMPRT>));
  wrap(g, SVC_ZYEAR, e(w_d1<SVC_ZYEAR>));
  wrap(g, SVC_ZYMDJUL, e(w_zymdjul));
}

// --- inputs --------------------------------------------------------------------

const char kAlphabet[] = "0123456789PpYyMmDdWwHhSsTtZz-:.,/+  -PT0129";

std::string random_text(Rng &r) {
  std::string s;
  int n = r.in(0, 40);
  for (int i = 0; i < n; ++i) s += kAlphabet[r.in(0, sizeof kAlphabet - 2)];
  return s;
}

// A designator duration: any run of components in order (now and then out
// of order or repeated), short or overlong digit runs, lower-case letters, a
// decimal mark here and there, the T missing, doubled or last: the shapes
// the scanner's designator pass reads and those beside them.
std::string designated(Rng &r) {
  static const char kLetters[] = "YMWDHMS";
  std::string s = r.chance(15) ? "-" : "";
  s += r.chance(20) ? 'p' : 'P';
  const bool any_order = r.chance(10);
  bool t = false;
  for (int i = 0; i < 7; ++i) {
    if (i == 4 && !r.chance(10)) {
      s += r.chance(15) ? 't' : 'T';
      t = true;
    }
    if (!r.chance(45)) continue;
    const int digits = r.chance(8) ? r.in(16, 21) : r.in(1, 4);
    for (int k = 0; k < digits; ++k) s += static_cast<char>('0' + r.in(0, 9));
    if (r.chance(8)) {
      s += r.chance(50) ? '.' : ',';
      for (int k = r.in(0, 5); k > 0; --k) s += static_cast<char>('0' + r.in(0, 9));
    }
    char letter = kLetters[any_order ? r.in(0, 6) : i];
    if (r.chance(15)) letter = static_cast<char>(letter - 'A' + 'a');
    s += letter;
  }
  if (!t && r.chance(5)) s += 'T';
  return s;
}

// Fraction digits: one to 22 of them, often with leading zeros, now and
// then all nines (the runs that round up to a whole unit).
std::string fraction_digits(Rng &r) {
  const int n = r.chance(30) ? r.in(1, 3) : r.in(4, 22);
  std::string d;
  if (r.chance(10)) return std::string(static_cast<size_t>(n), '9');
  const int zeros = r.chance(50) ? r.in(1, n) : 0;
  for (int k = 0; k < n; ++k) d += k < zeros ? '0' : static_cast<char>('0' + r.in(0, 9));
  return d;
}

// A fraction in each place it can stand: on the last component of a
// datetime of any precision in both notations, on a designated component of a
// duration, after the seconds of the alternative form, either end of an
// interval; now and then a second number after it.
std::string with_fraction(Rng &r) {
  using namespace zbbench;
  static const char *const kBefore[] = {
      "2011-09-09T12:30:45", "2011-09-09T12:30", "2011-09-09T12", "2011-09-09", "2011-01",
      "2011",                "20110909T123045",  "20110909T1230",  "20110909T12", "20110909",
      "201101",              "T12:30:45",        "PT1",            "PT36",        "P1Y2M3DT4H5M6",
      "P2",                  "-PT2",             "P0001-02-10T02:30:00", "P00010210T023000",
      "P1DT2"};
  static const char *const kAfter[] = {"", "", "", "S", "H", "M", "D", "Y", "W",
                                       "Z", "+01:00", "+0100", "-05", ":30", ",0", ".5"};
  std::string s = kBefore[r.in(0, sizeof kBefore / sizeof *kBefore - 1)];
  if (!(s.back() >= '0' && s.back() <= '9') || !r.chance(10)) s += r.chance(60) ? '.' : ',';
  s += fraction_digits(r);
  s += kAfter[r.in(0, sizeof kAfter / sizeof *kAfter - 1)];
  switch (r.in(0, 5)) {
    case 0: return s + "/" + ext_datetime(r);
    case 1: return ext_datetime(r) + "/" + s;
    case 2: return s + "/" + duration(r);
    default: return s;
  }
}

std::string generated(Rng &r) {
  using namespace zbbench;
  if (r.chance(25)) return with_fraction(r);
  switch (r.in(0, 13)) {
    case 11: case 12: return designated(r);
    case 0: case 1: return duration(r);
    case 2: case 3: return ext_datetime(r);
    case 4: case 5: return interval(r);
    case 6: return basic_date(any_date(r, 1500, 2600)) + "T" + basic_time(r, r.chance(30)) +
                   (r.chance(50) ? basic_zone(r) : "");
    case 7: return ext_date(any_date(r)) + "T" + ext_time(r) +
                   fmt("%c%02d:%02d", r.chance(50) ? '+' : '-', r.in(0, 14), r.in(0, 59));
    case 8: return fmt("P%dY%dM%dDT%dH%dM%dS", r.in(0, 12000), r.in(0, 40), r.in(0, 400),
                       r.in(0, 100), r.in(0, 200), r.in(0, 200)) +
                   (r.chance(30) ? fmt(".%d", r.in(0, 99999)) : "");
    case 9: return std::string(r.chance(20) ? "-" : "") +
                   fmt("P%04d-%02d-%02dT%02d:%02d:%02d", r.in(0, 20), r.in(0, 14), r.in(0, 40),
                       r.in(0, 30), r.in(0, 70), r.in(0, 70));
    case 10: return fmt("%04d", r.in(1000, 2500)) + (r.chance(50) ? fmt(".%d", r.in(0, 999)) : "") ;
    default: return random_text(r);
  }
}

std::string mutate(Rng &r, std::string s) {
  int edits = r.in(1, 4);
  for (int k = 0; k < edits; ++k) {
    char c = kAlphabet[r.in(0, sizeof kAlphabet - 2)];
    if (r.chance(5)) c = static_cast<char>(r.in(0, 255));
    size_t at = s.empty() ? 0 : static_cast<size_t>(r.in(0, static_cast<int>(s.size()) - 1));
    switch (r.in(0, 3)) {
      case 0: if (!s.empty()) s[at] = c; else s += c; break;
      case 1: s.insert(s.begin() + static_cast<long>(at), c); break;
      case 2: if (!s.empty()) s.erase(at, 1); break;
      default: {  // splice a piece of another text
        std::string o = generated(r);
        if (!o.empty()) {
          int a = r.in(0, static_cast<int>(o.size()) - 1);
          s.insert(at, o.substr(static_cast<size_t>(a), static_cast<size_t>(r.in(1, 8))));
        }
      }
    }
  }
  return s;
}

std::string make_input(Rng &r) {
  std::string s = generated(r);
  if (r.chance(45)) s = mutate(r, s);
  if (r.chance(15)) s = std::string(static_cast<size_t>(r.in(1, 4)), ' ') + s;
  if (r.chance(30)) s += std::string(static_cast<size_t>(r.in(1, 12)), ' ');
  if (r.chance(2)) s = r.chance(50) ? "." : "";
  return s;
}

int32_t pick_mode(Rng &r) {
  switch (r.in(0, 9)) {
    case 0: case 1: return 0x100;
    case 2: case 3: return 0x80;
    case 4: case 5: return 0x200;
    case 6: return 0;
    case 7: return r.chance(50) ? 0x180 : 0x300;
    default: return static_cast<int32_t>(r.next());
  }
}

int32_t pick_target(Rng &r) {
  static const int32_t kLens[] = {16, 16, 32, 32, 15, 31, 17, 33, 40, 0, 1, 8, 20, -1};
  return r.chance(80) ? kLens[r.in(0, 13)] : r.in(-2, 48);
}

// A text for numeric reader `what` (an index into kNumeric): most often a
// form that reader reads (basic or extended date, time or datetime, with
// fractions, zones, 't' or a blank for the T, the century digit of the
// compact form; the calendar routines' own forms), else any of them or
// random characters; now and then mutated as the entity texts are.
std::string numeric_text(Rng &r, int what) {
  using namespace zbbench;
  const Civil d = any_date(r, 1500, 2600);
  static const char *const kSep[] = {"T", "T", "T", "T", "t", " ", "", "-", "TT"};
  const char *sep = kSep[r.in(0, 8)];
  const std::string basic_z = basic_zone(r);
  const std::string ext_z = r.chance(30) ? "Z"
                            : fmt("%c%02d:%02d", r.chance(50) ? '+' : '-', r.in(0, 14),
                                  r.chance(80) ? 0 : r.in(0, 59));
  const std::string frac = r.chance(30) ? "." + fraction_digits(r) : "";
  const bool zone = r.chance(85);
  // The form: by reader (a reader without one of its own takes any), or any
  // of them.
  static const struct {
    const char *routine;
    int form;
  } kForms[] = {{"b8601da", 0}, {"b8601tm", 1}, {"b8601tz", 2},  {"b8601dt", 3},  {"b8601dz", 4},
                {"b8601dn", 0}, {"b8601dj", 3}, {"b8601ci", 5},  {"i8601tm", 6},  {"i8601tz", 7},
                {"i8601lz", 7}, {"i8601da", 8}, {"i8601dn", 8},  {"i8601dt", 9},  {"i8601dz", 10},
                {"zifmymd", 11}, {"zifmtim", 12}};
  int own = -1;
  for (const auto &f : kForms)
    if (std::strcmp(f.routine, numeric_name(what)) == 0) own = f.form;
  const int form = r.chance(70) && own >= 0 ? own : r.in(0, 13);
  std::string s;
  switch (form) {
    case 0: {  // basic date, of full or reduced precision, or extended
      const int k = r.in(0, 9);
      s = k < 6 ? basic_date(d)
          : k < 8 ? basic_date(d).substr(0, static_cast<size_t>(r.chance(50) ? 6 : 4))
                  : ext_date(d).substr(0, static_cast<size_t>(r.chance(80) ? 10 : 7));
      if (r.chance(20)) s += sep + basic_time(r, false);
      break;
    }
    case 1: {  // hh, hhmm, hhmmss, fraction digits; now and then a bad length
      const int n = r.chance(80) ? 12 : r.in(0, 6);
      s = basic_time(r, r.chance(30)).substr(0, static_cast<size_t>(n));
      break;
    }
    case 2: s = basic_time(r, r.chance(30)) + (zone ? basic_z : ""); break;
    case 3: s = basic_date(d) + sep + basic_time(r, r.chance(30)); break;
    case 4: s = basic_date(d) + sep + basic_time(r, r.chance(30)) + (zone ? basic_z : ""); break;
    case 5: s = basic_date(d).substr(1) + sep + basic_time(r, r.chance(30)); break;  // century
    case 6: s = ext_time(r).substr(0, static_cast<size_t>(r.chance(70) ? 8 : 5)) + frac; break;
    case 7: s = ext_time(r) + frac + (zone ? ext_z : ""); break;
    case 8: s = ext_date(d); break;
    case 9: s = ext_date(d) + (r.chance(85) ? "T" : " ") + ext_time(r) + frac; break;
    case 10: s = ext_date(d) + "T" + ext_time(r) + frac + (zone ? ext_z : ""); break;
    case 11: s = r.chance(50) ? basic_date(d).substr(static_cast<size_t>(r.in(0, 2)))
                              : fmt("%d/%d/%d", r.in(0, 2100), r.in(0, 13), r.in(0, 32));
             break;
    case 12: s = fmt("%d:%02d", r.in(0, 24), r.in(0, 61)) +
                 (r.chance(50) ? fmt(":%02d", r.in(0, 61)) : "") +
                 (r.chance(40) ? (r.chance(50) ? " PM" : "am") : "");
             break;
    default: s = random_text(r);
  }
  if (r.chance(25)) s = mutate(r, s);
  if (r.chance(15)) s = std::string(static_cast<size_t>(r.in(1, 4)), ' ') + s;
  if (r.chance(30)) s += std::string(static_cast<size_t>(r.in(1, 12)), ' ');
  if (r.chance(2)) s = r.chance(50) ? "." : "";
  return s;
}

// --- one run -------------------------------------------------------------------

struct Outcome {
  bool value = false;  // a numeric reader returned 0 and stored a value
  std::vector<uint64_t> calls;
  std::vector<uint8_t> state;  // return, call block, target, records
  std::vector<std::string> log;
};

constexpr size_t kTarget = 64;

struct Case {
  int what;  // 0 dui, 1 pdi, 2 vli, 3 scan, 4 derive, 5 bcd, 6 + i numeric reader i
  std::string buf;  // input window and bytes after it
  int32_t width, avail, target_len, mode, keep;
  Rec rec;           // for bcd
  int32_t decimals;  // numeric readers: the block's decimals and flags
  uint8_t flags;
};

void append(std::vector<uint8_t> &v, const void *p, size_t n) {
  const uint8_t *b = static_cast<const uint8_t *>(p);
  v.insert(v.end(), b, b + n);
}

Outcome run(zbhost::Host &host, const Api &api, const Case &c) {
  Outcome o;
  std::vector<char> in(c.buf.begin(), c.buf.end());
  in.push_back('\0');
  char target[kTarget];
  std::memset(target, '#', sizeof target);
  field_lo = in.data();
  field_hi = in.data() + in.size();
  target_lo = target;
  target_hi = target + sizeof target;
  trace = &o.calls;
  host.clear_log();
  uint32_t rc = 0;
  if (c.what <= 2 || c.what >= 6) {
    // A reader on a call block. The bytes the call does not set hold 0x5A
    // rather than the host's zeros.
    ifmblock blk = zbtest::call_block(in.data(), c.width, c.avail, target, c.target_len, 0x5A);
    blk.status = 0xC0FFEE;
    blk.task = nullptr;
    if (c.what <= 2) {
      Reader f = c.what == 0 ? api.is8601dui : c.what == 1 ? api.is8601pdi : api.is8601vli;
      rc = f(&blk, c.mode);
    } else {
      blk.decimals = c.decimals;
      blk.flags = c.flags;
      rc = api.numeric[kNumericRow[static_cast<size_t>(c.what - 6)]](&blk);
      double v;
      std::memcpy(&v, target, sizeof v);
      o.value = rc == 0 && !ifm_is_missing(v);
    }
    blk.input = nullptr;  // the pointers are the same by construction
    blk.target = nullptr;
    append(o.state, &blk, sizeof blk);
  } else if (c.what == 3) {
    Rec r;
    std::memset(&r, 0xA5, sizeof r);
    rc = static_cast<uint32_t>(api.read_date_or_duration(in.data(), c.width, &r, c.mode, c.keep));
    append(o.state, &r, sizeof r);
  } else if (c.what == 4) {
    Rec a, b;
    std::memset(&a, 0xA5, sizeof a);
    std::memset(&b, 0x3C, sizeof b);
    rc = static_cast<uint32_t>(api.derive_interval(in.data(), c.width, &a, &b, c.mode));
    append(o.state, &a, sizeof a);
    append(o.state, &b, sizeof b);
  } else {
    Rec r = c.rec;
    rc = static_cast<uint32_t>(api.convert_to_bcd(&r));
    append(o.state, &r, sizeof r);
  }
  append(o.state, &rc, sizeof rc);
  append(o.state, target, sizeof target);
  trace = nullptr;
  o.log = host.log();
  return o;
}

Rec random_record(Rng &r) {
  Rec e;
  std::memset(&e, 0, sizeof e);
  auto val = [&](int64_t hi) -> int64_t {
    switch (r.in(0, 9)) {
      case 0: return static_cast<int64_t>(r.next());
      case 1: return -r.in(0, 100);
      case 2: return r.in(0, 1000);
      default: return r.in(0, static_cast<int>(hi));
    }
  };
  e.datetime = static_cast<double>(r.in(-100000, 100000)) * 1000.5;
  e.year = r.chance(5) ? val(20000) : r.in(0, 9999);
  e.month = val(14);
  e.day = val(31);
  e.hour = val(23);
  e.minute = val(59);
  e.second = val(59);
  e.fraction = val(999);
  for (auto &b : e.packed) b = static_cast<uint8_t>(r.next());
  e.absent = r.chance(5) ? 0xFF : static_cast<uint8_t>(r.next());
  e.is_datetime = static_cast<uint8_t>(r.chance(90) ? r.in(0, 1) : r.in(0, 255));
  e.is_anchor = static_cast<uint8_t>(r.chance(90) ? r.in(0, 1) : r.in(0, 255));
  e.weeks = static_cast<uint8_t>(r.in(0, 1));
  static const uint8_t kUnits[] = {0, 0, 0, 0, 1, 2, 3, 4, 8, 16, 33, 34, 35, 36, 40, 48};
  e.unit = r.chance(90) ? kUnits[r.in(0, 15)] : static_cast<uint8_t>(r.next());
  e.negative = static_cast<uint8_t>(r.chance(90) ? r.in(0, 1) : r.in(0, 255));
  e.days_kept = static_cast<uint8_t>(r.in(0, 1));
  e.pad = static_cast<uint8_t>(r.next());
  return e;
}

bool load(zbhost::Host &host, const std::string &path, std::unique_ptr<zbhost::Module> *m,
          Api *api) {
  std::string err;
  *m = zbhost::Module::load(host, path, &err);
  if (!*m) {
    std::fprintf(stderr, "zb_entity_diff: %s\n", err.c_str());
    return false;
  }
  std::string missing;
  if (!zbtest::bind_module(**m, api, &missing)) {
    std::fprintf(stderr, "zb_entity_diff: %s lacks %s\n", path.c_str(), missing.c_str());
    return false;
  }
  auto init = api->uwxn8601_init;
  init();
  return true;
}

// Why a text may read differently from the reference: in one part of it
// (either side of an interval's slash), the number that fills the fraction
// slot has more than three digits, and a leading zero, more than 18 digits,
// sixteen nines first, or basic notation (see verdict). That number is the
// first one after a decimal mark; in the delimited form the
// one after the seconds (the seventh number, counting the hour as the
// fourth); in a basic-notation duration the digits after hhmmss; and in a
// duration whose first run of digits ends in a mark, the digits of that run
// after its year and the one character taken for the mark. The empty string
// for any other text.
std::string why_it_may_differ(const std::string &text) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto run_at = [&](const std::string &t, size_t i) {
    size_t j = i;
    while (j < t.size() && digit(t[j])) ++j;
    return t.substr(i, j - i);
  };
  // Basic notation: the first run of digits is longer than a year or
  // followed by no separator, and in a duration no designator letter makes
  // it a designated one.
  const auto basic = [&](const std::string &t) {
    const size_t i = t.find_first_of("0123456789");
    if (i == std::string::npos) return false;
    const size_t p = t.find_first_not_of(" -");
    const bool duration = p != std::string::npos && (t[p] == 'P' || t[p] == 'p');
    if (duration && t.find_first_of("YMDHSWymdhsw") != std::string::npos) return false;
    const size_t n = run_at(t, i).size(), end = i + n;
    return n > 4 || end == t.size() || (t[end] != '-' && t[end] != ':');
  };
  // By the digits d of the part t: a leading zero, more than a 64-bit value
  // holds, sixteen nines first (as a double such a value may round up to a
  // whole unit), or a fourth digit in basic notation; any other long
  // fraction reads as before, and the empty string says so.
  const auto verdict = [&](const std::string &t, const std::string &d) {
    const std::string what = "fraction of more than three digits";
    if (d[0] == '0') return what + ", leading zero";
    if (d.size() > 18) return what + ", more than 18";
    if (d.size() >= 16 && d.compare(0, 16, std::string(16, '9')) == 0)
      return what + ", sixteen nines first";
    if (basic(t)) return what + ", basic notation";
    return std::string();
  };
  std::string why;
  size_t from = 0;
  while (from <= text.size()) {
    size_t to = text.find('/', from);
    if (to == std::string::npos) to = text.size();
    const std::string t = text.substr(from, to - from);
    from = to + 1;
    // The first number after a decimal mark.
    if (const size_t mark = t.find_first_of(".,"); mark != std::string::npos) {
      size_t i = mark + 1;
      while (i < t.size() && !digit(t[i])) ++i;
      size_t j = i;
      while (j < t.size() && digit(t[j])) ++j;
      if (j - i > 3 && !(why = verdict(t, run_at(t, i))).empty()) return why;
    }
    // Numbers by slot: a T moves to the hour slot; the seventh is the fraction.
    int count = 0;
    for (size_t i = 0; i < t.size();) {
      if (t[i] == 'T' || t[i] == 't') {
        count = 3;
        ++i;
        continue;
      }
      if (!digit(t[i])) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < t.size() && digit(t[j])) ++j;
      if (count == 6 && j - i > 3 && !(why = verdict(t, run_at(t, i))).empty()) return why;
      ++count;
      i = j;
    }
    const size_t p = t.find_first_not_of(' ');
    if (p == std::string::npos) continue;
    const size_t k = t[p] == '-' ? p + 1 : p;
    if (k >= t.size() || (t[k] != 'P' && t[k] != 'p')) continue;
    // Basic-notation duration: hhmmss and more digits after the T.
    for (size_t i = k; i < t.size(); ++i) {
      if (t[i] != 'T' && t[i] != 't') continue;
      size_t j = i + 1;
      while (j < t.size() && digit(t[j])) ++j;
      if (j - i - 1 > 9 && !(why = verdict(t, run_at(t, i + 7))).empty()) return why;
    }
    // A first run of digits that ends in a decimal mark.
    size_t j = k + 1;
    while (j < t.size() && digit(t[j])) ++j;
    if (j < t.size() && (t[j] == '.' || t[j] == ',') && j - (k + 1) > 8 &&
        !(why = verdict(t, run_at(t, k + 6))).empty())
      return why;
  }
  return "";
}

// The interval and date-year mends, told apart by what the two builds gave
// (old a, new b) for the window: an empty part, an other end outside the
// calendar, a re-derived duration (its sign, a fractional anchor, or days
// that now add back to the end), a four-digit year below 100. The empty
// string for any other difference.
std::string mended(const Case &c, const std::string &window, const Outcome &a,
                   const Outcome &b) {
  const auto trim = [](const std::string &t) {
    const size_t i = t.find_first_not_of(' '), j = t.find_last_not_of(' ');
    return i == std::string::npos ? std::string() : t.substr(i, j - i + 1);
  };
  if (c.what >= 6) {  // numeric readers: now the invalid-date code
    const std::string t = trim(window);
    uint32_t rc;
    std::memcpy(&rc, b.state.data() + sizeof(ifmblock), sizeof rc);
    const bool year00 = t.size() >= 4 && t.compare(0, 2, "00") == 0 &&
                        t.find_first_not_of("0123456789") >= 4;
    return year00 && !b.value && rc == 0x8001d814 ? "four-digit year below 100" : "";
  }
  if (c.what != 2 && c.what != 4) return "";
  // Return codes and the two packed entities, as hexadecimal digits.
  const auto outcome = [&](const Outcome &o, uint32_t *rc, std::string *hex) {
    if (c.what == 4) {
      std::memcpy(rc, o.state.data() + 2 * sizeof(Rec), sizeof *rc);
      static const char d[] = "0123456789ABCDEF";
      hex->clear();
      for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 8; ++i) {
          const uint8_t v = o.state[k * sizeof(Rec) + offsetof(Rec, packed) + i];
          *hex += d[v >> 4];
          *hex += d[v & 15];
        }
    } else {
      std::memcpy(rc, o.state.data() + sizeof(ifmblock), sizeof *rc);
      hex->assign(reinterpret_cast<const char *>(o.state.data() + sizeof(ifmblock) + 4), 32);
    }
  };
  uint32_t rca, rcb;
  std::string ha, hb;
  outcome(a, &rca, &ha);
  outcome(b, &rcb, &hb);
  const size_t slash = window.find('/');
  const std::string p1 = trim(window.substr(0, slash)),
                    p2 = slash == std::string::npos ? "" : trim(window.substr(slash + 1));
  // No digit, after P or -P (placeholders at most), or a lone '.'.
  const auto empty = [](const std::string &t) {
    const size_t k = !t.empty() && t[0] == '-' ? 1 : 0;
    return t == "." || (t.size() > k && (t[k] == 'P' || t[k] == 'p') &&
                        t.find_first_of("0123456789") == std::string::npos);
  };
  // The empty part was taken as a part: a half missing (0), or a second
  // duration (14) where the other part is now read as a lone duration.
  if ((empty(p1) || empty(p2)) &&
      ((rca == 0 && (rcb == 13 || rcb == 16 || rcb == 0)) || (rca == 14 && rcb != 14)))
    return "empty part in an interval";
  const std::string none(16, 'F');
  if (rca == 0 && rcb == 8 && (ha.compare(0, 16, none) == 0 || ha.compare(16, 16, none) == 0))
    return "other end outside the calendar";
  if (rca != 0 || rcb != 0) return "";
  // The anchor as before, the duration re-derived.
  const bool first_is_duration = p1.find_first_of("Pp") != std::string::npos &&
                                 p1.find_first_of("Pp") <= 1;
  const size_t at = first_is_duration ? 16 : 0, dur = 16 - at;
  if (ha.compare(at, 16, hb, at, 16) != 0 || ha.compare(dur, 16, hb, dur, 16) == 0) return "";
  const std::string &d = first_is_duration ? p1 : p2, &anchor = first_is_duration ? p2 : p1;
  if (!d.empty() && d[0] == '-') return "re-derived duration: its sign";
  if (anchor.find_first_of(".,") != std::string::npos)
    return "re-derived duration: fractional time of day";
  return "re-derived duration: adds back to its end";
}

// Which mended fault of the scanner or the entity readers explains a
// difference, found by scanning the text again on both builds, each part of
// an interval on its own: a zone offset over 23:59; text after a zone in a
// strict mode; a zone shift out of the host's calendar (now problem 8) or
// past year 9999; a single count past 32 bits; a fraction that normalisation
// dropped; a text of the other kind given to the duration or datetime
// reader. The empty string when none does.
std::string fault_class(const Api &old_api, const Api &new_api, const Case &c,
                        const std::string &window) {
  const bool strict = c.mode == 0x80 || c.mode == 0x200;
  const auto part_class = [&](const std::string &t, int32_t keep) -> std::string {
    Rec a, b;
    std::memset(&a, 0, sizeof a);
    std::memset(&b, 0, sizeof b);
    const int32_t len = static_cast<int32_t>(t.size());
    const int32_t ra = old_api.read_date_or_duration(t.data(), len, &a, c.mode, keep);
    const int32_t rb = new_api.read_date_or_duration(t.data(), len, &b, c.mode, keep);
    if (ra == rb && std::memcmp(&a, &b, offsetof(Rec, pad)) == 0) return "";
    if (rb == 9) return "zone offset over 23:59";
    if (rb == 10 && strict) return "text after a zone, strict mode";
    // A fraction after a mark, or the seventh number of the alternative form.
    const bool fraction =
        t.find_first_of(".,") != std::string::npos || !(b.absent & 0x02);
    if (!a.is_datetime && a.unit == 0 && fraction && (ra == 0 || ra == rb))
      return "fraction through normalisation";
    if (ra != 0) return "";
    if (rb == 8 && a.is_datetime) return "zone shift before the calendar";
    if (rb == 7 && a.is_datetime && a.year > 9999) return "zone shift past year 9999";
    if (rb == 7 && a.unit != 0) return "single count past 32 bits";
    return "";
  };
  if (c.what == 0 || c.what == 1 || c.what == 3) {
    const std::string why = part_class(window, c.what == 3 ? c.keep : 0);
    if (!why.empty() || c.what == 3) return why;
    Rec a;
    const int32_t ra = old_api.read_date_or_duration(window.data(), static_cast<int32_t>(window.size()), &a,
                                    c.mode, 0);
    const bool blank = window.find_first_not_of(' ') == std::string::npos ||
                       window.substr(0, window.find_last_not_of(' ') + 1) == ".";
    return ra == 0 && a.is_datetime != c.what && !blank ? "text of the other kind" : "";
  }
  if (c.what != 2 && c.what != 4) return "";
  const size_t slash = window.find('/');
  for (const std::string &t : {window.substr(0, slash), slash == std::string::npos
                                                            ? std::string()
                                                            : window.substr(slash + 1)}) {
    const size_t p = t.find_first_not_of(' ');
    if (p == std::string::npos) continue;
    const std::string why = part_class(t.substr(p), 1);
    if (!why.empty()) return why + ", in an interval";
  }
  return "";
}

std::string show(const std::string &s) {
  std::string o;
  for (unsigned char ch : s) {
    if (ch >= 32 && ch < 127 && ch != '\\') o += static_cast<char>(ch);
    else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", ch);
      o += b;
    }
  }
  return o;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zb_entity_diff OLD_BUILD_DIR NEW_BUILD_DIR [CALLS] [SEED]\n");
    return 2;
  }
  const std::string old_dir = argv[1], new_dir = argv[2];
  const long calls = argc > 3 ? std::atol(argv[3]) : 1000000;
  const uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 0) : 8601;

  zbhost::Host host;
  host.capture_log(true);
  host.set_gmt_offset(3600.0);
  install(host.gcb_ptr());
  const char *kinds[2] = {"zelbrant", "morvista"};
  std::unique_ptr<zbhost::Module> mods[2][2];
  Api api[2][2];
  for (int k = 0; k < 2; ++k) {
    if (!load(host, old_dir + "/" + kinds[k] + ".so", &mods[k][0], &api[k][0])) return 2;
    if (!load(host, new_dir + "/" + kinds[k] + ".so", &mods[k][1], &api[k][1])) return 2;
  }

  static const char *const kWhat[6] = {"is8601dui", "is8601pdi", "is8601vli",
                                       "read_date_or_duration", "derive_interval",
                                       "convert_to_bcd"};
  const auto name_of = [](int what) { return what < 6 ? kWhat[what] : numeric_name(what - 6); };
  long count[6 + kNumericCount] = {}, valued[6 + kNumericCount] = {};
  long host_calls = 0, log_lines = 0, differ = 0, unexplained = 0;
  std::map<std::string, long> classes;
  // One case on both builds of module k; a difference is explained or shown.
  const auto compare = [&](const Case &c, const std::string &text, int k) {
    Outcome a = run(host, api[k][0], c);
    Outcome b = run(host, api[k][1], c);
    ++count[c.what];
    if (a.value) ++valued[c.what];
    host_calls += static_cast<long>(a.calls.size());
    log_lines += static_cast<long>(a.log.size());
    if (a.calls == b.calls && a.state == b.state && a.log == b.log) return;
    ++differ;
    // Only the entity routines have differences that a text can explain.
    const int32_t window = c.what <= 2 ? (c.width < c.avail ? c.width : c.avail) : c.width;
    const std::string text_of =
        window <= 0 ? std::string() : c.buf.substr(0, static_cast<size_t>(window));
    std::string why;
    if (c.what < 5 && window > 0) why = fault_class(api[k][0], api[k][1], c, text_of);
    if (why.empty()) {
      const int32_t w = c.width < c.avail ? c.width : c.avail;
      why = mended(c, c.what < 6 ? text_of : w <= 0 ? std::string() : c.buf.substr(0, static_cast<size_t>(w)), a, b);
    }
    if (why.empty() && c.what < 6 && window > 0) why = why_it_may_differ(text_of);
    ++classes[why];
    if (why.empty() && ++unexplained <= 20)
      std::printf("DIFFER %s (%s) mode %#x width %d avail %d target %d keep %d: '%s'%s%s%s\n",
                  name_of(c.what), kinds[k], static_cast<unsigned>(c.mode), c.width, c.avail,
                  c.target_len, c.keep, show(text).c_str(), a.calls != b.calls ? " calls" : "",
                  a.state != b.state ? " state" : "", a.log != b.log ? " log" : "");
  };
  // A field in a buffer with bytes after it, and a width and available
  // length that now and then differ from the text's.
  const auto lay_out = [](Rng &r, Case *c, const std::string &text) {
    c->buf = text + (r.chance(50) ? "9T:/-P" : "      ");
    const int32_t len = static_cast<int32_t>(text.size());
    c->width = r.chance(85) ? len : r.in(0, len + 3);
    c->avail = r.chance(85) ? c->width : r.in(0, len + 3);
    return len;
  };

  Rng r(seed);
  for (long i = 0; i < calls; ++i) {
    if (i % 50000 == 0) {  // host options change now and then
      if (r.chance(50)) host.set_option("DEBUG", r.chance(50) ? "n8601diag" : "other");
      else host.clear_option("DEBUG");
      host.set_blank_is_missing(r.chance(70));
    }
    Case c{};
    const int w = r.in(0, 99);
    c.what = w < 27 ? 0 : w < 54 ? 1 : w < 81 ? 2 : w < 89 ? 3 : w < 95 ? 4 : 5;
    std::string text = make_input(r);
    const int32_t len = lay_out(r, &c, text);
    if (c.what >= 3 && c.width > len) c.width = len;  // routines read exactly width bytes
    c.target_len = pick_target(r);
    c.mode = pick_mode(r);
    c.keep = r.in(0, 1);
    if (c.what == 5) c.rec = random_record(r);
    compare(c, text, static_cast<int>(i & 1));
  }

  // As many calls again of the numeric readers, with the host's GMT offset
  // (read by i8601lz) changing now and then.
  static const double kOffsets[] = {3600.0, 0.0, -18000.0, 19800.0, -43200.0, 50400.0};
  Rng rn(seed ^ 0x6E756D65726963ull);
  for (long i = 0; i < calls; ++i) {
    if (i % 50000 == 0) {
      host.set_gmt_offset(kOffsets[rn.in(0, 5)]);
      host.set_blank_is_missing(rn.chance(70));
    }
    Case c{};
    c.what = 6 + rn.in(0, kNumericCount - 1);
    std::string text = numeric_text(rn, c.what - 6);
    lay_out(rn, &c, text);
    c.target_len = rn.chance(90) ? 8 : rn.in(-1, 16);
    c.decimals = rn.chance(80) ? 0 : rn.in(-2, 40);
    c.flags = static_cast<uint8_t>(rn.chance(80) ? 0 : rn.in(1, 255));
    compare(c, text, static_cast<int>(i & 1));
  }
  for (int w = 0; w < 6; ++w) std::printf("%-22s %ld calls compared\n", name_of(w), count[w]);
  for (int w = 6; w < 6 + kNumericCount; ++w)
    std::printf("%-22s %ld calls compared, %ld of them read a value\n", name_of(w), count[w],
                valued[w]);
  std::printf("host calls compared %ld (%ld trace words), log lines %ld, differences %ld\n",
              services_called / 2, host_calls, log_lines, differ);
  for (const auto &[why, n] : classes)
    std::printf("  %ld differences: %s\n", n, why.empty() ? "UNEXPLAINED" : why.c_str());
  return differ == 0 ? 0 : unexplained == 0 ? 3 : 1;
}
