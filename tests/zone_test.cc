// The time-zone readers: get_time_offset, i8601tz and i8601lz.
#include <string>
#include <vector>

#include "ext_helpers.h"

namespace zbtest {
namespace {

using OffsetFn = uint32_t (*)(int32_t, const ifmblock *, ifmblock *, int32_t *);

constexpr uint32_t kOk = 0;
constexpr uint32_t kBad = 1;
constexpr uint32_t kInvalid = 0x8001d819u;
constexpr int32_t kPreset = 777;    // offset preset by the test
constexpr int32_t kNoZone = 100000;

class ZoneReaders : public ModuleTest {};

TEST_F(ZoneReaders, GetTimeOffset) {
  struct Case {
    int32_t flag;
    std::string text;
    int32_t width;   // -1: the text's length
    uint32_t rc;
    int32_t offset;  // afterwards (kPreset: not written)
    int32_t lead;    // working input pointer, from the field's start
    int32_t wwidth;  // working width (on success)
    const char *why;
  };
  const std::vector<Case> cases = {
      {1, "12:30:45Z", -1, kOk, kPreset, 0, 8, "Z: offset left as preset"},
      {1, "  12:30:45z  ", -1, kOk, kPreset, 2, 8, "z, blanks around"},
      {1, "12:30:45+01:00", -1, kOk, -3600, 0, 8, "east of GMT is negative"},
      {1, "12:30:45-01:30", -1, kOk, 5400, 0, 8, "west of GMT is positive"},
      {1, "12:00-99:99", -1, kOk, 362340, 0, 5, "no range check on hh or mm"},
      {1, "12:30:45 +01:00", -1, kOk, -3600, 0, 9, "the blank stays in the time text"},
      {1, "+01:00", -1, kOk, -3600, 0, 0, "designator alone: empty time text"},
      {1, "Z", -1, kOk, kPreset, 0, 0, "Z alone"},
      {1, "12:30:45", -1, kInvalid, kPreset, 0, 0, "required designator missing"},
      {1, "12:30:45+0100", -1, kInvalid, kPreset, 0, 0, "+hhmm is not read here"},
      {1, "12:30:45+01", -1, kInvalid, kPreset, 0, 0, "+hh is not read here"},
      {1, "12:30:45+01-00", -1, kInvalid, kPreset, 0, 0, "no ':' in the designator"},
      {1, "12:30:45+0a:00", -1, kInvalid, kPreset, 0, 0, "non-digit in the designator"},
      {1, "01:00", -1, kInvalid, kPreset, 0, 0, "under six characters: never signed"},
      {1, "", -1, kInvalid, kPreset, 0, 0, "empty field"},
      {1, "12:30:45+01:00", 8, kInvalid, kPreset, 0, 0, "designator outside the window"},
      {1, "12:30:45Z", 8, kInvalid, kPreset, 0, 0, "Z outside the window"},
      {0, "12:30:45", -1, kOk, kNoZone, 0, 8, "optional and absent: the no-zone marker"},
      {0, " 12:30 ", -1, kOk, kNoZone, 1, 5, "no-zone: the whole trimmed text"},
      {0, "12:30:45+0100", -1, kOk, kNoZone, 0, 13, "not a signed designator"},
      {0, "12:30:45Z", -1, kOk, kPreset, 0, 8, "Z with the flag 0"},
      {0, "12:30:45-02:00", -1, kOk, 7200, 0, 8, "signed designator with the flag 0"},
      {0, "12:30:45+01:0x", -1, kInvalid, kPreset, 0, 0, "malformed with the flag 0 too"},
      {0, "-01:00", -1, kOk, 3600, 0, 0, "six characters: signed"},
      {0, "", -1, kOk, kNoZone, 0, 0, "empty field, flag 0"},
      {0, "12:30:45+01:00", 8, kOk, kNoZone, 0, 8, "flag 0: window cut before the zone"},
  };
  auto get = fn<OffsetFn>("get_time_offset");
  for (const Case &c : cases) {
    SCOPED_TRACE("flag " + std::to_string(c.flag) + " '" + c.text + "': " + c.why);
    GuardedField field(c.text);
    double target = sentinel();
    const auto len = static_cast<int32_t>(c.text.size());
    ifmblock caller = call_block(field.data(), c.width < 0 ? len : c.width, len, &target, 0);
    caller.status = kStatusPreset;
    caller.flags = 0x81;
    caller.reserved57[0] = 0x3C;
    const ifmblock before = caller;
    ifmblock work;
    std::memset(&work, 0xEE, sizeof work);
    int32_t offset = kPreset;
    EXPECT_EQ(get(c.flag, &caller, &work, &offset), c.rc);
    EXPECT_EQ(offset, c.offset);
    EXPECT_EQ(std::memcmp(&caller, &before, sizeof caller), 0) << "caller's block changed";
    EXPECT_TRUE(is_sentinel(target));
    if (c.rc != kOk) continue;
    EXPECT_EQ(work.input - field.data(), c.lead);
    EXPECT_EQ(work.width, c.wwidth);
    // Everything but the input pointer and the width is the caller's.
    ifmblock expect = before;
    expect.input = work.input;
    expect.width = work.width;
    EXPECT_EQ(std::memcmp(&work, &expect, sizeof work), 0) << "working block not a copy";
  }
}

// A sign just before the field is no part of it: a five-character field is
// never signed, whatever precedes it in memory.
TEST_F(ZoneReaders, NothingBeforeTheFieldIsExamined) {
  auto get = fn<OffsetFn>("get_time_offset");
  for (int32_t flag : {0, 1}) {
    SCOPED_TRACE(flag);
    GuardedField field("-12:30");
    ifmblock caller = call_block(field.data() + 1, 5, 5, nullptr, 0);
    ifmblock work;
    int32_t offset = kPreset;
    const uint32_t rc = get(flag, &caller, &work, &offset);
    EXPECT_EQ(rc, flag == 1 ? kInvalid : kOk);
    EXPECT_EQ(offset, flag == 1 ? kPreset : kNoZone);
  }
}

TEST_F(ZoneReaders, TimeWithRequiredZone) {
  const std::vector<Row> rows = {
      {"12:30:45Z", -1, -1, kOk, Out::kValue, 45045, "GMT"},
      {"12:30:45z", -1, -1, kOk, Out::kValue, 45045, "lower-case z"},
      {"12:30:45+01:00", -1, -1, kOk, Out::kValue, 41445, "an hour east"},
      {"12:30:45-01:00", -1, -1, kOk, Out::kValue, 48645, "an hour west"},
      {"12:30:45.5+00:00", -1, -1, kOk, Out::kValue, 45045.5, "fraction before the zone"},
      {" 12:30:45+01:00 ", -1, -1, kOk, Out::kValue, 41445, "blanks around"},
      {"12:30:45 +01:00", -1, -1, kOk, Out::kValue, 41445, "blank before the zone"},
      {"12:30:45X+01:00", -1, -1, kOk, Out::kValue, 41445, "stray character left to the time"},
      {"00:30+01:00", -1, -1, kOk, Out::kValue, 84600, "below 0: one day added"},
      {"23:30-01:00", -1, -1, kOk, Out::kValue, 1800, "over a day: remainder"},
      {"23:00-01:00", -1, -1, kOk, Out::kValue, 86400, "exactly a day is left at 86400"},
      {"12:00-99:00", -1, -1, kOk, Out::kValue, 54000, "hh over 23: remainder of 399600"},
      {"00:00+99:00", -1, -1, kOk, Out::kValue, -270000, "one day added once, even if short"},
      {"12:30:45", -1, -1, kInvalid, Out::kUntouched, 0, "no designator"},
      {"12:30:45+0100", -1, -1, kInvalid, Out::kUntouched, 0, "basic-notation designator"},
      {"12:30:45+01", -1, -1, kInvalid, Out::kUntouched, 0, "hours-only designator"},
      {"+01:00", -1, -1, kBad, Out::kMissing, 0, "designator alone"},
      {"Z", -1, -1, kBad, Out::kMissing, 0, "Z alone"},
      {"12:3+01:00", -1, -1, kBad, Out::kMissing, 0, "malformed time"},
      {"24:00+01:00", -1, -1, kOk, Out::kMissing, 0, "out of range: no offset, no wrap"},
      {"12:30:45+01:00", 8, -1, kInvalid, Out::kUntouched, 0, "zone outside the width"},
      {"12:30:45+01:00", 14, 13, kInvalid, Out::kUntouched, 0, "zone cut by avail"},
      {"12:30:45Z", 8, -1, kInvalid, Out::kUntouched, 0, "Z outside the window"},
  };
  run_rows(reader("i8601tz"), rows);
}

TEST_F(ZoneReaders, TimeWithOptionalZone) {
  host->set_gmt_offset(3600);  // GMT+01:00
  const std::vector<Row> rows = {
      {"12:30:45", -1, -1, kOk, Out::kValue, 41445, "local time, host an hour east"},
      {"12:30:45Z", -1, -1, kOk, Out::kValue, 45045, "Z: the local zone plays no part"},
      {"12:30:45+02:00", -1, -1, kOk, Out::kValue, 37845, "own designator wins"},
      {"23:00-01:00", -1, -1, kOk, Out::kValue, 0, "exactly a day becomes 0"},
      {"00:30", -1, -1, kOk, Out::kValue, 84600, "local wraps back one day"},
      {"12:00-99:00", -1, -1, kOk, Out::kValue, 313200, "at most one day taken off"},
      {"12:30:45+01:0x", -1, -1, kInvalid, Out::kUntouched, 0, "malformed designator"},
      {"12:30:45+0100", -1, -1, kBad, Out::kMissing, 0, "no designator: time text malformed"},
      {"24:00", -1, -1, kOk, Out::kMissing, 0, "out of range: no correction"},
      {"", -1, -1, kBad, Out::kMissing, 0, "empty"},
      {"12:30:45+01:00", 8, -1, kOk, Out::kValue, 41445, "zone outside the window: local"},
  };
  run_rows(reader("i8601lz"), rows);
}

// The local offset is asked for at each call, and truncated toward zero.
TEST_F(ZoneReaders, LocalOffsetAtEveryCall) {
  struct Case {
    double east;
    std::string text;
    double value;
    const char *why;
  };
  const std::vector<Case> cases = {
      {3600, "12:30:45", 41445, "GMT+01:00"},
      {-18000, "12:30:45", 63045, "GMT-05:00"},
      {-18000, "20:00", 3600, "forward past midnight: one day off"},
      {0, "12:30:45", 45045, "GMT itself"},
      {3600.7, "12:30:45", 41445, "fraction of the offset dropped"},
      {-18000.9, "12:30:45", 63045, "negative fraction dropped toward zero"},
      {-18000, "12:30:45Z", 45045, "Z ignores the local offset"},
  };
  auto lz = reader("i8601lz");
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.east) + " '" + c.text + "': " + c.why);
    host->set_gmt_offset(c.east);
    expect_result(call_reader(lz, c.text), kOk, Out::kValue, c.value);
  }
}

// Both designator letters go through the host's upper-case table.
TEST_F(ZoneReaders, ZoneLetterFromHostTable) {
  host->gcb_ptr()->upcase[static_cast<unsigned char>('z')] = 'z';
  const std::vector<Row> rows = {
      {"12:30:45Z", -1, -1, kOk, Out::kValue, 45045, "upper case Z"},
      {"12:30:45z", -1, -1, kInvalid, Out::kUntouched, 0, "this host has no upper z"},
  };
  run_rows(reader("i8601tz"), rows);
}

}  // namespace
}  // namespace zbtest
