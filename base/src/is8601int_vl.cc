// Intervals and the entity informats: an interval text read into two entities
// (start/end, start/duration, duration/end, or a lone duration), the calendar
// arithmetic between datetimes, and the three readers that write packed
// entities as hexadecimal digits into character targets.
#include <math.h>
#include <string.h>

#include "entity.h"
#include "fstring.h"

extern "C" {
ZB_VISIBLE extern const int32_t daysinmonth[13] = {0,  31, 28, 31, 30, 31, 30,
                                                   31, 31, 30, 31, 30, 31};
}

namespace {

constexpr int32_t kModeMissingCheck = 0x100;
constexpr int32_t kEntityDigits = 16;
constexpr int32_t kIntervalDigits = 32;

// Host values are trusted as whole numbers only below 2^53 in magnitude; a
// datetime beyond that (some 285 million years) is no date at all, and
// nothing larger is handed to the host's date functions.
constexpr double kReach = 9007199254740992.0;
// Years handed to the host's date functions stay within 32 bits.
constexpr int64_t kYearReach = int64_t{1} << 31;

bool in_reach(double v) { return v > -kReach && v < kReach; }  // false for NaN

// Truncates a host value toward zero; false when it is not a number in reach
// (the missing value among them).
bool whole(double v, int64_t *out) {
  if (!in_reach(v)) return false;
  *out = static_cast<int64_t>(v);
  return true;
}

int64_t whole_or_zero(double v) {
  int64_t n = 0;
  return whole(v, &n) ? n : 0;
}

struct Civil {
  int64_t year, month, day;
};

// Calendar date of a host datetime; false when the host cannot give one.
bool civil_of(double datetime, Civil *c) {
  if (ifm_is_missing(datetime) || !in_reach(datetime)) return false;
  double date = zdatprt(datetime);
  return whole(zyear(date), &c->year) && whole(zmonth(date), &c->month) &&
         whole(zday(date), &c->day);
}

// The same through the host's Julian form, as interval derivation reads its
// anchor.
bool civil_of_julian(double datetime, Civil *c) {
  if (ifm_is_missing(datetime) || !in_reach(datetime)) return false;
  double y = 0, m = 0, d = 0;
  zymdjul(&y, &m, &d, zjuldat(zdatprt(datetime)));
  return whole(y, &c->year) && whole(m, &c->month) && whole(d, &c->day);
}

// Days of a month for any year: the leap rule repeats every 4000 years, so
// the year is reduced to [0, 4000) before it meets the 32-bit routine.
int64_t last_day(int64_t month, int64_t year) {
  int64_t y = year % 4000;
  if (y < 0) y += 4000;
  int64_t m = month > 12 ? (month - 1) % 12 + 1 : month < 0 ? -1 : month;  // [-1, 12]
  return static_cast<int64_t>(get_lastday(static_cast<int32_t>(m), static_cast<int32_t>(y)));
}

int64_t limit_day(int64_t day, int64_t month, int64_t year) {
  int64_t last = last_day(month, year);
  return day > last ? last : day;
}

// Moves (year, month) by sign times (years, months), carrying whole years so that
// the month ends in 1..12 (2011-01 less 2 months is 2010-11). False when a
// count is too large to carry; no such date exists.
bool shift_months(int64_t *year, int64_t *month, int64_t years, int64_t months, int sign) {
  int64_t at, by;
  if (__builtin_mul_overflow(*year, 12, &at) || __builtin_add_overflow(at, *month, &at) ||
      __builtin_mul_overflow(years, 12, &by) || __builtin_add_overflow(by, months, &by))
    return false;
  if (sign < 0 ? __builtin_sub_overflow(at, by, &at) : __builtin_add_overflow(at, by, &at))
    return false;
  if (__builtin_sub_overflow(at, 1, &at)) return false;  // months since January of year 0
  int64_t y = at / 12, r = at % 12;                        // r in (-12, 12)
  if (r < 0) {
    r += 12;
    y -= 1;
  }
  *year = y;
  *month = r + 1;
  return y > -kYearReach && y < kYearReach;
}

// The host date of year-month-day, or the missing value when there is none. A
// year below 100 would be read by the host as a two-digit year of its
// century window; a year computed here is a full year, and one that low lies
// before any calendar the host keeps.
constexpr int64_t kTwoDigitYears = 100;

double calendar_date(int64_t month, int64_t day, int64_t year) {
  if (year < kTwoDigitYears) return ifm_missing();
  return zmdy(static_cast<double>(month), static_cast<double>(limit_day(day, month, year)),
              static_cast<double>(year));
}

// Hours, minutes and seconds of an entity as seconds, by the host's clock.
double clock_seconds(const iso_entity *e) {
  return zhms(static_cast<double>(e->hour), static_cast<double>(e->minute),
              static_cast<double>(e->second));
}

// Whether the component form holds e exactly. Days, hours, minutes and seconds
// above 99 spill into the neighbouring digits, a month of 15 reads back as
// "month absent" and more does not fit its digit, and a year beyond 9999
// loses its thousands.
bool packable(const iso_entity *e) {
  if (e->absent == ENT_MISSING || e->unit != 0) return true;
  struct Part {
    int64_t value, max;
    uint8_t bit;
  };
  const Part parts[] = {
      {e->year, 9999, ENT_ABSENT_YEAR},    {e->month, 14, ENT_ABSENT_MONTH},
      {e->day, 99, ENT_ABSENT_DAY},        {e->hour, 99, ENT_ABSENT_HOUR},
      {e->minute, 99, ENT_ABSENT_MINUTE},  {e->second, 99, ENT_ABSENT_SECOND},
      {e->fraction, 999, ENT_ABSENT_FRACTION},
  };
  for (const Part &p : parts)
    if (!(e->absent & p.bit) && (p.value < 0 || p.value > p.max)) return false;
  return true;
}

void make_missing(iso_entity *e) {
  memset(e, 0, sizeof *e);
  e->absent = ENT_MISSING;
  e->datetime = ifm_missing();
  convert_to_bcd(e);
}

// Packs e; an entity the component form cannot hold becomes the missing
// entity instead, with problem 7.
int32_t pack(iso_entity *e) {
  if (packable(e)) return convert_to_bcd(e);
  make_missing(e);
  return PROB_OUT_OF_RANGE;
}

// Hours, minutes, seconds and thousandths of a time (or datetime) by the
// host's clock, the thousandths rounded: t holds whole thousandths.
void set_clock(iso_entity *e, double t) {
  e->hour = whole_or_zero(zhour(t));
  e->minute = whole_or_zero(zminute(t));
  const double s = zsecond(t);
  e->second = whole_or_zero(floor(s));
  e->fraction = whole_or_zero(floor((s - floor(s)) * 1000.0 + 0.5));
  if (e->fraction > 999) e->fraction = 999;
}

// Fills a datetime result from its value: every component follows the
// datetime, so the packed form shows the instant the value holds.
int32_t finish_datetime(double datetime, iso_entity *out) {
  iso_entity r;
  memset(&r, 0, sizeof r);
  // To the thousandth the components hold, so that the last bits of a sum of
  // doubles do not show as 999 thousandths of the second before.
  if (in_reach(datetime * 1000.0)) datetime = floor(datetime * 1000.0 + 0.5) / 1000.0;
  Civil c;
  if (!civil_of(datetime, &c)) {
    make_missing(&r);
    *out = r;
    return 0;
  }
  r.datetime = datetime;
  r.year = c.year;
  r.month = c.month;
  r.day = c.day;
  set_clock(&r, datetime);
  r.is_datetime = 1;
  int32_t code = pack(&r);
  *out = r;
  return code;
}

constexpr int64_t kDayMs = 86400000;

void next_day(Civil *c) {
  if (++c->day <= last_day(c->month, c->year)) return;
  c->day = 1;
  if (++c->month <= 12) return;
  c->month = 1;
  ++c->year;
}

// A time of day in whole thousandths. As doubles, two readings of the same
// clock time may differ in their last bits and fake a borrow; one that
// rounds up to midnight moves the date to the next day.
int64_t day_ms(double time_of_day, Civil *c) {
  int64_t ms = static_cast<int64_t>(floor(time_of_day * 1000.0 + 0.5));
  if (ms >= kDayMs) {
    ms -= kDayMs;
    next_day(c);
  }
  return ms;
}

// How span counts the whole months.
enum class Rule {
  // Months up to the end's month, less one where the end's day (or clock)
  // comes earlier, with the month-end rule; the days left are counted in the
  // start's month.
  month_end,
  // Whole months only as far as the start's day exists in the month reached
  // (no day cut short) and that point is not after the end; the days from
  // there. The start plus the result by compute_end is the end, and the end
  // less it by compute_start the start.
  exact,
};

void month_end_months(const Civil &cs, const Civil &ce, bool borrow, int64_t *months,
                      int64_t *days) {
  const int64_t ds = cs.day, de = ce.day, b = borrow ? 1 : 0;
  const bool month_end = ds >= 29 && ds > de && !borrow && de == last_day(ce.month, ce.year);
  const bool same_day_borrow = ds == de && borrow;
  // Years and months are below 2^53 (whole), so these stay far inside 64 bits.
  *months = 12 * (ce.year - cs.year) + (ce.month - cs.month) - (de < ds ? 1 : 0) +
            (month_end ? 1 : 0) - (same_day_borrow ? 1 : 0);
  if (month_end)
    *days = 0;
  else if (de > ds)
    *days = de - ds - b;
  else if (de == ds)
    *days = borrow ? last_day(cs.month, cs.year) - 1 : 0;
  else
    *days = last_day(cs.month, cs.year) - ds + de - b;
}

// The start is not after the end. A start's day over 28 finds a month that
// holds it within two steps back, so the loop turns at most three times.
void exact_months(const Civil &cs, const Civil &ce, bool borrow, int64_t *months,
                  int64_t *days) {
  int64_t m = 12 * (ce.year - cs.year) + (ce.month - cs.month);
  int64_t y = ce.year, mo = ce.month;  // the month m months after the start's
  int64_t between = 0;                 // days from day 1 of that month to the end's month
  while (m > 0) {
    const bool holds_day = cs.day <= last_day(mo, y);
    const bool not_after =
        between > 0 || cs.day < ce.day || (cs.day == ce.day && !borrow);
    if (holds_day && not_after) break;
    --m;
    if (--mo < 1) {
      mo = 12;
      --y;
    }
    between += last_day(mo, y);
  }
  *months = m;
  *days = between + ce.day - cs.day - (borrow ? 1 : 0);
}

// The calendar duration from start to end by the rule given (see Rule),
// exchanged with negative set when the start is later. Times of day are
// compared in whole thousandths.
int32_t span(const iso_entity *start, const iso_entity *end, iso_entity *out, Rule rule) {
  iso_entity o;
  memset(&o, 0, sizeof o);
  double s = start->datetime, e = end->datetime;
  Civil cs, ce;
  if (!civil_of(s, &cs) || !civil_of(e, &ce)) {
    make_missing(&o);
    *out = o;
    return 0;
  }
  if (s > e) {
    o.negative = 1;
    double ts = s;
    s = e;
    e = ts;
    Civil tc = cs;
    cs = ce;
    ce = tc;
  }
  const double e_time = ztimprt(e);
  const double s_time = ztimprt(s);
  int64_t t = day_ms(e_time, &ce) - day_ms(s_time, &cs);  // (-kDayMs, kDayMs)
  const bool borrow = t < 0;
  if (borrow) t += kDayMs;
  int64_t months, days;
  if (rule == Rule::exact)
    exact_months(cs, ce, borrow, &months, &days);
  else
    month_end_months(cs, ce, borrow, &months, &days);
  o.year = months / 12;
  o.month = months - 12 * o.year;
  o.day = days;

  set_clock(&o, static_cast<double>(t) / 1000.0);

  const struct {
    int64_t value;
    uint8_t bit;
  } parts[] = {{o.year, ENT_ABSENT_YEAR},     {o.month, ENT_ABSENT_MONTH},
               {o.day, ENT_ABSENT_DAY},       {o.hour, ENT_ABSENT_HOUR},
               {o.minute, ENT_ABSENT_MINUTE}, {o.second, ENT_ABSENT_SECOND},
               {o.fraction, ENT_ABSENT_FRACTION}};
  for (const auto &p : parts)
    if (p.value == 0) o.absent |= p.bit;
  // The fraction is the seconds': with the seconds absent it would be read
  // as a fraction of a larger component, or of none, when added back.
  if (rule == Rule::exact && o.fraction != 0) o.absent &= static_cast<uint8_t>(~ENT_ABSENT_SECOND);
  if (o.absent == 0xFE) o.unit = 3;  // zero weeks
  int32_t code = pack(&o);
  *out = o;
  return code;
}

// The datetime sign times the duration away from the anchor: years and months
// stepped on the calendar (the day limited to the month reached), then days,
// then the duration's clock time and fraction. The missing value when the
// month step reaches no date; a day count beyond every date gives a value out
// of reach.
double step_from(const iso_entity *anchor, const iso_entity *dur, int sign) {
  Civil a;
  if (!civil_of_julian(anchor->datetime, &a)) return ifm_missing();
  int64_t y = a.year, m = a.month;
  if (!shift_months(&y, &m, dur->year, dur->month, sign)) return ifm_missing();
  double date = calendar_date(m, a.day, y);
  if (ifm_is_missing(date)) return ifm_missing();
  double t = (date + sign * static_cast<double>(dur->day)) * kDay + ztimprt(anchor->datetime) +
             sign * clock_seconds(dur);
  if (dur->fraction != 0 && in_reach(t)) {
    iso_entity p = *dur;
    p.datetime = t;
    add_fraction(&p, sign);
    t = p.datetime;
  }
  return t;
}

// Re-expresses a duration normalised with days kept as the calendar duration
// between its anchor and the other end it reaches: after the anchor for a
// duration after its start (direction +1), before it for one before its end
// (-1), the other way round when the duration is negative, which it stays.
// The result steps exactly from either end to the other (see span). Problem 8
// when the other end lies outside the host's calendar.
int32_t rederive(const iso_entity *anchor, iso_entity *dur, int direction) {
  const int sign = dur->negative ? -direction : direction;
  iso_entity other;
  memset(&other, 0, sizeof other);
  other.is_datetime = 1;
  other.datetime = step_from(anchor, dur, sign);
  // Start first, as the ends stand in the text.
  const int32_t code = direction > 0 ? span(anchor, &other, dur, Rule::exact)
                                     : span(&other, anchor, dur, Rule::exact);
  if (code == 0 && dur->absent == ENT_MISSING) return PROB_INVALID_DATETIME;
  return code;
}

// A lone duration: it becomes the second entity, and the first the reference
// start 1960-01-01 (1960-02-01 for the durations a January start would cut
// short at February's end).
int32_t lone_duration(iso_entity *first, iso_entity *second) {
  if (first->is_datetime) return PROB_LONE_DATETIME;
  *second = *first;
  // Normalised with days kept, a duration can count more days or months than
  // its digits hold (P1M145D); it is not written corrupted.
  if (!packable(second)) return PROB_OUT_OF_RANGE;
  memset(first, 0, sizeof *first);
  int64_t m = second->month, d = second->day;
  bool february = (m == 1 && (d == 30 || d == 31)) ||
                  ((m == 3 || m == 5 || m == 8 || m == 10) && d == 31);
  first->year = 1960;
  first->month = february ? 2 : 1;
  first->day = 1;
  first->is_datetime = 1;
  first->is_anchor = 1;
  return convert_to_bcd(first);
}

// A part that scans to nothing at all (P, -P, a lone '.'): no component.
bool empty_part(const iso_entity *e) { return !e->is_datetime && e->absent == ENT_MISSING; }

int32_t read_interval(const char *text, int32_t len, iso_entity *first, iso_entity *second,
                      int32_t mode) {
  if (len < 0) len = 0;
  int32_t slash = text ? zb_find(text, len, '/') : -1;  // wzstpos
  int32_t head = slash < 0 ? len : slash;
  memset(first, 0, sizeof *first);
  int32_t p = text ? zb_find_not(text, head, ' ') : -1;  // wzstnot
  if (p < 0) return PROB_INTERVAL_BLANK;
  int32_t code = read_date_or_duration(text + p, head - p, first, mode, 1);
  if (code != 0) return code;

  const char *tail = slash < 0 ? text : text + slash + 1;
  int32_t tail_len = slash < 0 ? 0 : len - slash - 1;
  int32_t q = text ? zb_find_not(tail, tail_len, ' ') : -1;  // wzstnot
  if (q < 0) return empty_part(first) ? PROB_INTERVAL_BLANK : lone_duration(first, second);
  code = read_date_or_duration(tail + q, tail_len - q, second, mode, 1);
  if (code != 0) return code;

  // An empty part counts as absent: the other stands alone.
  if (empty_part(second)) {
    if (empty_part(first)) return PROB_INTERVAL_BLANK;
    return lone_duration(first, second);
  }
  if (empty_part(first)) {
    *first = *second;
    return lone_duration(first, second);
  }
  if (!first->is_datetime && !second->is_datetime) return PROB_TWO_DURATIONS;
  if (first->days_kept) return rederive(second, first, -1);
  if (second->days_kept) return rederive(first, second, +1);
  return 0;
}

bool target_too_short(const ifmblock *blk, const char *name, int32_t need) {
  if (blk->target_len >= need) return false;
  xpslog("ERROR: Target location for %s has length %d but %d is needed.", name, blk->target_len,
         need);
  return true;
}

// The number of characters a reader stands for: the target length, at most
// the digits it writes.
int32_t stood_for(const ifmblock *blk, int32_t digits) {
  int32_t n = blk->target_len < digits ? blk->target_len : digits;
  return n < 0 ? 0 : n;
}

bool missing_notation(const ifmblock *blk, int32_t mode) {
  if (mode != kModeMissingCheck) return false;
  double scratch = 0;
  return wzifmch(blk->input, zb_window(blk), &scratch) != 0;
}

void set_missing_packed(iso_entity *e) {
  ent_set_missing(e->packed);
  e->absent = ENT_MISSING;
}

}  // namespace

// Days of month m (0 gives 0; 13 is January, 24 December) in year y, leap
// years by the Gregorian rule with years divisible by 4000 common. Months
// below 0 are no month and give 0, as month 0 does.
ZB_API double get_lastday(int32_t month, int32_t year) {
  if (month < 0) return 0;
  if (month > 12) {
    if (month % 12 == 0) return 31;
    month %= 12;
  }
  if (month != 2) return daysinmonth[month];
  bool leap = year % 4 == 0 && (year % 100 != 0 || (year % 400 == 0 && year % 4000 != 0));
  return leap ? 29 : 28;
}

// Reads an interval: start/end, start/duration, duration/end, or a lone
// duration (which gets the reference start 1960-01-01, or 1960-02-01). A
// duration normalised with its days kept is re-expressed in calendar terms
// against its anchor. Returns 0, or a problem code with both packed entities
// left missing: 13 blank, 14 two durations, 16 a datetime alone, 7 a count
// the packed form cannot hold, or the scanner's own code.
ZB_API int32_t derive_interval(const char *text, int32_t len, iso_entity *first,
                               iso_entity *second, int32_t mode) {
  int32_t code = read_interval(text, len, first, second, mode);
  if (code != 0) {
    ent_set_missing(first->packed);
    ent_set_missing(second->packed);
  }
  return code;
}

// The calendar duration from start to end (exchanged, with negative set, when
// the start is later): whole months, where a start on the 29th or later that
// reaches the last day of a shorter month counts a whole month, then days and
// the clock time. Zero components are absent; a zero duration is zero weeks.
// Missing input gives the missing entity. Returns 0, or 7 (and the missing
// entity) for more than 9999 years.
ZB_API int32_t compute_duration(const iso_entity *start, const iso_entity *end, iso_entity *out) {
  return span(start, end, out, Rule::month_end);
}

// The datetime start + duration: years and months stepped from the start's
// components (the day limited to the month reached), then the duration's
// days, clock time and fraction. A negative duration counts backward. Every
// component of the result follows its datetime. Returns 0 (a date the host
// cannot form gives the missing entity), or 7 and the missing entity for a
// year beyond 9999.
ZB_API int32_t compute_end(const iso_entity *start, const iso_entity *dur, iso_entity *out) {
  iso_entity p = *dur;
  if (p.negative) {
    p.negative = 0;
    return compute_start(&p, start, out);
  }
  iso_entity a = *start;
  double t = ifm_missing();
  int64_t y = a.year, m = a.month;
  if (shift_months(&y, &m, p.year, p.month, +1)) {
    double date = calendar_date(m, a.day, y);
    if (!ifm_is_missing(date))
      t = (date + static_cast<double>(p.day)) * kDay + clock_seconds(&a) + clock_seconds(&p);
  }
  // Both fractions, the duration's and the start's own (its sub-second).
  iso_entity *fractions[] = {&p, &a};
  for (iso_entity *f : fractions) {
    if (f->fraction == 0 || !in_reach(t)) continue;
    f->datetime = t;
    add_fraction(f, 1);
    t = f->datetime;
  }
  return finish_datetime(t, out);
}

// The datetime end - duration: the duration's clock time and days taken off
// the end, then its years and months stepped back on the calendar (the day
// limited to the month reached), then its fraction. A negative duration counts
// forward. Returns as compute_end does; a missing end gives the missing entity.
ZB_API int32_t compute_start(const iso_entity *dur, const iso_entity *end, iso_entity *out) {
  iso_entity p = *dur;
  if (p.negative) {
    p.negative = 0;
    return compute_end(end, &p, out);
  }
  double x = end->datetime - clock_seconds(&p) - static_cast<double>(p.day) * kDay;
  double t = ifm_missing();
  Civil c;
  if (!ifm_is_missing(end->datetime) && civil_of(x, &c)) {
    int64_t y = c.year, m = c.month;
    if (shift_months(&y, &m, p.year, p.month, -1)) {
      double date = calendar_date(m, c.day, y);
      // The seconds keep their fraction, so the end's sub-second survives.
      if (!ifm_is_missing(date)) t = zdhms(date, zhour(x), zminute(x), zsecond(x));
    }
  }
  if (p.fraction != 0 && in_reach(t)) {
    p.datetime = t;
    add_fraction(&p, -1);
    t = p.datetime;
  }
  return finish_datetime(t, out);
}

// Body of the duration and datetime informats: scans the field window (with
// mode 0x100, missing-value notation first gives the missing entity) and
// writes the 16 hexadecimal digits of the entity when it is of the wanted
// kind (0 duration, 1 datetime). Stores min(target length, 16) in the status
// word. Returns 0 or the scanner's problem code (target untouched); a text of
// the other kind is problem 4 (a duration for a datetime) or 19 (a datetime
// for a duration), a blank field the missing entity.
ZB_API uint32_t get_bcd8(ifmblock *blk, int32_t kind, int32_t mode) {
  iso_entity rec;  // the scanner clears it first
  int32_t code = 0;
  if (missing_notation(blk, mode)) {
    memset(&rec, 0, sizeof rec);
    set_missing_packed(&rec);
    rec.is_datetime = static_cast<uint8_t>(kind);
  } else {
    code = read_date_or_duration(blk->input, zb_window(blk), &rec, mode, 0);
  }
  int32_t n = stood_for(blk, kEntityDigits);
  blk->status = static_cast<uint32_t>(n);
  if (code != 0) return static_cast<uint32_t>(code);
  // A text of the other kind is refused; a blank field is of neither.
  int32_t end;
  if (rec.is_datetime != kind && ent_text_start(blk->input, zb_window(blk), &end) >= 0)
    return kind == 1 ? PROB_DESIGNATOR_IN_DATETIME : PROB_NO_P;
  if (rec.is_datetime == kind && n > 0)
    hexify(rec.packed, 8, static_cast<char *>(blk->target), n);
  return 0;
}

// $IS860DU: one ISO 8601 duration (P1Y2M10DT2H30M, PT36H, P0001-02-10) as 16
// hexadecimal digits; a datetime is problem 19. Returns 0, 22 for a target
// shorter than 16 (logged; target and status untouched), or a problem code.
ZB_API uint32_t is8601dui(ifmblock *blk, int32_t mode) {
  if (target_too_short(blk, "$IS860DU", kEntityDigits)) return PROB_TARGET_SHORT;
  return get_bcd8(blk, 0, mode);
}

// $IS860PD: one ISO 8601 datetime, complete or of reduced precision
// (2011-09-09T12:30:45.5, 2011, 20110909T1230Z), as 16 hexadecimal digits; a
// duration is problem 4. Returns as $IS860DU does.
ZB_API uint32_t is8601pdi(ifmblock *blk, int32_t mode) {
  if (target_too_short(blk, "$IS860PD", kEntityDigits)) return PROB_TARGET_SHORT;
  return get_bcd8(blk, 1, mode);
}

// $IS860VL: one ISO 8601 interval (start/end, start/duration, duration/end or
// a lone duration) as 32 hexadecimal digits, the two entities side by side;
// a failed interval writes 32 F digits. Stores min(target length, 32) in the
// status word. Returns 0, 22 for a target shorter than 32 (logged; target and
// status untouched), or the problem code of the interval.
ZB_API uint32_t is8601vli(ifmblock *blk, int32_t mode) {
  if (target_too_short(blk, "$IS860VL", kIntervalDigits)) return PROB_TARGET_SHORT;
  iso_entity first, second;  // only their packed bytes are read here
  int32_t code = 0;
  if (missing_notation(blk, mode)) {
    set_missing_packed(&first);
    set_missing_packed(&second);
  } else {
    code = derive_interval(blk->input, zb_window(blk), &first, &second, mode);
  }
  uint8_t both[16];
  memcpy(both, first.packed, 8);
  memcpy(both + 8, second.packed, 8);
  int32_t n = stood_for(blk, kIntervalDigits);
  blk->status = static_cast<uint32_t>(n);
  hexify(both, 16, static_cast<char *>(blk->target), n);
  return static_cast<uint32_t>(code);
}
