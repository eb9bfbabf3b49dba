/* The reader API of the stand-in host: a plain C interface for programs and
 * languages that want the modules' readers without the host's C++ classes.
 *
 * A handle holds one loaded module (zelbrant, morvista, or a module file)
 * and the readers looked up in it. Readers are found by informat name with
 * an optional width ("B8601DT19."), by exported routine name ("i8601dz"),
 * or by entity informat ("$IS860DU", "is8601vli"), and are then called on
 * one field or on a whole column in one call.
 *
 * Threads: a handle is used by one thread at a time; any number of handles
 * may be used in parallel, each from its own thread. Each handle reads
 * through an instance of the module of its own where the system allows it,
 * so parallel handles share no module state.
 *
 * Errors: every call returns ZB_OK (0) or a negative ZB_E_* status, and
 * zb_last_error() gives the message of the last failing call on the calling
 * thread. Nothing is printed; host log lines (diagnostics asked for with the
 * DEBUG host option) are kept and can be taken with zb_take_log().
 *
 * Reader results are separate from API statuses: each field gets the
 * reader's own return code: 0 or a host code such as 0x8001d819 from a
 * numeric reader (zb_code_text names it), 0 or a problem code 1..27 from an
 * entity reader (zb_problem_text names it; the host then reports the
 * problem through the module's n8601prob, which fills the target).
 *
 * Fields are fixed-length texts: a reader sees min(width, length of the
 * field) bytes and never reads past them; no NUL is needed or looked for.
 *
 * This interface is stable: functions and records are only ever added;
 * ZB_READER_API_VERSION counts the additions.
 */
#ifndef ZELBRANT_READER_H
#define ZELBRANT_READER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZB_READER_BUILD)
#define ZB_READER_API __attribute__((visibility("default")))
#else
#define ZB_READER_API
#endif

#define ZB_READER_API_VERSION 7

/* API statuses. */
#define ZB_OK 0
#define ZB_E_HANDLE (-1)   /* not a handle that zb_open gave and zb_close has not closed */
#define ZB_E_NULL (-2)     /* a required pointer is null */
#define ZB_E_WIDTH (-3)    /* a width outside the reader's range, or 0 / below -1 */
#define ZB_E_NAME (-4)     /* no reader of that name in the module */
#define ZB_E_LOAD (-5)     /* the module could not be loaded or registered */
#define ZB_E_OPTION (-6)   /* a bad task option, or one that differs from the open handles' */
#define ZB_E_READER (-7)   /* no reader of that number in the handle */
#define ZB_E_KIND (-8)     /* a numeric call on an entity reader, or the reverse */
#define ZB_E_RANGE (-9)    /* a layout that cannot be read: offsets going back, a field or
                              target too long, a stride too small */
#define ZB_E_MEMORY (-10)  /* out of memory */
#define ZB_E_HOST (-11)    /* the process already runs a host of its own */

/* What a reader produces. */
#define ZB_KIND_DATE 0          /* days from 1960-01-01 */
#define ZB_KIND_TIME 1          /* seconds from midnight */
#define ZB_KIND_DATETIME 2      /* seconds from 1960-01-01T00:00:00 */
#define ZB_KIND_DURATION 3      /* entity: a packed duration (16 hex digits) */
#define ZB_KIND_PACKED 4        /* entity: a packed datetime (16 hex digits) */
#define ZB_KIND_INTERVAL 5      /* entity: a packed interval (32 hex digits) */

/* The task options of a handle. Host options and the GMT offset belong to
 * the one host of the process: every handle open at a time must give the
 * same ones (ZB_E_OPTION otherwise). The entity settings are the handle's.
 * Zero-fill the record, set size, and set what you need; a null record
 * gives the defaults. A record of an earlier version, with that version's
 * size, is still taken: the members it lacks get their defaults. */
typedef struct zb_options {
  uint32_t size;                     /* sizeof(zb_options) */
  uint32_t n_host_options;           /* entries of host_options */
  const char *const *host_options;   /* "NAME=VALUE" texts, NUL-terminated */
  int32_t has_gmt_offset;            /* 0: the system's local offset */
  int32_t gmt_offset;                /* seconds east of GMT, -86399..86399 */
  int32_t entity_mode;               /* mode word of the entity readers; 0: 0x100 */
  int32_t target_length;             /* entity target length 1..4096; 0: 16, 32 for intervals */
  int32_t fill_stars;                /* a reported problem fills with '*' instead of 'F' */
  /* Version 2 (a version 1 record is ZB_OPTIONS_V1_SIZE bytes): */
  int32_t has_entity_mode;           /* entity_mode as given, 0 included */
  int32_t has_target_length;         /* target_length as given, 0 included (a target of no
                                        bytes, which the readers refuse with a problem) */
} zb_options;
#define ZB_OPTIONS_V1_SIZE 40

typedef struct zb_handle zb_handle;

/* What zb_describe tells about a reader. */
typedef struct zb_reader_info {
  int32_t kind;           /* ZB_KIND_* */
  int32_t width;          /* the field width; -1: each field is read whole */
  int32_t decimals;
  int32_t target_length;  /* entity readers: bytes of each packed text; 0 otherwise */
  int32_t registered;     /* 1: a registered informat; 0: an exported routine */
  char display[48];       /* "B8601DT19.", "i8601dz", "is8601dui20", NUL-terminated */
} zb_reader_info;

/* A column of fields, in one of three layouts:
 *  - fixed: offsets, offsets32 and starts null; field i is the field_len
 *    bytes at data + i * stride (a fixed-width byte array such as NumPy's
 *    'S19');
 *  - offsets: offsets (or offsets32) holds n + 1 ascending positions and
 *    field i is data[offsets[i], offsets[i + 1]) (Arrow's string layout);
 *  - spans: starts and lengths hold n entries each and field i is the
 *    lengths[i] bytes at data + starts[i], in any order and overlapping as
 *    they may (a column of text records: each field runs to the end of its
 *    record and the reader's width cuts it).
 * validity, when given, has bit i % 8 of byte i / 8 set for each present
 * field (Arrow's validity bitmap); an absent field is not read: it gets the
 * missing value (entity readers: no text) and code 0.
 * With ZB_NUL_PADDED in flags a fixed-layout field ends before its trailing
 * NUL bytes, as NumPy's fixed-width bytes ('S19') pad shorter values.
 * With ZB_ADDRESSES (version 7) a spans-layout column's starts hold each
 * field's own address and data is not used: texts that live apart, such as
 * the strings of a Python list, read where they are. */
#define ZB_NUL_PADDED 1u
#define ZB_ADDRESSES 2u
typedef struct zb_column {
  const char *data;
  size_t n;
  size_t stride;       /* fixed layout */
  size_t field_len;    /* fixed layout, at most 2147483647 */
  const int64_t *offsets;
  const int32_t *offsets32;
  const uint8_t *validity;
  uint32_t flags;      /* ZB_NUL_PADDED, ZB_ADDRESSES */
  const int64_t *starts;   /* spans layout, with lengths */
  const int32_t *lengths;
} zb_column;

/* Where a column's results go; arrays of n entries unless said otherwise.
 * Numeric readers fill values; entity readers fill texts and text_lens. */
typedef struct zb_results {
  double *values;        /* host values; the missing value (a NaN) for missing,
                            failed and absent fields */
  char *texts;           /* n * text_stride bytes: each field's packed text */
  size_t text_stride;    /* at least the reader's target_length */
  uint32_t *text_lens;   /* characters of each text (the status word); 0 for none */
  uint32_t *codes;       /* required: the reader's return code per field */
  uint32_t *status;      /* optional: the status word after the call */
  uint8_t *written;      /* optional: 1 when the reader wrote its target */
} zb_results;

/* Opens a handle on a module: "zelbrant" or "morvista" (found beside this
 * library, then in the build), or the path of a module file (any name with
 * a '/'). opts may be null. On failure *out is null. */
ZB_READER_API int zb_open(const char *module, const zb_options *opts, zb_handle **out);
/* Closes a handle; its readers go with it. Null or unknown handles are
 * ignored. The host ends with the last open handle. */
ZB_READER_API void zb_close(zb_handle *h);

/* Looks a reader up and gives its number in the handle (0, 1, ...).
 * width: -1 takes the width in the name, else the informat's default (a
 * routine or entity reader without one reads each field whole); 1..32767
 * overrides it and is checked against the informat's range. */
ZB_READER_API int zb_lookup(zb_handle *h, const char *name, int32_t width, int32_t *reader);
ZB_READER_API int zb_describe(zb_handle *h, int32_t reader, zb_reader_info *out);

/* Reads one field of len bytes with a numeric reader. */
ZB_READER_API int zb_read_field(zb_handle *h, int32_t reader, const char *text, size_t len,
                                double *value, uint32_t *code);
/* Reads one field with an entity reader into out (room for out_len bytes,
 * at least the target length); *text_len gets the characters written. */
ZB_READER_API int zb_read_entity_field(zb_handle *h, int32_t reader, const char *text,
                                       size_t len, char *out, size_t out_len, uint32_t *code,
                                       uint32_t *text_len);
/* Reads one field into a target of the caller's, for tools that show what
 * a reader was given and what it left: the reader is handed the target as
 * it stands, so bytes it does not write keep what the caller put there.
 * target_len: room at target, at least 8 (a double) for a numeric reader,
 * at least the target length for an entity reader; the reader is given 8,
 * or the target length. *status gets the status word after the call. An
 * entity reader's problem is reported as with zb_read_entity_field.
 * Version 2. */
ZB_READER_API int zb_read_into(zb_handle *h, int32_t reader, const char *text, size_t len,
                               void *target, size_t target_len, uint32_t *code,
                               uint32_t *status);
/* Reads a column in one call: numeric or entity by the reader's kind. n = 0
 * is a valid empty column. Nothing is written when the call fails. */
ZB_READER_API int zb_read_column(zb_handle *h, int32_t reader, const zb_column *col,
                                 zb_results *out);

/* The packed text of an entity reader (16 or 32 hexadecimal digits) for
 * people: "P1Y2M10DT2H30M", "2011-09-09T12:30:45", "2011-01-01/P1M", "."
 * for a missing entity. Writes it NUL-terminated into out (cut to size) and
 * returns its length without the NUL, or ZB_E_RANGE when the text is no
 * packed entity (the message says why). */
ZB_READER_API int zb_entity_text(const char *hex, size_t len, char *out, size_t size);

/* The message of the calling thread's last failed call ("" when none). */
ZB_READER_API const char *zb_last_error(void);
/* The message of a reader return code, and of an entity problem code
 * (1..27). Unknown codes give "unknown code" / "Unknown reason". */
ZB_READER_API const char *zb_code_text(uint32_t code);
ZB_READER_API const char *zb_problem_text(uint32_t code);
/* Copies the host log lines kept since the last call (each ending in '\n')
 * into buf (NUL-terminated, cut to size), clears them and returns the bytes
 * they need without the NUL; 0 when there are none or no host is running. */
ZB_READER_API size_t zb_take_log(char *buf, size_t size);

/* Version 3: what a tool needs to run on this API alone. */
#define ZB_MAX_TARGET_LENGTH 4096   /* the longest entity target zb_options takes */
#define ZB_DEFAULT_ENTITY_MODE 0x100 /* the entity mode word when none is given */

/* Whether calls of a reader write lines to the host log: an entity reader
 * reports each problem there when the host runs with diagnostics on (the
 * DEBUG host option) or when its target is shorter than its packed text.
 * A tool that reads on several threads keeps such a reader on one, so the
 * lines stay in record order. *logs gets 1 or 0. */
ZB_READER_API int zb_reader_logs(zb_handle *h, int32_t reader, int32_t *logs);

/* What a module's image records say about it, NUL-terminated texts. */
typedef struct zb_module_info {
  uint32_t size;          /* sizeof(zb_module_info) */
  char name[20];          /* the module's name, from its program-control node */
  char release[8];        /* "9.40" */
  char build[24];         /* the build identifier */
  char long_build[72];    /* the version record's long identifier; "" when none */
  char built[32];         /* the build date, "Mon dd yyyy" */
  char path[4096];        /* the file it was loaded from */
} zb_module_info;

/* Loads a module ("zelbrant", "morvista" or a path, as zb_open finds it)
 * just far enough to read its image records, and describes it. No handle is
 * needed; the module is not registered. out->size must be set. */
ZB_READER_API int zb_module_describe(const char *module, zb_module_info *out);

/* The civil date of a host date: days from 1960-01-01 to year (proleptic
 * Gregorian, astronomical: year 0 is 1 BC), month 1..12 and day 1..31, the
 * calendar the readers use, for day counts within +-10^12. */
ZB_READER_API void zb_civil_from_days(int64_t days, int64_t *year, int32_t *month, int32_t *day);

/* Version 4: values as data, for array libraries (NumPy, Arrow, pandas).
 *
 * Ticks: int64 counts of a unit since 1970-01-01T00:00:00 (dates and
 * datetimes) or since midnight (times), with ZB_NAT for a missing, failed or
 * absent field. A host value is a double; its ticks are computed exactly
 * from the decimal it stands for: the decimal with the fewest fraction
 * digits (at most 9) that reads back to the same double (the double itself
 * when there is none), floored to the unit, so 00:10:34.014 is .014 at ms and
 * .014000000 at ns, and 12:30:45.9 is 12:30:45 at s. A value the unit
 * cannot hold (beyond about 292 years from 1970 at ns) gives ZB_NAT and the
 * code ZB_CODE_RANGE. */
#define ZB_UNIT_S 0
#define ZB_UNIT_MS 1
#define ZB_UNIT_US 2
#define ZB_UNIT_NS 3
#define ZB_NAT INT64_MIN
/* Per-field codes of the calls below, beside the readers' own (zb_code_text
 * names them). */
#define ZB_CODE_RANGE 0x8002F001u    /* read, but outside what the unit holds */
#define ZB_CODE_INSTANT 0x8002F002u  /* no exact instant: a fraction of a year or a
                                        month, or a datetime without its date */

/* The ticks of one host value of kind ZB_KIND_DATE, _TIME or _DATETIME:
 * ZB_OK, or ZB_E_RANGE (with *ticks = ZB_NAT) for the missing value, a NaN,
 * or a value the unit cannot hold; ZB_E_KIND for another kind. */
ZB_READER_API int zb_value_ticks(int32_t kind, double value, int32_t unit, int64_t *ticks);
/* The ticks of n host values of one kind (codes optional: 0, or
 * ZB_CODE_RANGE for a value the unit cannot hold; the missing value and
 * NaN give ZB_NAT and 0). */
ZB_READER_API int zb_values_ticks(int32_t kind, const double *values, size_t n, int32_t unit,
                                  int64_t *ticks, uint32_t *codes);
/* Reads a column with a numeric reader straight into ticks (n entries) and
 * the reader's codes (n entries; ZB_CODE_RANGE where the value does not fit
 * the unit). When the call fails the arrays hold nothing meaningful. */
ZB_READER_API int zb_read_ticks(zb_handle *h, int32_t reader, const zb_column *col, int32_t unit,
                                int64_t *ticks, uint32_t *codes);

/* Splits data (len bytes) at each byte sep into n fields, for the spans
 * layout of zb_column: starts and lengths of n entries each (a column of
 * texts joined by a byte that none of them holds). ZB_E_RANGE when data
 * holds other than n - 1 separators, or a field is longer than 2147483647
 * bytes. */
ZB_READER_API int zb_split(const char *data, size_t len, char sep, size_t n, int64_t *starts,
                           int32_t *lengths);

/* One packed entity taken apart. Components not given are 0. */
#define ZB_FORM_MISSING 0      /* no entity: a missing, failed or absent field */
#define ZB_FORM_DATETIME 1     /* a datetime (of any precision) */
#define ZB_FORM_ANCHOR 2       /* the reference start an interval gave a lone duration */
#define ZB_FORM_DURATION 3     /* a duration by components: P1Y2M10DT2H30M */
#define ZB_FORM_SINGLE_UNIT 4  /* a duration as one count of one unit: PT36H, P2W */
#define ZB_PART_YEARS 1u
#define ZB_PART_MONTHS 2u
#define ZB_PART_DAYS 4u
#define ZB_PART_HOURS 8u
#define ZB_PART_MINUTES 16u
#define ZB_PART_SECONDS 32u
#define ZB_PART_FRACTION 64u
typedef struct zb_entity_parts {
  int32_t form;          /* ZB_FORM_* */
  int32_t sign;          /* -1 for a negative duration, else 1; 0 when missing */
  uint32_t given;        /* ZB_PART_* of the components the text gave */
  uint32_t fraction_of;  /* the ZB_PART_* the thousandths are a fraction of; 0: none */
  int64_t years, months, days, hours, minutes, seconds;
  int64_t thousandths;   /* 0..999, of the component fraction_of names */
  int32_t weeks;         /* 1: given in weeks (days holds 7 x the weeks) */
  int32_t reserved;      /* 0 */
} zb_entity_parts;
/* An interval: its ends as ticks (ZB_NAT where the interval fixes none: a
 * lone duration, a failed field) and its duration as the text gave it or
 * as the reader derived it (ZB_FORM_MISSING for two datetimes). */
typedef struct zb_interval_parts {
  int64_t start;
  int64_t end;
  zb_entity_parts duration;
} zb_interval_parts;

/* A packed text of 16 hexadecimal digits taken apart: ZB_OK, or ZB_E_RANGE
 * when it is no packed entity (the message says why). */
ZB_READER_API int zb_entity_parts_of(const char *hex, size_t len, zb_entity_parts *out);
/* A packed interval of 32 hexadecimal digits taken apart, its ends in unit.
 * *code gets 0, ZB_CODE_RANGE or ZB_CODE_INSTANT for an end that could not
 * be given (which is ZB_NAT). ZB_E_RANGE when it is no packed interval. */
ZB_READER_API int zb_interval_parts_of(const char *hex, size_t len, int32_t unit,
                                       zb_interval_parts *out, uint32_t *code);
/* Column calls: an entity reader of durations or packed datetimes into
 * parts, an interval reader into interval parts (n entries each), and the
 * codes (the reader's problem codes, or the ZB_CODE_* above). */
ZB_READER_API int zb_read_parts(zb_handle *h, int32_t reader, const zb_column *col,
                                zb_entity_parts *out, uint32_t *codes);
ZB_READER_API int zb_read_intervals(zb_handle *h, int32_t reader, const zb_column *col,
                                    int32_t unit, zb_interval_parts *out, uint32_t *codes);

/* Version 5: the catalog of readers. */
#define ZB_READER_ZONED 1u   /* flags: the reader normalises its value to GMT */
#define ZB_READER_LOGS  2u   /* flags: the reader may write to the host log */
typedef struct zb_catalog_entry {
  const char *name;         /* informat or routine name as looked up: "B8601DT", "ND8601DT", "i8601dz", "$IS860DU" */
  const char *routine;      /* exported routine: "b8601dt" */
  const char *modules;      /* where it is found: "zelbrant", "morvista" or "zelbrant morvista" */
  const char *description;  /* one line: what it reads */
  const char *example;      /* a text it reads at its default width */
  int32_t kind;             /* ZB_KIND_* */
  uint32_t flags;           /* ZB_READER_* */
  int32_t min_width;        /* -1 for routines that read the whole field */
  int32_t max_width;
  int32_t default_width;
  int32_t decimals;
} zb_catalog_entry;
/* The whole catalog: *entries points to *count static entries (never freed).
 * Registered informats come first, in registration order (zelbrant's, then
 * morvista's), then the exported routines that no module registers; these
 * read each field whole by default (min_width and default_width -1,
 * max_width the largest width a lookup takes). Returns ZB_OK, or ZB_E_NULL
 * when a pointer is null. */
ZB_READER_API int zb_list(const zb_catalog_entry **entries, size_t *count);

/* Version 6: the exact text of a host value. */
#define ZB_TEXT_ZONE 1u   /* end the text with 'Z': a value the reader normalised to GMT */
/* Writes the extended ISO 8601 text of a host value of kind ZB_KIND_DATE,
 * ZB_KIND_TIME or ZB_KIND_DATETIME: "2011-09-09", "12:30:45.75",
 * "2011-09-09T12:30:45.123456". The seconds' fraction is the shortest
 * decimal that reads back to the same double, split from the day and clock
 * by exact decimal arithmetic. Reading back is taken both as one number and
 * as the readers compose a value (date * 86400 + (whole seconds +
 * fraction), rounded at each step); the shorter text wins, the number's on
 * a tie. So a datetime before 1960 shows no float noise: -0.876544 and the
 * value i8601dt reads from "1959-12-31T23:59:59.123456" (which is
 * -0.8765440000011697) both print "1959-12-31T23:59:59.123456".
 * A date with a fraction prints the day it falls in. A time prints signed
 * hours, beyond 23 as they are: -5400 is "-01:30:00", 90000 "25:00:00".
 * ZB_TEXT_ZONE adds 'Z' to a time or datetime (a date has none).
 * Writes the text NUL-terminated into out (cut to size; out may be null
 * when size is 0) and returns its length without the NUL. 48 bytes hold
 * the text of every value at least a millisecond away from 0; nearer 0 the
 * fraction's leading zeros can make it longer (1e-300 s). Returns
 * ZB_E_RANGE for the missing value, any other NaN or infinity, a date or
 * datetime outside 1582-01-01..9999-12-31 and a time of 1e15 seconds or
 * more either way (zb_last_error says which); ZB_E_KIND for another kind,
 * ZB_E_OPTION for unknown flags. */
ZB_READER_API int zb_value_text(int32_t kind, double value, uint32_t flags, char *out,
                                size_t size);

/* Version 6 too: what would have read texts a reader failed on. */
#define ZB_SUGGEST_TEXTS 16  /* texts zb_suggest looks at; the rest are left out */
/* Reads texts that reader failed on, or cut short, again: with the same
 * informat at each of its widths, then with the catalog's other readers of
 * the same kind (any entity reader for an entity reader) that the handle's
 * module has, registered informats at each width. Each text starts where
 * the field starts and runs as far as the record or cell does, so wider
 * widths can be tried. A text counts as read when the reader returns 0 and
 * a value (not the missing value; an entity: a packed text).
 * Writes the suggestion NUL-terminated into out (cut to size; out may be
 * null when size is 0) and returns its length without the NUL:
 *   "try B8601DT15."  the same informat at the narrowest width that reads
 *                     what its widest readable width reads, when that reads
 *                     more texts or more of them ("20100313T200304 INF");
 *   "try i8601dz"     another reader that reads more texts than both;
 *   "... (reads 2 of 3)" when the best reads only some of them;
 *   ""                (0) when nothing reads more than the reader itself.
 * The handle keeps the readers it had (trial readers are dropped again);
 * with the DEBUG host option, entity readers' trial reads log as reads do.
 * Returns an API status for a bad handle or reader or a null pointer. */
ZB_READER_API int zb_suggest(zb_handle *h, int32_t reader, const char *const *texts,
                             const size_t *lens, size_t n, char *out, size_t size);

/* The records above are read by layout: frozen (x86-64 and other LP64
 * systems). */
#if defined(__cplusplus)
#define ZB_LAYOUT(c) static_assert(c, #c)
#else
#define ZB_LAYOUT(c) _Static_assert(c, #c)
#endif
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
ZB_LAYOUT(sizeof(zb_options) == 48);
ZB_LAYOUT(offsetof(zb_options, n_host_options) == 4);
ZB_LAYOUT(offsetof(zb_options, host_options) == 8);
ZB_LAYOUT(offsetof(zb_options, has_gmt_offset) == 16);
ZB_LAYOUT(offsetof(zb_options, gmt_offset) == 20);
ZB_LAYOUT(offsetof(zb_options, entity_mode) == 24);
ZB_LAYOUT(offsetof(zb_options, target_length) == 28);
ZB_LAYOUT(offsetof(zb_options, fill_stars) == 32);
ZB_LAYOUT(offsetof(zb_options, has_entity_mode) == 36);
ZB_LAYOUT(offsetof(zb_options, has_target_length) == 40);
ZB_LAYOUT(sizeof(zb_reader_info) == 68);
ZB_LAYOUT(offsetof(zb_reader_info, width) == 4);
ZB_LAYOUT(offsetof(zb_reader_info, decimals) == 8);
ZB_LAYOUT(offsetof(zb_reader_info, target_length) == 12);
ZB_LAYOUT(offsetof(zb_reader_info, registered) == 16);
ZB_LAYOUT(offsetof(zb_reader_info, display) == 20);
ZB_LAYOUT(sizeof(zb_column) == 80);
ZB_LAYOUT(offsetof(zb_column, n) == 8);
ZB_LAYOUT(offsetof(zb_column, stride) == 16);
ZB_LAYOUT(offsetof(zb_column, field_len) == 24);
ZB_LAYOUT(offsetof(zb_column, offsets) == 32);
ZB_LAYOUT(offsetof(zb_column, offsets32) == 40);
ZB_LAYOUT(offsetof(zb_column, validity) == 48);
ZB_LAYOUT(offsetof(zb_column, flags) == 56);
ZB_LAYOUT(offsetof(zb_column, starts) == 64);
ZB_LAYOUT(offsetof(zb_column, lengths) == 72);
ZB_LAYOUT(sizeof(zb_results) == 56);
ZB_LAYOUT(offsetof(zb_results, texts) == 8);
ZB_LAYOUT(offsetof(zb_results, text_stride) == 16);
ZB_LAYOUT(offsetof(zb_results, text_lens) == 24);
ZB_LAYOUT(offsetof(zb_results, codes) == 32);
ZB_LAYOUT(offsetof(zb_results, status) == 40);
ZB_LAYOUT(offsetof(zb_results, written) == 48);
ZB_LAYOUT(sizeof(zb_module_info) == 4256);
ZB_LAYOUT(offsetof(zb_module_info, name) == 4);
ZB_LAYOUT(offsetof(zb_module_info, release) == 24);
ZB_LAYOUT(offsetof(zb_module_info, build) == 32);
ZB_LAYOUT(offsetof(zb_module_info, long_build) == 56);
ZB_LAYOUT(offsetof(zb_module_info, built) == 128);
ZB_LAYOUT(offsetof(zb_module_info, path) == 160);
ZB_LAYOUT(sizeof(zb_entity_parts) == 80);
ZB_LAYOUT(offsetof(zb_entity_parts, form) == 0);
ZB_LAYOUT(offsetof(zb_entity_parts, sign) == 4);
ZB_LAYOUT(offsetof(zb_entity_parts, given) == 8);
ZB_LAYOUT(offsetof(zb_entity_parts, fraction_of) == 12);
ZB_LAYOUT(offsetof(zb_entity_parts, years) == 16);
ZB_LAYOUT(offsetof(zb_entity_parts, seconds) == 56);
ZB_LAYOUT(offsetof(zb_entity_parts, thousandths) == 64);
ZB_LAYOUT(offsetof(zb_entity_parts, weeks) == 72);
ZB_LAYOUT(offsetof(zb_entity_parts, reserved) == 76);
ZB_LAYOUT(sizeof(zb_interval_parts) == 96);
ZB_LAYOUT(offsetof(zb_interval_parts, start) == 0);
ZB_LAYOUT(offsetof(zb_interval_parts, end) == 8);
ZB_LAYOUT(offsetof(zb_interval_parts, duration) == 16);
ZB_LAYOUT(sizeof(zb_catalog_entry) == 64);
ZB_LAYOUT(offsetof(zb_catalog_entry, routine) == 8);
ZB_LAYOUT(offsetof(zb_catalog_entry, modules) == 16);
ZB_LAYOUT(offsetof(zb_catalog_entry, description) == 24);
ZB_LAYOUT(offsetof(zb_catalog_entry, example) == 32);
ZB_LAYOUT(offsetof(zb_catalog_entry, kind) == 40);
ZB_LAYOUT(offsetof(zb_catalog_entry, flags) == 44);
ZB_LAYOUT(offsetof(zb_catalog_entry, min_width) == 48);
ZB_LAYOUT(offsetof(zb_catalog_entry, max_width) == 52);
ZB_LAYOUT(offsetof(zb_catalog_entry, default_width) == 56);
ZB_LAYOUT(offsetof(zb_catalog_entry, decimals) == 60);
#endif
#undef ZB_LAYOUT

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* ZELBRANT_READER_H */
