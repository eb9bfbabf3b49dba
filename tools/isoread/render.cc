#include "render.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "zelbrant/reader.h"

namespace isoread {

namespace {

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

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr uint64_t kPow10Int[] = {1ull,
                                  10ull,
                                  100ull,
                                  1000ull,
                                  10000ull,
                                  100000ull,
                                  1000000ull,
                                  10000000ull,
                                  100000000ull,
                                  1000000000ull,
                                  10000000000ull,
                                  100000000000ull,
                                  1000000000000ull,
                                  10000000000000ull,
                                  100000000000000ull,
                                  1000000000000000ull};

// The short way for the values readers make: whole numbers and fractions
// of a few digits. When a (>= 0) is the double nearest to m / 10^k for some
// k <= places, the general conversion below writes that decimal (the
// distance between them is under half a unit of the last of the places
// digits, which 15 significant digits leave room for), so its digits are
// taken from the integer m. The check m / 10^k == a is exact: m and 10^k
// are exact doubles and division rounds correctly. False when no k fits.
bool split_short(double a, int places, Parts *p) {
  constexpr double kExactLimit = 9007199254740992.0;  // 2^53
  for (int k = 0; k <= places; ++k) {
    double scaled = a * kPow10[k];
    if (scaled >= kExactLimit) return false;
    double m = std::nearbyint(scaled);
    if (m / kPow10[k] != a) continue;
    uint64_t mi = static_cast<uint64_t>(m);
    p->whole = static_cast<int64_t>(mi / kPow10Int[k]);
    uint64_t f = mi % kPow10Int[k];
    for (int i = k - 1; i >= 0; --i, f /= 10) p->frac[i] = static_cast<char>('0' + f % 10);
    int n = k;
    while (n > 0 && p->frac[n - 1] == '0') --n;
    p->nfrac = n;
    return true;
  }
  return false;
}

bool split(double v, Parts *p) {
  if (!std::isfinite(v)) return false;
  double a = std::fabs(v);
  if (a >= 1e15) return false;
  if (std::trunc(a) == a) {  // a whole number: all its digits, no fraction
    p->whole = static_cast<int64_t>(a);
    p->nfrac = 0;
    p->negative = v < 0 && p->whole != 0;
    return true;
  }
  int digits = 1;
  for (double t = 10; a >= t && digits < 15; t *= 10) ++digits;
  if (split_short(a, 15 - digits, p)) {
    p->negative = v < 0 && (p->whole != 0 || p->nfrac != 0);
    return true;
  }
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

// v >= 0 in at least width digits, zeros in front.
char *pad_wide(char *out, int64_t v, int width) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  for (int n = static_cast<int>(r.ptr - buf); n < width; ++n) *out++ = '0';
  std::memcpy(out, buf, r.ptr - buf);
  return out + (r.ptr - buf);
}

// Two digits (v in 0..99) from a table of pairs.
inline char *put2(char *out, int64_t v) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  std::memcpy(out, kPairs + 2 * v, 2);
  return out + 2;
}

// The common widths (months, days, clock parts, four-digit years) written
// in place; anything longer through the general conversion.
inline char *pad(char *out, int64_t v, int width) {  // v >= 0
  if (width == 2 && v < 100) return put2(out, v);
  if (width == 4 && v < 10000) return put2(put2(out, v / 100), v % 100);
  return pad_wide(out, v, width);
}

char *put_date(char *out, int64_t days) {
  struct {
    int64_t year;
    int32_t month, day;
  } c;
  zb_civil_from_days(days, &c.year, &c.month, &c.day);
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
    for (int i = 0; i < p.nfrac; ++i) *out++ = p.frac[i];
  }
  return out;
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

}  // namespace

// The shortest text that reads back as v, as std::to_chars writes it. Most
// values are whole numbers (days, seconds): below 10^15 their shortest digits
// are the integer's own without trailing zeros, and to_chars writes them in
// fixed notation unless the scientific form (d[.ddd]e+XX) is shorter. Those
// are written here by integer conversion; everything else goes to to_chars.
char *render_number(char *out, double v) {
  constexpr double kWholeLimit = 1e15;
  if (v != 0 && std::fabs(v) < kWholeLimit && std::trunc(v) == v) {
    const int64_t n = static_cast<int64_t>(v);
    char digits[20];
    char *end = std::to_chars(digits, digits + sizeof digits, n < 0 ? -n : n).ptr;
    const int64_t length = end - digits;
    int64_t significant = length;
    while (digits[significant - 1] == '0') --significant;
    const int64_t scientific = significant + (significant > 1 ? 1 : 0) + 4;  // e+XX
    if (scientific >= length) {
      if (n < 0) *out++ = '-';
      std::memcpy(out, digits, static_cast<size_t>(length));
      return out + length;
    }
  }
  return std::to_chars(out, out + kValueRoom, v).ptr;
}

namespace {

// The calendar split of a value's 15 significant digits: exact for whole
// values, and the form of values zb_value_text does not take (years outside
// 1582..9999, values far beyond any calendar, not finite).
char *render_split(char *out, double v, int32_t kind, bool zoned) {
  Parts p;
  if (!split(v, &p)) return render_number(out, v);
  switch (kind) {
    case ZB_KIND_DATE:
      if (std::fabs(v) > kMaxDays) break;
      to_floor(&p);
      return put_date(out, p.whole);
    case ZB_KIND_TIME:
      if (std::fabs(v) > kMaxSeconds) break;
      if (p.negative) *out++ = '-';
      out = put_clock(out, p.whole, p);
      if (zoned) *out++ = 'Z';
      return out;
    default: {
      if (std::fabs(v) > kMaxSeconds) break;
      to_floor(&p);
      int64_t days = floor_div(p.whole, 86400);
      out = put_date(out, days);
      *out++ = 'T';
      out = put_clock(out, p.whole - days * 86400, p);
      if (zoned) *out++ = 'Z';
      return out;
    }
  }
  return render_number(out, v);
}

// Whole values within the calendar zb_value_text takes: most of what the
// readers make (dates, whole seconds). They have no fraction to find, so
// they are written here from the integer, the same text, faster.
inline bool whole_in_calendar(double v, int32_t kind, int64_t *whole) {
  constexpr double kFirstDay = -138061, kEndDay = 2936550;  // 1582-01-01, 10000-01-01
  if (std::trunc(v) != v) return false;  // a NaN too
  switch (kind) {
    case ZB_KIND_DATE:
      if (!(v >= kFirstDay && v < kEndDay)) return false;
      break;
    case ZB_KIND_TIME:
      if (!(std::fabs(v) <= kMaxSeconds)) return false;
      break;
    case ZB_KIND_DATETIME:
      if (!(v >= kFirstDay * 86400 && v < kEndDay * 86400)) return false;
      break;
    default:
      return false;
  }
  *whole = static_cast<int64_t>(v);
  return true;
}

char *render_whole(char *out, int64_t w, int32_t kind, bool zoned) {
  const Parts none{};
  if (kind == ZB_KIND_DATE) return put_date(out, w);
  if (kind == ZB_KIND_TIME) {
    if (w < 0) *out++ = '-', w = -w;
    out = put_clock(out, w, none);
  } else {
    const int64_t days = floor_div(w, 86400);
    out = put_date(out, days);
    *out++ = 'T';
    out = put_clock(out, w - days * 86400, none);
  }
  if (zoned) *out++ = 'Z';
  return out;
}

}  // namespace

char *render_iso(char *out, double v, int32_t kind, bool zoned) {
  if (int64_t whole; whole_in_calendar(v, kind, &whole)) return render_whole(out, whole, kind, zoned);
  const int n = zb_value_text(kind, v, zoned ? ZB_TEXT_ZONE : 0u, out, kValueRoom);
  if (n >= 0 && static_cast<size_t>(n) < kValueRoom) return out + n;
  return render_split(out, v, kind, zoned);
}

char *render_code(char *out, uint32_t code) {
  static const char kHex[] = "0123456789abcdef";
  *out++ = '0';
  *out++ = 'x';
  for (int shift = 28; shift >= 0; shift -= 4) *out++ = kHex[(code >> shift) & 0xF];
  return out;
}

char *render_unsigned(char *out, uint64_t v) { return std::to_chars(out, out + 24, v).ptr; }

namespace {
// Length of the valid UTF-8 sequence at s (at most n bytes), or 0.
size_t utf8_length(const unsigned char *s, size_t n) {
  unsigned char c = s[0];
  size_t len;
  uint32_t min;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) len = 2, min = 0x80;
  else if (c >= 0xE0 && c <= 0xEF) len = 3, min = 0x800;
  else if (c >= 0xF0 && c <= 0xF4) len = 4, min = 0x10000;
  else return 0;
  if (len > n) return 0;
  uint32_t cp = c & (0x3F >> (len - 1));
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}
}  // namespace

char *render_json_text(char *out, std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
  size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      *out++ = '\\';
      *out++ = static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = c >= 0x20 && c != 0x7F ? utf8_length(s + i, n - i) : 0;
    if (len == 0) {
      *out++ = '\\';
      *out++ = 'u';
      *out++ = '0';
      *out++ = '0';
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 0xF];
      ++i;
      continue;
    }
    std::memcpy(out, s + i, len);
    out += len;
    i += len;
  }
  return out;
}

char *render_quoted(char *out, std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  *out++ = '"';
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      *out++ = static_cast<char>(c);
    } else {
      *out++ = '\\';
      *out++ = 'x';
      *out++ = kHex[c >> 4];
      *out++ = kHex[c & 0xF];
    }
  }
  *out++ = '"';
  return out;
}

char *render_hex(char *out, const unsigned char *bytes, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < n; ++i) {
    if (i) *out++ = ' ';
    *out++ = kHex[bytes[i] >> 4];
    *out++ = kHex[bytes[i] & 0xF];
  }
  return out;
}

}  // namespace isoread
