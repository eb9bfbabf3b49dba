// Packed ISO entities: the two sign-code tables, convert_to_bcd on records
// built by hand (the worked values of the layout and its edges), and hexify
// through the host's hexadecimal formatter.
#include <cctype>
#include <cstring>
#include <string>

#include "support/entity_view.h"
#include "support/fixture.h"

namespace {

using zbtest::Entity;
using zbtest::hex;

class EntityPackTest : public zbtest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    convert = fn<zbtest::convert_to_bcd_fn>("convert_to_bcd");
    hexify = fn<zbtest::hexify_fn>("hexify");
    postxt = fn<const uint8_t *>("postxt");
    negtxt = fn<const uint8_t *>("negtxt");
  }
  std::string pack(Entity e) {
    EXPECT_EQ(convert(&e), 0);
    return hex(e.packed, 8);
  }
  zbtest::convert_to_bcd_fn convert = nullptr;
  zbtest::hexify_fn hexify = nullptr;
  const uint8_t *postxt = nullptr;
  const uint8_t *negtxt = nullptr;
};

// Components: -1 absent. unit nonzero selects the single-unit form.
struct Spec {
  int64_t y = -1, mo = -1, d = -1, h = -1, mi = -1, s = -1, f = -1;
  bool dt = false, neg = false, anchor = false;
  uint8_t unit = 0;
  bool missing = false;  // absent 0xFF
};

Entity make(const Spec &sp) {
  Entity e;
  std::memset(&e, 0, sizeof e);
  std::memset(e.packed, 0x5A, sizeof e.packed);  // must all be overwritten
  const int64_t v[7] = {sp.y, sp.mo, sp.d, sp.h, sp.mi, sp.s, sp.f};
  int64_t *f[7] = {&e.year, &e.month, &e.day, &e.hour, &e.minute, &e.second, &e.fraction};
  for (int i = 0; i < 7; ++i) {
    if (v[i] < 0)
      e.absent = static_cast<uint8_t>(e.absent | 0x80u >> i);
    else
      *f[i] = v[i];
  }
  e.is_datetime = sp.dt;
  e.negative = sp.neg;
  e.is_anchor = sp.anchor;
  e.unit = sp.unit;
  if (sp.missing) e.absent = 0xFF;
  return e;
}

struct PackRow {
  const char *why;
  Spec spec;
  const char *hex;
};

// The worked values of the layout, and the same records decoded by the
// test's own decoder and packed again.
TEST_F(EntityPackTest, WorkedValues) {
  const PackRow rows[] = {
      {"datetime 2011-09-09T12:30:45.5",
       {.y = 2011, .mo = 9, .d = 9, .h = 12, .mi = 30, .s = 45, .f = 500, .dt = true},
       "20119091230457D1"},
      {"datetime 2011, year only", {.y = 2011, .dt = true}, "2011FFFFFFFFFFFD"},
      {"duration P1Y", {.y = 1}, "0001FFFFFFFFFFFC"},
      {"duration -P1Y", {.y = 1, .neg = true}, "0A01FFFFFFFFFFFC"},
      {"duration -PT2H, year absent", {.h = 2, .neg = true}, "FEFFFFF02FFFFFFC"},
      {"PT36H, hours", {.h = 36, .unit = 4}, "0000000000002412"},
      {"-PT36H", {.h = 36, .neg = true, .unit = 4}, "0080000000002412"},
      {"PT36.5H, hours in thousandths", {.h = 36, .f = 500, .unit = 4 + 32}, "00000000008E9492"},
      {"P2W, weeks held as 14 days", {.d = 14, .unit = 3}, "000000000000020E"},
      {"PT90S, seconds", {.s = 90, .unit = 16}, "0000000000005A42"},
  };
  for (const PackRow &r : rows) {
    SCOPED_TRACE(r.why);
    EXPECT_EQ(pack(make(r.spec)), r.hex);

    Entity e = make(r.spec);
    convert(&e);
    zbtest::Unpacked u;
    std::string why;
    ASSERT_TRUE(zbtest::unpack(e.packed, &u, &why)) << why;
    EXPECT_EQ(pack(zbtest::to_entity(u)), r.hex);
  }
}

TEST_F(EntityPackTest, EdgesOfTheLayout) {
  const PackRow rows[] = {
      {"missing whatever the unit and sign say", {.h = 36, .neg = true, .unit = 4, .missing = true},
       "FFFFFFFFFFFFFFFF"},
      {"October is the digit A", {.y = 2011, .mo = 10, .dt = true}, "2011AFFFFFFFFFFD"},
      {"November is B", {.y = 2011, .mo = 11, .dt = true}, "2011BFFFFFFFFFFD"},
      {"December is C", {.y = 2011, .mo = 12, .dt = true}, "2011CFFFFFFFFFFD"},
      {"zero months given", {.y = 1, .mo = 0}, "00010FFFFFFFFFFC"},
      {"months absent", {.y = 1}, "0001FFFFFFFFFFFC"},
      {"fraction 0 given: 000 in the tail", {.y = 2011, .f = 0, .dt = true}, "2011FFFFFFFFF001"},
      {"fraction 999", {.s = 1, .f = 999}, "FFFFFFFFFFF01F9C"},
      {"year 7 keeps its leading zeros", {.y = 7, .dt = true}, "0007FFFFFFFFFFFD"},
      {"negative, 2011 years", {.y = 2011, .neg = true}, "3C11FFFFFFFFFFFC"},
      {"negative, 9999 years: last sign code", {.y = 9999, .neg = true}, "C799FFFFFFFFFFFC"},
      {"negative, 6000 years: first code past the 0x9F row", {.y = 6000, .neg = true},
       "A000FFFFFFFFFFFC"},
      {"anchor datetime 1960-01-01", {.y = 1960, .mo = 1, .d = 1, .h = 0, .mi = 0, .s = 0,
       .f = 0, .dt = true, .anchor = true}, "1960101000000003"},
      {"zero weeks", {.d = 0, .unit = 3}, "000000000000000E"},
      {"weeks truncate: 20 days are 2 weeks", {.d = 20, .unit = 3}, "000000000000020E"},
      {"months", {.mo = 36, .unit = 1}, "0000000000002406"},
      {"days", {.d = 400, .unit = 2}, "000000000001900A"},
      {"minutes", {.mi = 90, .unit = 8}, "0000000000005A22"},
      {"seconds in thousandths: byte 7 is C2", {.s = 90, .f = 250, .unit = 16 + 32},
       "0000000001608AC2"},
      {"negative single unit sets only byte 1's top bit", {.d = 14, .neg = true, .unit = 3},
       "008000000000020E"},
      {"the count wraps at 32 bits", {.s = (int64_t{1} << 32) + 5, .unit = 16},
       "0000000000000542"},
  };
  for (const PackRow &r : rows) {
    SCOPED_TRACE(r.why);
    EXPECT_EQ(pack(make(r.spec)), r.hex);
  }
}

// Only the low 32 bits of count x 1000 + fraction are kept, however large the
// count (the sanitizer build would stop at a signed overflow here).
TEST_F(EntityPackTest, HugeCountsKeepTheirLow32Bits) {
  Entity e = make({.s = (int64_t{1} << 62) + 5, .f = 7, .unit = 16 + 32});
  EXPECT_EQ(pack(e), "0000000000138FC2");  // (2^62 + 5) * 1000 + 7 = 5007 mod 2^32
  e = make({.d = INT64_MAX, .unit = 3});
  EXPECT_EQ(pack(e), "000000492492490E");  // (2^63 - 1) / 7 = ...49249249
  e = make({.h = INT64_MAX, .f = 999, .unit = 4 + 32});
  EXPECT_EQ(pack(e), "000000FFFFFFFF92");
}

// A duration normalised with days kept may exceed the two-digit day field;
// its digits stay in their own nibbles and never reach the month digit.
TEST_F(EntityPackTest, OversizedDayStaysInItsField) {
  Entity e = make({.mo = 1, .d = 400});
  const std::string h = pack(e);
  EXPECT_EQ(h.substr(0, 5), "FFFF1");
  EXPECT_EQ(h.substr(7), "FFFFFFFFC");
}

// postxt: the decimal-digit code of 0-99; negtxt: the first 100 bytes, in
// ascending order, with a non-decimal hexadecimal digit; 0xFF and 0xFE last.
TEST_F(EntityPackTest, SignCodeTables) {
  for (int i = 0; i < 100; ++i) EXPECT_EQ(postxt[i], (i / 10) << 4 | i % 10) << i;
  EXPECT_EQ(postxt[100], 0xFF);
  int next = 0;
  for (int b = 0; b < 256 && next < 100; ++b) {
    if ((b >> 4) <= 9 && (b & 0xF) <= 9) continue;
    EXPECT_EQ(negtxt[next], b) << next;
    ++next;
  }
  EXPECT_EQ(negtxt[20], 0x3C);
  EXPECT_EQ(negtxt[100], 0xFE);
  const uint8_t *other = fn<const uint8_t *>("negtxt", true);
  EXPECT_EQ(std::memcmp(negtxt, other, 101), 0);
}

TEST_F(EntityPackTest, HexifyWritesTwoDigitsAByteThroughTheHost) {
  const uint8_t one[8] = {0x20, 0x11, 0x90, 0x91, 0x23, 0x04, 0x57, 0xD1};
  char out[40];
  std::memset(out, '#', sizeof out);
  hexify(one, 8, out, 16);
  std::string text(out, 16);
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(text, "20119091230457D1");
  EXPECT_EQ(out[16], '#');

  uint8_t two[16];
  for (int i = 0; i < 16; ++i) two[i] = static_cast<uint8_t>(i * 0x11 + 0x0F);
  std::memset(out, '#', sizeof out);
  hexify(two, 16, out, 32);
  text.assign(out, 32);
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(text, hex(two, 16));
  EXPECT_EQ(out[32], '#');
}

}  // namespace
