#include "entity_text.h"

#include <cstdio>
#include <cstring>

namespace zbhost {

namespace {

using Form = PackedEntity::Form;

// The sign code that replaces a negative duration's first byte: for the
// year's first two digits i (0-99), the i-th byte value in ascending order
// whose two hexadecimal digits are not both decimal; 0xFE for an absent year
// (i = 100).
uint8_t sign_code(int i) {
  if (i >= 100) return 0xFE;
  if (i < 60) return static_cast<uint8_t>((i / 6) << 4 | (0xA + i % 6));
  return static_cast<uint8_t>(0xA0 + (i - 60));
}

// The inverse of sign_code: 0-100, or -1 when b is no sign code.
int sign_position(uint8_t b) {
  if (b == 0xFE) return 100;
  const unsigned hi = b >> 4, lo = b & 0xF;
  if (hi <= 9 && lo >= 0xA) return static_cast<int>(hi * 6 + (lo - 0xA));
  if (b >= 0xA0 && b <= 0xC7) return 60 + (b - 0xA0);
  return -1;
}

bool fail(std::string *why, const char *reason) {
  if (why) *why = reason;
  return false;
}

// Digits [from, from + len) of nib as a decimal number: -1 when all are F,
// -2 when they mix F with digits or hold a non-decimal digit.
int32_t decimal_run(const unsigned *nib, int from, int len) {
  bool all_f = true, all_dec = true;
  int32_t v = 0;
  for (int i = from; i < from + len; ++i) {
    all_f = all_f && nib[i] == 0xF;
    all_dec = all_dec && nib[i] <= 9;
    v = v * 10 + static_cast<int32_t>(nib[i]);
  }
  if (all_f) return -1;
  return all_dec ? v : -2;
}

void append_num(std::string *s, int64_t v, int min_digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", min_digits, static_cast<long long>(v));
  *s += buf;
}

void append_fraction(std::string *s, int32_t thousandths) {
  *s += '.';
  append_num(s, thousandths, 3);
}

std::string datetime_text(const PackedEntity &e) {
  std::string s;
  const int32_t date[3] = {e.year, e.month, e.day};
  const int32_t time[3] = {e.hour, e.minute, e.second};
  // The last component given: the fraction belongs to it.
  int last = -1;
  const int32_t all[6] = {e.year, e.month, e.day, e.hour, e.minute, e.second};
  for (int i = 0; i < 6; ++i)
    if (all[i] >= 0) last = i;
  // Date part up to its last component given; an absent leading component is
  // a hyphen, as in "--09-09" (no year) and "---09" (a day alone).
  int last_date = -1;
  for (int i = 0; i < 3; ++i)
    if (date[i] >= 0) last_date = i;
  for (int i = 0; i <= last_date; ++i) {
    if (i > 0) s += '-';
    if (date[i] >= 0)
      append_num(&s, date[i], i == 0 ? 4 : 2);
    else if (i == 0)
      s += '-';
  }
  if (last >= 3) {
    s += 'T';
    for (int i = 0; i < 3 && last >= i + 3; ++i) {
      if (i > 0) s += ':';
      if (time[i] >= 0)
        append_num(&s, time[i], 2);
      else
        s += "--";
    }
  }
  // The fraction belongs to the last component given, date or time
  // ("2011.500" is half a year); with none it can only be of a second.
  if (e.fraction >= 0) {
    if (last < 0) s += "T00:00:00";
    append_fraction(&s, e.fraction);
  }
  return s.empty() ? std::string("T") : s;
}

std::string duration_text(const PackedEntity &e) {
  std::string s = e.negative ? "-P" : "P";
  const int32_t v[6] = {e.year, e.month, e.day, e.hour, e.minute, e.second};
  static const char kDesignator[6] = {'Y', 'M', 'D', 'H', 'M', 'S'};
  int last = -1;
  for (int i = 0; i < 6; ++i)
    if (v[i] >= 0) last = i;
  if (last < 0) {
    if (e.fraction >= 0) {
      s += "T0";
      append_fraction(&s, e.fraction);
      return s + 'S';
    }
    return s + "0D";
  }
  bool t_written = false;
  for (int i = 0; i <= last; ++i) {
    if (v[i] < 0) continue;
    if (i >= 3 && !t_written) {
      s += 'T';
      t_written = true;
    }
    append_num(&s, v[i], 1);
    if (i == last && e.fraction >= 0) append_fraction(&s, e.fraction);
    s += kDesignator[i];
  }
  return s;
}

std::string single_unit_text(const PackedEntity &e) {
  std::string s = e.negative ? "-P" : "P";
  const unsigned base = e.unit & ~0x20u;
  const bool thousandths = (e.unit & 0x20u) != 0;
  const char *designator = "?";
  switch (base) {
    case 1: designator = "M"; break;
    case 2: designator = "D"; break;
    case 3: designator = "W"; break;
    case 4: designator = "H"; break;
    case 8: designator = "M"; break;
    case 16: designator = "S"; break;
    default: break;
  }
  if (base >= 4) s += 'T';
  if (thousandths) {
    append_num(&s, e.count / 1000, 1);
    append_fraction(&s, static_cast<int32_t>(e.count % 1000));
  } else {
    append_num(&s, e.count, 1);
  }
  return s + designator;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool decode_entity(const uint8_t b[8], PackedEntity *out, std::string *why) {
  *out = PackedEntity{};
  static const uint8_t kAllFF[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  if (std::memcmp(b, kAllFF, 8) == 0) return true;
  const unsigned kind = b[7] & 3u;
  if (kind == 2) {
    out->form = Form::kSingleUnit;
    if (b[0] != 0 || (b[1] & 0x7F) != 0 || b[2] != 0) return fail(why, "single unit: bytes 0-2");
    out->negative = (b[1] & 0x80) != 0;
    out->count = uint32_t{b[3]} << 24 | uint32_t{b[4]} << 16 | uint32_t{b[5]} << 8 | b[6];
    out->unit = static_cast<uint8_t>(b[7] >> 2);
    const unsigned base = out->unit & ~0x20u;
    if (base != 1 && base != 2 && base != 3 && base != 4 && base != 8 && base != 16)
      return fail(why, "single unit: unknown unit");
    return true;
  }
  out->form = kind == 0 ? Form::kDuration : kind == 1 ? Form::kDatetime : Form::kAnchor;
  unsigned nib[13];
  for (int i = 0; i < 6; ++i) {
    nib[2 * i] = b[i] >> 4;
    nib[2 * i + 1] = b[i] & 0xF;
  }
  nib[12] = b[6] >> 4;
  const int pos = sign_position(b[0]);
  if (pos >= 0) {
    if (out->form != Form::kDuration) return fail(why, "a sign on a datetime");
    out->negative = true;
    nib[0] = pos == 100 ? 0xF : static_cast<unsigned>(pos / 10);
    nib[1] = pos == 100 ? 0xF : static_cast<unsigned>(pos % 10);
  }
  out->year = decimal_run(nib, 0, 4);
  if (out->year == -2) return fail(why, "year digits");
  if (nib[4] != 0xF) {
    // A duration normalised with its days kept may count 13 or 14 months
    // (D, E); a datetime's month is 1 to 12.
    if (nib[4] > (out->form == Form::kDuration ? 14u : 12u)) return fail(why, "month digit");
    out->month = static_cast<int32_t>(nib[4]);
  }
  int32_t *two[4] = {&out->day, &out->hour, &out->minute, &out->second};
  static const char *const kWhy[4] = {"day digits", "hour digits", "minute digits",
                                      "second digits"};
  for (int i = 0; i < 4; ++i) {
    *two[i] = decimal_run(nib, 5 + 2 * i, 2);
    if (*two[i] == -2) return fail(why, kWhy[i]);
  }
  const unsigned tail = (b[6] & 0xFu) << 8 | b[7];
  const unsigned f = tail >> 2;
  if (f != 0x3FF) {
    if (f > 999) return fail(why, "fraction above 999");
    out->fraction = static_cast<int32_t>(f);
  }
  return true;
}

void encode_entity(const PackedEntity &e, uint8_t out[8]) {
  std::memset(out, 0xFF, 8);
  if (e.form == Form::kMissing) return;
  if (e.form == Form::kSingleUnit) {
    out[0] = 0;
    out[1] = e.negative ? 0x80 : 0;
    out[2] = 0;
    for (int i = 0; i < 4; ++i) out[3 + i] = static_cast<uint8_t>(e.count >> (24 - 8 * i));
    out[7] = static_cast<uint8_t>(e.unit * 4 + 2);
    return;
  }
  unsigned nib[13];
  for (unsigned &n : nib) n = 0xF;
  if (e.year >= 0) {
    const int32_t y = e.year % 10000;
    nib[0] = static_cast<unsigned>(y / 1000);
    nib[1] = static_cast<unsigned>(y / 100 % 10);
    nib[2] = static_cast<unsigned>(y / 10 % 10);
    nib[3] = static_cast<unsigned>(y % 10);
  }
  if (e.month >= 0) nib[4] = static_cast<unsigned>(e.month % 15);
  const int32_t two[4] = {e.day, e.hour, e.minute, e.second};
  for (int i = 0; i < 4; ++i) {
    if (two[i] < 0) continue;
    nib[5 + 2 * i] = static_cast<unsigned>(two[i] % 100 / 10);
    nib[6 + 2 * i] = static_cast<unsigned>(two[i] % 10);
  }
  for (int i = 0; i < 6; ++i) out[i] = static_cast<uint8_t>(nib[2 * i] << 4 | nib[2 * i + 1]);
  const unsigned f = e.fraction >= 0 ? static_cast<unsigned>(e.fraction % 1000) : 0x3FFu;
  const unsigned tail = f << 2 | (e.form == Form::kAnchor ? 3u : e.form == Form::kDatetime ? 1u : 0u);
  out[6] = static_cast<uint8_t>(nib[12] << 4 | (tail >> 8 & 0xF));
  out[7] = static_cast<uint8_t>(tail & 0xFF);
  if (e.negative && e.form == Form::kDuration) {
    const int pos = e.year >= 0 ? static_cast<int>(nib[0] * 10 + nib[1]) : 100;
    out[0] = sign_code(pos);
  }
}

std::string entity_text(const PackedEntity &e) {
  switch (e.form) {
    case Form::kMissing: return ".";
    case Form::kDatetime: return datetime_text(e);
    case Form::kAnchor: return "(ref " + datetime_text(e) + ")";
    case Form::kDuration: return duration_text(e);
    case Form::kSingleUnit: return single_unit_text(e);
  }
  return "?";
}

bool parse_hex(std::string_view text, uint8_t *out, size_t n) {
  if (text.size() != 2 * n) return false;
  for (size_t i = 0; i < n; ++i) {
    const int hi = hex_value(text[2 * i]), lo = hex_value(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return true;
}

std::string packed_text(std::string_view hex, std::string *why) {
  uint8_t b[16];
  const size_t n = hex.size() / 2;
  if ((n != 8 && n != 16) || !parse_hex(hex, b, n)) {
    if (why) *why = "not 16 or 32 hexadecimal digits";
    return {};
  }
  PackedEntity first, second;
  if (!decode_entity(b, &first, why)) return {};
  if (n == 8) return entity_text(first);
  if (!decode_entity(b + 8, &second, why)) return {};
  if (first.form == Form::kMissing && second.form == Form::kMissing) return ".";
  return entity_text(first) + "/" + entity_text(second);
}

}  // namespace zbhost
