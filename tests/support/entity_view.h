// The ISO entity record under the tests' name, the check of a table row's
// expected entity (packed bytes and ISO text), and a decoder of the 8-byte
// packed entity written from its byte layout alone (it shares no code or
// table with the module), for tests of the packing, the scanner and the
// interval routines.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "entity_text.h"
#include "support/entity_record.h"

namespace zbtest {

using Entity = ::iso_entity;

using convert_to_bcd_fn = int32_t (*)(Entity *);
using read_date_or_duration_fn = int32_t (*)(const char *, int32_t, Entity *, int32_t, int32_t);
using add_fraction_fn = void (*)(Entity *, int32_t);
using hexify_fn = int32_t (*)(const void *, int32_t, char *, int32_t);

// Upper-case hexadecimal digits of n bytes, high nibble first.
inline std::string hex(const uint8_t *b, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[b[i] >> 4];
    s += digits[b[i] & 0xF];
  }
  return s;
}

// The ISO text of one packed entity or an interval, given as 16 or 32
// hexadecimal digits, by the host's decoder (host/entity_text.h, itself
// written apart from the module); "(refused: why)" for bytes it refuses.
inline std::string iso_text(const std::string &digits) {
  std::string why;
  const std::string text = zbhost::packed_text(digits, &why);
  return text.empty() ? "(refused: " + why + ")" : text;
}

// An expected packed entity, or interval: its bytes as hexadecimal digits,
// the exact check, and the ISO text they stand for, for the reader of a
// table row.
struct Packed {
  const char *hex, *iso;
};

// The digits exactly, and the row's text against the decoder's text of
// them: a row whose text and digits disagree fails even when the digits
// are right.
inline void expect_packed(const std::string &digits, const Packed &want) {
  EXPECT_EQ(digits, want.hex);
  EXPECT_EQ(iso_text(digits), want.iso) << "decoded from " << digits;
}

// One packed entity taken apart. Components are -1 where absent.
struct Unpacked {
  enum Form { kMissing, kComponents, kSingle } form = kMissing;
  bool datetime = false, anchor = false, negative = false;
  int64_t year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1, fraction = -1;
  uint8_t unit = 0;  // single-unit form: the unit code, thousandths flag included
  uint32_t count = 0;
};

// The sign code of a negative duration's first byte: the i-th byte value,
// ascending, with a non-decimal hexadecimal digit; 0xFE for an absent year.
inline int sign_code(int i) {
  if (i == 100) return 0xFE;
  if (i < 60) return (i / 6) << 4 | (0xA + i % 6);
  return 0xA0 + (i - 60);
}

// Decodes b; false, with the reason, when b is no valid packed entity.
inline bool unpack(const uint8_t b[8], Unpacked *u, std::string *why) {
  *u = Unpacked{};
  static const uint8_t all_ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  if (std::memcmp(b, all_ff, 8) == 0) return true;
  const unsigned kind = b[7] & 3u;
  if (kind == 2) {
    u->form = Unpacked::kSingle;
    u->negative = (b[1] & 0x80) != 0;
    if (b[0] != 0 || (b[1] & 0x7F) != 0 || b[2] != 0) return *why = "single: bytes 0-2", false;
    u->count = uint32_t{b[3]} << 24 | uint32_t{b[4]} << 16 | uint32_t{b[5]} << 8 | b[6];
    u->unit = static_cast<uint8_t>(b[7] >> 2);
    const unsigned base = u->unit & ~0x20u;
    if (base != 1 && base != 2 && base != 3 && base != 4 && base != 8 && base != 16)
      return *why = "single: unit code", false;
    return true;
  }
  u->form = Unpacked::kComponents;
  u->datetime = (kind & 1u) != 0;
  u->anchor = (kind & 2u) != 0;
  unsigned nib[14];
  for (int i = 0; i < 7; ++i) {
    nib[2 * i] = b[i] >> 4;
    nib[2 * i + 1] = b[i] & 0xF;
  }
  nib[13] = b[6] & 0xF;  // digit 14: the tail's high nibble
  // A first byte that is a sign code gives back the year's first two digits.
  for (int i = 0; i <= 100; ++i) {
    if (sign_code(i) != b[0]) continue;
    if (u->datetime) return *why = "negative datetime", false;
    u->negative = true;
    nib[0] = i == 100 ? 0xF : static_cast<unsigned>(i / 10);
    nib[1] = i == 100 ? 0xF : static_cast<unsigned>(i % 10);
  }
  const auto decimal_run = [&](int from, int len, int64_t *out) {
    bool all_f = true, all_dec = true;
    int64_t v = 0;
    for (int i = from; i < from + len; ++i) {
      all_f = all_f && nib[i] == 0xF;
      all_dec = all_dec && nib[i] <= 9;
      v = v * 10 + nib[i];
    }
    if (all_f) return true;  // stays -1
    if (!all_dec) return false;
    *out = v;
    return true;
  };
  if (!decimal_run(0, 4, &u->year)) return *why = "year digits", false;
  if (nib[4] != 0xF) {
    // A duration kept with its days may count 13 or 14 months (D, E).
    if (nib[4] > (u->datetime ? 12u : 14u)) return *why = "month digit", false;
    u->month = nib[4];
  }
  if (!decimal_run(5, 2, &u->day)) return *why = "day digits", false;
  if (!decimal_run(7, 2, &u->hour)) return *why = "hour digits", false;
  if (!decimal_run(9, 2, &u->minute)) return *why = "minute digits", false;
  if (!decimal_run(11, 2, &u->second)) return *why = "second digits", false;
  const unsigned tail = nib[13] << 8 | b[7];
  const unsigned f = tail >> 2;
  if (f != 0x3FF) {
    if (f > 999) return *why = "fraction", false;
    u->fraction = f;
  }
  return true;
}

// A record that the packing routine should turn into the bytes u came from.
inline Entity to_entity(const Unpacked &u) {
  Entity e;
  std::memset(&e, 0, sizeof e);
  if (u.form == Unpacked::kMissing) {
    e.absent = 0xFF;
    return e;
  }
  e.negative = u.negative;
  if (u.form == Unpacked::kSingle) {
    e.unit = u.unit;
    const bool thousandths = (u.unit & 0x20) != 0;
    const int64_t whole = thousandths ? u.count / 1000 : u.count;
    e.fraction = thousandths ? u.count % 1000 : 0;
    switch (u.unit & ~0x20) {
      case 1: e.month = whole; break;
      case 2: e.day = whole; break;
      case 3: e.day = whole * 7; e.weeks = 1; break;
      case 4: e.hour = whole; break;
      case 8: e.minute = whole; break;
      default: e.second = whole; break;
    }
    e.absent = 0xFE;
    return e;
  }
  e.is_datetime = u.datetime;
  e.is_anchor = u.anchor;
  const int64_t *v[7] = {&u.year, &u.month, &u.day, &u.hour, &u.minute, &u.second, &u.fraction};
  int64_t *f[7] = {&e.year, &e.month, &e.day, &e.hour, &e.minute, &e.second, &e.fraction};
  for (int i = 0; i < 7; ++i) {
    if (*v[i] < 0)
      e.absent = static_cast<uint8_t>(e.absent | 0x80u >> i);
    else
      *f[i] = *v[i];
  }
  return e;
}

}  // namespace zbtest
