// The catalog of readers: every routine that reads a field through an
// informat call block, with what it produces, where it is registered, what
// it reads and how to make texts for it. Everything that lists readers is
// expanded from this one list: the registration tables of both modules,
// the host's kinds of the exported routines, the binding of the routines
// for the fuzz targets and tools, the bad-input tables, the benchmark and
// the reader API's zb_list. A new reader is its code, one row here and its
// tests.
//
// ZB_CATALOG(X) expands X once per reader, in catalog order:
//
//   X(id, routine, kind, flags, decimals, name, zelbrant, morvista, generator,
//     description, example)
//
//   id         stable number of the reader, never reused or renumbered: the
//              fuzz inputs select readers by it, so saved inputs keep their
//              reader. Take the next free number for a new row.
//   routine    the exported routine (an identifier: b8601dt).
//   kind       DATE, TIME, DATETIME (numeric readers: a double target) or
//              DURATION, PACKED, INTERVAL (entity readers: packed text)
//              (ZB_CATALOG_KIND_*, the numbers of the reader API's ZB_KIND_*).
//   flags      ZONED (the value is normalised to GMT), LOGS (the reader may
//              write to the host log), ZONED_LOGS for both, or 0
//              (ZB_CATALOG_FLAG_*).
//   decimals   decimal places of the registered informat (6 where a time of
//              day is read, else 0); also the routine's.
//   name       the name the reader is looked up by when no module registers
//              it: the routine name, or "$IS860DU" for an entity informat.
//   zelbrant,  the registration in each module, as a parenthesised list
//   morvista   ("B8601DT", min, max, default), or () for none. The rows
//              registered by a module are its informats, in catalog order.
//   generator  the benchmark's text generator for the reader (bench/fields.h
//              gen_<generator>), or none: the benchmark skips the reader.
//   description one line: what the reader reads.
//   example    a text the reader reads (code 0) at its default width.
//
// Only the arguments a consumer's X uses are expanded there: the modules
// take names and widths and carry none of the texts.
#pragma once

#include <stdint.h>

// clang-format off
#define ZB_CATALOG(X)                                                                              \
  X(0, b8601da, DATE, 0, 0, "b8601da", ("B8601DA", 8, 10, 10), ("ND8601DA", 4, 10, 10),           \
    basic_date, "basic date yyyymmdd (also yyyymm, yyyy and yyyy-mm-dd)", "20110909")               \
  X(1, b8601tm, TIME, 0, 6, "b8601tm", ("B8601TM", 6, 15, 8), ("ND8601TM", 2, 15, 8),             \
    basic_time, "basic time hhmmss[fff] (also hhmm and hh)", "123045")                             \
  X(2, b8601tz, TIME, ZONED, 6, "b8601tz", ("B8601TZ", 7, 20, 14), ("ND8601TZ", 7, 20, 14),       \
    basic_time_zone, "basic time with zone hhmmss+hhmm or hhmmssZ, as GMT", "123045+0100")        \
  X(3, b8601dt, DATETIME, 0, 6, "b8601dt", ("B8601DT", 14, 26, 19), ("ND8601DT", 4, 26, 19),      \
    basic_datetime, "basic datetime yyyymmddThhmmss[fff]", "20110909T123045")                     \
  X(4, b8601dz, DATETIME, ZONED, 6, "b8601dz", ("B8601DZ", 15, 35, 26), ("ND8601DZ", 15, 35, 26), \
    basic_datetime_zone, "basic datetime with zone yyyymmddThhmmss+hhmm or ...Z, as GMT",          \
    "20110909T123045+0100")                                                                        \
  X(5, b8601dn, DATETIME, 0, 0, "b8601dn", ("B8601DN", 8, 10, 10), ("ND8601DN", 4, 10, 10),       \
    basic_date, "basic date yyyymmdd as the datetime of its midnight", "20110909")                 \
  X(6, b8601dj, DATETIME, 0, 6, "b8601dj", ("B8601DJ", 10, 26, 16), (), basic_datetime_joined,     \
    "basic datetime with the T optional: yyyymmdd[T]hhmmss", "20110909123045")                     \
  X(7, b8601ci, DATETIME, 0, 6, "b8601ci", ("B8601CI", 10, 26, 16), (), basic_century,             \
    "basic datetime after a century digit: cyymmdd[T]hhmmss (0: 19yy, 1: 20yy)", "1110909T123045") \
  X(8, i8601tm, TIME, 0, 6, "i8601tm", (), (), none, "extended time hh:mm:ss[.fff]", "12:30:45")    \
  X(9, i8601tz, TIME, ZONED, 6, "i8601tz", (), (), none,                                           \
    "extended time with zone hh:mm:ss+hh:mm or hh:mm:ssZ, as GMT", "12:30:45+01:00")               \
  X(10, i8601lz, TIME, ZONED, 6, "i8601lz", (), (), none,                                          \
    "extended time, zone optional (none: local time), as GMT", "12:30:45Z")                        \
  X(11, i8601da, DATE, 0, 0, "i8601da", (), (), none, "extended date yyyy-mm-dd", "2011-09-09")    \
  X(12, i8601dn, DATETIME, 0, 0, "i8601dn", (), (), none,                                          \
    "extended date yyyy-mm-dd as the datetime of its midnight", "2011-09-09")                      \
  X(13, i8601dt, DATETIME, 0, 6, "i8601dt", (), (), none,                                          \
    "extended datetime yyyy-mm-ddThh:mm:ss[.fff]", "2011-09-09T12:30:45")                          \
  X(14, i8601dz, DATETIME, ZONED, 6, "i8601dz", (), (), none,                                      \
    "extended datetime with zone yyyy-mm-ddThh:mm:ss+hh:mm or ...Z, as GMT",                       \
    "2011-09-09T12:30:45+01:00")                                                                   \
  X(15, zifmymd, DATE, 0, 0, "zifmymd", (), (), none,                                              \
    "date in the locale's year-month-day forms (2011-09-09, 20110909)", "2011-09-09")              \
  X(16, zifmtim, TIME, 0, 6, "zifmtim", (), (), none,                                              \
    "clock time hh:mm[:ss[.fff]] with optional AM/PM", "12:30:45")                                 \
  X(17, is8601dui, DURATION, LOGS, 0, "$IS860DU", (), (), duration,                                \
    "duration (P1Y2M10DT2H30M) or datetime, packed into 16 hex digits", "P1Y2M10DT2H30M")          \
  X(18, is8601pdi, PACKED, LOGS, 0, "$IS860PD", (), (), ext_datetime,                              \
    "datetime of any precision (2011-09, 2011-09-09T12:30), packed into 16 hex digits",            \
    "2011-09-09T12:30:45")                                                                         \
  X(19, is8601vli, INTERVAL, LOGS, 0, "$IS860VL", (), (), interval,                                \
    "interval start/end, start/duration or duration/end, packed into 32 hex digits",               \
    "2011-09-09/P1M")
// clang-format on

#define ZB_CATALOG_KIND_DATE 0
#define ZB_CATALOG_KIND_TIME 1
#define ZB_CATALOG_KIND_DATETIME 2
#define ZB_CATALOG_KIND_DURATION 3
#define ZB_CATALOG_KIND_PACKED 4
#define ZB_CATALOG_KIND_INTERVAL 5
#define ZB_CATALOG_FLAG_0 0u
#define ZB_CATALOG_FLAG_ZONED 1u
#define ZB_CATALOG_FLAG_LOGS 2u
#define ZB_CATALOG_FLAG_ZONED_LOGS 3u

#ifdef __cplusplus

// A registration of a catalog row, from its parenthesised list: zb_reg
// ("B8601DT", 14, 26, 19) or zb_reg () for none.
struct zb_catalog_reg {
  const char *name;  // without the '@'; null: not registered
  int16_t min_width, max_width, default_width;
};
constexpr zb_catalog_reg zb_reg() { return {nullptr, 0, 0, 0}; }
constexpr zb_catalog_reg zb_reg(const char *name, int16_t min_width, int16_t max_width,
                                int16_t default_width) {
  return {name, min_width, max_width, default_width};
}

// The catalog as a table, for the host and the tools (the modules expand
// the list themselves and keep none of it).
struct zb_catalog_row {
  int id;
  const char *routine;
  int32_t kind;  // ZB_CATALOG_KIND_*
  uint32_t flags;  // ZB_CATALOG_FLAG_*
  int16_t decimals;
  const char *name;
  zb_catalog_reg zelbrant, morvista;
  const char *generator;  // "none": no benchmark texts
  const char *description;
  const char *example;
};

#define ZB_CATALOG_ROW_(id, routine, kind, flags, decimals, name, zel, mor, gen, desc, example) \
  {id, #routine, ZB_CATALOG_KIND_##kind, ZB_CATALOG_FLAG_##flags, decimals, name, zb_reg zel,    \
   zb_reg mor, #gen, desc, example},
inline constexpr zb_catalog_row zb_catalog[] = {ZB_CATALOG(ZB_CATALOG_ROW_)};
#undef ZB_CATALOG_ROW_
inline constexpr int zb_catalog_count = static_cast<int>(sizeof zb_catalog / sizeof zb_catalog[0]);

constexpr bool zb_catalog_entity(const zb_catalog_row &r) {
  return r.kind >= ZB_CATALOG_KIND_DURATION;
}

// The row of a routine name, of a stable id; null when there is none.
constexpr const zb_catalog_row *zb_catalog_find(const char *routine) {
  for (const zb_catalog_row &r : zb_catalog) {
    int k = 0;
    while (r.routine[k] != '\0' && r.routine[k] == routine[k]) ++k;
    if (r.routine[k] == routine[k]) return &r;
  }
  return nullptr;
}
constexpr const zb_catalog_row *zb_catalog_by_id(int id) {
  for (const zb_catalog_row &r : zb_catalog)
    if (r.id == id) return &r;
  return nullptr;
}

// Ids are unique, and every registration keeps min <= default <= max.
constexpr bool zb_catalog_sound() {
  for (int i = 0; i < zb_catalog_count; ++i) {
    for (int j = 0; j < i; ++j)
      if (zb_catalog[i].id == zb_catalog[j].id) return false;
    for (const zb_catalog_reg &g : {zb_catalog[i].zelbrant, zb_catalog[i].morvista})
      if (g.name && !(1 <= g.min_width && g.min_width <= g.default_width &&
                      g.default_width <= g.max_width))
        return false;
  }
  return true;
}
static_assert(zb_catalog_sound(), "catalog ids repeat or widths are out of order");

#endif
