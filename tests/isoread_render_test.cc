// The ISO text of values: the renderer isoread writes them with must give
// the exact text of the reader API (zb_value_text) wherever it gives one,
// and beyond its calendar (and for values it has no text for) exactly the
// texts of the general conversion used before (kept below as the
// reference, as it was), over every value of the benchmark's record file
// (read by the module, through isoread --raw) and over tables of values of
// every form the readers make and a few they cannot.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../bench/fields.h"
#include "../tools/isoread/render.h"
#include "family.h"
#include "host.h"
#include "support/run_isoread.h"
#include "zelbrant/reader.h"

namespace {

namespace reference {

// Past these magnitudes a value is written as a plain number: the calendar
// is not asked for dates millions of years away.
constexpr double kMaxDays = 1e9;
constexpr double kMaxSeconds = kMaxDays * 86400.0;

// |v| taken apart into whole units and up to 15 fraction digits: the
// precision a double carries in 15 significant digits, so a value such as
// 1631190645.123 is written with the fraction it was read with and not with
// the binary noise beyond it.
struct Parts {
  bool negative = false;
  int64_t whole = 0;
  char frac[20];
  int nfrac = 0;  // trailing zeros dropped
};

bool split(double v, Parts *p) {
  if (!std::isfinite(v)) return false;
  double a = std::fabs(v);
  if (a >= 1e15) return false;
  int digits = 1;
  for (double t = 10; a >= t && digits < 15; t *= 10) ++digits;
  char buf[48];
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, 15 - digits);
  if (r.ec != std::errc()) return false;
  const char *dot = static_cast<const char *>(std::memchr(buf, '.', r.ptr - buf));
  const char *int_end = dot ? dot : r.ptr;
  if (std::from_chars(buf, int_end, p->whole).ec != std::errc()) return false;
  p->nfrac = 0;
  if (dot) {
    const char *f = dot + 1;
    int n = static_cast<int>(r.ptr - f);
    while (n > 0 && f[n - 1] == '0') --n;
    if (n > static_cast<int>(sizeof p->frac)) n = sizeof p->frac;
    std::memcpy(p->frac, f, n);
    p->nfrac = n;
  }
  p->negative = v < 0 && (p->whole != 0 || p->nfrac != 0);
  return true;
}

// Turns a negative sign-magnitude value into floor form: -0.25 becomes
// whole -1 and fraction .75, so dates and datetimes before 1960 count back
// from the right day.
void to_floor(Parts *p) {
  if (!p->negative) return;
  p->whole = -p->whole;
  p->negative = false;
  if (p->nfrac == 0) return;
  p->whole -= 1;
  // fraction := 1 - fraction, digit by digit: its last digit is nonzero, so
  // no borrow arises.
  for (int i = 0; i < p->nfrac; ++i)
    p->frac[i] = static_cast<char>('0' + (i == p->nfrac - 1 ? 10 : 9) - (p->frac[i] - '0'));
  while (p->nfrac > 0 && p->frac[p->nfrac - 1] == '0') --p->nfrac;
}

char *pad(char *out, int64_t v, int width) {  // v >= 0
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  for (int n = static_cast<int>(r.ptr - buf); n < width; ++n) *out++ = '0';
  std::memcpy(out, buf, r.ptr - buf);
  return out + (r.ptr - buf);
}

char *put_date(char *out, int64_t days) {
  zbhost::cal::Civil c = zbhost::cal::civil_from_days(days);
  if (c.year < 0 || c.year > 9999) {
    // Expanded years carry a sign and at least four digits.
    *out++ = c.year < 0 ? '-' : '+';
    out = pad(out, c.year < 0 ? -c.year : c.year, 4);
  } else {
    out = pad(out, c.year, 4);
  }
  *out++ = '-';
  out = pad(out, c.month, 2);
  *out++ = '-';
  return pad(out, c.day, 2);
}

char *put_clock(char *out, int64_t secs, const Parts &p) {  // secs >= 0
  out = pad(out, secs / 3600, 2);
  *out++ = ':';
  out = pad(out, secs / 60 % 60, 2);
  *out++ = ':';
  out = pad(out, secs % 60, 2);
  if (p.nfrac > 0) {
    *out++ = '.';
    std::memcpy(out, p.frac, p.nfrac);
    out += p.nfrac;
  }
  return out;
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }


char *render_iso(char *out, double v, zbhost::ValueKind kind) {
  Parts p;
  if (!split(v, &p)) return isoread::render_number(out, v);
  switch (kind) {
    case zbhost::ValueKind::date:
      if (std::fabs(v) > kMaxDays) break;
      to_floor(&p);
      return put_date(out, p.whole);
    case zbhost::ValueKind::time:
      if (std::fabs(v) > kMaxSeconds) break;
      if (p.negative) *out++ = '-';
      return put_clock(out, p.whole, p);
    case zbhost::ValueKind::datetime: {
      if (std::fabs(v) > kMaxSeconds) break;
      to_floor(&p);
      int64_t days = floor_div(p.whole, 86400);
      out = put_date(out, days);
      *out++ = 'T';
      return put_clock(out, p.whole - days * 86400, p);
    }
  }
  return isoread::render_number(out, v);
}


}  // namespace reference

using zbhost::ValueKind;

std::string now(double v, ValueKind kind) {
  char buf[isoread::kValueRoom];
  // The API numbers the kinds as the host does: date, time, datetime.
  return std::string(buf, isoread::render_iso(buf, v, static_cast<int32_t>(kind)));
}

std::string before(double v, ValueKind kind) {
  char buf[isoread::kValueRoom];
  const int n = zb_value_text(static_cast<int32_t>(kind), v, 0, buf, sizeof buf);
  if (n >= 0 && static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  return std::string(buf, reference::render_iso(buf, v, kind));
}

const ValueKind kKinds[] = {ValueKind::date, ValueKind::time, ValueKind::datetime};

// Compares both renderers on v for every kind; counts the values compared.
void expect_same_text(double v, size_t *compared) {
  for (ValueKind kind : kKinds) {
    std::string want = before(v, kind), got = now(v, kind);
    if (want != got) {
      char num[isoread::kValueRoom];
      ADD_FAILURE() << "value " << std::string(num, isoread::render_number(num, v)) << " kind "
                    << static_cast<int>(kind) << ": " << got << ", was " << want;
      return;
    }
  }
  ++*compared;
}


// Every value of the benchmark's record file, as the module reads it. The
// file is the benchmark's (the same generator and seed); ZB_RENDER_MB sets
// how much of it (200 for the whole file the figures are taken on).
TEST(IsoreadRender, BenchmarkFileValuesRenderAsBefore) {
  long long mb = 4;
  if (const char *e = std::getenv("ZB_RENDER_MB"); e && *e) mb = std::atoll(e);
  zbbench::Rng r(2011);
  std::string file;
  while (static_cast<long long>(file.size()) < mb * 1000000LL) (file += zbbench::fixed_record(r)) += '\n';
  zbtest::ProgramOutcome o = zbtest::run_isoread(
      {"--raw", "-f", "1:B8601DA8.", "-f", "9:B8601DZ20.", "-f", "29:B8601TM6."}, file);
  ASSERT_EQ(o.status, 0) << o.err;
  size_t compared = 0, lines = 0;
  const char *p = o.out.data(), *end = p + o.out.size();
  while (p < end) {
    double v;
    auto res = std::from_chars(p, end, v);
    ASSERT_EQ(res.ec, std::errc()) << std::string(p, std::min<size_t>(40, end - p));
    expect_same_text(v, &compared);
    lines += *res.ptr == '\n';
    p = res.ptr + 1;  // past the tab or the line's end
  }
  EXPECT_EQ(compared, 3 * lines);
  EXPECT_GT(lines, static_cast<size_t>(mb) * 25000);
}

// Values of every form: whole numbers in the ranges of dates, times and
// datetimes; fractions of 1 to 9 digits, both as the decimal nearest to
// their text and as the readers' sums of whole seconds and a fraction;
// negative values (before 1960, times before midnight); and values no
// reader makes (tiny, huge, not finite) that must still come out as before.
TEST(IsoreadRender, TablesOfValuesRenderAsBefore) {
  size_t compared = 0;
  const double kEdges[] = {0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 0.1, 0.1 + 0.2, 86399.999999999,
                           86400, -86400.25, 1e15 - 1, 1e15, -1e15 + 1, 1e15 + 2, 999999999999999.9,
                           9007199254740993.0, 1e9, 1e9 + 1, -1e9 - 1, 86400e9, 86400e9 + 0.5,
                           5e-324, 1e-7, -1e-15, 123456789012.345, 1631190645.123456,
                           -1e300, 1e300, std::nan(""), HUGE_VAL, -HUGE_VAL,
                           static_cast<double>(0xFFFFFE0000000000ull)};
  for (double v : kEdges) expect_same_text(v, &compared);
  zbbench::Rng r(16);
  const double kScales[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  for (int i = 0; i < 200000; ++i) {
    // Whole seconds of a datetime (1900..2100 and far out), a time or a day.
    int64_t range = i % 4 == 0 ? 6311347200ll : i % 4 == 1 ? 86400 : i % 4 == 2 ? 73000 : 3e13;
    int64_t whole = static_cast<int64_t>(r.next() % static_cast<uint64_t>(2 * range)) - range / 2;
    int k = r.in(0, 9);
    int64_t frac = k ? static_cast<int64_t>(r.next() % static_cast<uint64_t>(kScales[k])) : 0;
    std::string text = std::to_string(whole < 0 ? -whole : whole);
    if (k) {
      std::string f = std::to_string(frac);
      text += "." + std::string(k - f.size(), '0') + f;
    }
    if (whole < 0) text = "-" + text;
    double parsed;
    std::from_chars(text.data(), text.data() + text.size(), parsed);
    double sum = static_cast<double>(whole) + (whole < 0 ? -1 : 1) * (frac / kScales[k]);
    expect_same_text(parsed, &compared);
    expect_same_text(sum, &compared);
    // The neighbours of a value: one unit in the last place either way.
    expect_same_text(std::nextafter(parsed, HUGE_VAL), &compared);
    expect_same_text(std::nextafter(parsed, -HUGE_VAL), &compared);
    // Any double at all in a wide range, from its bits.
    uint64_t bits = 0x3C00000000000000ull + r.next() % 0x0B00000000000000ull;
    double any;
    std::memcpy(&any, &bits, sizeof any);
    expect_same_text(i % 2 ? any : -any, &compared);
  }
  EXPECT_EQ(compared, std::size(kEdges) + 5 * 200000u);
}

}  // namespace
