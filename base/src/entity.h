// ISO entities: one datetime or duration unpacked (iso_entity) and its 8-byte
// packed form, the date-or-duration scanner, interval derivation and the
// entity informats.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fstring.h"
#include "module.h"
#include "problems.h"

typedef struct iso_entity {
  double datetime;      // host datetime (datetimes only)
  int64_t year;         // year, or number of years
  int64_t month;
  int64_t day;
  int64_t hour;
  int64_t minute;
  int64_t second;
  int64_t fraction;     // thousandths of the smallest component given
  uint8_t packed[8];    // filled by convert_to_bcd
  uint8_t absent;       // ENT_ABSENT_* bits of the components not given
  uint8_t is_datetime;
  uint8_t is_anchor;    // reference start supplied by interval derivation
  uint8_t weeks;
  uint8_t unit;         // nonzero: single-unit form
  uint8_t negative;
  uint8_t days_kept;    // normalised without folding days into months
} iso_entity;

static_assert(sizeof(iso_entity) == 80);
static_assert(offsetof(iso_entity, packed) == 64);
static_assert(offsetof(iso_entity, absent) == 72);
static_assert(offsetof(iso_entity, days_kept) == 78);

#define ENT_ABSENT_YEAR 0x80u
#define ENT_ABSENT_MONTH 0x40u
#define ENT_ABSENT_DAY 0x20u
#define ENT_ABSENT_HOUR 0x10u
#define ENT_ABSENT_MINUTE 0x08u
#define ENT_ABSENT_SECOND 0x04u
#define ENT_ABSENT_FRACTION 0x02u
#define ENT_MISSING 0xFFu
// Single-unit form: the unit code's flag for a count in thousandths.
#define ENT_UNIT_THOUSANDTHS 0x20u

// The packed form of the missing entity: eight 0xFF bytes.
ZB_INLINE void ent_set_missing(uint8_t packed[8]) { memset(packed, 0xFF, 8); }

// The count of a single-unit duration by its unit code, before any
// thousandths: months, days, weeks (the days / 7), hours, minutes or seconds.
ZB_INLINE int64_t ent_unit_count(const iso_entity *e) {
  switch (e->unit & ~ENT_UNIT_THOUSANDTHS) {
    case 1: return e->month;
    case 2: return e->day;
    case 3: return e->day / 7;
    case 4: return e->hour;
    case 8: return e->minute;
    case 16: return e->second;
    default: return 0;
  }
}

// Where the text of an entity field begins, its end without trailing blanks
// in *end; -1 for a field that holds no entity at all (blank, or a lone '.').
ZB_INLINE int32_t ent_text_start(const char *text, int32_t len, int32_t *end) {
  *end = zb_strip(text, len);                      // wzstrip
  const int32_t first = zb_find_not(text, *end, ' ');  // wzstnot
  return first < 0 || (*end == 1 && text[0] == '.') ? -1 : first;
}

// Packed encoding (is8601int_pack.cc).
ZB_API const uint8_t postxt[101];
ZB_API const uint8_t negtxt[101];
ZB_API int32_t convert_to_bcd(iso_entity *e);
ZB_API int32_t hexify(const void *src, int32_t count, char *target, int32_t width);

// Date-or-duration scanner (is8601int_i.cc).
ZB_API int32_t read_date_or_duration(const char *text, int32_t len, iso_entity *e,
                                     int32_t mode, int32_t keep_days);
ZB_API void add_fraction(iso_entity *e, int32_t sign);

// Interval derivation (is8601int_vl.cc).
ZB_API const int32_t daysinmonth[13];
ZB_API int32_t derive_interval(const char *text, int32_t len, iso_entity *first,
                               iso_entity *second, int32_t mode);
ZB_API int32_t compute_duration(const iso_entity *start, const iso_entity *end, iso_entity *out);
ZB_API int32_t compute_end(const iso_entity *start, const iso_entity *dur, iso_entity *out);
ZB_API int32_t compute_start(const iso_entity *dur, const iso_entity *end, iso_entity *out);
ZB_API double get_lastday(int32_t month, int32_t year);

// Entity informats (is8601int_vl.cc).
ZB_API uint32_t get_bcd8(ifmblock *blk, int32_t kind, int32_t mode);
ZB_API uint32_t is8601dui(ifmblock *blk, int32_t mode);
ZB_API uint32_t is8601pdi(ifmblock *blk, int32_t mode);
ZB_API uint32_t is8601vli(ifmblock *blk, int32_t mode);
