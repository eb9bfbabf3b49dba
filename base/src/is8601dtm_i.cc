// Extended-notation readers: hh:mm:ss times, times with a zone designator,
// yyyy-mm-dd dates and yyyy-mm-ddThh:mm:ss datetimes. Each reads only the
// window min(width, available length) of its field and stores a double
// (host time, host date or host datetime) through the block's target.
#include "extended.h"

#include "calendar.h"
#include "fstring.h"

// 10^i for i = 0..31: the divisor of a fraction of i digits.
ZB_API const double zpowten[32] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10,
    1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21,
    1e22, 1e23, 1e24, 1e25, 1e26, 1e27, 1e28, 1e29, 1e30, 1e31};

namespace {

constexpr int32_t kNoZone = 100000;   // no designator found (not whole minutes)
constexpr int32_t kDateLen = 10;      // yyyy-mm-dd
constexpr int32_t kDateTimeMin = 15;  // yyyy-mm-ddThhmm at the least

double load(const ifmblock *blk) { return zb_load(blk->target); }
void store(const ifmblock *blk, double d) { zb_store(blk->target, d); }

bool digit(char c) { return zb_isdigit(static_cast<unsigned char>(c)); }
// 1 for a digit: tests of several characters joined with & take one branch.
unsigned digit_bit(char c) { return digit(c) ? 1u : 0u; }
int32_t digit_value(char c) { return static_cast<unsigned char>(c) - '0'; }

// The host's local offset east of GMT, negated into the correction that
// turns local time into GMT; truncated toward zero. A value that no 32-bit
// count holds (or NaN) gives no correction.
int32_t local_correction() {
  double east = 0.0;
  wzdtgmt(&east);
  const double west = -east;
  if (!(west > -2147483648.0 && west < 2147483648.0)) return 0;
  return static_cast<int32_t>(west);
}

}  // namespace

// A fraction of `len` characters at `p` as a value in [0, 1). False unless
// every character is a digit and the host's integer routine takes them all,
// and when there are more digits than zpowten covers. (A sign or a blank that
// the integer routine might accept would give a wrong fraction.)
ZB_HIDDEN bool zb_read_fraction(const char *p, int32_t len, double *fraction) {
  if (len < 1 || len > kFractionDigitsMax) return false;
  for (int32_t i = 0; i < len; ++i)
    if (!digit(p[i])) return false;
  int32_t used = 0;
  int64_t value = 0;
  if (wzrlchr(p, len, 0, &used, &value) != 0 || used != len || value < 0) return false;
  *fraction = static_cast<double>(value) / zpowten[used];
  return true;
}

// read2digs(&cursor, &left, &result): two decimal digits at the cursor.
// Fewer than two characters left: 1, cursor kept. Otherwise the cursor moves
// past both and the count drops by 2; stores their value and returns 0, or
// returns 1 when either is no digit.
ZB_API int32_t read2digs(const char **cursor, int32_t *left, int32_t *result) {
  if (*left < 2) return 1;
  const char first = (*cursor)[0];
  const char second = (*cursor)[1];
  *cursor += 2;
  *left -= 2;
  if (!digit(first) || !digit(second)) return 1;
  *result = digit_value(first) * 10 + digit_value(second);
  return 0;
}

// i8601_time(blk, flag): hh, hh:mm or hh:mm:ss, blanks around it, optionally
// followed by '.' or ',' and a fraction of the last component; one stray
// character after the last component is ignored when nothing follows it.
// Stores seconds since midnight. Returns 1 for malformed text (target
// missing); 0 with the missing value for an hour over 23 or a minute or
// second over 59. The flag is not consulted; the status word is not touched.
ZB_API uint32_t i8601_time(ifmblock *blk, int32_t flag) {
  (void)flag;
  store(blk, ifm_missing());
  const zb_text t = zb_trim(blk->input, zb_window(blk));
  const char *cur = t.p;
  int32_t left = t.len;

  // hh:mm:ss and nothing after it, the form of nearly every field: the
  // loop below reads it the same way, a part at a time.
  if (left == 8 && cur[2] == ':' && cur[5] == ':' &&
      (digit_bit(cur[0]) & digit_bit(cur[1]) & digit_bit(cur[3]) & digit_bit(cur[4]) &
       digit_bit(cur[6]) & digit_bit(cur[7])) != 0) {
    const int32_t hh = digit_value(cur[0]) * 10 + digit_value(cur[1]);
    const int32_t mm = digit_value(cur[3]) * 10 + digit_value(cur[4]);
    const int32_t ss = digit_value(cur[6]) * 10 + digit_value(cur[7]);
    if (hh > 23 || mm > 59 || ss > 59) return 0;
    store(blk, static_cast<double>(hh * 3600 + mm * 60 + ss));
    return 0;
  }

  // Hours, minutes, seconds: each two digits, the later ones after ':'.
  // After the seconds a further ':' is an ordinary character.
  static const double kUnit[3] = {3600.0, 60.0, 1.0};
  static const int32_t kMax[3] = {23, 59, 59};
  zb_clock clock;
  int32_t *const part[3] = {&clock.hh, &clock.mm, &clock.ss};
  char sep = 0;
  for (int i = 0;;) {
    if (read2digs(&cur, &left, part[i]) != 0) return IFM_MALFORMED;
    if (*part[i] > kMax[i]) return 0;
    clock.unit = kUnit[i];
    if (left == 0) break;
    sep = *cur++;
    --left;
    if (sep != ':' || ++i == 3) break;
  }
  // A last separator with nothing after it is ignored, whatever it is; after
  // a decimal mark come the digits of the fraction.
  if (left > 0) {
    if (sep != '.' && sep != ',') return IFM_MALFORMED;
    clock.fraction = cur;
    clock.fraction_len = left;
  }
  double value;
  const uint32_t rc = zb_clock_value(clock, &value);
  store(blk, value);
  return rc;
}

// i8601tm(blk): the time informat body; see i8601_time.
ZB_API uint32_t i8601tm(ifmblock *blk) { return i8601_time(blk, 0); }

// get_time_offset(flag, caller, work, &offset): finds the zone designator at
// the end of the trimmed field: Z or z, or +hh:mm / -hh:mm (hh and mm 00..99).
// Fills work with a copy of caller narrowed to the time text before it and
// stores the seconds to add to local time for GMT (+01:00 is -3600); Z leaves
// the offset as preset. Flag 0 makes the designator optional: without one
// the offset becomes 100000. Returns 0, or 0x8001d819 when a required
// designator is missing or a signed one is malformed.
ZB_API uint32_t get_time_offset(int32_t flag, const ifmblock *caller, ifmblock *work,
                                int32_t *offset) {
  const ifmblock in = *caller;
  *work = in;
  const zb_text t = zb_trim(in.input, zb_window(&in));
  const char *s = t.p;
  const int32_t len = t.len;
  work->input = s;

  if (len >= 1 && zb_upper(static_cast<unsigned char>(s[len - 1])) == 'Z') {
    work->width = len - 1;
    return 0;
  }
  const bool has_sign = len >= 6 && (s[len - 6] == '+' || s[len - 6] == '-');
  if (flag == 0 && !has_sign) {
    *offset = kNoZone;
    work->width = len;
    return 0;
  }
  if (!has_sign) return IFM_INVALID_DATA;
  const char *z = s + len - 6;
  if (!digit(z[1]) || !digit(z[2]) || z[3] != ':' || !digit(z[4]) || !digit(z[5]))
    return IFM_INVALID_DATA;
  const int32_t seconds = digit_value(z[1]) * 36000 + digit_value(z[2]) * 3600 +
                          digit_value(z[4]) * 600 + digit_value(z[5]) * 60;
  *offset = z[0] == '+' ? -seconds : seconds;
  work->width = len - 6;
  return 0;
}

// i8601tz(blk): a time (as i8601_time) followed by a required designator;
// stores the GMT time of day. A negative result gets one day added, one over
// a day is reduced modulo a day, and exactly 86400 stays. Returns 0, 1
// (malformed time) or 0x8001d819 (designator missing or malformed: target
// and status word then untouched).
ZB_API uint32_t i8601tz(ifmblock *blk) {
  int32_t offset = 0;
  ifmblock work;
  const uint32_t found = get_time_offset(1, blk, &work, &offset);
  if (found != 0) return found;
  const uint32_t rc = i8601_time(&work, 1);
  const double v = load(blk);
  if (!ifm_is_missing(v)) store(blk, zb_zoned_time(v, offset));
  blk->status = work.status;
  return rc;
}

// i8601lz(blk): a time (as i8601_time) with an optional designator; a time
// without one is local time and is corrected by the host's current offset
// from GMT. Stores the GMT time of day, moved by at most one day into
// [0, 86400). Returns 0, 1 (malformed time) or 0x8001d819 (signed designator
// malformed: target and status word then untouched).
ZB_API uint32_t i8601lz(ifmblock *blk) {
  int32_t offset = 0;
  ifmblock work;
  const uint32_t found = get_time_offset(0, blk, &work, &offset);
  if (offset == kNoZone) offset = local_correction();
  if (found != 0) return found;
  const uint32_t rc = i8601_time(&work, 1);
  const double v = load(blk);
  if (offset != 0 && !ifm_is_missing(v)) store(blk, zb_local_time_at_gmt(v, offset));
  blk->status = work.status;
  return rc;
}

// date_ok(text, len): 0 when the trimmed text is ten characters dddd-dd-dd,
// each separator '-' or a blank; 1 otherwise. Syntax only.
ZB_API int32_t date_ok(const char *text, int32_t len) {
  const zb_text t = zb_trim(text, len);
  if (t.len != kDateLen) return 1;
  const char *s = t.p;
  const auto sep = [](char c) -> unsigned { return c == '-' || c == ' '; };
  const unsigned ok = digit_bit(s[0]) & digit_bit(s[1]) & digit_bit(s[2]) & digit_bit(s[3]) &
                      sep(s[4]) & digit_bit(s[5]) & digit_bit(s[6]) & sep(s[7]) &
                      digit_bit(s[8]) & digit_bit(s[9]);
  return ok ? 0 : 1;
}

// i8601da(blk): yyyy-mm-dd, blanks around it; stores the host date. Returns
// 0, 0x8001d814 (not such a date: target untouched; or no calendar date:
// target missing) or a code of zifmymd.
ZB_API uint32_t i8601da(ifmblock *blk) {
  if (date_ok(blk->input, zb_window(blk)) != 0) return IFM_BAD_DATE;
  return zifmymd(blk);
}

// i8601dn(blk): as i8601da, storing the host datetime of the date's midnight.
ZB_API uint32_t i8601dn(ifmblock *blk) {
  const uint32_t rc = i8601da(blk);
  if (rc == 0) {
    const double v = load(blk);
    if (!ifm_is_missing(v)) store(blk, v * kDay);
  }
  return rc;
}

// i8601_datetime(blk, flag): yyyy-mm-dd, 'T' or a blank, then a time that
// i8601_time reads (at least 15 characters trimmed); stores the host
// datetime. Returns 0 (datetime, or the missing value for a time component
// out of range), 0x8001d814 (malformed: target untouched, or holding the
// host date when the character after the date is wrong), a code of zifmymd,
// or 1 for a malformed time. The flag goes to the time reader.
ZB_API uint32_t i8601_datetime(ifmblock *blk, int32_t flag) {
  ifmblock work = *blk;
  const zb_text t = zb_trim(blk->input, zb_window(blk));
  if (t.len < kDateTimeMin) return IFM_BAD_DATE;
  work.input = t.p;
  if (date_ok(work.input, kDateLen) != 0) return IFM_BAD_DATE;

  work.width = kDateLen;
  work.avail = kDateLen;
  const uint32_t rc = zifmymd(&work);
  if (rc != 0) return rc;
  const double date = load(blk);
  if (ifm_is_missing(date)) return 0;
  const char between = work.input[kDateLen];
  if (between != 'T' && between != ' ') return IFM_BAD_DATE;

  work.input += kDateLen + 1;
  work.width = t.len - (kDateLen + 1);
  work.avail = work.width;
  const uint32_t trc = i8601_time(&work, flag);
  if (trc != 0) return trc;
  const double time = load(blk);
  if (ifm_is_missing(time)) return 0;
  store(blk, zb_datetime_value(date, time));
  blk->status = work.status;
  return 0;
}

// i8601dt(blk): the datetime informat body; see i8601_datetime.
ZB_API uint32_t i8601dt(ifmblock *blk) { return i8601_datetime(blk, 0); }

// i8601dz(blk): a datetime (as i8601_datetime) followed by a required zone
// designator (as get_time_offset); stores the host datetime in GMT, moved
// across midnight where the offset takes it. Returns as i8601_datetime, or
// 0x8001d819 for a missing or malformed designator (target and status word
// then untouched).
ZB_API uint32_t i8601dz(ifmblock *blk) {
  int32_t offset = 0;
  ifmblock work;
  const uint32_t found = get_time_offset(1, blk, &work, &offset);
  if (found != 0) return found;
  const uint32_t rc = i8601_datetime(&work, 1);
  const double v = load(blk);
  if (rc == 0 && offset != 0 && !ifm_is_missing(v)) store(blk, v + offset);
  blk->status = work.status;
  return rc;
}
