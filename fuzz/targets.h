// The fuzz targets: one function per family of routines, each running one
// input through both modules and checking what any input must satisfy.
#pragma once

#include <iterator>
#include <string_view>

#include "harness.h"
#include "support/duration_totals.h"

namespace zbfuzz {

// --- packed entities ---------------------------------------------------------

// The packed bytes of a record by the layout, computed here from the
// record's fields: an independent model of the module's packing. False
// when the record is outside the ranges the layout can hold.
inline bool model_pack(const Record &r, uint8_t out[8]) {
  zbhost::PackedEntity e;
  using Form = zbhost::PackedEntity::Form;
  if (r.absent == 0xFF) {
    zbhost::encode_entity(e, out);
    return true;
  }
  e.negative = r.negative != 0;
  if (r.unit != 0) {
    e.form = Form::kSingleUnit;
    e.unit = r.unit;
    uint64_t count = 0;
    switch (r.unit & ~0x20u) {
      case 1: count = static_cast<uint64_t>(r.month); break;
      case 2: count = static_cast<uint64_t>(r.day); break;
      case 3: count = static_cast<uint64_t>(r.day / 7); break;
      case 4: count = static_cast<uint64_t>(r.hour); break;
      case 8: count = static_cast<uint64_t>(r.minute); break;
      case 16: count = static_cast<uint64_t>(r.second); break;
      default: return false;
    }
    if (r.unit & 0x20u) count = count * 1000 + static_cast<uint64_t>(r.fraction);
    e.count = static_cast<uint32_t>(count);
    zbhost::encode_entity(e, out);
    return true;
  }
  e.form = r.is_datetime ? (r.is_anchor ? Form::kAnchor : Form::kDatetime) : Form::kDuration;
  if (r.is_anchor && !r.is_datetime) return false;  // the layout has no such code
  const int64_t v[7] = {r.year, r.month, r.day, r.hour, r.minute, r.second, r.fraction};
  const int64_t top[7] = {9999, 12, 99, 99, 99, 99, 999};
  int32_t *slot[7] = {&e.year, &e.month, &e.day, &e.hour, &e.minute, &e.second, &e.fraction};
  for (int i = 0; i < 7; ++i) {
    if (r.absent & (0x80u >> i)) continue;
    if (v[i] < 0 || v[i] > top[i]) return false;
    *slot[i] = static_cast<int32_t>(v[i]);
  }
  zbhost::encode_entity(e, out);
  return true;
}

// A record the module packed: its bytes decode and re-encode to themselves,
// they are what the layout gives for the record, and the module's packing
// routine run again on the record gives them again.
inline void check_packed(const Api &api, const Record &r, const char *which, Checker *c) {
  const std::string got = hex_bytes(r.packed, 8);
  zbhost::PackedEntity e;
  std::string why;
  uint8_t model[8];
  const bool in_range = model_pack(r, model);
  if (zbhost::decode_entity(r.packed, &e, &why)) {
    uint8_t again[8];
    zbhost::encode_entity(e, again);
    c->expect(std::memcmp(again, r.packed, 8) == 0,
              std::string(which) + " packed " + got + " re-encodes as " + hex_bytes(again, 8));
  } else {
    c->expect(!in_range, std::string(which) + " packed " + got + " does not decode: " + why);
  }
  if (in_range)
    c->expect(std::memcmp(model, r.packed, 8) == 0,
              std::string(which) + " packed " + got + ", the layout gives " + hex_bytes(model, 8));
  Record copy = r;
  api.convert_to_bcd(&copy);
  c->expect(std::memcmp(copy.packed, r.packed, 8) == 0,
            std::string(which) + " packed " + got + ", packing the record again gives " +
                hex_bytes(copy.packed, 8));
}

inline bool all_ff(const uint8_t *b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0xFF) return false;
  return true;
}

// The mode word an input chooses: the three the readers know, the missing-
// notation test, or anything at all.
inline int32_t mode_from(const Input &in, unsigned pick) {
  switch (pick % 5) {
    case 0: return 0x80;
    case 1: return 0x100;
    case 2: return 0x200;
    case 3: return 0;
    default: return static_cast<int32_t>(uint32_t{in.extra} << 24 | uint32_t{in.tcode} << 8 | in.sel);
  }
}

// The signed length a routine that takes a pointer and a length is given:
// the window, or the negative or zero width itself.
inline int32_t raw_len(const Field &f) {
  const int32_t w = f.width < f.avail ? f.width : f.avail;
  return w;
}

// --- registered readers ------------------------------------------------------------

// The registered readers by their catalog ids.
enum Basic { kDA, kTM, kTZ, kDT, kDZ, kDN, kDJ, kCI };
static_assert(zb_catalog_find("b8601da")->id == kDA && zb_catalog_find("b8601tm")->id == kTM &&
              zb_catalog_find("b8601tz")->id == kTZ && zb_catalog_find("b8601dt")->id == kDT &&
              zb_catalog_find("b8601dz")->id == kDZ && zb_catalog_find("b8601dn")->id == kDN &&
              zb_catalog_find("b8601dj")->id == kDJ && zb_catalog_find("b8601ci")->id == kCI);

// The position in ids of the routine an input's id selects; -1 for none.
template <size_t N>
constexpr int position_of(const int (&ids)[N], int id) {
  for (size_t i = 0; i < N; ++i)
    if (ids[i] == id) return static_cast<int>(i);
  return -1;
}

// A catalog id of a reader registered by either module: -1 for any other.
inline int registered_id(uint8_t sel) {
  const zb_catalog_row *row = zb_catalog_by_id(sel);
  return row && (row->zelbrant.name || row->morvista.name) ? row->id : -1;
}

inline Outcome numeric_call(const Field &f, ifm_reader reader, Checker *c) {
  Call call(f, 8, true);
  Outcome o;
  o.rc = reader(&call.blk);
  o.status = call.blk.status;
  o.target = call.target_bytes();
  call.check_fences(c);
  return o;
}

inline double value_of(const Outcome &o) {
  double d;
  std::memcpy(&d, o.target.data(), 8);
  return d;
}

inline bool untouched(const Outcome &o) {
  uint64_t b;
  std::memcpy(&b, o.target.data(), 8);
  return b == Call::kSentinelBits;
}

inline Field plain_field(std::string_view text) {
  Field f;
  f.width = f.avail = static_cast<int32_t>(text.size());
  f.window = std::string(text);
  return f;
}

// The date part of a basic field rewritten as the readers rewrite it, into
// yyyy-mm-dd; *used is the number of characters it consumes. False when the
// shape is refused.
inline bool rewrite_date(std::string_view t, std::string *out, size_t *used) {
  const size_t tpos = t.find('T');
  const size_t m = tpos == std::string_view::npos ? t.size() : tpos;
  const std::string_view dp = t.substr(0, m);
  const size_t dash = dp.find('-');
  if (dash != std::string_view::npos) {
    if (dash != 4) return false;
    const size_t second = dp.find('-', 5);
    if (!((m == 7 && second == std::string_view::npos) || (m == 10 && second == 7))) return false;
  } else if (!(m == 4 || m == 6 || m >= 8)) {
    return false;
  }
  std::string s(dp.substr(0, 4));
  s += '-';
  size_t cur = 4;
  if (cur >= m) {
    s += "01-01";
  } else {
    if (dp[cur] == '-') ++cur;
    s += dp.substr(cur, 2);
    s += '-';
    cur += 2;
    if (cur >= m) {
      s += "01";
    } else {
      if (dp[cur] == '-') ++cur;
      s += dp.substr(cur, 2);
      cur += 2;
    }
  }
  *out = s;
  *used = dash == std::string_view::npos && m >= 8 ? 8 : cur;
  return true;
}

// A time part of digits alone rewritten into hh:mm:ss[.fff]; false when it
// is not digits alone or has a refused length.
inline bool rewrite_digit_time(std::string_view t, std::string *out) {
  if (!all_digits(t)) return false;
  const size_t n = t.size();
  if (n == 1 || n == 3 || n == 5) return false;
  std::string s;
  if (n == 0) s = "00:00:00";
  else if (n == 2) s = std::string(t) + ":00:00";
  else if (n == 4) s = std::string(t.substr(0, 2)) + ":" + std::string(t.substr(2, 2)) + ":00";
  else {
    s = std::string(t.substr(0, 2)) + ":" + std::string(t.substr(2, 2)) + ":" +
        std::string(t.substr(4, 2));
    if (n > 6) s += "." + std::string(t.substr(6));
  }
  *out = s;
  return true;
}

// A time part of six or more digits closed by a zone (Z or z, or a sign and
// four characters, written as hh:mm) rewritten as the zone readers receive
// it; false for any other time part.
inline bool rewrite_zoned_time(std::string_view t, std::string *out) {
  size_t digits = 0;
  while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9') ++digits;
  if (digits < 6 || digits == t.size()) return false;
  const std::string_view zone = t.substr(digits);
  std::string z;
  if (zone == "Z" || zone == "z") {
    z = std::string(zone);
  } else if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
    z = std::string(zone.substr(0, 3)) + ":" + std::string(zone.substr(3, 2));
  } else {
    return false;
  }
  if (!rewrite_digit_time(t.substr(0, digits), out)) return false;
  *out += z;
  return true;
}

// The basic readers rewrite into a work buffer of this many characters; a
// longer rewriting is theirs to refuse.
constexpr size_t kWorkBuffer = 200;

inline void expect_same(const Outcome &basic, const Outcome &ext, const std::string &how,
                        bool with_status, Checker *c) {
  const bool same = basic.rc == ext.rc && basic.target == ext.target &&
                    (!with_status || basic.status == ext.status);
  c->expect(same, "basic reader " + basic.describe() + " but the extended reader, " +
                      printable(how) + ", " + ext.describe());
}

// What a basic reader did, against the extended reader on the text it
// hands on, wherever that text can be told from outside.
inline void check_basic_agreement(const Api &a, int r, const Field &f, const Outcome &o,
                                  Checker *c) {
  if (missing_notation(f.window)) {
    c->expect(o.rc == 0 && o.status == 8 && ifm_is_missing(value_of(o)),
              "missing notation gives " + o.describe());
    return;
  }
  const std::string_view t = trimmed(f.window);
  const bool colon = t.find(':') != std::string_view::npos;
  if (r == kTM || r == kTZ) {
    ifm_reader ext = r == kTM ? a.i8601tm : a.i8601tz;
    if (colon) {
      expect_same(o, numeric_call(f, ext, c), "on the same field", true, c);
      return;
    }
    if (t.size() == 1 || t.size() == 3 || t.size() == 5) {
      c->expect(o.rc == IFM_INVALID_DATA && untouched(o), "length 1, 3 or 5: " + o.describe());
      return;
    }
    std::string iso;
    const bool told = r == kTM ? rewrite_digit_time(t, &iso) : rewrite_zoned_time(t, &iso);
    if (told && iso.size() <= kWorkBuffer)
      expect_same(o, numeric_call(plain_field(iso), ext, c), "on " + iso, false, c);
    return;
  }
  if (r == kDA) {
    const size_t tpos = t.find('T');
    std::string iso;
    size_t used = 0;
    if (!rewrite_date(t.substr(0, tpos == std::string_view::npos ? t.size() : tpos), &iso, &used)) {
      c->expect(o.rc == IFM_INVALID_DATA && untouched(o), "a refused date shape: " + o.describe());
      return;
    }
    expect_same(o, numeric_call(plain_field(iso), a.i8601da, c), "on " + iso, true, c);
    return;
  }
  if (r == kDN) {
    const Outcome da = numeric_call(f, a.b8601da, c);
    Outcome scaled = da;
    if (da.rc == 0 && !ifm_is_missing(value_of(da)) && !untouched(da)) {
      const double v = value_of(da) * 86400;
      std::memcpy(scaled.target.data(), &v, 8);
    }
    expect_same(o, scaled, "the basic date reader times 86400", true, c);
    return;
  }
  // Datetimes.
  if (r == kCI) {
    const unsigned char first = f.window.empty() ? 0 : static_cast<unsigned char>(f.window[0]);
    if (!(first >= '0' && first <= '9'))
      expect_same(o, numeric_call(f, a.b8601dj, c), "as B8601DJ (no century digit)", true, c);
    return;
  }
  ifm_reader ext = r == kDZ ? a.i8601dz : a.i8601dt;
  const size_t d = t.find('-'), tp = t.find('T');
  const bool dash = d != std::string_view::npos;
  if (dash && colon && (tp != std::string_view::npos ? d < tp : d >= 6)) {
    expect_same(o, numeric_call(f, ext, c), "on the same field", true, c);
    return;
  }
  std::string date;
  size_t used = 0;
  const size_t tpos = t.find('T');
  if (!rewrite_date(t.substr(0, tpos == std::string_view::npos ? t.size() : tpos), &date, &used)) {
    c->expect(o.rc == IFM_INVALID_DATA && untouched(o), "a refused date shape: " + o.describe());
    return;
  }
  std::string_view rest = t.substr(used);
  if (!rest.empty() && (rest[0] == 'T' || rest[0] == 't')) {
    rest.remove_prefix(1);
  } else if (!rest.empty() && r != kDJ) {
    c->expect(o.rc == IFM_INVALID_DATA && untouched(o), "no T after the date: " + o.describe());
    return;
  }
  std::string time;
  const bool told = r == kDZ ? rewrite_zoned_time(trimmed(rest), &time)
                             : rewrite_digit_time(trimmed(rest), &time);
  if (!told) return;  // not told from outside here
  const std::string iso = date + "T" + time;
  if (iso.size() > kWorkBuffer) return;  // the reader's own limit
  expect_same(o, numeric_call(plain_field(iso), ext, c), "on " + iso, false, c);
}

inline void check_value_round_trip(const Api &a, int r, double v, Checker *c) {
  switch (r) {
    case kDA: check_round_trip(a.i8601da, date_text(v), v, c); break;
    case kDN: check_round_trip(a.i8601dn, date_text(v / 86400), v, c); break;
    case kTM: check_round_trip(a.i8601tm, time_text(v), v, c); break;
    case kTZ: {
      const std::string t = time_text(v);
      if (!t.empty()) check_round_trip(a.i8601tz, t + "Z", v, c);
      break;
    }
    case kDZ: {
      const std::string t = datetime_text(v);
      if (!t.empty()) check_round_trip(a.i8601dz, t + "Z", v, c);
      break;
    }
    default: check_round_trip(a.i8601dt, datetime_text(v), v, c); break;
  }
}

inline void run_basic(Env &env, const Input &in, Checker *c) {
  const int r = registered_id(in.sel);
  if (r < 0) return;
  const Field f = make_field(in, in.text);
  c->context = std::string(zb_catalog_by_id(r)->routine) + " '" + printable(f.window) + "' w=" +
               std::to_string(f.width) + " a=" + std::to_string(f.avail);
  Outcome o[2];
  for (int m = 0; m < 2; ++m) o[m] = numeric_call(f, env.api[m].numeric_by_id(r), c);
  compare_modules(o[0], o[1], c);
  const double v = value_of(o[0]);
  if (o[0].rc == 0 && !ifm_is_missing(v) && !untouched(o[0]))
    check_value_round_trip(env.api[0], r, v, c);
  if (f.width > 0 && f.avail > 0) check_basic_agreement(env.api[0], r, f, o[0], c);
}

// --- extended readers ------------------------------------------------------------------

inline void run_extended(Env &env, const Input &in, Checker *c) {
  // The catalog ids of the extended readers, then the routines of other
  // shapes from 0x80; only ever appended to.
  static constexpr int kIds[12] = {8, 9, 10, 11, 12, 13, 14, 0x80, 0x81, 0x82, 0x83, 0x84};
  const int r = position_of(kIds, in.sel);
  if (r < 0) return;
  const Field f = make_field(in, in.text);
  static const char *const kNames[12] = {"i8601tm", "i8601tz", "i8601lz", "i8601da",
                                         "i8601dn", "i8601dt", "i8601dz", "i8601_time",
                                         "i8601_datetime", "date_ok", "read2digs",
                                         "get_time_offset"};
  c->context = std::string(kNames[r]) + " '" + printable(f.window) + "' w=" +
               std::to_string(f.width) + " a=" + std::to_string(f.avail);
  const int32_t flag = static_cast<int8_t>(in.extra);
  Outcome o[2];
  for (int m = 0; m < 2; ++m) {
    const Api &a = env.api[m];
    Call call(f, 8, true);
    Outcome &out = o[m];
    switch (r) {
      case 0: out.rc = a.i8601tm(&call.blk); break;
      case 1: out.rc = a.i8601tz(&call.blk); break;
      case 2: out.rc = a.i8601lz(&call.blk); break;
      case 3: out.rc = a.i8601da(&call.blk); break;
      case 4: out.rc = a.i8601dn(&call.blk); break;
      case 5: out.rc = a.i8601dt(&call.blk); break;
      case 6: out.rc = a.i8601dz(&call.blk); break;
      case 7: out.rc = a.i8601_time(&call.blk, flag); break;
      case 8: out.rc = a.i8601_datetime(&call.blk, flag); break;
      case 9: out.rc = static_cast<uint32_t>(a.date_ok(call.field(), raw_len(f))); break;
      case 10: {
        const char *cur = call.field();
        const int32_t left0 = raw_len(f);
        int32_t left = left0, result = -7;
        out.rc = static_cast<uint32_t>(a.read2digs(&cur, &left, &result));
        const int32_t moved = static_cast<int32_t>(cur - call.field());
        c->expect(moved == (left0 >= 2 ? 2 : 0) && left == left0 - moved,
                  "cursor moved " + std::to_string(moved) + ", count left " + std::to_string(left));
        if (out.rc == 0)
          c->expect(result >= 0 && result <= 99 && all_digits(f.window.substr(0, 2)),
                    "read2digs 0 with " + std::to_string(result));
        out.extra = std::to_string(moved) + "," + std::to_string(left) + "," +
                    std::to_string(result);
        break;
      }
      default: {
        ifmblock work;
        std::memset(&work, 0, sizeof work);
        int32_t offset = 0x5A5A5A5A;
        out.rc = a.get_time_offset(flag & 1, &call.blk, &work, &offset);
        const char *lo = call.field(), *hi = call.field() + f.window.size();
        if (out.rc == 0)
          c->expect(work.input >= lo && work.input <= hi, "the working block points outside the field");
        out.extra = std::to_string(offset) + "," + std::to_string(work.width) + "," +
                    std::to_string(work.input - lo);
        break;
      }
    }
    out.status = call.blk.status;
    out.target = call.target_bytes();
    call.check_fences(c);
  }
  compare_modules(o[0], o[1], c);
  const double v = value_of(o[0]);
  if (r > 8 || o[0].rc != 0 || ifm_is_missing(v) || untouched(o[0])) return;
  const Api &a = env.api[0];
  switch (r) {
    case 0: case 7: check_round_trip(a.i8601tm, time_text(v), v, c); break;
    case 1: case 2: {
      const std::string t = time_text(v);
      if (!t.empty()) check_round_trip(a.i8601tz, t + "Z", v, c);
      break;
    }
    case 3: check_round_trip(a.i8601da, date_text(v), v, c); break;
    case 4: check_round_trip(a.i8601dn, date_text(v / 86400), v, c); break;
    case 6: {
      const std::string t = datetime_text(v);
      if (!t.empty()) check_round_trip(a.i8601dz, t + "Z", v, c);
      break;
    }
    default: check_round_trip(a.i8601dt, datetime_text(v), v, c); break;
  }
}

// --- calendar routines -----------------------------------------------------------------

inline void run_calendar(Env &env, const Input &in, Checker *c) {
  static constexpr int kIds[3] = {15, 16, 0x80};  // catalog ids, then zifmgmd
  const int r = position_of(kIds, in.sel);
  if (r < 0) return;
  const Field f = make_field(in, in.text);
  static const char *const kNames[3] = {"zifmymd", "zifmtim", "zifmgmd"};
  c->context = std::string(kNames[r]) + " '" + printable(f.window) + "' w=" +
               std::to_string(f.width) + " a=" + std::to_string(f.avail);
  Outcome o[2];
  for (int m = 0; m < 2; ++m) {
    const Api &a = env.api[m];
    Call call(f, 8, true);
    call.blk.flags = in.extra & 1u;
    call.blk.decimals = static_cast<int8_t>(in.tcode);
    if (in.extra & 2u) call.blk.task = env.host->current_task();
    switch (r) {
      case 0: o[m].rc = a.zifmymd(&call.blk); break;
      case 1: o[m].rc = a.zifmtim(&call.blk); break;
      default: {
        double parts[3] = {-1, -1, -1};
        const int32_t len = f.window_len();
        o[m].rc = static_cast<uint32_t>(a.zifmgmd(env.host->current_task(), call.field(),
                                                  (in.extra & 4u) ? -len : len, &parts[0],
                                                  &parts[1], &parts[2]));
        o[m].extra = hex_bytes(parts, sizeof parts);
        break;
      }
    }
    o[m].status = call.blk.status;
    o[m].target = call.target_bytes();
    call.check_fences(c);
  }
  compare_modules(o[0], o[1], c);
}

// --- scanner and intervals -------------------------------------------------------------

inline std::string record_bytes(const Record &r) {
  return std::string(reinterpret_cast<const char *>(&r), offsetof(Record, pad));
}

// A datetime the scanner read without a zone offset, to the second, minute
// or hour: the time reader takes the same text to the same instant, within a
// thousandth of the unit the fraction belongs to (the scanner keeps
// thousandths, the time reader every digit).
inline void check_time_agreement(const Api &a, const Field &f, const Record &r, Checker *c) {
  if (!r.is_datetime || raw_len(f) != f.window_len()) return;
  const size_t t = f.window.find('T');
  if (t == std::string::npos || f.window.find_first_of("+-Zz", t) != std::string::npos) return;
  // A component of other than two digits ("21:001") is no extended time; the
  // scanner and the time reader part such texts differently (both lenient).
  if (f.window.find(':', t) != std::string::npos) {
    size_t run = 0;
    for (size_t i = t + 1; i < f.window.size() && f.window[i] != '.' && f.window[i] != ','; ++i) {
      if (f.window[i] == ':') {
        if (run != 2) return;
        run = 0;
      } else if (f.window[i] >= '0' && f.window[i] <= '9') {
        ++run;
      } else {
        break;
      }
    }
    if (run != 0 && run != 2) return;
  }
  double unit;
  if (!(r.absent & 0x04))
    unit = 1;
  else if (!(r.absent & 0x08))
    unit = 60;
  else if (!(r.absent & 0x10))
    unit = 3600;
  else
    return;
  const Outcome o = numeric_call(plain_field(f.window), a.i8601dt, c);
  if (o.rc != 0 || untouched(o) || ifm_is_missing(value_of(o))) return;
  const double v = value_of(o);
  // A thousandth at most: a fraction that would round to 1000 is kept as
  // 999, a whole thousandth below; and the doubles' own rounding beside it.
  const double slack = 4 * std::numeric_limits<double>::epsilon() * std::fabs(v);
  c->expect(std::fabs(r.datetime - v) <= 0.001 * unit + slack,
            "entity " + std::to_string(r.datetime) + " against i8601dt " + std::to_string(v));
}

// A duration that read: its packed entity stands for the amount its text
// does, total months and total seconds to the thousandth (days folded into
// 30-day months unless they are kept). Checked on designator texts with a
// fraction of at most three digits, whose amount is exact.
inline void check_amount(const Field &f, const Record &r, int32_t keep, Checker *c) {
  if (r.is_datetime || r.absent == 0xFF || raw_len(f) != f.window_len()) return;
  const size_t from = f.window.find_first_not_of(' ');
  if (from == std::string::npos) return;
  const std::string text = f.window.substr(from, f.window.find_last_not_of(' ') + 1 - from);
  zbtest::DurationTotals want, got;
  if (!zbtest::text_totals(text, &want)) return;
  if (r.unit == 0 && (r.day > 99 || r.month > 14)) return;  // kept days beyond the digits
  zbhost::PackedEntity e;
  if (!zbhost::decode_entity(r.packed, &e) || !zbtest::packed_totals(e, &got)) {
    c->fail("duration packed " + hex_bytes(r.packed, 8) + " does not decode");
    return;
  }
  c->expect(zbtest::same_amount(want, got, keep == 0),
            "duration packed " + hex_bytes(r.packed, 8) + " (" + zbhost::entity_text(e) +
                ") is not the amount of its text");
}

// A datetime that read: its packed components are a date and time of the
// calendar, and a complete one is the GMT date and time of its value (the
// zone applied, a fraction of the second below the second).
inline void check_valid_datetime(const Record &r, Checker *c) {
  zbhost::PackedEntity e;
  if (!r.is_datetime || r.absent == 0xFF || !zbhost::decode_entity(r.packed, &e)) return;
  const std::string got = hex_bytes(r.packed, 8) + " (" + zbhost::entity_text(e) + ")";
  const int64_t year = e.year >= 0 ? e.year : 2000;  // a leap year admits every day
  c->expect(e.year < 0 || (e.year >= 1582 && e.year <= 9999), "year of " + got);
  c->expect(e.month != 0, "month 0 in " + got);
  const unsigned month = e.month > 0 ? static_cast<unsigned>(e.month) : 1;
  c->expect(e.day != 0 && e.day <= static_cast<int32_t>(zbhost::cal::last_day(year, month)),
            "day of " + got);
  c->expect(e.hour <= 23 && e.minute <= 59 && e.second <= 59, "time of " + got);
  if (e.year < 0 || e.month < 0 || e.day < 0 || e.hour < 0 || e.minute < 0 || e.second < 0 ||
      !(std::fabs(r.datetime) < 1e15))
    return;
  const double days = std::floor(r.datetime / 86400.0);
  const auto civil = zbhost::cal::civil_from_days(static_cast<int64_t>(days));
  const auto secs = static_cast<int64_t>(std::floor(r.datetime - days * 86400.0));
  c->expect(civil.year == e.year && civil.month == static_cast<unsigned>(e.month) &&
                civil.day == static_cast<unsigned>(e.day) && secs / 3600 == e.hour &&
                secs / 60 % 60 == e.minute && secs % 60 == e.second,
            got + " is not the instant " + std::to_string(r.datetime));
}

inline void run_scanner(Env &env, const Input &in, Checker *c) {
  const int32_t mode = mode_from(in, in.sel);
  const int32_t keep = (in.sel >> 3) & 1;
  const Field f = make_field(in, in.text);
  c->context = "read_date_or_duration '" + printable(f.window) + "' len=" +
               std::to_string(raw_len(f)) + " mode=" + std::to_string(mode) +
               " keep=" + std::to_string(keep);
  Outcome o[2];
  Record rec[2];
  for (int m = 0; m < 2; ++m) {
    Call call(f, 0, false);
    std::memset(&rec[m], 0xCC, sizeof rec[m]);
    o[m].rc = static_cast<uint32_t>(
        env.api[m].read_date_or_duration(call.field(), raw_len(f), &rec[m], mode, keep));
    o[m].extra = record_bytes(rec[m]);
    call.check_fences(c);
  }
  compare_modules(o[0], o[1], c);
  // A problem leaves the missing entity packed, whatever the record holds.
  if (o[0].rc != 0)
    c->expect(all_ff(rec[0].packed, 8), "problem " + std::to_string(o[0].rc) + " but packed " +
                                            hex_bytes(rec[0].packed, 8));
  else
    check_packed(env.api[0], rec[0], "the entity", c);
  if (o[0].rc != 0) return;
  check_time_agreement(env.api[0], f, rec[0], c);
  check_amount(f, rec[0], keep, c);
  check_valid_datetime(rec[0], c);
}

// Host datetime in whole thousandths, as the packed form keeps it.
// The missing value, and anything beyond a date, give INT64_MIN.
inline int64_t thousandths_of(double datetime) {
  const double t = std::floor(datetime * 1000.0 + 0.5);
  return t > -9e18 && t < 9e18 ? static_cast<int64_t>(t) : INT64_MIN;
}

// A duration that derivation re-derived (the text's own normalised with days
// kept) takes the start to the end by compute_end and the end back to the
// start by compute_start, exactly; after its start, the end is also where the
// text's duration reaches.
inline void check_round_trip(const Api &a, const std::string &window, int32_t mode,
                             const Record &first, const Record &second, Checker *c) {
  if (first.is_datetime == second.is_datetime) return;
  const bool forward = first.is_datetime != 0;
  const Record &anchor = forward ? first : second, &dur = forward ? second : first;
  // The anchor's components must state its instant: not so without a year,
  // nor for a fraction of a larger unit than the second.
  if (dur.unit != 0 || dur.absent == 0xFF || (anchor.absent & 0x80) ||
      (anchor.fraction != 0 && (anchor.absent & 0x04)))
    return;
  const size_t slash = window.find('/');
  if (slash == std::string::npos) return;
  std::string part = forward ? window.substr(slash + 1) : window.substr(0, slash);
  part.erase(0, std::min(part.find_first_not_of(' '), part.size()));
  Record raw;
  if (a.read_date_or_duration(part.data(), static_cast<int32_t>(part.size()), &raw, mode, 1) != 0 ||
      !raw.days_kept)
    return;
  Record start, end;
  if (forward) {
    start = anchor;
    if (a.compute_end(&start, &dur, &end) != 0 || end.absent == 0xFF) return;
    Record reached;
    if (!raw.negative && a.compute_end(&start, &raw, &reached) == 0 && reached.absent != 0xFF)
      c->expect(thousandths_of(reached.datetime) == thousandths_of(end.datetime),
                "the re-derived duration ends elsewhere than the text's");
  } else {
    end = anchor;
    if (a.compute_start(&dur, &end, &start) != 0 || start.absent == 0xFF) return;
  }
  Record back;
  c->expect(a.compute_end(&start, &dur, &back) == 0 &&
                thousandths_of(back.datetime) == thousandths_of(end.datetime),
            "start + the re-derived duration is not the end");
  c->expect(a.compute_start(&dur, &end, &back) == 0 &&
                thousandths_of(back.datetime) == thousandths_of(start.datetime),
            "end - the re-derived duration is not the start");
}

inline void run_interval(Env &env, const Input &in, Checker *c) {
  const int32_t mode = mode_from(in, in.sel);
  const Field f = make_field(in, in.text);
  c->context = "derive_interval '" + printable(f.window) + "' len=" + std::to_string(raw_len(f)) +
               " mode=" + std::to_string(mode);
  Outcome o[2];
  Record first[2], second[2];
  for (int m = 0; m < 2; ++m) {
    Call call(f, 0, false);
    std::memset(&first[m], 0xCC, sizeof first[m]);
    std::memset(&second[m], 0xCC, sizeof second[m]);
    o[m].rc = static_cast<uint32_t>(
        env.api[m].derive_interval(call.field(), raw_len(f), &first[m], &second[m], mode));
    o[m].extra = hex_bytes(first[m].packed, 8) + hex_bytes(second[m].packed, 8);
    call.check_fences(c);
  }
  compare_modules(o[0], o[1], c);
  if (o[0].rc != 0) {
    c->expect(all_ff(first[0].packed, 8) && all_ff(second[0].packed, 8),
              "problem " + std::to_string(o[0].rc) + " but packed " + o[0].extra);
    return;
  }
  check_packed(env.api[0], first[0], "the first part", c);
  check_packed(env.api[0], second[0], "the second part", c);
  if (raw_len(f) == f.window_len()) check_round_trip(env.api[0], f.window, mode, first[0], second[0], c);
}

// --- entity informats ------------------------------------------------------------------

inline bool is_hex_digit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
}

inline void run_entity(Env &env, const Input &in, Checker *c) {
  static constexpr int kIds[3] = {17, 18, 19};  // catalog ids
  const int r = position_of(kIds, in.sel);
  if (r < 0) return;
  // The mode word as mode_from picks it, by the extra byte (the first byte
  // is the reader's id); any other word has that byte at both ends.
  const int32_t mode = in.extra % 5 == 4 ? static_cast<int32_t>(uint32_t{in.extra} << 24 |
                                                                uint32_t{in.tcode} << 8 | in.extra)
                                         : mode_from(in, in.extra);
  const int32_t tl = target_len_from_code(in.tcode);
  const Field f = make_field(in, in.text);
  static const char *const kNames[3] = {"is8601dui", "is8601pdi", "is8601vli"};
  c->context = std::string(kNames[r]) + " '" + printable(f.window) + "' w=" +
               std::to_string(f.width) + " a=" + std::to_string(f.avail) + " tl=" +
               std::to_string(tl) + " mode=" + std::to_string(mode);
  const int32_t need = r == 2 ? 32 : 16;
  constexpr uint32_t kStatusBefore = 0xDEADu;
  Outcome o[2];
  for (int m = 0; m < 2; ++m) {
    const Api &a = env.api[m];
    Call call(f, tl, false);
    call.blk.status = kStatusBefore;
    env.host->clear_log();
    switch (r) {
      case 0: o[m].rc = a.is8601dui(&call.blk, mode); break;
      case 1: o[m].rc = a.is8601pdi(&call.blk, mode); break;
      default: o[m].rc = a.is8601vli(&call.blk, mode); break;
    }
    o[m].status = call.blk.status;
    o[m].target = call.target_bytes();
    o[m].log = env.host->log();
    call.check_fences(c);
  }
  env.host->clear_log();
  compare_modules(o[0], o[1], c);
  const Outcome &z = o[0];
  const std::string blank(z.target.size(), static_cast<char>(kCanary));
  if (tl < need) {
    c->expect(z.rc == 22 && z.target == blank && z.status == kStatusBefore && z.log.size() == 1,
              "a short target gives " + z.describe());
    return;
  }
  c->expect(z.status == static_cast<uint32_t>(need), "status " + std::to_string(z.status));
  c->expect(z.log.empty(), "a log line for a problem of the text");
  c->expect(z.target.compare(static_cast<size_t>(need), std::string::npos, blank, 0,
                             blank.size() - static_cast<size_t>(need)) == 0,
            "written beyond " + std::to_string(need) + " characters");
  const std::string digits = z.target.substr(0, static_cast<size_t>(need));
  if (digits == blank.substr(0, static_cast<size_t>(need))) {
    c->expect(r != 2, "the interval reader wrote nothing");
    if (r == 0 && z.rc == 0 && missing_notation(f.window) && mode != 0x200)
      c->fail("a blank field written nowhere by is8601dui");
    return;
  }
  c->expect(z.rc == 0 || r == 2, "problem " + std::to_string(z.rc) + " and a written target");
  bool hex = true;
  for (char ch : digits) hex = hex && is_hex_digit(ch);
  c->expect(hex, "the target holds " + printable(digits));
  if (!hex) return;
  for (int part = 0; part < need / 16; ++part) {
    uint8_t b[8];
    zbhost::parse_hex(std::string_view(digits).substr(static_cast<size_t>(16 * part), 16), b, 8);
    zbhost::PackedEntity e;
    std::string why;
    if (!zbhost::decode_entity(b, &e, &why)) {
      c->fail("wrote " + digits + ", which does not decode: " + why);
      continue;
    }
    uint8_t again[8];
    zbhost::encode_entity(e, again);
    c->expect(std::memcmp(again, b, 8) == 0, "wrote " + digits + ", re-encoded " + hex_bytes(again, 8));
    using Form = zbhost::PackedEntity::Form;
    if (r == 0)
      c->expect(e.form != Form::kDatetime && e.form != Form::kAnchor, "a datetime from is8601dui");
    if (r == 1)
      c->expect(e.form == Form::kDatetime || e.form == Form::kMissing, "no datetime from is8601pdi");
  }
  if (r == 2 && z.rc != 0)
    c->expect(digits == std::string(32, 'F'), "problem " + std::to_string(z.rc) + " but " + digits);
}

// --- problem diagnostics ----------------------------------------------------------------

inline void run_prob(Env &env, const Input &in, Checker *c) {
  const int32_t fill = (in.sel & 1) ? 1 : static_cast<int8_t>(in.sel) >> 1;
  const int32_t code = in.extra <= 40 ? in.extra
                                      : static_cast<int32_t>(in.extra * 0x9E3779B1u ^
                                                             uint32_t{in.tcode} << 8);
  const int32_t tl = target_len_from_code(in.tcode);
  const Field f = make_field(in, in.text);
  c->context = "n8601prob '" + printable(f.window) + "' w=" + std::to_string(f.width) + " a=" +
               std::to_string(f.avail) + " tl=" + std::to_string(tl) + " fill=" +
               std::to_string(fill) + " code=" + std::to_string(code);
  constexpr uint32_t kStatusBefore = 0xDEADu;
  Outcome o[2];
  for (int m = 0; m < 2; ++m) {
    Call call(f, tl, false);
    call.blk.status = kStatusBefore;
    env.host->clear_log();
    o[m].rc = env.api[m].n8601prob(&call.blk, fill, code);
    o[m].status = call.blk.status;
    o[m].target = call.target_bytes();
    o[m].log = env.host->log();
    call.check_fences(c);
  }
  env.host->clear_log();
  // The two modules keep separate markers, so the once-only codes may log
  // in one and not in the other; everything else must agree.
  if (code != 22 && code != 24) compare_modules(o[0], o[1], c);
  const Outcome &z = o[0];
  const std::string blank(z.target.size(), static_cast<char>(kCanary));
  if (code == 0) {
    c->expect(z.rc == 0 && z.status == kStatusBefore && z.target == blank && z.log.empty(),
              "code 0 did something: " + z.describe());
    return;
  }
  c->expect(z.rc == IFM_PROBLEM, "rc " + std::to_string(z.rc));
  const int32_t n = f.width < tl ? f.width : tl;
  const size_t filled = n > 0 ? static_cast<size_t>(n) : 0;
  const std::string want = std::string(filled, fill == 1 ? '*' : 'F') + blank.substr(filled);
  c->expect(z.target == want, "target " + printable(z.target) + " for n=" + std::to_string(n));
  if (n >= 0) c->expect(z.status == static_cast<uint32_t>(n), "status " + std::to_string(z.status));
  if (code == 22 || code == 24)
    c->expect(z.log.size() <= 1, "more than one line");
  else
    c->expect(z.log.size() == 1, std::to_string(z.log.size()) + " log lines with diagnostics on");
}

// --- string routines --------------------------------------------------------------------

inline void run_strings(Env &env, const Input &in, Checker *c) {
  const int r = in.sel % 9;
  const Field f = make_field(in, in.text);
  const int32_t len = raw_len(f);
  static const char *const kNames[9] = {"vzsntl", "wzstnot", "wzstpos", "vzstl", "wzstlen",
                                        "wzstrip", "wzbcup", "wzstjls", "wzclchr"};
  c->context = std::string(kNames[r]) + " '" + printable(f.window) + "' len=" + std::to_string(len);
  const std::string_view w = f.window;
  const int32_t key = (in.sel & 0x80) ? static_cast<int32_t>(uint32_t{in.tcode} << 8 | in.extra)
                                      : in.extra;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>((i * 7 + in.tcode) % 5 == 0);
  const char *codes = "nLRClrc?";
  const int32_t jcode = codes[in.extra % 8];
  Outcome o[2];
  for (int m = 0; m < 2; ++m) {
    const Api &a = env.api[m];
    Field field = f;
    if (r == 4) field.window += '\0';
    Call call(field, 0, false);
    int64_t expect = -2;  // the answer by the routine's definition, where simple
    switch (r) {
      case 0: {
        o[m].rc = static_cast<uint32_t>(a.vzsntl(call.field(), len, key));
        expect = -1;
        for (size_t i = 0; i < w.size(); ++i)
          if (static_cast<unsigned char>(w[i]) != static_cast<uint32_t>(key)) {
            expect = static_cast<int64_t>(i);
            break;
          }
        break;
      }
      case 1: case 2: {
        o[m].rc = static_cast<uint32_t>(r == 1 ? a.wzstnot(call.field(), len, key)
                                               : a.wzstpos(call.field(), len, key));
        expect = -1;
        for (size_t i = 0; i < w.size(); ++i)
          if ((static_cast<unsigned char>(w[i]) == (key & 0xFF)) == (r == 2)) {
            expect = static_cast<int64_t>(i);
            break;
          }
        break;
      }
      case 3: {
        o[m].rc = static_cast<uint32_t>(a.vzstl(call.field(), len, table));
        expect = -1;
        for (size_t i = 0; i < w.size(); ++i)
          if (table[static_cast<unsigned char>(w[i])]) {
            expect = static_cast<int64_t>(i);
            break;
          }
        break;
      }
      case 4:
        o[m].rc = static_cast<uint32_t>(a.wzstlen(call.field()));
        expect = static_cast<int64_t>(std::strlen(field.window.c_str()));
        break;
      case 5: {
        o[m].rc = static_cast<uint32_t>(a.wzstrip(call.field(), len));
        expect = len <= 0 ? len : static_cast<int64_t>(trimmed("x" + std::string(w)).size()) - 1;
        break;
      }
      case 6: {
        // Two fields: the window's halves, each against its own guard page.
        const size_t half = w.size() / 2;
        Fenced x(w.substr(0, half)), y(w.substr(half, half));
        const int32_t n = len < 0 ? len : static_cast<int32_t>(half);
        const int32_t ab = a.wzbcup(x.data(), y.data(), n), ba = a.wzbcup(y.data(), x.data(), n);
        c->expect(ab == -ba, "not antisymmetric: " + std::to_string(ab) + " " + std::to_string(ba));
        if (w.substr(0, half) == w.substr(half, half) || n <= 0)
          c->expect(ab == 0, "equal bytes compare " + std::to_string(ab));
        o[m].rc = static_cast<uint32_t>(ab);
        break;
      }
      case 7: {
        int32_t out_len = -9, out_off = -9;
        std::string before(w);
        a.wzstjls(call.field(), len, jcode, &out_len, &out_off);
        const std::string after(call.field(), w.size());
        const std::string_view text = trimmed(before);
        if (len <= 0 || text.empty()) {
          c->expect(out_len == 0 && out_off == 0, "empty: " + std::to_string(out_len) + "," +
                                                       std::to_string(out_off));
        } else {
          c->expect(out_len == static_cast<int32_t>(text.size()) && out_off >= 0 &&
                        out_off + out_len <= len &&
                        std::string_view(after).substr(static_cast<size_t>(out_off),
                                                       static_cast<size_t>(out_len)) == text &&
                        trimmed(after) == text,
                    "justified as " + printable(after) + " " + std::to_string(out_len) + "," +
                        std::to_string(out_off));
        }
        if (jcode == 'n' || jcode == '?')
          c->expect(after == before, "a measuring call moved the text");
        o[m].extra = after + std::to_string(out_len) + "," + std::to_string(out_off);
        break;
      }
      default: {
        int64_t value = 0;
        std::memcpy(&value, w.data(), w.size() < 8 ? w.size() : 8);
        if (in.extra & 1) value >>= in.extra % 64;
        const int32_t flen = len > 64 ? 64 : len;
        Call out(plain_field(""), flen, false);
        o[m].rc = a.wzclchr(value, out.target(), flen);
        o[m].target = out.target_bytes();
        out.check_fences(c);
        const std::string digits = std::to_string(value);
        if (flen <= 0) {
          c->expect(o[m].rc == IFM_NO_FIT, "no room but rc " + std::to_string(o[m].rc));
        } else if (digits.size() > static_cast<size_t>(flen)) {
          c->expect(o[m].rc == IFM_NO_FIT && o[m].target == std::string(static_cast<size_t>(flen), '*'),
                    "no fit: " + printable(o[m].target));
        } else {
          c->expect(o[m].rc == 0 && o[m].target == std::string(static_cast<size_t>(flen) - digits.size(), ' ') + digits,
                    std::to_string(value) + " written as '" + printable(o[m].target) + "'");
        }
        break;
      }
    }
    if (r != 7) call.check_fences(c);
    if (expect != -2)
      c->expect(static_cast<int32_t>(o[m].rc) == expect,
                "gives " + std::to_string(static_cast<int32_t>(o[m].rc)) + ", not " +
                    std::to_string(expect));
  }
  compare_modules(o[0], o[1], c);
}

// --- dispatch ----------------------------------------------------------------------------

// Every target under its name, in the order of fuzz/targets.txt.
struct TargetRow {
  const char *name;
  void (*run)(Env &, const Input &, Checker *);
};
inline constexpr TargetRow kTargets[] = {
    {"basic", run_basic},       {"extended", run_extended}, {"calendar", run_calendar},
    {"scanner", run_scanner},   {"interval", run_interval}, {"entity", run_entity},
    {"prob", run_prob},         {"strings", run_strings},
};
inline constexpr int kTargetCount = static_cast<int>(std::size(kTargets));

// The index of the target called name; -1 when there is none.
inline int target_index(std::string_view name) {
  for (int t = 0; t < kTargetCount; ++t)
    if (name == kTargets[t].name) return t;
  return -1;
}

inline const char *target_name(int t) { return t >= 0 && t < kTargetCount ? kTargets[t].name : "?"; }

inline void run_target(int target, Env &env, const uint8_t *data, size_t size, Checker *c) {
  if (target < 0 || target >= kTargetCount) {
    c->fail("no fuzz target " + std::to_string(target));
    return;
  }
  kTargets[target].run(env, parse_input(data, size), c);
}

}  // namespace zbfuzz
