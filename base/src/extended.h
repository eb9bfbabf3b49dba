// Extended-notation readers: time, time with zone, date and datetime; and the
// value arithmetic they share with the direct paths of the basic readers, so
// that a value is computed in one place whichever way its text was read.
#pragma once

#include <math.h>
#include <stdint.h>

#include "module.h"

// 10^0 .. 10^31, the divisors of decimal fractions.
ZB_API const double zpowten[32];

ZB_API int32_t read2digs(const char **cursor, int32_t *left, int32_t *result);
ZB_API uint32_t i8601_time(ifmblock *blk, int32_t flag);
ZB_API uint32_t i8601tm(ifmblock *blk);

ZB_API uint32_t get_time_offset(int32_t flag, const ifmblock *caller, ifmblock *work,
                                int32_t *offset);
ZB_API uint32_t i8601tz(ifmblock *blk);
ZB_API uint32_t i8601lz(ifmblock *blk);

ZB_API int32_t date_ok(const char *text, int32_t len);
ZB_API uint32_t i8601da(ifmblock *blk);
ZB_API uint32_t i8601dn(ifmblock *blk);
ZB_API uint32_t i8601_datetime(ifmblock *blk, int32_t flag);
ZB_API uint32_t i8601dt(ifmblock *blk);
ZB_API uint32_t i8601dz(ifmblock *blk);

// The longest fraction the time reader takes (the last index of zpowten).
constexpr int32_t kFractionDigitsMax = 31;

// A fraction of len digits as a value in [0, 1), through the host's integer
// routine; false for anything the time reader rejects as a fraction.
ZB_HIDDEN bool zb_read_fraction(const char *p, int32_t len, double *fraction);

// A time of day taken apart: hours, minutes and seconds (0 where the text
// stops before them), the length in seconds of the last one given, and the
// digits of its fraction (none when fraction_len is 0).
struct zb_clock {
  int32_t hh = 0, mm = 0, ss = 0;
  double unit = 1.0;
  const char *fraction = nullptr;
  int32_t fraction_len = 0;
};

// Seconds since midnight of a clock whose parts are two-digit numbers:
// 0 with the value; 0 with the missing value for an hour over 23 or a minute
// or second over 59; 1 with the missing value for a fraction that
// zb_read_fraction refuses. The whole seconds stay below 86400, so their sum
// is exact in a double.
ZB_INLINE uint32_t zb_clock_value(const zb_clock &c, double *value) {
  *value = ifm_missing();
  if (c.hh > 23 || c.mm > 59 || c.ss > 59) return 0;
  double v = static_cast<double>(c.hh * 3600 + c.mm * 60 + c.ss);
  if (c.fraction_len > 0) {
    double f = 0.0;
    if (!zb_read_fraction(c.fraction, c.fraction_len, &f)) return IFM_MALFORMED;
    v += c.unit * f;
  }
  *value = v;
  return 0;
}

// The GMT time of day of a time read with a required zone (the time reader
// leaves the missing value whenever it fails, so a time that is not missing
// was read): the offset added, then a negative result moved up a day and one
// over a day reduced modulo a day; exactly 86400 stays.
ZB_INLINE double zb_zoned_time(double local, int32_t offset) {
  double v = local;
  if (offset != 0) v += offset;
  if (v < 0.0)
    v += kDay;
  else if (v > kDay)
    v = fmod(v, kDay);
  return v;
}

// The GMT time of day of a time (not missing) whose zone may be left out:
// the offset added, and the sum moved by at most one day into [0, 86400).
ZB_INLINE double zb_local_time_at_gmt(double local, int32_t offset) {
  double sum = local + offset;
  if (sum >= kDay)
    sum -= kDay;
  else if (sum < 0.0)
    sum += kDay;
  return sum;
}

// The host datetime of a host date and a host time.
ZB_INLINE double zb_datetime_value(double date, double time) { return date * kDay + time; }
