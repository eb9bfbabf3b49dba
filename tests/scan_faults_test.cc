// Texts whose value the scanner and the entity informats once lost, changed
// or replaced by garbage while reporting success, each with the answer that
// keeps the value or says why not; and the boundaries next to them, which
// must still read.
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "support/call_block.h"
#include "support/duration_totals.h"
#include "support/entity_view.h"
#include "support/fixture.h"

namespace {

using zbtest::Entity;
using zbtest::Packed;

constexpr Packed kNone{"FFFFFFFFFFFFFFFF", "."};

class ScanFaultsTest : public zbtest::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    scan_fn = fn<zbtest::read_date_or_duration_fn>("read_date_or_duration");
    ASSERT_NE(scan_fn, nullptr);
  }
  int32_t scan(std::string_view text, int32_t mode, int32_t keep, Entity *e) {
    zbtest::GuardedField f(text);
    std::memset(e, 0xA5, sizeof *e);
    return scan_fn(f.data(), static_cast<int32_t>(text.size()), e, mode, keep);
  }
  // The reader's code and the 32 characters of its target ('~' where
  // nothing was written).
  std::pair<uint32_t, std::string> read(const char *name, std::string_view text, int32_t mode) {
    using Reader = uint32_t (*)(ifmblock *, int32_t);
    zbtest::GuardedField f(text);
    std::string target(32, '~');
    const auto len = static_cast<int32_t>(text.size());
    ifmblock blk = zbtest::call_block(f.data(), len, len, target.data(), 32);
    const uint32_t rc = fn<Reader>(name)(&blk, mode);
    return {rc, target};
  }
  zbtest::read_date_or_duration_fn scan_fn = nullptr;
};

// Each text in the lenient mode and in both strict modes: its code there
// and, where it reads, the entity (the same in every mode).
TEST_F(ScanFaultsTest, ScannerTable) {
  const struct {
    const char *text;
    int32_t lenient, strict;
    Packed want;
    const char *why;
  } rows[] = {
      // A zone shift before the host's calendar.
      {"1582-01-01T00:30:00+01:00", 8, 8, kNone, "shifted before the calendar's first day"},
      {"1582-01-01T00:00:00+00:01", 8, 8, kNone, "by one minute"},
      {"1582-01-01T01:00:00+01:00", 0, 0, {"1582101000000FFD", "1582-01-01T00:00:00"},
       "onto the first day"},
      // Single-unit counts beyond 32 bits.
      {"P1317624576693539401W", 7, 7, kNone, "weeks"},
      {"PT9223372036854775807S", 7, 7, kNone, "seconds"},
      {"P4294967296D", 7, 7, kNone, "2^32 days"},
      {"P4294967296W", 7, 7, kNone, "2^32 weeks"},
      {"PT5000000.5S", 7, 7, kNone, "in thousandths"},
      {"PT4294967.5S", 7, 7, kNone, "in thousandths, just past"},
      {"PT4294967.295S", 0, 0, {"000000FFFFFFFFC2", "PT4294967.295S"}, "the largest in thousandths"},
      {"P4294967295D", 0, 0, {"000000FFFFFFFF0A", "P4294967295D"}, "the largest count"},
      {"P4294967295W", 0, 0, {"000000FFFFFFFF0E", "P4294967295W"}, "the largest weeks"},
      // A zone shift past year 9999.
      {"9999-12-31T23:00:00-01:00", 7, 7, kNone, "into year 10000"},
      {"9999-12-31T23:00:00Z", 0, 0, {"9999C31230000FFD", "9999-12-31T23:00:00"}, "no shift"},
      {"9999-12-31T22:59:59-01:00", 0, 0, {"9999C31235959FFD", "9999-12-31T23:59:59"},
       "the last second"},
      // Fractions carried through normalisation.
      {"PT36H30.5S", 0, 0, {"FFFFF0112FF307D0", "P1DT12H30.500S"}, "on the seconds"},
      {"P1Y1.5W", 0, 0, {"0001F1012FFFFFFC", "P1Y10DT12H"}, "half a week is 3 days 12 hours"},
      {"P1Y13.5M", 0, 0, {"00021FFFFFFFF7D0", "P2Y1.500M"}, "a month fraction stays"},
      {"P1Y24.5M", 0, 0, {"00030FFFFFFFF7D0", "P3Y0.500M"}, "on a month of 0"},
      {"P0001-02-10T25:00:00.5", 0, 0, {"000121101FF007D0", "P1Y2M11DT1H0.500S"},
       "a second of 0 with its fraction"},
      {"P1DT36.5H", 0, 0, {"FFFFF021230FFFFC", "P2DT12H30M"}, "whole minutes"},
      {"P1DT24.001H", 0, 0, {"FFFFF02FFFF03960", "P2DT3.600S"}, "3.6 seconds"},
      // Zone offsets out of range, and text after the zone.
      {"2011-09-09T12:30:45+01:99", 9, 9, kNone, "minute 99"},
      {"2011-09-09T12:30:45+99:00", 9, 9, kNone, "hour 99"},
      {"2011-09-09T12:30:45+24:00", 9, 9, kNone, "hour 24"},
      {"2011-09-09T12:30:45-00:60", 9, 9, kNone, "minute 60"},
      {"20110909T123045+0199", 9, 9, kNone, "basic notation"},
      {"2011-09-09T12:30:45+23:59", 0, 0, {"2011908123145FFD", "2011-09-08T12:31:45"},
       "the largest offset"},
      {"2011-09-09T12:30:45Zjunk", 0, 10, {"2011909123045FFD", "2011-09-09T12:30:45"},
       "text after a Z"},
      {"2011-09-09T12:30:45+01:00junk", 0, 10, {"2011909113045FFD", "2011-09-09T11:30:45"},
       "text after an offset"},
      {"2011-09-09T12:30:45+01:00   ", 0, 0, {"2011909113045FFD", "2011-09-09T11:30:45"},
       "blanks after an offset"},
      {"P0001-02-10T02:30:00Zx", 0, 10, {"0001210023000FFC", "P1Y2M10DT2H30M0S"},
       "text after a duration's Z"},
  };
  for (const auto &r : rows) {
    for (const int32_t mode : {0, 0x80, 0x200}) {
      SCOPED_TRACE(std::string("'") + r.text + "' mode " + std::to_string(mode) + ": " + r.why);
      Entity e;
      const int32_t rc = scan(r.text, mode, 0, &e);
      const int32_t want = mode == 0 ? r.lenient : r.strict;
      EXPECT_EQ(rc, want);
      zbtest::expect_packed(zbtest::hex(e.packed, 8), want == 0 ? r.want : kNone);
    }
  }
}

// A text of the other kind is refused and leaves the target alone; a blank
// field is of neither kind. The scanner's problems reach the interval reader.
TEST_F(ScanFaultsTest, ReadersTable) {
  const std::string untouched(32, '~'), f16 = std::string(16, 'F') + std::string(16, '~');
  const struct {
    const char *reader, *text;
    int32_t mode;
    uint32_t rc;
    std::string target;
  } rows[] = {
      {"is8601pdi", "P1Y", 0, 4, untouched},
      {"is8601pdi", "-PT36H", 0x80, 4, untouched},
      {"is8601pdi", "P", 0, 4, untouched},
      {"is8601dui", "2011-09-09", 0, 19, untouched},
      {"is8601dui", "2011", 0x200, 19, untouched},
      {"is8601pdi", "   ", 0, 0, untouched},
      {"is8601dui", "   ", 0, 0, f16},
      {"is8601dui", "P", 0, 0, f16},
      {"is8601vli", "2011-09-09T10:00/PT5000000.5S", 0, 7, std::string(32, 'F')},
      {"is8601vli", "1582-01-01T00:30:00+01:00/2011-01-01", 0, 8, std::string(32, 'F')},
      {"is8601vli", "2011-09-09T12:30:45+01:99/P1D", 0, 9, std::string(32, 'F')},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(std::string(r.reader) + " '" + r.text + "'");
    const auto [rc, target] = read(r.reader, r.text, r.mode);
    EXPECT_EQ(rc, r.rc);
    EXPECT_EQ(target, r.target);
  }
}

// Stored intervals hold lone durations as written, months 13 and 14 among
// them: the test decoder reads what the interval reader writes.
TEST_F(ScanFaultsTest, DecoderReadsMonthsThirteenAndFourteen) {
  for (const char *text : {"P13M1D", "P14M2D"}) {
    SCOPED_TRACE(text);
    const auto [rc, target] = read("is8601vli", text, 0);
    ASSERT_EQ(rc, 0u);
    uint8_t b[8];
    ASSERT_TRUE(zbhost::parse_hex(std::string_view(target).substr(16, 16), b, 8));
    zbtest::Unpacked u;
    std::string why;
    ASSERT_TRUE(zbtest::unpack(b, &u, &why)) << why;
    EXPECT_EQ(u.month, text[2] - '0' + 10);
    EXPECT_EQ(u.day, text[4] - '0');
  }
  const uint8_t datetime[8] = {0x20, 0x11, 0xD0, 0x1F, 0xFF, 0xFF, 0xFF, 0xFD};
  zbtest::Unpacked u;
  std::string why;
  EXPECT_FALSE(zbtest::unpack(datetime, &u, &why)) << "a datetime has no month 13";
}

// Every duration that normalises with a fraction keeps its amount: total
// months and total seconds, to the thousandth, as the text has them (with
// days folded into 30-day months unless they are kept).
TEST_F(ScanFaultsTest, NormalisedFractionsKeepTheirAmount) {
  std::mt19937 rng(8601);
  const auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static const char *const kForms[] = {"P%dY%d.%sW",  "P%dY%d.%sM",    "P%dDT%d.%sH",
                                       "PT%dH%d.%sM", "P%dDT%d.%sS",   "P%dMT%d.%sS",
                                       "P%dY%d.%sD",  "PT%dM%d.%sS"};
  int checked = 0;
  for (int i = 0; i < 4000; ++i) {
    const char *form = kForms[i % 8];
    const std::string digits = std::to_string(in(0, 999)).substr(0, static_cast<size_t>(in(1, 3)));
    char text[64];
    std::snprintf(text, sizeof text, form, in(1, 40), in(0, 100000), digits.c_str());
    const int32_t keep = i / 8 % 2;
    SCOPED_TRACE(std::string(text) + (keep ? " (days kept)" : ""));
    Entity e;
    if (scan(text, 0, keep, &e) != 0) continue;
    if (e.unit == 0 && (e.day > 99 || e.month > 14)) continue;  // kept, beyond the digits
    zbhost::PackedEntity p;
    ASSERT_TRUE(zbhost::decode_entity(e.packed, &p)) << zbtest::hex(e.packed, 8);
    zbtest::DurationTotals want, got;
    ASSERT_TRUE(zbtest::text_totals(text, &want));
    ASSERT_TRUE(zbtest::packed_totals(p, &got));
    EXPECT_TRUE(zbtest::same_amount(want, got, keep == 0))
        << "packed " << zbtest::hex(e.packed, 8) << " " << zbhost::entity_text(p);
    ++checked;
  }
  EXPECT_GT(checked, 2500);
}

}  // namespace
