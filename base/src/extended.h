// Extended-notation readers: time, time with zone, date and datetime.
#pragma once

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

// A fraction of len digits as a value in [0, 1), through the host's integer
// routine; false for anything the time reader rejects as a fraction.
ZB_HIDDEN bool zb_read_fraction(const char *p, int32_t len, double *fraction);
