// zb_value_text: a host date, time or datetime as extended ISO 8601 text.
//
// The seconds are written as the shortest decimal that reads back to the
// same double, split into day, clock and fraction on its digits, never by
// floating-point arithmetic: a value made from ".123456" prints ".123456",
// and a datetime before 1960 (a negative count) counts back by decimal
// complement, so -0.876544 is 1959-12-31T23:59:59.123456.
//
// "Reads back" is taken two ways, and the shorter text wins (the first on a
// tie): as one decimal number (std::to_chars' shortest form), and as the
// readers compose a value, day * 86400 + (whole seconds + fraction), each
// step rounded to a double. The second matters where the readers' rounding
// shows: 1959-12-31T23:59:59.123456 read is -86400 + 86399.123456, which is
// -0.8765440000011697 and not the double nearest -0.876544; as a number it
// would need all those digits, composed it needs six.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "api_internal.h"
#include "host.h"
#include "zelbrant/reader.h"

namespace {

// Dates and datetimes print four-digit years: 1582-01-01 .. 9999-12-31.
constexpr int kLastYear = 9999;
// Times print signed hours; past this magnitude they are refused.
constexpr double kTimeLimit = 1e15;
// The missing value and every other NaN the host may hold.
constexpr uint64_t kMissingTop = 0xFFFFull << 48;

// |v| as a decimal: whole units and the fraction's digits, no trailing zero.
// A fraction has at most 17 significant digits, but leading zeros of a tiny
// value (1e-300) make it long.
struct Decimal {
  int64_t whole = 0;
  char frac[400];
  int nfrac = 0;
};

// The common values without a text conversion: whole numbers, and below
// 2^32 (where a double is finer than a microsecond, so no two decimals of up
// to six places read back to it) fractions of up to six places, the first k
// with m / 10^k == a (m and 10^k exact, the division correctly rounded).
// That decimal is the one the shortest conversion writes. False otherwise.
bool split_short(double a, Decimal *d) {
  constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  if (a < 9007199254740992.0 && std::trunc(a) == a) {  // below 2^53
    d->whole = static_cast<int64_t>(a);
    return true;
  }
  if (a >= 4294967296.0) return false;
  for (int k = 1; k <= 6; ++k) {
    const double m = std::nearbyint(a * kPow10[k]);
    if (m / kPow10[k] != a) continue;
    auto mi = static_cast<int64_t>(m);
    for (int i = k - 1; i >= 0; --i, mi /= 10) d->frac[i] = static_cast<char>('0' + mi % 10);
    d->whole = mi;
    d->nfrac = k;
    return true;
  }
  return false;
}

// Splits the shortest decimal of a (finite, 0 <= a < 1e15) into d: the
// scientific text d[.ddd]e±XX, its digits shifted by the exponent.
void split(double a, Decimal *d) {
  d->whole = 0;
  d->nfrac = 0;
  if (a == 0 || split_short(a, d)) return;
  char buf[40];
  const char *end = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific).ptr;
  char digits[20];
  int n = 0;
  const char *p = buf;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  ++p;  // 'e'
  if (*p == '+') ++p;
  int exp = 0;
  std::from_chars(p, end, exp);
  const int point = exp + 1;  // digits before the decimal point; <= 15 here
  if (point <= 0) {
    const int zeros = -point;
    std::memset(d->frac, '0', static_cast<size_t>(zeros));
    std::memcpy(d->frac + zeros, digits, static_cast<size_t>(n));
    d->nfrac = zeros + n;
  } else {
    for (int i = 0; i < point; ++i) d->whole = d->whole * 10 + (i < n ? digits[i] - '0' : 0);
    if (n > point) {
      d->nfrac = n - point;
      std::memcpy(d->frac, digits + point, static_cast<size_t>(d->nfrac));
    }
  }
  while (d->nfrac > 0 && d->frac[d->nfrac - 1] == '0') --d->nfrac;
}

// -d in floor form: the whole part rounded down and the fraction 1 - f, by
// decimal complement (its last digit is nonzero, so no borrow arises).
void negate_floor(Decimal *d) {
  d->whole = -d->whole;
  if (d->nfrac == 0) return;
  d->whole -= 1;
  for (int i = 0; i < d->nfrac; ++i)
    d->frac[i] = static_cast<char>('0' + (i == d->nfrac - 1 ? 10 : 9) - (d->frac[i] - '0'));
  while (d->nfrac > 0 && d->frac[d->nfrac - 1] == '0') --d->nfrac;
}

// v >= 0 in at least width digits, zeros in front: two and four digits by
// pairs from a table, wider numbers by the general conversion.
char *put_num(char *out, int64_t v, int width) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  if (width == 2 && v < 100) {
    std::memcpy(out, kPairs + 2 * v, 2);
    return out + 2;
  }
  if (width == 4 && v < 10000) {
    std::memcpy(out, kPairs + 2 * (v / 100), 2);
    std::memcpy(out + 2, kPairs + 2 * (v % 100), 2);
    return out + 4;
  }
  char buf[24];
  const char *end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  for (auto n = end - buf; n < width; ++n) *out++ = '0';
  std::memcpy(out, buf, static_cast<size_t>(end - buf));
  return out + (end - buf);
}

char *put_date(char *out, int64_t days) {
  const zbhost::cal::Civil c = zbhost::cal::civil_from_days(days);
  out = put_num(out, c.year, 4);
  *out++ = '-';
  out = put_num(out, c.month, 2);
  *out++ = '-';
  return put_num(out, c.day, 2);
}

// hh:mm:ss[.fff] of secs >= 0 whole seconds (hours beyond 23 as they are).
char *put_clock(char *out, int64_t secs, const Decimal &d) {
  out = put_num(out, secs / 3600, 2);
  *out++ = ':';
  out = put_num(out, secs / 60 % 60, 2);
  *out++ = ':';
  out = put_num(out, secs % 60, 2);
  if (d.nfrac > 0) {
    *out++ = '.';
    std::memcpy(out, d.frac, static_cast<size_t>(d.nfrac));
    out += d.nfrac;
  }
  return out;
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// The text as the readers compose it: the shortest fraction f of fewer than
// limit digits (and at most 17) with day * 86400 + (secs + f) == v, each
// step in doubles (without a day for a time). The nearest decimal of each
// length is tried in turn; false when none fits. secs may come back as
// 86400: the next day.
bool composed(double v, bool with_day, int64_t days, int limit, int64_t *secs, Decimal *d) {
  const double day_start = with_day ? static_cast<double>(days) * 86400.0 : 0.0;
  const double t = v - day_start;  // exact but for days == -1 and |v| < 43200
  if (!(t >= 0)) return false;
  const double whole = std::floor(t);
  const double r = t - whole;  // exact
  for (int k = 0; k < limit && k <= 17; ++k) {
    char buf[32];
    const auto done = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, k);
    double f = 0;
    if (done.ec != std::errc() || std::from_chars(buf, done.ptr, f).ec != std::errc()) return false;
    if (day_start + (whole + f) != v) continue;
    *secs = static_cast<int64_t>(whole) + (buf[0] == '1');
    d->nfrac = k;
    if (k > 0) std::memcpy(d->frac, buf + 2, static_cast<size_t>(k));
    while (d->nfrac > 0 && d->frac[d->nfrac - 1] == '0') --d->nfrac;
    return true;
  }
  return false;
}

void take_fraction(const Decimal &from, Decimal *to) {
  to->nfrac = from.nfrac;
  std::memcpy(to->frac, from.frac, static_cast<size_t>(from.nfrac));
}

std::string number(double v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

const char *kind_word(int32_t kind) {
  return kind == ZB_KIND_DATE ? "date" : kind == ZB_KIND_TIME ? "time" : "datetime";
}

// Whether v can be written as a value of kind: a number, a time below
// kTimeLimit either way, a date or datetime from 1582 through 9999.
bool writable(int32_t kind, double v) {
  static const double first_day = static_cast<double>(zbhost::cal::min_day());
  static const double end_day =
      static_cast<double>(zbhost::cal::days_from_civil(kLastYear + 1, 1, 1));
  if (kind == ZB_KIND_TIME) return std::fabs(v) < kTimeLimit;  // false for a NaN
  const double scale = kind == ZB_KIND_DATE ? 1.0 : 86400.0;
  return v >= first_day * scale && v < end_day * scale;
}

// Why v cannot be written as a value of kind (writable is false).
std::string refusal(int32_t kind, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  if ((bits & kMissingTop) == kMissingTop) return "the value is the missing value";
  if (std::isnan(v)) return "the value is not a number";
  if (std::isinf(v)) return "the value is infinite";
  if (kind == ZB_KIND_TIME)
    return "the time " + number(v) + " s is 1e15 seconds or more from midnight";
  return std::string("the ") + kind_word(kind) + " " + number(v) +
         (v < 0 ? " falls before 1582-01-01" : " falls after 9999-12-31");
}

}  // namespace

extern "C" int zb_value_text(int32_t kind, double value, uint32_t flags, char *out, size_t size) {
  if (!out && size) return zbhost::api_fail(ZB_E_NULL, "the text buffer is null");
  if (kind != ZB_KIND_DATE && kind != ZB_KIND_TIME && kind != ZB_KIND_DATETIME)
    return zbhost::api_fail(ZB_E_KIND,
                            "kind " + std::to_string(kind) + " is no date, time or datetime kind");
  if (flags & ~ZB_TEXT_ZONE)
    return zbhost::api_fail(ZB_E_OPTION, "unknown flags " + std::to_string(flags));
  if (!writable(kind, value)) return zbhost::api_fail(ZB_E_RANGE, refusal(kind, value));

  Decimal d;
  split(std::fabs(value), &d);
  const bool negative = value < 0 && (d.whole != 0 || d.nfrac != 0);
  char text[sizeof d.frac + 64];
  char *o = text;
  switch (kind) {
    case ZB_KIND_DATE:  // the day the value falls in
      if (negative) negate_floor(&d);
      o = put_date(o, d.whole);
      break;
    case ZB_KIND_TIME: {
      if (negative) *o++ = '-';
      Decimal c;
      int64_t secs = 0;
      if (composed(std::fabs(value), false, 0, d.nfrac, &secs, &c)) {
        d.whole = secs;
        take_fraction(c, &d);
      }
      o = put_clock(o, d.whole, d);
      break;
    }
    default: {
      if (negative) negate_floor(&d);
      int64_t days = floor_div(d.whole, 86400);
      int64_t secs = d.whole - days * 86400;
      Decimal c;
      int64_t csecs = 0;
      if (composed(value, true, days, d.nfrac, &csecs, &c)) {
        secs = csecs;
        take_fraction(c, &d);
        if (secs == 86400) ++days, secs = 0;
      }
      o = put_date(o, days);
      *o++ = 'T';
      o = put_clock(o, secs, d);
      break;
    }
  }
  if ((flags & ZB_TEXT_ZONE) && kind != ZB_KIND_DATE) *o++ = 'Z';
  const auto len = static_cast<size_t>(o - text);
  if (size) {
    const size_t n = len < size - 1 ? len : size - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
  }
  return static_cast<int>(len);
}
