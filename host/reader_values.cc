// Values as data (reader API version 4): host values as exact int64 ticks,
// and packed entities taken apart into plain records, a column at a time.
//
// Everything here stands on the public calls of the reader API: a column is
// read in chunks with zb_read_column into a small buffer on the stack and
// turned into the caller's arrays from there, so the readers run exactly as
// they do for any other caller.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "api_internal.h"
#include "entity_text.h"
#include "host.h"
#include "zelbrant/reader.h"

using zbhost::api_fail;

namespace {

using i128 = __int128;

constexpr int64_t kPow10[10] = {1,      10,      100,      1000,      10000,
                                100000, 1000000, 10000000, 100000000, 1000000000};
constexpr int64_t kEpochDays = 3653;  // 1960-01-01 to 1970-01-01
constexpr int64_t kNsPerSecond = 1000000000;
// Chunk of a column read at a time: a multiple of 8, so that a chunk's
// validity bits start on a byte.
constexpr size_t kChunk = 512;


bool valid_unit(int32_t unit) { return unit >= ZB_UNIT_S && unit <= ZB_UNIT_NS; }
int64_t per_second(int32_t unit) { return kPow10[3 * unit]; }

i128 floor_div(i128 a, i128 b) {  // b > 0
  i128 q = a / b;
  return q * b > a ? q - 1 : q;
}

bool store(i128 t, int64_t *out) {
  if (t <= INT64_MIN || t > INT64_MAX) return false;
  *out = static_cast<int64_t>(t);
  return true;
}

// The readers compose a datetime as day * 86400 + (whole seconds +
// fraction), each step rounded to a double, so the value they give for a
// fraction need not be the double nearest that decimal: the one read from
// 19620101T090700506910 has no decimal of fewer than nine places as a
// number, and its nine places floor to .506909. The fraction of fewer than
// limit places (the number's) that composes to x, when there is one, is the
// decimal x stands for; this is the text zb_value_text writes. x is a
// datetime (mult ticks a second); false when no such fraction exists.
bool composed_ticks(double x, int limit, int64_t mult, i128 offset, int64_t *out) {
  const double day = std::floor(x / 86400.0);
  const double day_start = day * 86400.0;
  const double t = x - day_start;  // exact: a multiple of x's step below 2^17
  if (!(t >= 0 && t < 86400.0)) return false;
  const double whole = std::floor(t);
  const double r = t - whole;
  for (int k = 1; k < limit && k <= 9; ++k) {
    const double p = static_cast<double>(kPow10[k]);
    const double m = std::nearbyint(r * p);  // the nearest decimal of k places
    if (day_start + (whole + m / p) != x) continue;
    const i128 secs = i128{static_cast<int64_t>(day)} * 86400 + static_cast<int64_t>(whole);
    return store(secs * mult + floor_div(i128{static_cast<int64_t>(m)} * mult, kPow10[k]) - offset,
                 out);
  }
  return false;
}

// floor(s * mult) - offset for the decimal s that x stands for: the one with
// the fewest fraction digits (at most 9) that reads back to x, as a number or
// (datetime) as the readers compose it, else x's exact binary value. False
// when the result is no int64 (or is ZB_NAT).
bool exact_ticks(double x, bool datetime, int64_t mult, i128 offset, int64_t *out) {
  if (!std::isfinite(x)) return false;
  // Far outside int64 whatever the offset: keeps the products below in range.
  if (std::fabs(x) * static_cast<double>(mult) > 1.9e19) return false;
  // Whole values (dates, datetimes of whole seconds) need no search.
  if (std::fabs(x) < 9.0e15) {
    const auto whole = static_cast<int64_t>(x);
    if (static_cast<double>(whole) == x) return store(i128{whole} * mult - offset, out);
  }
  // x = m53 * 2^e exactly, from its bits (a subnormal is no host value of
  // any use: it is taken as 0).
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const int biased = static_cast<int>(bits >> 52 & 0x7FF);
  if (biased == 0) return store((x < 0 ? -1 : 0) - offset, out);
  const auto mag = static_cast<int64_t>((bits & ((uint64_t{1} << 52) - 1)) | uint64_t{1} << 52);
  const int64_t m53 = x < 0 ? -mag : mag;
  const int e = biased - 1075;
  if (e >= 0) return store(i128{m53} * (i128{1} << e) * mult - offset, out);
  const int sh = -e;
  const bool even = (mag & 1) == 0;
  // Below a power of two the next double toward zero is half as far.
  const bool boundary = mag == (int64_t{1} << 52);
  for (int d = 1; d <= 9 && sh < 100; ++d) {
    const int64_t p = kPow10[d];
    const i128 scaled = i128{m53} * p;  // x * 10^d * 2^sh
    const i128 m = (scaled + (i128{1} << (sh - 1))) >> sh;
    const i128 diff = m * (i128{1} << sh) - scaled;  // (m / 10^d - x) * 10^d * 2^sh
    const i128 adiff = diff < 0 ? -diff : diff;
    // The neighbours of x lie 2^sh * 10^d away in these units (half that
    // toward zero at a boundary); m / 10^d reads back to x when it lies
    // nearer to x than half way, or half way with x's mantissa even.
    const bool toward_zero = (diff < 0) == (m53 > 0);
    const i128 twice = boundary && toward_zero ? 4 * adiff : 2 * adiff;
    if (twice < p || (twice == p && even)) {
      if (datetime && d > 1 && composed_ticks(x, d, mult, offset, out)) return true;
      const i128 num = m * mult;
      // Division of 64-bit numbers where they fit: 128-bit division is slow.
      if (num > INT64_MIN && num <= INT64_MAX) {
        const auto n64 = static_cast<int64_t>(num);
        int64_t q = n64 / p;
        if (q * p > n64) --q;
        return store(q - offset, out);
      }
      return store(floor_div(num, p) - offset, out);
    }
  }
  if (datetime && composed_ticks(x, 10, mult, offset, out)) return true;
  if (sh >= 120) return store((m53 < 0 ? -1 : 0) - offset, out);
  return store(((i128{m53} * mult) >> sh) - offset, out);  // >> floors
}

// Ticks per host value unit and the ticks from 1970 to the value's zero.
bool kind_scale(int32_t kind, int32_t unit, int64_t *mult, i128 *offset) {
  const int64_t ps = per_second(unit);
  switch (kind) {
    case ZB_KIND_DATE: *mult = 86400 * ps; *offset = i128{kEpochDays} * 86400 * ps; return true;
    case ZB_KIND_TIME: *mult = ps; *offset = 0; return true;
    case ZB_KIND_DATETIME: *mult = ps; *offset = i128{kEpochDays} * 86400 * ps; return true;
    default: return false;
  }
}

bool is_missing(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits >> 48) == 0xFFFF || std::isnan(v);
}

// Rows [from, from + n) of c, as a column of its own.
zb_column slice(const zb_column &c, size_t from, size_t n) {
  zb_column s = c;
  s.n = n;
  if (c.validity) s.validity = c.validity + from / 8;
  if (c.starts) {
    s.starts = c.starts + from;
    s.lengths = c.lengths + from;
  } else if (c.offsets) {
    s.offsets = c.offsets + from;
  } else if (c.offsets32) {
    s.offsets32 = c.offsets32 + from;
  } else if (c.data) {
    s.data = c.data + from * c.stride;
  }
  return s;
}

// Checks what the column calls share, and the reader's kind.
int begin(zb_handle *h, int32_t reader, const zb_column *col, const void *out,
          const uint32_t *codes, int32_t *kind, int32_t *target_len) {
  zb_reader_info info;
  if (int rc = zb_describe(h, reader, &info)) return rc;  // a bad handle or reader
  if (!col || !out || (col->n && !codes))
    return api_fail(ZB_E_NULL, !col ? "the column is null"
                               : !out ? "the results are null" : "the codes are null");
  *kind = info.kind;
  *target_len = info.target_length;
  return ZB_OK;
}

// Calls f(from, n, values) with each chunk's host values, its codes at
// codes + from.
template <class F>
int numeric_chunks(zb_handle *h, int32_t reader, const zb_column &c, uint32_t *codes, F f) {
  double values[kChunk];
  for (size_t from = 0; from < c.n; from += kChunk) {
    const size_t n = c.n - from < kChunk ? c.n - from : kChunk;
    zb_column part = slice(c, from, n);
    zb_results r{};
    r.values = values;
    r.codes = codes + from;
    if (int rc = zb_read_column(h, reader, &part, &r)) return rc;
    f(from, n, values);
  }
  return ZB_OK;
}

// Calls f(from, n, texts, stride) with each chunk's packed texts (empty
// where there is none), its codes at codes + from.
template <class F>
int entity_chunks(zb_handle *h, int32_t reader, const zb_column &c, int32_t target_len,
                  uint32_t *codes, F f) {
  const size_t stride = target_len > 0 ? static_cast<size_t>(target_len) : 1;
  std::string texts(kChunk * stride, '\0');
  uint32_t lens[kChunk];
  for (size_t from = 0; from < c.n; from += kChunk) {
    const size_t n = c.n - from < kChunk ? c.n - from : kChunk;
    zb_column part = slice(c, from, n);
    zb_results r{};
    r.texts = texts.data();
    r.text_stride = stride;
    r.text_lens = lens;
    r.codes = codes + from;
    if (int rc = zb_read_column(h, reader, &part, &r)) return rc;
    for (size_t i = 0; i < n; ++i)
      if (codes[from + i]) lens[i] = 0;  // a refused field holds only the problem's fill
    f(from, n, texts.data(), stride, lens);
  }
  return ZB_OK;
}

using zbhost::PackedEntity;
using Form = PackedEntity::Form;

void parts_of(const PackedEntity &e, zb_entity_parts *p) {
  std::memset(p, 0, sizeof *p);
  switch (e.form) {
    case Form::kMissing: return;
    case Form::kDatetime: p->form = ZB_FORM_DATETIME; break;
    case Form::kAnchor: p->form = ZB_FORM_ANCHOR; break;
    case Form::kDuration: p->form = ZB_FORM_DURATION; break;
    case Form::kSingleUnit: p->form = ZB_FORM_SINGLE_UNIT; break;
  }
  p->sign = e.negative ? -1 : 1;
  int64_t *slot[6] = {&p->years, &p->months, &p->days, &p->hours, &p->minutes, &p->seconds};
  if (e.form == Form::kSingleUnit) {
    const unsigned base = e.unit & ~0x20u;
    const bool in_thousandths = (e.unit & 0x20u) != 0;
    int64_t count = e.count, frac = 0;
    if (in_thousandths) frac = count % 1000, count /= 1000;
    int k = base == 1 ? 1 : base == 2 || base == 3 ? 2 : base == 4 ? 3 : base == 8 ? 4 : 5;
    if (base == 3) p->weeks = 1, count *= 7, frac *= 7;
    if (base == 3 && frac >= 1000) count += frac / 1000, frac %= 1000;  // thousandths of days
    *slot[k] = count;
    p->given = 1u << k;
    if (in_thousandths) {
      p->thousandths = frac;
      p->given |= ZB_PART_FRACTION;
      p->fraction_of = 1u << k;
    }
    return;
  }
  const int32_t v[6] = {e.year, e.month, e.day, e.hour, e.minute, e.second};
  int last = -1;
  for (int k = 0; k < 6; ++k) {
    if (v[k] < 0) continue;
    *slot[k] = v[k];
    p->given |= 1u << k;
    last = k;
  }
  if (e.fraction >= 0) {
    p->thousandths = e.fraction;
    p->given |= ZB_PART_FRACTION;
    // The fraction belongs to the last component given (of a second when
    // there is none).
    p->fraction_of = 1u << (last < 0 ? 5 : last);
  }
}

// Nanoseconds of the time components and their fraction; false for a
// fraction of a year or a month, which has no fixed length.
bool time_ns(const zb_entity_parts &p, i128 *ns) {
  i128 t = ((i128{p.days} * 24 + p.hours) * 60 + p.minutes) * 60 + p.seconds;
  t *= kNsPerSecond;
  if (p.fraction_of) {
    int64_t unit_ns;
    switch (p.fraction_of) {
      case ZB_PART_DAYS: unit_ns = 86400 * kNsPerSecond; break;
      case ZB_PART_HOURS: unit_ns = 3600 * kNsPerSecond; break;
      case ZB_PART_MINUTES: unit_ns = 60 * kNsPerSecond; break;
      case ZB_PART_SECONDS: unit_ns = kNsPerSecond; break;
      default: return false;
    }
    t += i128{p.thousandths} * (unit_ns / 1000);
  }
  *ns = t;
  return true;
}

// Nanoseconds from 1970 of a datetime's parts, the absent ones taken as
// the start of the period given; 0 or ZB_CODE_INSTANT.
uint32_t instant_ns(const zb_entity_parts &p, i128 *ns) {
  if (!(p.given & ZB_PART_YEARS) || ((p.given & ZB_PART_DAYS) && !(p.given & ZB_PART_MONTHS)))
    return ZB_CODE_INSTANT;
  const int64_t month = p.given & ZB_PART_MONTHS ? p.months : 1;
  const int64_t day = p.given & ZB_PART_DAYS ? p.days : 1;
  if (month < 1 || month > 12 || day < 1 || day > 31) return ZB_CODE_INSTANT;
  zb_entity_parts t = p;
  t.years = t.months = 0;
  t.days = zbhost::cal::days_from_civil(p.years, static_cast<unsigned>(month),
                                        static_cast<unsigned>(day)) - kEpochDays;
  return time_ns(t, ns) ? 0 : ZB_CODE_INSTANT;
}

// An instant moved by a duration (sign +1 or -1) on the calendar: years and
// months first, the day kept but limited to the month's last, then the
// days, the time and the fraction. 0 or ZB_CODE_INSTANT.
uint32_t shift_ns(i128 from_ns, const zb_entity_parts &d, int sign, i128 *ns) {
  const i128 day_ns = i128{86400} * kNsPerSecond;
  const i128 day = floor_div(from_ns, day_ns);
  const i128 within = from_ns - day * day_ns;
  const zbhost::cal::Civil c = zbhost::cal::civil_from_days(static_cast<int64_t>(day) + kEpochDays);
  const int64_t months = c.year * 12 + (c.month - 1) + sign * (d.years * 12 + d.months);
  const int64_t y = months >= 0 ? months / 12 : (months - 11) / 12;
  const auto m = static_cast<unsigned>(months - y * 12 + 1);
  unsigned dd = c.day;
  const unsigned last = zbhost::cal::last_day(y, m);
  if (dd > last) dd = last;
  zb_entity_parts rest = d;
  rest.years = rest.months = 0;
  i128 t;
  if (!time_ns(rest, &t)) return ZB_CODE_INSTANT;
  *ns = i128{zbhost::cal::days_from_civil(y, m, dd) - kEpochDays} * day_ns + within + sign * t;
  return 0;
}

bool ns_to_ticks(i128 ns, int32_t unit, int64_t *out) {
  return store(floor_div(ns, kNsPerSecond / per_second(unit)), out);
}

// One packed interval (16 bytes) into its parts: the code for its ends.
uint32_t interval_parts(const uint8_t *b, int32_t unit, zb_interval_parts *out, bool *ok) {
  PackedEntity first, second;
  *ok = zbhost::decode_entity(b, &first) && zbhost::decode_entity(b + 8, &second);
  out->start = out->end = ZB_NAT;
  std::memset(&out->duration, 0, sizeof out->duration);
  if (!*ok) return 0;
  zb_entity_parts a, z;
  parts_of(first, &a);
  parts_of(second, &z);
  const bool a_dt = a.form == ZB_FORM_DATETIME, z_dt = z.form == ZB_FORM_DATETIME;
  const bool a_dur = a.form == ZB_FORM_DURATION || a.form == ZB_FORM_SINGLE_UNIT;
  const bool z_dur = z.form == ZB_FORM_DURATION || z.form == ZB_FORM_SINGLE_UNIT;
  if (a_dur) out->duration = a;
  if (z_dur) out->duration = z;
  i128 s = 0, e = 0;
  uint32_t code = 0;
  if (a_dt && z_dt) {
    code = instant_ns(a, &s);
    if (!code) code = instant_ns(z, &e);
  } else if (a_dt && z_dur) {
    code = instant_ns(a, &s);
    if (!code) code = shift_ns(s, z, z.sign, &e);
  } else if (a_dur && z_dt) {
    code = instant_ns(z, &e);
    if (!code) code = shift_ns(e, a, -a.sign, &s);
  } else {
    return 0;  // missing, or a lone duration: no ends
  }
  if (code) return code;
  if (!ns_to_ticks(s, unit, &out->start) || !ns_to_ticks(e, unit, &out->end)) {
    out->start = out->end = ZB_NAT;
    return ZB_CODE_RANGE;
  }
  return 0;
}

// Decoded bytes of a text of 2 * n hexadecimal digits, or ZB_E_RANGE.
int hex_bytes(const char *hex, size_t len, uint8_t *b, size_t n) {
  if (!hex && len) return ZB_E_NULL;
  if (!zbhost::parse_hex(std::string_view(hex ? hex : "", len), b, n)) return ZB_E_RANGE;
  return ZB_OK;
}

// The n bytes of a packed text of len characters; false when it has fewer
// than 2n digits or is no hexadecimal text.
bool packed(const char *text, uint32_t len, uint8_t *b, size_t n) {
  return len >= 2 * n && hex_bytes(text, 2 * n, b, n) == ZB_OK;
}

int bad_unit(int32_t unit) {
  return api_fail(ZB_E_RANGE, "unit " + std::to_string(unit) +
                                  " is none of ZB_UNIT_S, _MS, _US, _NS");
}

const char *kind_name(int32_t kind) {
  static const char *const kNames[] = {"date", "time", "datetime", "duration", "packed datetime",
                                       "interval"};
  return kind >= 0 && kind <= 5 ? kNames[kind] : "unknown";
}

// kind_scale for the calls on host values, with their statuses.
int value_scale(int32_t kind, int32_t unit, int64_t *mult, i128 *offset) {
  if (!valid_unit(unit)) return bad_unit(unit);
  if (!kind_scale(kind, unit, mult, offset))
    return api_fail(ZB_E_KIND, std::string("ticks are for dates, times and datetimes, not ") +
                                   kind_name(kind) + " values");
  return ZB_OK;
}

}  // namespace

extern "C" {

int zb_value_ticks(int32_t kind, double value, int32_t unit, int64_t *ticks) {
  if (!ticks) return api_fail(ZB_E_NULL, "the result pointer is null");
  *ticks = ZB_NAT;
  int64_t mult;
  i128 offset;
  if (int rc = value_scale(kind, unit, &mult, &offset)) return rc;
  if (is_missing(value)) return api_fail(ZB_E_RANGE, "the missing value has no ticks");
  if (!exact_ticks(value, kind == ZB_KIND_DATETIME, mult, offset, ticks)) {
    *ticks = ZB_NAT;
    return api_fail(ZB_E_RANGE, "the value does not fit 64-bit ticks of the unit");
  }
  return ZB_OK;
}

int zb_values_ticks(int32_t kind, const double *values, size_t n, int32_t unit,
                    int64_t *ticks, uint32_t *codes) {
  if (n && (!values || !ticks)) return api_fail(ZB_E_NULL, "a required pointer is null");
  int64_t mult;
  i128 offset;
  if (int rc = value_scale(kind, unit, &mult, &offset)) return rc;
  for (size_t i = 0; i < n; ++i) {
    const bool missing = is_missing(values[i]);
    const bool ok = !missing && exact_ticks(values[i], kind == ZB_KIND_DATETIME, mult, offset, ticks + i);
    if (!ok) ticks[i] = ZB_NAT;
    if (codes) codes[i] = ok || missing ? 0 : ZB_CODE_RANGE;
  }
  return ZB_OK;
}

int zb_read_ticks(zb_handle *h, int32_t reader, const zb_column *col, int32_t unit,
                  int64_t *ticks, uint32_t *codes) {
  int32_t kind = 0, target_len = 0;
  if (int rc = begin(h, reader, col, ticks, codes, &kind, &target_len)) return rc;
  if (!valid_unit(unit)) return bad_unit(unit);
  int64_t mult;
  i128 offset;
  if (!kind_scale(kind, unit, &mult, &offset))
    return api_fail(ZB_E_KIND, std::string("the reader gives ") + kind_name(kind) +
                                   " values, not ticks: use zb_read_parts or zb_read_intervals");
  return numeric_chunks(h, reader, *col, codes, [&](size_t from, size_t n, const double *v) {
    for (size_t i = 0; i < n; ++i) {
      int64_t *t = ticks + from + i;
      if (is_missing(v[i])) {
        *t = ZB_NAT;
      } else if (!exact_ticks(v[i], kind == ZB_KIND_DATETIME, mult, offset, t)) {
        *t = ZB_NAT;
        if (!codes[from + i]) codes[from + i] = ZB_CODE_RANGE;
      }
    }
  });
}

int zb_split(const char *data, size_t len, char sep, size_t n, int64_t *starts,
             int32_t *lengths) {
  if (n == 0) return len ? api_fail(ZB_E_RANGE, "bytes given for no field") : ZB_OK;
  if ((!data && len) || !starts || !lengths)
    return api_fail(ZB_E_NULL, "a required pointer is null");
  const char *p = data, *end = data + len;
  // The next separator in [from, end), or null (memchr is not given an
  // empty range: its pointer may be null then).
  auto next = [end, sep](const char *from) -> const char * {
    return from < end ? static_cast<const char *>(std::memchr(from, sep, end - from)) : nullptr;
  };
  for (size_t i = 0; i < n; ++i) {
    const char *q = i + 1 < n ? next(p) : end;
    if (!q) return api_fail(ZB_E_RANGE, "the data holds " + std::to_string(i + 1) +
                                            " fields, not " + std::to_string(n));
    if (q - p > INT32_MAX)
      return api_fail(ZB_E_RANGE, "field " + std::to_string(i) + " is longer than 2147483647 bytes");
    starts[i] = p - data;
    lengths[i] = static_cast<int32_t>(q - p);
    p = q + (q < end);
  }
  if (next(data + starts[n - 1]))  // the last field runs to the end
    return api_fail(ZB_E_RANGE, "the data holds more than " + std::to_string(n) + " fields");
  return ZB_OK;
}

int zb_entity_parts_of(const char *hex, size_t len, zb_entity_parts *out) {
  if (!out || (!hex && len)) return api_fail(ZB_E_NULL, "a required pointer is null");
  uint8_t b[8];
  std::string why = "not 16 hexadecimal digits";
  PackedEntity e;
  if (hex_bytes(hex, len, b, 8) || !zbhost::decode_entity(b, &e, &why))
    return api_fail(ZB_E_RANGE, "not a packed entity: " + why);
  parts_of(e, out);
  return ZB_OK;
}

int zb_interval_parts_of(const char *hex, size_t len, int32_t unit, zb_interval_parts *out,
                         uint32_t *code) {
  if (!out || !code || (!hex && len)) return api_fail(ZB_E_NULL, "a required pointer is null");
  if (!valid_unit(unit)) return bad_unit(unit);
  uint8_t b[16];
  bool ok = false;
  if (!hex_bytes(hex, len, b, 16)) *code = interval_parts(b, unit, out, &ok);
  if (!ok) return api_fail(ZB_E_RANGE, "not a packed interval of 32 hexadecimal digits");
  return ZB_OK;
}

int zb_read_parts(zb_handle *h, int32_t reader, const zb_column *col, zb_entity_parts *out,
                  uint32_t *codes) {
  int32_t kind = 0, target_len = 0;
  if (int rc = begin(h, reader, col, out, codes, &kind, &target_len)) return rc;
  if (kind != ZB_KIND_DURATION && kind != ZB_KIND_PACKED)
    return api_fail(ZB_E_KIND, std::string("the reader gives ") + kind_name(kind) +
                                   " values, not one packed entity each");
  return entity_chunks(h, reader, *col, target_len, codes,
                       [&](size_t from, size_t n, const char *texts, size_t stride,
                           const uint32_t *lens) {
                         for (size_t i = 0; i < n; ++i) {
                           uint8_t b[8];
                           PackedEntity e;
                           if (!packed(texts + i * stride, lens[i], b, 8) ||
                               !zbhost::decode_entity(b, &e))
                             e = PackedEntity{};
                           parts_of(e, out + from + i);
                         }
                       });
}

int zb_read_intervals(zb_handle *h, int32_t reader, const zb_column *col, int32_t unit,
                      zb_interval_parts *out, uint32_t *codes) {
  int32_t kind = 0, target_len = 0;
  if (int rc = begin(h, reader, col, out, codes, &kind, &target_len)) return rc;
  if (!valid_unit(unit)) return bad_unit(unit);
  if (kind != ZB_KIND_INTERVAL)
    return api_fail(ZB_E_KIND, std::string("the reader gives ") + kind_name(kind) +
                                   " values, not intervals");
  return entity_chunks(h, reader, *col, target_len, codes,
                       [&](size_t from, size_t n, const char *texts, size_t stride,
                           const uint32_t *lens) {
                         for (size_t i = 0; i < n; ++i) {
                           zb_interval_parts *p = out + from + i;
                           uint8_t b[16];
                           bool ok = false;
                           uint32_t code = 0;
                           if (packed(texts + i * stride, lens[i], b, 16))
                             code = interval_parts(b, unit, p, &ok);
                           if (!ok) {
                             std::memset(p, 0, sizeof *p);
                             p->start = p->end = ZB_NAT;
                           } else if (code && !codes[from + i]) {
                             codes[from + i] = code;
                           }
                         }
                       });
}

}  // extern "C"
