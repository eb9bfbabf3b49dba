// The date-or-duration scanner, which fills an iso_entity from text
// (read_date_or_duration): its main loop, which is the grammar, and the
// steps after it; and add_fraction, which turns the fraction of the smallest
// given component into a change of a datetime.
#include <math.h>
#include <string.h>

#include "entity.h"
#include "fstring.h"
#include "scanner.h"

namespace scan {

namespace {

// Overflow masks for which a duration may be held as a single count; they are
// the unit codes of the packed form.
constexpr uint8_t poss[7] = {0x01, 0x02, 0x03, 0x04, 0x08, 0x10, 0x20};
constexpr ByteIndex kPossIndex(poss);
bool in_poss(uint8_t mask) { return kPossIndex.at[mask] >= 0; }

// The years a datetime may have.
constexpr int64_t kFirstYear = 1582;
constexpr int64_t kLastYear = 9999;
// Thousandths of a second in a day.
constexpr int64_t kDayMs = 86400000;
// The largest count the single-unit form holds.
constexpr uint64_t kMaxCount = 0xFFFFFFFFu;

// Maximum digits of the next number, by entity, scan kind and slot. A number
// after a decimal mark fills the fraction slot and is read with its width,
// whatever the count.
ZB_INLINE int32_t max_digits(const Scan &s) {
  const int slot = s.frac >= 0 ? 6 : s.count;
  int32_t w;
  if (s.datetime && (s.kind == Kind::undecided || s.kind == Kind::basic))
    w = slot == 0 ? 4 : slot == 6 ? 3 : 2;
  else if (!s.datetime && s.kind == Kind::basic)
    w = slot == 0 ? 4 : slot == 6 ? s.n : 2;
  else
    w = s.n;
  return w < s.n ? w : s.n;
}

// Whether the next number is the fraction: in the designator kind the digits
// after the previous component's mark, otherwise the number in the fraction
// slot while it is still empty (a second one there is refused when stored).
ZB_INLINE bool fraction_next(const Scan &s) {
  if (s.kind == Kind::designators) return s.frac >= 0 && s.frac == s.count - 1;
  return (s.frac >= 0 || s.count == 6) && (s.e->absent & ENT_ABSENT_FRACTION);
}

// The next number of the main loop, read as wide as its slot allows. A
// fraction after a decimal mark takes all its digits: in basic notation
// three are read first, the width of a fraction there, and the rest only
// when a fourth digit follows.
ZB_INLINE int32_t read_number(Scan &s, Number *num) {
  const char *p = s.text + s.pos;
  const int32_t max = max_digits(s);
  if (!fraction_next(s)) return read_digits(p, max, num);
  const int32_t rc = read_fraction(p, max, num);
  if (rc == 0 && s.frac >= 0 && num->u == max && max < s.n &&
      zb_isdigit(static_cast<unsigned char>(p[max])))
    return read_fraction(p, s.n, num);
  return rc;
}
}  // namespace

// Fraction digits, at most max of them. A fraction may have any number of
// digits: when they go beyond a 64-bit value, the first 18 give the value
// and the rest are only counted, since they cannot change the thousandths.
int32_t read_fraction(const char *p, int32_t max, Number *out) {
  int32_t rc = read_digits(p, max, out);
  if (rc != PROB_OUT_OF_RANGE) return rc;
  constexpr int32_t kKept = 18;
  if ((rc = read_digits(p, kKept, out)) != 0) return rc;
  int32_t u = kKept;
  while (u < max && zb_isdigit(static_cast<unsigned char>(p[u]))) ++u;
  out->u = u;
  out->dropped = u - kKept;
  return 0;
}
// Fraction digits in thousandths by their number u: v x 10^(3-u) for up to
// three digits, so leading zeros count; v / 10^(u-3) for more, rounded by
// adding 0.499999 and truncating. A fraction that would round to 1000
// (.9999995 and the like) is kept below the next unit as 999.
int64_t thousandths(const Number &num) {
  if (num.u == 1) return num.v * 100;
  if (num.u == 2) return num.v * 10;
  if (num.u == 3) return num.v;
  double x = static_cast<double>(num.v);
  for (int32_t k = num.u - num.dropped - 3; k > 0; --k) x /= 10.0;
  const int64_t t = static_cast<int64_t>(x + 0.499999);
  return t > 999 ? 999 : t;
}
namespace {

// The first number decides the scan kind. ch and chr are the character after
// the number, upper-cased and as it stands. Returns 0 or a problem code.
int32_t first_number(Scan &s, Number &num, unsigned char ch, unsigned char chr) {
  // Look past a decimal mark and its digits: the character after them (or
  // the last digit, when they run to the end) decides, and such a number
  // counts as reaching the end.
  unsigned char la = ch, la_raw = chr;
  if (is_mark(chr)) {
    const int32_t lim = s.pos + s.n;
    int32_t i = s.pos + num.u + 1;
    while (i < lim && zb_isdigit(s.at(i))) ++i;
    if (i < lim) {
      la_raw = s.at(i);
      la = zb_upper(la_raw);
    } else {
      if (i > s.pos + num.u + 1) {
        la_raw = s.at(i - 1);
        la = zb_upper(la_raw);
      }
      num.u = s.n;
    }
  }
  const auto reread = [&](int32_t max) {
    return read_digits(s.text + s.pos, max < s.n ? max : s.n, &num) == 0;
  };

  if (s.count == 0) {
    const bool ends = num.u == s.n || la == 'T';
    if (num.u == 4 && zb_isdigit(la_raw)) {
      s.kind = Kind::basic;
      return 0;
    }
    if (ends) {
      if (num.u < 4) return PROB_NO_YEAR;
      if (!reread(4)) return PROB_NO_NUMBER;
      s.kind = Kind::basic;
      return 0;
    }
  }
  if (is_designator(la)) {
    if (s.datetime) return PROB_DESIGNATOR_IN_DATETIME;
    s.kind = Kind::designators;
    return 0;
  }
  if (s.count == 3) {
    if (!reread(6)) return PROB_NO_NUMBER;
    if (num.u < s.n) {
      s.kind = Kind::delimited;
    } else {
      s.kind = Kind::basic;
      if (num.u > 2 && !reread(2)) return PROB_NO_NUMBER;
    }
    return 0;
  }
  if (la_raw == ':' || la_raw == '-') {
    s.kind = Kind::delimited;
    return 0;
  }
  return PROB_TOO_MANY_DIGITS;
}
// A number of the basic or delimited kind: separators, fraction slot, zone.
int32_t plain_number(Scan &s, const Number &num, unsigned char ch, unsigned char chr) {
  if (s.kind == Kind::delimited &&
      (s.mode == kModeStrict || (s.mode == kModeStrictPlaceholders && !num.placeholder))) {
    if ((s.count == 0 && num.u != 4) ||
        (s.count >= 1 && s.count <= 5 && num.u != 2 && s.frac < 0))
      s.violation = true;
  }

  int32_t skip = 0;
  if (is_mark(chr)) {
    skip = 1;
  } else if (s.t_seen && (chr == '+' || chr == '-' || ch == 'Z')) {
    skip = 1;
    start_zone(s, chr, s.pos + num.u);
  } else if (s.kind == Kind::delimited && num.u < s.n) {
    if (!s.t_seen && chr == '-')
      skip = 1;
    else if (!s.t_seen && ch == 'T')
      skip = 0;
    else if (s.t_seen && chr == ':')
      skip = 1;
    else
      return PROB_DELIMITER;
  }

  const int slot = s.frac >= 0 ? 6 : s.count;
  // Digits beyond the fraction's width, or a number after the fraction.
  if (slot == 6 && !(s.e->absent & ENT_ABSENT_FRACTION)) return PROB_TOO_MANY_DIGITS;
  if (is_mark(chr)) s.frac = s.count;
  store(s, slot, num);
  s.advance(num.u + skip);
  ++s.count;
  s.after_mark = is_mark(chr);
  return 0;
}
// A number followed by its designator letter (or a decimal mark).
// num is the caller's, taken by reference (it is not used afterwards): a copy by
// value would reload it whole right after its parts were stored.
int32_t designated_number(Scan &s, Number &num, unsigned char ch, unsigned char chr) {
  unsigned char d;
  if (is_mark(chr)) {
    if (s.frac >= 0) return PROB_FRACTIONS;
    d = 'S';
    for (int32_t i = s.pos + num.u + 1; i < s.pos + s.n; ++i) {
      const unsigned char c = zb_upper(s.at(i));
      if (is_designator(c)) {
        d = c;
        break;
      }
    }
    s.frac = s.count;
  } else if (s.count > 0 && s.frac == s.count - 1) {
    d = 'i';  // the digits after the previous component's mark
  } else {
    d = ch;
  }
  const int32_t slot = designated_slot(s.e, num, d, s.t_seen);
  if (slot < 0) return -slot;
  store(s, slot, num);
  s.advance(num.u + 1);
  ++s.count;
  s.after_mark = false;
  return 0;
}

// Seconds of the time of day of a host datetime, 0 to 86399, also before 1960
// (where the fmod remainder is negative).
double time_of_day(double datetime) {
  const double r = fmod(datetime, kDay);
  return r < 0 ? floor(r) + kDay : trunc(r);
}

// A component the host's date functions gave, as an integer; false for the
// missing value (before or after the host's calendar) or anything else that
// is no 64-bit number.
bool host_part(double v, int64_t *out) {
  if (!(v > -9.2e18 && v < 9.2e18)) return false;
  *out = static_cast<int64_t>(v);
  return true;
}

// A signed zone offset after complete seconds: the datetime moves to GMT.
// An offset of more than 23 hours or 59 minutes is no offset; a shift that
// leaves the host's calendar is an invalid datetime, and one that leaves the
// years a datetime may have is out of range.
int32_t apply_offset(Scan &s) {
  iso_entity *e = s.e;
  const int32_t after = s.end - (s.zone_at + 1);
  const uint8_t date_and_time = ENT_ABSENT_YEAR | ENT_ABSENT_MONTH | ENT_ABSENT_DAY |
                                ENT_ABSENT_HOUR | ENT_ABSENT_MINUTE | ENT_ABSENT_SECOND;
  if (after < (s.kind == Kind::basic ? 4 : 5) || (e->absent & date_and_time) != 0)
    return PROB_BAD_OFFSET;
  const char *hh_at = s.text + s.zone_at + 1;
  Number hh, mm;
  if (read_digits(hh_at, 2, &hh) != 0 || hh.u != 2) return PROB_BAD_OFFSET;
  if (read_digits(hh_at + (s.kind == Kind::basic ? 2 : 3), 2, &mm) != 0 || mm.u != 2)
    return PROB_BAD_OFFSET;
  if (hh.v > 23 || mm.v > 59) return PROB_BAD_OFFSET;
  double offset = static_cast<double>(hh.v * 3600 + mm.v * 60);
  if (s.zone_ch == '+') offset = -offset;

  const double t = time_of_day(e->datetime);
  e->datetime += offset;
  if (t + offset < 0 || t + offset >= kDay) {
    const double date = zdatprt(e->datetime);
    if (ifm_is_missing(date) || !host_part(zyear(date), &e->year) ||
        !host_part(zmonth(date), &e->month) || !host_part(zday(date), &e->day))
      return PROB_INVALID_DATETIME;
    if (e->year < kFirstYear || e->year > kLastYear) return PROB_OUT_OF_RANGE;
  }
  if (!host_part(zhour(e->datetime), &e->hour) || !host_part(zminute(e->datetime), &e->minute))
    return PROB_INVALID_DATETIME;
  return 0;
}

// In strict notation nothing may follow a zone: a Z, or a sign with its
// hours and minutes (hhmm in basic notation, hh:mm otherwise).
int32_t after_zone(const Scan &s) {
  if (!s.zone || !s.strict()) return 0;
  const int32_t used = s.zone_ch == 'Z' ? 1 : s.kind == Kind::basic ? 5 : 6;
  return s.end - s.zone_at > used ? PROB_EXTRA_CHARS : 0;
}

// After the loop, a datetime: ranges, host value, fraction, zone.
int32_t finish_datetime(Scan &s) {
  iso_entity *e = s.e;
  if (e->year > kLastYear || e->month > 12 || e->day > 31 || e->hour > 23 || e->minute > 59 ||
      e->second > 59 || (!(e->absent & ENT_ABSENT_YEAR) && e->year < kFirstYear))
    return PROB_OUT_OF_RANGE;
  // An absent month or day counts as 1 for the value; a given 0 is refused.
  if (e->month == 0) {
    if (!(e->absent & ENT_ABSENT_MONTH)) return PROB_OUT_OF_RANGE;
    e->month = 1;
  }
  if (e->day == 0) {
    if (!(e->absent & ENT_ABSENT_DAY)) return PROB_OUT_OF_RANGE;
    e->day = 1;
  }
  const double date = zmdy(static_cast<double>(e->month), static_cast<double>(e->day),
                           static_cast<double>(e->year));
  if (ifm_is_missing(date)) return PROB_INVALID_DATETIME;
  e->datetime = zdhms(date, static_cast<double>(e->hour), static_cast<double>(e->minute),
                      static_cast<double>(e->second));
  if (ifm_is_missing(e->datetime)) return PROB_INVALID_DATETIME;
  if (e->fraction != 0) add_fraction(e, 1);
  if (s.zone && s.zone_ch != 'Z') return apply_offset(s);
  return 0;
}

// The fraction of a duration's smallest given component in thousandths of a
// second, when that component is counted in seconds (seconds, minutes,
// hours, days, weeks); -1 when it is a month or a year.
int64_t fraction_ms(const iso_entity *e) {
  const uint8_t a = e->absent;
  int64_t seconds;
  if (!(a & ENT_ABSENT_SECOND))
    seconds = 1;
  else if (!(a & ENT_ABSENT_MINUTE))
    seconds = 60;
  else if (!(a & ENT_ABSENT_HOUR))
    seconds = 3600;
  else if (!(a & ENT_ABSENT_DAY))
    seconds = e->weeks ? 7 * 86400 : 86400;
  else
    return -1;
  return e->fraction * seconds;
}

// Folds a duration whose components exceed their ranges into days, hours,
// minutes and seconds, and (unless days are kept) days into 30-day months and
// months into years. A component that ends up 0 is absent. A fraction is
// carried exactly: one counted in seconds joins the total and lands on the
// seconds in thousandths (PT36H30.5S is P1DT12H30.5S, P1Y1.5W is
// P1Y10DT12H); one of a month stays on the months (P1Y13.5M is P2Y1.5M).
int32_t normalise(iso_entity *e, int32_t keep_days) {
  e->unit = 0;
  const double total = static_cast<double>(e->hour) * 3600.0 +
                       static_cast<double>(e->minute) * 60.0 + static_cast<double>(e->second) +
                       static_cast<double>(e->day) * kDay;
  const double days = trunc(total / kDay);
  if (!(days < 9223372036854775808.0)) return PROB_OUT_OF_RANGE;  // no 64-bit day count
  e->day = static_cast<int64_t>(days);
  double r = fmod(total, kDay);  // whole seconds: every term is a whole number
  const int64_t frac_ms = fraction_ms(e);
  int64_t ms = 0;
  if (frac_ms > 0) {
    const int64_t r_ms = static_cast<int64_t>(r) * 1000 + frac_ms;
    if (__builtin_add_overflow(e->day, r_ms / kDayMs, &e->day)) return PROB_OUT_OF_RANGE;
    r = static_cast<double>(r_ms % kDayMs / 1000);
    ms = r_ms % 1000;
  }
  e->hour = static_cast<int64_t>(zhour(r));
  e->minute = static_cast<int64_t>(zminute(r));
  e->second = static_cast<int64_t>(floor(zsecond(r)));
  const bool on_months = frac_ms < 0 && e->fraction != 0;
  if (!on_months) e->fraction = ms;
  if (keep_days) {
    e->days_kept = 1;
  } else {
    const int64_t q = e->day / 30;
    e->day -= 30 * q;
    int64_t m;
    if (__builtin_add_overflow(e->month, q, &m) ||
        __builtin_add_overflow(e->year, m / 12, &e->year))
      return PROB_OUT_OF_RANGE;
    e->month = m % 12;
  }
  // A fraction keeps the component it belongs to, even at 0 (P2Y0.5M).
  uint8_t absent = 0;
  if (e->year == 0) absent |= ENT_ABSENT_YEAR;
  if (e->month == 0 && !on_months) absent |= ENT_ABSENT_MONTH;
  if (e->day == 0) absent |= ENT_ABSENT_DAY;
  if (e->hour == 0) absent |= ENT_ABSENT_HOUR;
  if (e->minute == 0) absent |= ENT_ABSENT_MINUTE;
  if (e->second == 0 && ms == 0) absent |= ENT_ABSENT_SECOND;
  if (e->fraction == 0) absent |= ENT_ABSENT_FRACTION;
  e->absent = absent;
  return 0;
}

// After the loop, a duration: component form as read, a single count of one
// unit, or normalised.
int32_t finish_duration(Scan &s, int32_t keep_days) {
  iso_entity *e = s.e;
  if (s.zone && s.zone_ch != 'Z') return PROB_BAD_OFFSET;
  uint8_t over = 0;
  if (e->weeks || e->month > 12) over |= 0x01;
  if (e->weeks || e->day > 31) over |= 0x02;
  if (e->hour > 23) over |= 0x04;
  if (e->minute > 59) over |= 0x08;
  if (e->second > 59) over |= 0x10;

  // Components given, year to second (the fraction is not counted).
  const int given = __builtin_popcount(~e->absent & 0xFCu);

  if (over == 0) {
    e->unit = 0;
  } else if (given == 1 && in_poss(over)) {
    e->unit = static_cast<uint8_t>(over + (e->fraction != 0 ? ENT_UNIT_THOUSANDTHS : 0));
    // The packed count has 32 bits; in thousandths it is count x 1000 + fraction.
    const uint64_t count = static_cast<uint64_t>(ent_unit_count(e));
    const uint64_t fraction = static_cast<uint64_t>(e->fraction);
    if (e->unit & ENT_UNIT_THOUSANDTHS ? count > (kMaxCount - fraction) / 1000
                                       : count > kMaxCount)
      return PROB_OUT_OF_RANGE;
  } else {
    const int32_t rc = normalise(e, keep_days);
    if (rc != 0) return rc;
  }
  if (e->year > kLastYear) return PROB_OUT_OF_RANGE;
  return 0;
}

// Rules for strict notation, after a successful scan.
int32_t strict_notation(const Scan &s) {
  if (!s.strict() || s.kind == Kind::designators || s.e->unit != 0) return 0;
  if (s.kind == Kind::delimited || s.count == 1) return s.violation ? PROB_STRICT_DIGITS : 0;
  return PROB_STRICT_DELIMITERS;
}

// The rest of one pass of the main loop once its number has been read: the
// character after it, the scan kind, the number's slot. 0 or a problem code.
ZB_INLINE int32_t take_number(Scan &s, Number &num) {
  const unsigned char chr = num.u < s.n ? s.at(s.pos + num.u) : ' ';
  const unsigned char ch = zb_upper(chr);
  int32_t rc = 0;
  if (s.kind == Kind::undecided) rc = first_number(s, num, ch, chr);
  if (rc == 0)
    rc = s.kind == Kind::designators ? designated_number(s, num, ch, chr)
                                     : plain_number(s, num, ch, chr);
  return rc;
}
}  // namespace

// The main loop, one number a pass, from the scanner's present state.
int32_t scan_loop(Scan &s) {
  while (s.n > 0) {
    if (zb_upper(s.at(s.pos)) == 'T') {
      s.t_seen = true;
      s.advance(1);
      if (s.n == 0) return PROB_TRAILING_T;
      s.count = 3;
      continue;
    }
    if ((s.count == 3 && !s.t_seen && !s.after_mark) || s.count == 7) return PROB_TOO_MANY_DIGITS;

    Number num;
    if (s.at(s.pos) == '-') {
      num.u = 1;
      num.placeholder = true;
    } else if (const int32_t rc = read_number(s, &num); rc != 0) {
      return rc;
    }
    if (const int32_t rc = take_number(s, num); rc != 0) return rc;
    if (s.zone) break;
  }
  return 0;
}

// The main loop from a number already read.
int32_t resume(Scan &s, Number &num) {
  if (const int32_t rc = take_number(s, num); rc != 0) return rc;
  return s.zone ? 0 : scan_loop(s);
}

}  // namespace scan

// read_date_or_duration(text, length, entity, mode, keep_days): reads one
// datetime (basic or extended notation, reduced precision, a fraction on the
// last component, a zone after complete seconds) or one duration (designator
// form P1Y2M10DT2H30M / P3W, or P followed by a datetime-like text, with an
// optional leading minus) into *e and packs it. Mode 0x80 and 0x200 check
// strict notation; keep_days nonzero leaves days and months unfolded when a
// duration is normalised. A blank field gives the missing entity (problem 11
// in mode 0x200). Returns 0 or a problem code; on a problem e->packed is the
// missing entity.
ZB_API int32_t read_date_or_duration(const char *text, int32_t len, iso_entity *e, int32_t mode,
                                     int32_t keep_days) {
  memset(e, 0, sizeof *e);
  e->absent = ENT_MISSING;
  ent_set_missing(e->packed);

  int32_t end;
  const int32_t first = ent_text_start(text, len, &end);
  if (first < 0) return mode == scan::kModeStrictPlaceholders ? PROB_BLANK : 0;

  scan::Scan s{text, end, first, end - first, e, mode};
  const int32_t k = s.at(first) == '-' ? 1 : 0;
  if (k < s.n && zb_upper(s.at(first + k)) == 'P') {
    e->is_datetime = 0;
    e->negative = static_cast<uint8_t>(k);
    s.advance(k + 1);
  } else {
    e->is_datetime = 1;
  }
  s.datetime = e->is_datetime != 0;

#ifdef ZB_SCAN_LOOP_ONLY
  // A reference build: the grammar alone, to check and measure the fast paths by.
  int32_t rc = scan::scan_loop(s);
#else
  int32_t rc = s.datetime ? scan::scan_extended(s) : scan::scan_designated(s);
#endif
  if (rc == 0) rc = e->is_datetime ? scan::finish_datetime(s) : scan::finish_duration(s, keep_days);
  if (rc == 0) rc = scan::strict_notation(s);
  if (rc == 0) rc = scan::after_zone(s);
  if (rc != 0) return rc;
  return convert_to_bcd(e);
}

namespace {

// Months that a year fraction stands for when it is a twelfth (in
// thousandths), or 0.
int twelfths(int64_t fraction) {
  switch (fraction) {
    case 83: return 1;
    case 166: case 167: return 2;
    case 250: return 3;
    case 333: return 4;
    case 416: case 417: return 5;
    case 500: return 6;
    case 583: return 7;
    case 666: case 667: return 8;
    case 750: return 9;
    case 833: return 10;
    case 916: case 917: return 11;
    default: return 0;
  }
}

// Moves e->datetime by sign x (months, years) on the calendar, from its own
// day and time of day; the amount is scaled by factor. A day that does not
// exist in the month reached makes the datetime missing.
void calendar_step(iso_entity *e, int sign, int months, int years, double factor) {
  const double dt = e->datetime;
  double y, m, d;
  zymdjul(&y, &m, &d, zjuldat(zdatprt(dt)));
  double m2 = m + sign * months, y2 = y + sign * years;
  if (m2 > 12) {
    y2 += 1;
    m2 = fmod(m2, 12);
  } else if (m2 <= 0) {
    y2 -= 1;
    m2 += 12;
  }
  const double date = zmdy(m2, d, y2);
  if (ifm_is_missing(date)) {
    e->datetime = ifm_missing();
    return;
  }
  const double amount = fabs(date * kDay + ztimprt(dt) - dt) * factor;
  e->datetime = dt + sign * amount;
}

}  // namespace

// add_fraction(entity, sign): moves e->datetime forward (sign +1) or back
// (-1) by e->fraction thousandths of the smallest given component: seconds,
// minutes, hours and days by their length; a month by the length of the
// calendar month that follows (or precedes); a year fraction that is a
// twelfth by exactly that many months, any other by the year's length.
// Only e->datetime changes.
ZB_API void add_fraction(iso_entity *e, int32_t sign) {
  if (e->fraction == 0 || ifm_is_missing(e->datetime)) return;
  const int s = sign < 0 ? -1 : 1;
  const double x = static_cast<double>(e->fraction) / 1000.0;
  const uint8_t a = e->absent;
  if (!(a & ENT_ABSENT_SECOND)) {
    e->datetime += s * x;
  } else if (!(a & ENT_ABSENT_MINUTE)) {
    e->datetime += s * 60.0 * x;
  } else if (!(a & ENT_ABSENT_HOUR)) {
    e->datetime += s * 3600.0 * x;
  } else if (!(a & ENT_ABSENT_DAY)) {
    e->datetime += s * kDay * x;
  } else if (!(a & ENT_ABSENT_MONTH)) {
    calendar_step(e, s, 1, 0, x);
  } else if (!(a & ENT_ABSENT_YEAR)) {
    const int k = twelfths(e->fraction);
    if (k != 0)
      calendar_step(e, s, k, 0, 1.0);  // exactly k months
    else
      calendar_step(e, s, 0, 1, x);
  }
}
