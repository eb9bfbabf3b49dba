// The time reader: read2digs, i8601_time / i8601tm and zpowten.
#include <cstdlib>
#include <string>
#include <vector>

#include "ext_helpers.h"

namespace zbtest {
namespace {

using Read2 = int32_t (*)(const char **, int32_t *, int32_t *);
using TimeFn = uint32_t (*)(ifmblock *, int32_t);

constexpr uint32_t kOk = 0;
constexpr uint32_t kBad = 1;

class TimeReader : public ModuleTest {};

TEST_F(TimeReader, Read2digs) {
  struct Case {
    std::string text;
    int32_t left;     // count handed in
    int32_t rc;
    int32_t moved;    // how far the cursor moves (and the count drops)
    int32_t result;   // -7: not stored
    const char *why;
  };
  const std::vector<Case> cases = {
      {"12", 2, 0, 2, 12, "two digits"},
      {"09", 2, 0, 2, 9, "leading zero"},
      {"99", 2, 0, 2, 99, "no range check here"},
      {"123", 3, 0, 2, 12, "only two are taken"},
      {"1a", 2, 1, 2, -7, "second is no digit: cursor still advanced"},
      {"a1", 2, 1, 2, -7, "first is no digit: cursor still advanced"},
      {"1", 1, 1, 0, -7, "fewer than two left: cursor kept"},
      {"12", 1, 1, 0, -7, "count, not the text, says what is left"},
      {"", 0, 1, 0, -7, "nothing left"},
      {"12", -3, 1, 0, -7, "a negative count is nothing left"},
  };
  auto read2 = fn<Read2>("read2digs");
  for (const Case &c : cases) {
    SCOPED_TRACE("'" + c.text + "': " + c.why);
    GuardedField field(c.text);
    const char *cur = field.data();
    int32_t left = c.left;
    int32_t result = -7;
    EXPECT_EQ(read2(&cur, &left, &result), c.rc);
    EXPECT_EQ(cur - field.data(), c.moved);
    EXPECT_EQ(left, c.left - c.moved);
    EXPECT_EQ(result, c.result);
  }
}

// The syntax and range rules of the time reader.
const std::vector<Row> &time_rows() {
  static const std::vector<Row> rows = {
      {"00", -1, -1, kOk, Out::kValue, 0, "midnight, hours only"},
      {"23:59:59", -1, -1, kOk, Out::kValue, 86399, "last second of the day"},
      {"12:30", -1, -1, kOk, Out::kValue, 45000, "hh:mm"},
      {"  12:30  ", -1, -1, kOk, Out::kValue, 45000, "blanks around are trimmed"},
      {"24:00", -1, -1, kOk, Out::kMissing, 0, "hour 24 is out of range, not malformed"},
      {"24:00:00", -1, -1, kOk, Out::kMissing, 0, "24:00:00 too"},
      {"99", -1, -1, kOk, Out::kMissing, 0, "any hour over 23"},
      {"12:60", -1, -1, kOk, Out::kMissing, 0, "minute 60"},
      {"12:30:60", -1, -1, kOk, Out::kMissing, 0, "no leap second"},
      {"9:30", -1, -1, kBad, Out::kMissing, 0, "one-digit hour"},
      {"1230", -1, -1, kBad, Out::kMissing, 0, "basic notation is not read here"},
      {"12:3", -1, -1, kBad, Out::kMissing, 0, "one-digit minute"},
      {"12:", -1, -1, kBad, Out::kMissing, 0, "':' with nothing after it"},
      {"12:30:", -1, -1, kBad, Out::kMissing, 0, "second ':' with nothing after it"},
      {"12: 30", -1, -1, kBad, Out::kMissing, 0, "a blank is no digit"},
      {"1a", -1, -1, kBad, Out::kMissing, 0, "non-digit in the hour"},
      {"-1:00", -1, -1, kBad, Out::kMissing, 0, "no sign"},
      {"123", -1, -1, kOk, Out::kValue, 43200, "a lone character after the hour is ignored"},
      {"12:30Z", -1, -1, kOk, Out::kValue, 45000, "a lone Z is ignored"},
      {"12:30.", -1, -1, kOk, Out::kValue, 45000, "a lone '.' is ignored"},
      {"12:30:45X", -1, -1, kOk, Out::kValue, 45045, "a lone letter after the seconds"},
      {"12:30:45:", -1, -1, kOk, Out::kValue, 45045, "a third ':' alone is just a character"},
      {"12:30:45:5", -1, -1, kBad, Out::kMissing, 0, "a third ':' does not start a fraction"},
      {"12:30 45", -1, -1, kBad, Out::kMissing, 0, "blank is no separator"},
      // hh:mm:ss of eight characters, the common form, broken at each place.
      {"00:00:00", -1, -1, kOk, Out::kValue, 0, "midnight in full"},
      {" 12:30:45 ", -1, -1, kOk, Out::kValue, 45045, "hh:mm:ss with blanks around"},
      {"12:60:00", -1, -1, kOk, Out::kMissing, 0, "minute 60 in full"},
      {"x2:30:45", -1, -1, kBad, Out::kMissing, 0, "no digit at 0"},
      {"1x:30:45", -1, -1, kBad, Out::kMissing, 0, "no digit at 1"},
      {"12;30:45", -1, -1, kBad, Out::kMissing, 0, "';' for the first ':'"},
      {"12:x0:45", -1, -1, kBad, Out::kMissing, 0, "no digit at 3"},
      {"12:3x:45", -1, -1, kBad, Out::kMissing, 0, "no digit at 4"},
      {"12:30;45", -1, -1, kBad, Out::kMissing, 0, "';' for the second ':'"},
      {"12:30:x5", -1, -1, kBad, Out::kMissing, 0, "no digit at 6"},
      {"12:30:4x", -1, -1, kBad, Out::kMissing, 0, "no digit at 7"},
      {"25:30:4x", -1, -1, kOk, Out::kMissing, 0, "the hour's range is judged first"},
      {"12.5", -1, -1, kOk, Out::kValue, 45000, "fraction of an hour"},
      {"12:30,5", -1, -1, kOk, Out::kValue, 45030, "fraction of a minute, comma"},
      {"12:30:45.125", -1, -1, kOk, Out::kValue, 45045.125, "fraction of a second"},
      {"12:30:45.5  ", -1, -1, kOk, Out::kValue, 45045.5, "trailing blanks after a fraction"},
      {"12:30:45.", -1, -1, kOk, Out::kValue, 45045, "empty fraction: the '.' is ignored"},
      {"12:30:45.5X", -1, -1, kBad, Out::kMissing, 0, "fraction not all digits"},
      {"12:30:45Z1", -1, -1, kBad, Out::kMissing, 0, "letter then more text"},
      {"12:30:45+01:00", -1, -1, kBad, Out::kMissing, 0, "a zone is not read here"},
      {"12:30:45.+5", -1, -1, kBad, Out::kMissing, 0, "a sign inside the fraction"},
      {"12:30:45.-5", -1, -1, kBad, Out::kMissing, 0, "a negative fraction"},
      {"12:30:45. 5", -1, -1, kBad, Out::kMissing, 0, "a blank inside the fraction"},
      {"", -1, -1, kBad, Out::kMissing, 0, "empty field"},
      {"     ", -1, -1, kBad, Out::kMissing, 0, "all-blank field"},
  };
  return rows;
}

TEST_F(TimeReader, SyntaxAndRanges) { run_rows(reader("i8601tm"), time_rows()); }

// Fractions at and beyond the size of zpowten and of a 64-bit integer.
TEST_F(TimeReader, LongFractions) {
  const std::string z30(30, '0');
  const std::vector<Row> rows = {
      {"12:30:45.1234567890123456789", -1, -1, kOk, Out::kValue, 45045.12345678901,
       "19 digits still fit a 64-bit integer"},
      {"12:30:45." + z30 + "5", -1, -1, kOk, Out::kValue, 45045,
       "31 digits: the last entry of the table"},
      {"12:30:45." + z30 + "05", -1, -1, kBad, Out::kMissing, 0,
       "32 digits: beyond the table, refused"},
      {"12:30:45." + z30 + z30, -1, -1, kBad, Out::kMissing, 0,
       "60 zeros: a value that fits, a count that does not"},
      {"12.99999999999999999999", -1, -1, kBad, Out::kMissing, 0,
       "20 nines overflow a 64-bit integer"},
  };
  run_rows(reader("i8601tm"), rows);
}

// Only min(width, available length) bytes are read: what lies after the
// window would change the answer.
TEST_F(TimeReader, ReadsOnlyItsWindow) {
  const std::vector<Row> rows = {
      {"12:30", 2, -1, kOk, Out::kValue, 43200, "a ':' after the window asks for no minutes"},
      {"12:30", 5, 2, kOk, Out::kValue, 43200, "available length shorter than width"},
      {"12:30", 4, -1, kBad, Out::kMissing, 0, "the cut leaves a one-digit minute"},
      {"12:30+01:00", 5, -1, kOk, Out::kValue, 45000, "a zone after the window is not seen"},
      {"12:30+01:00", 11, 6, kOk, Out::kValue, 45000, "one stray character in the window"},
      {"12:30:45.5", 8, -1, kOk, Out::kValue, 45045, "fraction after the window"},
      {"12:30", 0, -1, kBad, Out::kMissing, 0, "width 0"},
      {"12:30", 5, 0, kBad, Out::kMissing, 0, "nothing available"},
      {"12:30", -5, -1, kBad, Out::kMissing, 0, "negative width"},
      {"12:30", 5, -9, kBad, Out::kMissing, 0, "negative available length"},
  };
  run_rows(reader("i8601tm"), rows);
}

// The flag of i8601_time changes nothing.
TEST_F(TimeReader, FlagHasNoEffect) {
  auto time = fn<TimeFn>("i8601_time");
  for (const Row &row : time_rows()) {
    SCOPED_TRACE(row.text);
    ReadResult first;
    for (int32_t flag : {0, 1, 7, -1}) {
      GuardedField field(row.text);
      double target = sentinel();
      const auto len = static_cast<int32_t>(row.text.size());
      ifmblock blk = call_block(field.data(), len, len, &target, 8);
      const uint32_t rc = time(&blk, flag);
      if (flag == 0) {
        first.rc = rc;
        first.value = target;
        continue;
      }
      EXPECT_EQ(rc, first.rc) << "flag " << flag;
      EXPECT_EQ(std::memcmp(&target, &first.value, sizeof target), 0) << "flag " << flag;
    }
  }
}

// Digits come from the host's character-class table, not from the platform.
TEST_F(TimeReader, DigitsFromHostTable) {
  host->gcb_ptr()->ctype[static_cast<unsigned char>('5')] &= ~GCB_CTYPE_DIGIT;
  const std::vector<Row> rows = {
      {"12:30", -1, -1, kOk, Out::kValue, 45000, "no 5 in it"},
      {"12:35", -1, -1, kBad, Out::kMissing, 0, "5 is no digit for this host"},
  };
  run_rows(reader("i8601tm"), rows);
}

// A host whose integer routine takes a sign (as some do) must still not make
// a fraction of one.
int32_t signed_integer(const char *text, int32_t len, int32_t, int32_t *used, int64_t *value) {
  int32_t n = 0;
  bool negative = false;
  if (n < len && (text[n] == '+' || text[n] == '-')) negative = text[n++] == '-';
  int64_t v = 0;
  const int32_t first = n;
  while (n < len && text[n] >= '0' && text[n] <= '9' && n < 18) v = v * 10 + (text[n++] - '0');
  if (n == first) return 1;
  *used = n;
  *value = negative ? -v : v;
  return 0;
}

TEST_F(TimeReader, FractionIsDigitsOnlyWhateverTheHostAccepts) {
  host->gcb_ptr()->vectors[0][320] = reinterpret_cast<gcb_entry>(&signed_integer);
  const std::vector<Row> rows = {
      {"12:30:45.5", -1, -1, kOk, Out::kValue, 45045.5, "digits still read"},
      {"12:30:45.+5", -1, -1, kBad, Out::kMissing, 0, "no 5/100 from a plus sign"},
      {"12:30:45.-5", -1, -1, kBad, Out::kMissing, 0, "no negative fraction"},
  };
  run_rows(reader("i8601tm"), rows);
}

TEST_F(TimeReader, PowersOfTen) {
  auto table = static_cast<const double *>(sym("zpowten"));
  ASSERT_NE(table, nullptr);
  for (int i = 0; i < 32; ++i) {
    const std::string text = "1e" + std::to_string(i);
    EXPECT_EQ(table[i], std::strtod(text.c_str(), nullptr)) << text;
  }
}

TEST_F(TimeReader, SecondDeliverableReadsTheSame) {
  run_rows(reader("i8601tm", true), time_rows());
}

}  // namespace
}  // namespace zbtest
