// Basic-notation informats. Each reader rewrites its field (yyyymmddThhmmss,
// hhmmss+hhmm, ...) into extended notation in a work buffer on its own stack
// and hands that text to the extended reader of the same kind, which does all
// checking of digits, ranges, calendar and zone. Fields that are already in
// extended notation go to the extended reader as they stand.
//
// The work buffers have a fixed size while the field width is the host's: a
// field whose rewritten text would not fit is rejected as invalid data.
#include <string.h>

#include "basic.h"
#include "calendar.h"
#include "extended.h"
#include "fstring.h"

namespace {

constexpr int32_t kWorkSize = 200;    // extended text handed on
constexpr int32_t kExpandSize = 100;  // b8601ci: field with the century expanded
constexpr int32_t kTimeAt = 11;       // yyyy-mm-ddT, then the time text
constexpr int32_t kDateLen = 10;      // yyyy-mm-dd
constexpr uint32_t kMissingStatus = 8;

// A bounded output cursor into a work buffer.
struct Out {
  char *p;
  int32_t len;
  int32_t room;
};

bool put(Out *o, char c) {
  if (o->len >= o->room) return false;
  o->p[o->len++] = c;
  return true;
}

bool put_text(Out *o, const char *s, int32_t n) {
  if (n > o->room - o->len) return false;
  memcpy(o->p + o->len, s, static_cast<size_t>(n));
  o->len += n;
  return true;
}

bool holds(const char *text, int32_t n, char c) { return zb_find(text, n, c) >= 0; }

// The first steps of every reader. Missing-value notation (the host's check
// stores the missing value itself) sets the status word to 8 and gives false;
// otherwise the trimmed text of the field is returned through text and n.
ZB_INLINE bool take_field(ifmblock *blk, const char **text, int32_t *n) {
  if (wzifmch(blk->input, zb_window(blk), static_cast<double *>(blk->target)) != 0) {
    blk->status = kMissingStatus;
    return false;
  }
  const zb_text t = zb_trim(blk->input, zb_window(blk));
  *text = t.p;
  *n = t.len;
  return true;
}

// A call block around a rewritten text; the result lands in the caller's target.
ifmblock inner_block(const char *text, int32_t len, void *target) {
  ifmblock b;
  memset(&b, 0, sizeof b);
  b.input = text;
  b.width = len;
  b.avail = len;
  b.target = target;
  return b;
}

// Rewrites a trimmed basic time (hh, hhmm, hhmmss, then fraction digits and,
// when zone_ok, a closing Z or +hhmm / -hhmm) into hh:mm:ss[.f][zone]. An
// empty text is midnight. The characters are copied, not checked: that is the
// extended reader's job. Returns false on rejection (bad length, bad tail,
// or no room in the buffer).
bool rewrite_time(const char *t, int32_t n, Out *o, bool zone_ok) {
  if (n == 1 || n == 3 || n == 5) return false;
  if (n == 0) return put_text(o, "00:00:00", 8);
  // hh, then :mm and :ss from the text, or :00 where the text is shorter.
  if (!put_text(o, t, 2)) return false;
  for (int32_t i = 2; i < 6; i += 2) {
    const char *pair = i < n ? t + i : "00";
    if (!put(o, ':') || !put_text(o, pair, 2)) return false;
  }

  // The tail: fraction digits, then (zone_ok) a closing zone designator.
  bool fraction = false;
  for (int32_t i = 6; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (zb_isdigit(c)) {
      if (!fraction && !put(o, '.')) return false;
      fraction = true;
      if (!put(o, t[i])) return false;
      continue;
    }
    unsigned char u = zb_upper(c);
    if (!zone_ok || (u != 'Z' && u != '+' && u != '-')) return false;
    int32_t rest = n - i - 1;
    if (u == 'Z') return rest == 0 && put(o, t[i]);
    if (rest != 4) return false;
    return put(o, t[i]) && put_text(o, t + i + 1, 2) && put(o, ':') && put_text(o, t + i + 3, 2);
  }
  return true;
}

// Rewrites the date part of a trimmed text (everything before its first
// upper-case 'T') into yyyy-mm-dd at out. Accepted shapes: yyyy, yyyymm,
// yyyy-mm, yyyy-mm-dd, and eight or more characters without '-' (only the
// first eight are used). Returns the number of characters consumed (4, 6, 7,
// 10 or 8), or -1 when the shape is rejected.
int32_t rewrite_date(const char *text, int32_t n, char *out) {
  int32_t t = zb_find(text, n, 'T');
  int32_t m = t >= 0 ? t : n;
  int32_t dash = zb_find(text, m, '-');
  if (dash >= 0) {
    if (dash != 4) return -1;
    int32_t second = zb_find(text + 5, m - 5, '-');
    bool ok = (m == 7 && second < 0) || (m == 10 && second == 2);
    if (!ok) return -1;
  } else if (m < 4 || m == 5 || m == 7) {
    return -1;
  }

  // The shapes above guarantee every two-character copy stays in the part.
  memcpy(out, text, 4);
  out[4] = '-';
  int32_t at = 4;
  if (at == m) {
    memcpy(out + 5, "01-01", 5);
    return at;
  }
  if (text[at] == '-') ++at;
  memcpy(out + 5, text + at, 2);
  out[7] = '-';
  at += 2;
  if (at == m) {
    memcpy(out + 8, "01", 2);
    return at;
  }
  if (text[at] == '-') ++at;
  memcpy(out + 8, text + at, 2);
  return at + 2;
}

// Describes the time part of a datetime in *result, with its extended text
// placed at buffer (at most room characters). A time part that already holds
// a ':' is copied as it stands; otherwise it is rewritten as a basic time,
// zones allowed when zone_allowed is 1. Returns result, or null on rejection.
ifmblock *make_iso_time(const ifmblock *time_block, ifmblock *result, char *buffer, int32_t room,
                        int32_t zone_allowed) {
  const zb_text trimmed = zb_trim(time_block->input, zb_window(time_block));
  const char *t = trimmed.p;
  const int32_t k = trimmed.len;
  Out o = {buffer, 0, room};
  if (k > 0 && holds(t, k, ':')) {
    if (!put_text(&o, t, k)) return nullptr;
  } else if (!rewrite_time(t, k, &o, zone_allowed == 1)) {
    return nullptr;
  }
  *result = inner_block(buffer, o.len, nullptr);
  return result;
}


// --- Direct paths -------------------------------------------------------------
//
// The common fields (yyyymmdd, yyyymmddThhmmss[f...], hhmmss with Z or
// +hhmm, yyyy-mm-dd) are read without the text round trip: the shape is
// settled first, from the field alone and before any further host call, and
// the value is then computed exactly as the extended readers compute it from
// the rewritten text, with the same host calls in the same order (the
// missing-notation check and the calendar routine on the yyyy-mm-dd text, the
// integer routine on a fraction). Any other field takes the rewriting path.

// Decimal digits by both ASCII and the host's class table: the readers test
// the table, the arithmetic needs the ASCII value. One pass without branches:
// every class byte must carry the digit bit, so their AND must.
ZB_INLINE bool all_digits(const uint8_t *ctype, const char *p, int32_t n) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  unsigned bad = 0, classes = 0xFFu;
  for (int32_t i = 0; i < n; ++i) {
    bad |= static_cast<unsigned>(static_cast<unsigned>(u[i] - '0') > 9u);
    classes &= ctype[u[i]];
  }
  return bad == 0 && (classes & GCB_CTYPE_DIGIT) != 0;
}

// Whether all eight bytes of a word are ASCII digits, 0x30 to 0x39: high
// nibble 3 and a low nibble that adding 6 does not carry out of.
ZB_INLINE bool ascii_digit_word(uint64_t x) {
  constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u, kThrees = 0x3030303030303030u;
  return (x & kHigh) == kThrees && ((x + 0x0606060606060606u) & kHigh) == kThrees;
}

// all_digits for eight bytes at once.
ZB_INLINE bool eight_digits(const uint8_t *ctype, const char *p) {
  uint64_t x;
  memcpy(&x, p, sizeof x);
  const bool ascii = ascii_digit_word(x);
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  const unsigned classes = ctype[u[0]] & ctype[u[1]] & ctype[u[2]] & ctype[u[3]] & ctype[u[4]] &
                           ctype[u[5]] & ctype[u[6]] & ctype[u[7]];
  return ascii && (classes & GCB_CTYPE_DIGIT) != 0;
}

ZB_INLINE bool plain_digit(const uint8_t *ctype, char c) { return all_digits(ctype, &c, 1); }

// all_digits for the six characters of hhmmss, written out: the loop keeps
// its count in a register even where the count is known.
ZB_INLINE bool six_digits(const uint8_t *ctype, const char *p) {
  uint32_t low;
  uint16_t high;
  memcpy(&low, p, sizeof low);
  memcpy(&high, p + 4, sizeof high);
  // Two '0' bytes in the top of the word stand for the missing seventh and eighth.
  const bool ascii = ascii_digit_word(low | uint64_t{high} << 32 | uint64_t{0x3030} << 48);
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  const unsigned classes =
      ctype[u[0]] & ctype[u[1]] & ctype[u[2]] & ctype[u[3]] & ctype[u[4]] & ctype[u[5]];
  return ascii && (classes & GCB_CTYPE_DIGIT) != 0;
}

inline int32_t two(const char *p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// True when the k characters at t are a basic time of all digits: hh, hhmm,
// hhmmss or hhmmss and fraction digits (k = 0 is midnight).
ZB_INLINE bool take_clock(const uint8_t *ctype, const char *t, int32_t k, zb_clock *c) {
  if (k == 1 || k == 3 || k == 5 || k > 6 + kFractionDigitsMax) return false;
  // hhmmss, by far the most common, written out.
  if (!(k == 6 ? six_digits(ctype, t) : all_digits(ctype, t, k))) return false;
  if (k >= 2) c->hh = two(t);
  if (k >= 4) c->mm = two(t + 2);
  if (k >= 6) c->ss = two(t + 4);
  if (k > 6) {
    c->fraction = t + 6;
    c->fraction_len = k - 6;
  }
  return true;
}

// A closing zone designator: Z or z, or a sign and four digits (hhmm).
struct Zone {
  int32_t length = 0;  // characters it takes at the end of the text
  int32_t offset = 0;  // seconds added to local time for GMT
};

// The designator's characters must mean the same to the rewriting (class
// and upper-case tables) and to the zone reader (the characters themselves).
ZB_INLINE bool take_zone(const uint8_t *ctype, const char *text, int32_t n, Zone *z) {
  if (n < 1) return false;
  const unsigned char last = static_cast<unsigned char>(text[n - 1]);
  const bool not_digit = (ctype[last] & GCB_CTYPE_DIGIT) == 0;
  if ((last == 'Z' || last == 'z') && not_digit && zb_upper(last) == 'Z') {
    z->length = 1;
    return true;
  }
  if (n < 5 || zb_upper(last) == 'Z') return false;
  const unsigned char sign = static_cast<unsigned char>(text[n - 5]);
  if ((sign != '+' && sign != '-') || zb_upper(sign) != sign ||
      (ctype[sign] & GCB_CTYPE_DIGIT) != 0)
    return false;
  if (!all_digits(ctype, text + n - 4, 4)) return false;
  const int32_t seconds = two(text + n - 4) * 3600 + two(text + n - 2) * 60;
  z->length = 5;
  z->offset = sign == '+' ? -seconds : seconds;
  return true;
}

// yyyy-mm-dd from eight digits at p.
void date_text(const char *p, char *out) {
  memcpy(out, p, 4);
  out[4] = '-';
  memcpy(out + 5, p + 4, 2);
  out[7] = '-';
  memcpy(out + 8, p + 6, 2);
}

// The calendar routine on a yyyy-mm-dd text, as the date readers call it.
ZB_INLINE uint32_t calendar_date(const char *date, void *target) {
  ifmblock b = inner_block(date, kDateLen, target);
  return zifmymd(&b);
}

// The datetime reader on yyyy-mm-dd and a time, then the zone correction.
ZB_INLINE uint32_t datetime_value(const char *date, const zb_clock &clock, const Zone *zone,
                                  void *target) {
  const uint32_t rc = calendar_date(date, target);
  if (rc != 0) return rc;
  const double day = zb_load(target);
  if (ifm_is_missing(day)) return 0;
  double time;
  const uint32_t trc = zb_clock_value(clock, &time);
  if (ifm_is_missing(time)) {  // out of range, or (trc) a fraction refused
    zb_store(target, ifm_missing());
    return trc;
  }
  double v = zb_datetime_value(day, time);
  if (zone != nullptr && zone->offset != 0) v = v + zone->offset;
  zb_store(target, v);
  return 0;
}

enum class Direct { kNo, kDone };

// Datetime fields of eight digits, the separator and a basic time, closed by
// a zone when zone is set. Returns kNo, before any host call, for any other
// shape.
ZB_INLINE Direct direct_datetime(ifmblock *blk, const char *text, int32_t n, bool sep_required,
                                 bool zone, uint32_t *rc) {
  const uint8_t *ctype = zb_gcb()->ctype;
  if (n < 8 || !eight_digits(ctype, text)) return Direct::kNo;
  int32_t at = 8;
  if (n > 8) {
    const char c = text[8];
    if (zb_upper(static_cast<unsigned char>(c)) == 'T') {
      if (c != 'T' && c != 't') return Direct::kNo;
      at = 9;
    } else if (sep_required || !plain_digit(ctype, c)) {
      return Direct::kNo;
    }
  }
  Zone z;
  int32_t end = n;
  if (zone) {
    if (!take_zone(ctype, text + at, n - at, &z)) return Direct::kNo;
    end -= z.length;
    // Without an upper-case 'T' the date part runs to the end of the text,
    // where a '-' of the zone would be taken for a date separator.
    if (at == 9 && text[8] == 't' && text[end] == '-') return Direct::kNo;
    if (end - at < 6) return Direct::kNo;
  }
  zb_clock clock;
  if (!take_clock(ctype, text + at, end - at, &clock)) return Direct::kNo;
  char date[kDateLen];
  date_text(text, date);
  *rc = datetime_value(date, clock, zone ? &z : nullptr, blk->target);
  return Direct::kDone;
}

// Date fields yyyymmdd (alone or before a 'T') and yyyy-mm-dd.
ZB_INLINE Direct direct_date(ifmblock *blk, const char *text, int32_t n, uint32_t *rc) {
  const uint8_t *ctype = zb_gcb()->ctype;
  char date[kDateLen];
  if (n == 10 && text[4] == '-' && text[7] == '-' && all_digits(ctype, text, 4) &&
      all_digits(ctype, text + 5, 2) && all_digits(ctype, text + 8, 2)) {
    memcpy(date, text, kDateLen);
  } else if (n >= 8 && (n == 8 || text[8] == 'T') && eight_digits(ctype, text)) {
    date_text(text, date);
  } else {
    return Direct::kNo;
  }
  *rc = calendar_date(date, blk->target);
  blk->status = 0;
  return Direct::kDone;
}

// Time fields of digits alone (b8601tm) or digits and a zone (b8601tz).
ZB_INLINE Direct direct_time(ifmblock *blk, const char *text, int32_t n, bool zone, uint32_t *rc) {
  const uint8_t *ctype = zb_gcb()->ctype;
  Zone z;
  int32_t k = n;
  if (zone) {
    if (!take_zone(ctype, text, n, &z)) return Direct::kNo;
    k -= z.length;
    if (k < 6) return Direct::kNo;
  }
  zb_clock clock;
  if (!take_clock(ctype, text, k, &clock)) return Direct::kNo;
  double v;
  *rc = zb_clock_value(clock, &v);
  if (zone && !ifm_is_missing(v)) v = zb_zoned_time(v, z.offset);
  zb_store(blk->target, v);
  blk->status = 0;
  return Direct::kDone;
}

// The rewriting path of b8601tm and b8601tz, out of line: its work buffer
// and registers stay off the direct path.
ZB_NOINLINE uint32_t rewrite_basic_time(ifmblock *blk, const char *text, int32_t n, bool zone,
                                        ifm_reader extended) {
  if (n > 0 && holds(text, n, ':')) return extended(blk);
  uint32_t rc;
  char work[kWorkSize];
  Out o = {work, 0, kWorkSize};
  if (!rewrite_time(text, n, &o, zone)) return IFM_INVALID_DATA;
  ifmblock inner = inner_block(work, o.len, blk->target);
  rc = extended(&inner);
  blk->status = inner.status;
  return rc;
}

// The rewriting path of b8601da, out of line.
ZB_NOINLINE uint32_t rewrite_basic_date(ifmblock *blk, const char *text, int32_t n) {
  char work[kWorkSize];
  if (rewrite_date(text, n, work) < 0) return IFM_INVALID_DATA;
  ifmblock inner = inner_block(work, kDateLen, blk->target);
  const uint32_t rc = i8601da(&inner);
  blk->status = inner.status;
  return rc;
}

// The common body of b8601tm and b8601tz, one copy for each.
template <bool kZone>
uint32_t read_basic_time(ifmblock *blk, ifm_reader extended) {
  const char *text;
  int32_t n;
  if (!take_field(blk, &text, &n)) return 0;
  uint32_t rc;
  if (direct_time(blk, text, n, kZone, &rc) == Direct::kDone) return rc;
  return rewrite_basic_time(blk, text, n, kZone, extended);
}

enum class Separator { kRequired, kOptional };

// The rewriting path of the datetime readers, out of line as for the times.
ZB_NOINLINE uint32_t rewrite_basic_datetime(ifmblock *blk, const char *text, int32_t n,
                                            Separator sep, bool zone, ifm_reader extended) {
  // Extended notation throughout: a '-' in the date (before the 'T', or far
  // enough in when there is none) and a ':'.
  int32_t d = zb_find(text, n, '-');
  int32_t t = zb_find(text, n, 'T');
  if (d >= 0 && (t >= 0 ? d < t : d >= 6) && holds(text, n, ':')) return extended(blk);

  char work[kWorkSize];
  int32_t at = rewrite_date(text, n, work);
  if (at < 0) return IFM_INVALID_DATA;
  if (at < n) {
    bool is_t = zb_upper(static_cast<unsigned char>(text[at])) == 'T';
    if (is_t) {
      ++at;
    } else if (sep == Separator::kRequired) {
      return IFM_INVALID_DATA;
    }
  }
  work[kDateLen] = 'T';

  ifmblock time_block = inner_block(text + at, n - at, nullptr);
  ifmblock time_result;
  if (!make_iso_time(&time_block, &time_result, work + kTimeAt, kWorkSize - kTimeAt, zone ? 1 : 0))
    return IFM_INVALID_DATA;
  ifmblock inner = inner_block(work, kTimeAt + time_result.width, blk->target);
  return extended(&inner);
}

// The common body of the datetime readers (steps after any century
// expansion), one copy for each separator rule and zone.
template <Separator kSep, bool kZone>
uint32_t read_basic_datetime(ifmblock *blk, ifm_reader extended) {
  const char *text;
  int32_t n;
  if (!take_field(blk, &text, &n)) return 0;
  uint32_t rc;
  if (direct_datetime(blk, text, n, kSep == Separator::kRequired, kZone, &rc) == Direct::kDone)
    return rc;
  return rewrite_basic_datetime(blk, text, n, kSep, kZone, extended);
}

}  // namespace

// b8601tm: hh, hhmm, hhmmss, each optionally followed by fraction digits
// (1230455 is 12:30:45.5); a field holding a ':' is read as extended
// notation. Stores the host time (seconds since midnight). Returns 0,
// 0x8001d819 for a basic text of a bad length or with a non-digit behind the
// seconds, or what i8601tm returns.
ZB_API uint32_t b8601tm(ifmblock *blk) { return read_basic_time<false>(blk, i8601tm); }

// b8601tz: as b8601tm, closed by Z or a sign and four digits (+0100). Stores
// the host time at GMT. Returns 0, 0x8001d819 for a bad basic text or zone,
// or what i8601tz returns.
ZB_API uint32_t b8601tz(ifmblock *blk) { return read_basic_time<true>(blk, i8601tz); }

// b8601da: yyyymmdd, yyyymm, yyyy, yyyy-mm-dd or yyyy-mm; whatever follows an
// upper-case 'T' is ignored, as is anything after the eighth character of a
// date without '-'. Missing month and day are 01. Stores the host date.
// Returns 0, 0x8001d819 for a date part of a bad shape, or what i8601da returns.
ZB_API uint32_t b8601da(ifmblock *blk) {
  const char *text;
  int32_t n;
  if (!take_field(blk, &text, &n)) return 0;
  uint32_t rc;
  if (direct_date(blk, text, n, &rc) == Direct::kDone) return rc;
  return rewrite_basic_date(blk, text, n);
}

// b8601dn: the forms of b8601da; stores the host datetime of that date's
// midnight. Returns what b8601da returns; a missing value is left unscaled.
ZB_API uint32_t b8601dn(ifmblock *blk) {
  uint32_t rc = b8601da(blk);
  if (rc != 0) return rc;
  const double date = zb_load(blk->target);
  if (!ifm_is_missing(date)) zb_store(blk->target, date * kDay);
  return 0;
}

// b8601dt: yyyymmddThhmmss with the dates of b8601da and the times of b8601tm
// ('t' serves as well); 2011-09-09T12:30:45 is read as it stands. Stores the
// host datetime. Returns 0, 0x8001d819 for a bad basic text, or what i8601dt
// returns.
ZB_API uint32_t b8601dt(ifmblock *blk) {
  return read_basic_datetime<Separator::kRequired, false>(blk, i8601dt);
}

// b8601dz: as b8601dt, closed by Z or a sign and four digits. Stores the host
// datetime at GMT. Returns 0, 0x8001d819 for a bad basic text or zone, or what
// i8601dz returns.
ZB_API uint32_t b8601dz(ifmblock *blk) {
  return read_basic_datetime<Separator::kRequired, true>(blk, i8601dz);
}

// b8601dj: as b8601dt, but the 'T' may be left out (yyyymmddhhmmss) or stand
// as a blank. Returns as b8601dt.
ZB_API uint32_t b8601dj(ifmblock *blk) {
  return read_basic_datetime<Separator::kOptional, false>(blk, i8601dt);
}

// b8601ci: as b8601dj, but a field that begins with a digit d carries the
// century 19 + d in place of the first two digits of the year (1110909T123045
// is 2011-09-09T12:30:45). Returns as b8601dt, and 0x8001d819 when the
// expanded field would not fit the expansion buffer.
ZB_API uint32_t b8601ci(ifmblock *blk) {
  int32_t len = zb_window(blk);
  if (len == 0 || !zb_isdigit(static_cast<unsigned char>(blk->input[0])))
    return b8601dj(blk);

  // Trailing blanks are dropped from a field too wide for the buffer; the
  // readers trim them anyway.
  if (len + 1 > kExpandSize) len = wzstrip(blk->input, len);
  if (len + 1 > kExpandSize) return IFM_INVALID_DATA;
  char expanded[kExpandSize];
  int32_t century = 19 + (static_cast<unsigned char>(blk->input[0]) - '0');
  expanded[0] = static_cast<char>('0' + century / 10);
  expanded[1] = static_cast<char>('0' + century % 10);
  memcpy(expanded + 2, blk->input + 1, static_cast<size_t>(len - 1));

  ifmblock copy = *blk;
  copy.input = expanded;
  copy.width = len + 1;
  copy.avail = len + 1;
  uint32_t rc = b8601dj(&copy);
  blk->status = copy.status;
  return rc;
}

