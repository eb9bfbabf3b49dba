// Row tables for the basic-notation readers: what a reader should return and
// leave in its target for a field, and what it should hand on to the extended
// reader of its kind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/fixture.h"

namespace basictest {

constexpr uint32_t kInvalid = IFM_INVALID_DATA;  // 0x8001d819
constexpr uint32_t kBadDate = IFM_BAD_DATE;      // 0x8001d814

enum class Kind { kValue, kMissing, kUntouched };
struct Want {
  Kind kind;
  double value;
};
inline Want V(double v) { return {Kind::kValue, v}; }
inline constexpr Want kMissing{Kind::kMissing, 0};
inline constexpr Want kUntouched{Kind::kUntouched, 0};

// width -1: the text's own length. The field always ends at a guard page.
struct Row {
  const char *text;
  int32_t width;
  uint32_t rc;
  Want want;
  const char *why;
};

inline std::string describe(const Row &r) {
  return std::string("'") + r.text + "' width " + std::to_string(r.width) + ": " + r.why;
}

inline void expect_result(const zbtest::ReadResult &got, uint32_t rc, Want want) {
  EXPECT_EQ(got.rc, rc) << std::hex << "rc 0x" << got.rc;
  switch (want.kind) {
    case Kind::kValue:
      EXPECT_FALSE(got.untouched);
      EXPECT_DOUBLE_EQ(got.value, want.value);
      break;
    case Kind::kMissing:
      EXPECT_TRUE(got.missing()) << "value " << got.value;
      break;
    case Kind::kUntouched:
      EXPECT_TRUE(got.untouched) << "value " << got.value;
      break;
  }
}

inline void run_rows(ifm_reader reader, const std::vector<Row> &rows) {
  for (const Row &r : rows) {
    SCOPED_TRACE(describe(r));
    expect_result(zbtest::read_numeric(reader, r.text, r.width), r.rc, r.want);
  }
}

// The basic reader on `field` must do exactly what the extended reader does
// on `handed` (the text it should build): same code, same target bits.
struct Handoff {
  const char *field;
  const char *handed;
  const char *why;
};

// The basic reader's result b against the extended reader's e: the same
// code, target left alone or not, and the same target bits.
inline void expect_same_result(const zbtest::ReadResult &b, const zbtest::ReadResult &e) {
  EXPECT_EQ(b.rc, e.rc) << std::hex << "basic 0x" << b.rc << " extended 0x" << e.rc;
  EXPECT_EQ(b.untouched, e.untouched);
  EXPECT_EQ(std::memcmp(&b.value, &e.value, sizeof b.value), 0)
      << "basic " << b.value << " extended " << e.value;
}

inline void run_handoffs(ifm_reader basic, ifm_reader extended, const std::vector<Handoff> &rows) {
  for (const Handoff &h : rows) {
    SCOPED_TRACE(std::string("'") + h.field + "' -> '" + h.handed + "': " + h.why);
    zbtest::ReadResult b = zbtest::read_numeric(basic, h.field);
    zbtest::ReadResult e = zbtest::read_numeric(extended, h.handed);
    expect_same_result(b, e);
    EXPECT_EQ(b.status, e.status);
  }
}

// A host class table that disagrees with ASCII: '5' is no digit, 'x' and
// the byte 0xB5 are.
inline void disagree_with_ascii(uint8_t *ctype) {
  ctype[static_cast<unsigned char>('5')] &= ~GCB_CTYPE_DIGIT;
  ctype[static_cast<unsigned char>('x')] |= GCB_CTYPE_DIGIT;
  ctype[0xB5] |= GCB_CTYPE_DIGIT;
}

// Calls a reader on a field with a chosen window and a preset status word;
// the field is followed by `after` (bytes outside the window) and then by an
// inaccessible page.
using Call = zbtest::ReadResult;
inline Call call(ifm_reader reader, const std::string &field, int32_t width, int32_t avail,
                 uint32_t status_before = 0, const std::string &after = "") {
  return zbtest::call_guarded(reader, field + after, width, avail,
                              [status_before](ifmblock &blk) { blk.status = status_before; });
}

// Host datetimes of a few instants used across the tables.
constexpr double kDay = 86400.0;
constexpr double k20110909 = 18879;  // 2011-09-09 as a host date

}  // namespace basictest
