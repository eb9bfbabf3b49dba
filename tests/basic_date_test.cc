// b8601da and b8601dn: basic and reduced dates read through the extended
// date reader.
#include "basic_support.h"

namespace {

using namespace basictest;

class BasicDate : public zbtest::ModuleTest {};

TEST_F(BasicDate, DateValues) {
  run_rows(reader("b8601da"), {
      {"20110909", -1, 0, V(k20110909), "yyyymmdd"},
      {"2011-09-09", -1, 0, V(k20110909), "yyyy-mm-dd"},
      {"201109", -1, 0, V(18871), "yyyymm: first of the month"},
      {"2011-09", -1, 0, V(18871), "yyyy-mm"},
      {"2011", -1, 0, V(18628), "yyyy: 1 January"},
      {"19600101", -1, 0, V(0), "day zero"},
      {"19591231", -1, 0, V(-1), "the day before"},
      {"20120229", -1, 0, V(19052), "leap day"},
      {"2011090912", -1, 0, V(k20110909), "characters after the eighth ignored"},
      {"20110909T1", -1, 0, V(k20110909), "date part ends at the T"},
      {"2011-09-09T12:00", -1, 0, V(k20110909), "time ignored"},
      {"2011T0909", -1, 0, V(18628), "date part is the year"},
      {"  20110909 ", -1, 0, V(k20110909), "blanks around"},
      {"2011    ", 8, 0, V(18628), "yyyy at the registered minimum width 8"},
      {"2011090", -1, kInvalid, kUntouched, "7 without '-'"},
      {"20110", -1, kInvalid, kUntouched, "5"},
      {"201", -1, kInvalid, kUntouched, "3"},
      {"2011-0909", -1, kInvalid, kUntouched, "one '-' but 9 long"},
      {"201109-09", -1, kInvalid, kUntouched, "first '-' at 6"},
      {"2011-9-9", -1, kInvalid, kUntouched, "short month and day"},
      {"2011-09-", -1, kInvalid, kUntouched, "8 long with '-'"},
      {"2011-0-09", -1, kInvalid, kUntouched, "9 long with a '-'"},
      {"20110909-1", -1, kInvalid, kUntouched, "a '-' after the eighth character"},
      {"T2011", -1, kInvalid, kUntouched, "empty date part"},
      {"20110230", -1, kBadDate, kMissing, "30 February: the date reader's code"},
      {"20111301", -1, kBadDate, kMissing, "month 13"},
      {"2011x909", -1, kBadDate, kUntouched, "not a digit: syntax check fails"},
  });
}

TEST_F(BasicDate, DatetimeOfMidnight) {
  run_rows(reader("b8601dn"), {
      {"20110909", -1, 0, V(k20110909 * kDay), ""},
      {"2011", -1, 0, V(1609459200), "1 January"},
      {"19591231", -1, 0, V(-kDay), "negative"},
      {"20110230", -1, kBadDate, kMissing, "missing value not scaled"},
      {"2011090", -1, kInvalid, kUntouched, "shape rejected"},
  });
}

TEST_F(BasicDate, HandsOnExtendedText) {
  ifm_reader da = reader("b8601da");
  run_handoffs(da, reader("i8601da"), {
      {"2011", "2011-01-01", "month and day filled in"},
      {"201109", "2011-09-01", "day filled in"},
      {"2011-09", "2011-09-01", ""},
      {"20110909", "2011-09-09", ""},
      {"2011-09-09", "2011-09-09", ""},
      {"20110230", "2011-02-30", "range judged by the date reader"},
      {"2011x9y9", "2011-x9-y9", "copied unexamined"},
      {"2011-09--9", "2011-09--9", "third '-' is the date reader's to reject"},
  });
  // b8601dn is b8601da scaled to seconds.
  run_handoffs(reader("b8601dn"), reader("i8601dn"), {
      {"2011-09-09", "2011-09-09", ""},
      {"201109", "2011-09-01", ""},
  });
}

// Digits are what the host's class table says and ASCII digits at once: a
// byte that only one of them counts leaves the date to the extended reader.
TEST_F(BasicDate, DigitsByTableAndByValue) {
  disagree_with_ascii(host->gcb_ptr()->ctype);
  run_handoffs(reader("b8601da"), reader("i8601da"), {
      {"20110909", "2011-09-09", "no 5 in it"},
      {"20150909", "2015-09-09", "5 is no digit for this host"},
      {"2011-09-15", "2011-09-15", "extended, 5 last"},
      {"2011x909", "2011-x9-09", "x a digit by the table only"},
      {"2011\xB5" "909", "2011-\xB5" "9-09", "a high byte the table counts"},
  });
  run_handoffs(reader("b8601dt"), reader("i8601dt"), {
      {"20110909T123000", "2011-09-09T12:30:00", "no 5 in it"},
      {"20110909T123500", "2011-09-09T12:35:00", "5 in the time"},
      {"20150909T123000", "2015-09-09T12:30:00", "5 in the date"},
      {"2011x909T123000", "2011-x9-09T12:30:00", "x a digit by the table only"},
      {"20110909T12300x", "2011-09-09T12:30:0x", "x closing the seconds"},
  });
}

TEST_F(BasicDate, StatusWord) {
  host->set_blank_is_missing(false);
  Call ok = call(reader("b8601da"), "20110909", 8, 8, 0x55);
  EXPECT_EQ(ok.status, 0u) << "the inner status word is copied back";
  Call bad = call(reader("b8601da"), "2011090", 7, 7, 0x55);
  EXPECT_EQ(bad.rc, kInvalid);
  EXPECT_EQ(bad.status, 0x55u);
  Call empty = call(reader("b8601da"), "        ", 8, 8, 0x55);
  EXPECT_EQ(empty.rc, kInvalid) << "empty date part";
  EXPECT_TRUE(zbtest::is_sentinel(empty.value));
}

// The date is always rewritten into ten characters, so wide fields only
// cost their trimming.
TEST_F(BasicDate, WideFields) {
  ifm_reader da = reader("b8601da");
  for (size_t w : {500u, 5000u}) {
    SCOPED_TRACE(w);
    expect_result(zbtest::read_numeric(da, "20110909" + std::string(w - 8, '1')), 0,
                  V(k20110909));
    expect_result(zbtest::read_numeric(da, std::string(w - 8, ' ') + "20110909"), 0,
                  V(k20110909));
    expect_result(zbtest::read_numeric(da, "2011-09-09" + std::string(w - 10, '1')), kInvalid,
                  kUntouched);
  }
}

}  // namespace
