// isoread's entity readers and task options, through the built binary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_isoread.h"

namespace {

using zbtest::ProgramOutcome;
using zbtest::run_isoread;

bool contains(const std::string &s, const std::string &part) {
  return s.find(part) != std::string::npos;
}

size_t count(const std::string &s, const std::string &part) {
  size_t n = 0;
  for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1)) ++n;
  return n;
}

struct Row {
  std::vector<std::string> args;
  std::string input;
  std::string out;
  const char *why;
};

TEST(IsoreadEntity, HexAndDecodedText) {
  const Row rows[] = {
      {{"-f", "is8601dui"}, "PT36H\n", "0000000000002412 PT36H\n", "single-unit duration"},
      {{"-f", "$IS860DU"}, "P1Y2M10DT2H30M\n", "00012100230FFFFC P1Y2M10DT2H30M\n",
       "message name"},
      {{"-f", "is8601pdi"}, "2011-09-09T12:30:45.5\n", "20119091230457D1 2011-09-09T12:30:45.500\n",
       "datetime with a fraction"},
      {{"-f", "is8601pdi"}, "2011.5\n", "2011FFFFFFFFF7D1 2011.500\n", "half a year"},
      {{"-f", "is8601pdi"}, "2011-01.5\n", "20111FFFFFFFF7D1 2011-01.500\n", "half a month"},
      {{"-f", "is8601pdi"}, "2012-10-12T08:29:46.069178Z\n",
       "2012A12082946115 2012-10-12T08:29:46.069\n", "a long fraction by its digits"},
      {{"-f", "is8601dui"}, "P1.5Y\n", "0001FFFFFFFFF7D0 P1.500Y\n", "a year fraction of a duration"},
      {{"-f", "$is860pd"}, "T12:30\n", "FFFFFFF1230FFFFD T12:30\n",
       "message name in lower case, reduced precision"},
      {{"-f", "IS8601VLI"}, "2011-01-01/P1M\n",
       "2011101FFFFFFFFDFFFF1FFFFFFFFFFC 2011-01-01/P1M\n", "interval start/duration"},
      {{"-f", "$IS860VL"}, "P1M\n",
       "1960101000000003FFFF1FFFFFFFFFFC (ref 1960-01-01T00:00:00.000)/P1M\n",
       "a lone duration gets a reference start"},
      {{"-f", "is8601pdi"}, "P1Y\n", "!4 YMDHMSW chars seen in datetime spec [FFF]\n",
       "a duration read as a datetime is refused"},
      {{"-f", "is8601dui"}, "\n", "FFFFFFFFFFFFFFFF .\n", "missing-value notation, mode 0x100"},
      {{"--target-length", "20", "-f", "is8601dui"}, "PT36H\n", "0000000000002412 PT36H\n",
       "a longer target gets 16 digits"},
      {{"-f", "$IS860DU5.", "-f", "is8601pdi"}, "PT36H2011\n",
       "0000000000002412 PT36H\t2011FFFFFFFFFFFD 2011\n", "a width, then the rest"},
      {{"-f", "is8601vli"}, "2011-09-09\n", "!16 interval has 1 component - datetime [FFFFFFFFFF]\n",
       "problem code with its message; n8601prob fills the field's width"},
      {{"-f", "is8601vli"}, "P1D/P2D\n", "!14 interval has 2 durations [FFFFFFF]\n",
       "two durations"},
      {{"--mode", "0x200", "-f", "is8601dui"}, "   \n", "!11 all blank [FFF]\n",
       "mode word reaches the reader"},
      {{"--target-length", "31", "-f", "is8601vli"}, "P1M\n",
       "!22 informat target not 32 (intvl) or 16 [FFF]\n", "target too short"},
      {{"--fill-stars", "-f", "is8601vli"}, "P1D/P2D\n", "!14 interval has 2 durations [*******]\n",
       "fill selector 1"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.why);
    ProgramOutcome o = run_isoread(row.args, row.input);
    EXPECT_EQ(o.out, row.out) << o.err;
    EXPECT_EQ(o.status, row.out[0] == '!' ? 1 : 0) << o.err;
  }
}

// A mode word of 0 and a target length of 0 reach the readers as given,
// not as the defaults.
TEST(IsoreadEntity, ZeroModeWordAndTargetLength) {
  const Row rows[] = {
      {{"--mode", "0", "-f", "is8601pdi"}, ".\n", "?\n",
       "mode 0 does not test the missing-value notation first"},
      {{"--target-length", "0", "-f", "is8601dui"}, "PT36H\n",
       "!22 informat target not 32 (intvl) or 16 []\n", "a target of no bytes"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.why);
    ProgramOutcome o = run_isoread(row.args, row.input);
    EXPECT_EQ(o.out, row.out) << o.err;
  }
}

TEST(IsoreadEntity, TargetTooShortIsLogged) {
  ProgramOutcome o = run_isoread({"--target-length", "15", "-f", "is8601dui"}, "PT1H\n");
  EXPECT_TRUE(contains(o.err, "ERROR: Target location for $IS860DU has length 15 but 16 is needed."))
      << o.err;
  EXPECT_TRUE(contains(o.err, "(22 informat target not 32 (intvl) or 16: 1)")) << o.err;
}

TEST(IsoreadEntity, JsonGainsDecoded) {
  ProgramOutcome o = run_isoread({"--json", "-f", "is8601vli"}, "2011-01-01/2011-02-01\nP1D/P2D\n");
  EXPECT_EQ(o.out,
            R"({"record": 1, "fields": [{"name": "is8601vli", "width": 21, "text": "2011-01-01/2011-02-01", "rc": 0, "code": 0, "message": null, "status": 32, "packed": "2011101FFFFFFFFD2011201FFFFFFFFD", "decoded": "2011-01-01/2011-02-01", )"
            R"("start": "2011-01-01T00:00:00", "end": "2011-02-01T00:00:00", "form": "missing", "sign": null, "years": null, "months": null, "days": null, "hours": null, "minutes": null, "seconds": null, "thousandths": null, "untouched": false}]})"
            "\n"
            R"({"record": 2, "fields": [{"name": "is8601vli", "width": 7, "text": "P1D/P2D", "rc": 14, "code": 14, "message": "interval has 2 durations", "status": 7, "packed": "FFFFFFF", "decoded": null, )"
            R"("start": null, "end": null, "form": null, "sign": null, "years": null, "months": null, "days": null, "hours": null, "minutes": null, "seconds": null, "thousandths": null, "untouched": false}]})"
            "\n");
}

// Diagnostics on: one log line per bad field, every record still printed;
// off: the same output and no such lines.
TEST(IsoreadEntity, DiagnosticsLogEachProblem) {
  const std::string input = "PT36H\nP1Q\nPT1H\nP1X\n";
  const std::string out =
      "0000000000002412 PT36H\n!1 too many digits with no delimiters [FFF]\n"
      "FFFFFFF01FFFFFFC PT1H\n!1 too many digits with no delimiters [FFF]\n";
  ProgramOutcome on = run_isoread({"--option", "DEBUG=N8601DIAG", "-f", "is8601dui"}, input);
  EXPECT_EQ(on.out, out);
  EXPECT_EQ(count(on.err, "Problem with: "), 2u) << on.err;
  EXPECT_TRUE(contains(on.err, "Problem with: 'P1Q': too many digits with no delimiters.\n"))
      << on.err;
  EXPECT_TRUE(contains(on.err, "Problem with: 'P1X': too many digits with no delimiters.\n"))
      << on.err;
  EXPECT_TRUE(contains(on.err, "(1 too many digits with no delimiters: 2)")) << on.err;

  ProgramOutcome off = run_isoread({"--option", "DEBUG=OTHER", "-f", "is8601dui"}, input);
  EXPECT_EQ(off.out, out);
  EXPECT_EQ(count(off.err, "Problem with"), 0u) << off.err;
}

TEST(IsoreadEntity, GmtOffsetMovesLocalTimes) {
  const Row rows[] = {
      {{"--gmt-offset", "+00:00"}, "12:00:00\n", "12:00:00Z\n", "at GMT"},
      {{"--gmt-offset", "+01:00"}, "12:00:00\n", "11:00:00Z\n", "east of GMT"},
      {{"--gmt-offset", "-00:30"}, "12:00:00\n", "12:30:00Z\n", "west, half an hour"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.why);
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"-f", "i8601lz"});
    ProgramOutcome o = run_isoread(args, row.input);
    EXPECT_EQ(o.out, row.out) << o.err;
  }
}

TEST(IsoreadEntity, BadTaskOptionsExitTwo) {
  const Row rows[] = {
      {{"--gmt-offset", "01:00"}, "", "GMT offset", "no sign"},
      {{"--gmt-offset", "+24:00"}, "", "GMT offset", "hours out of range"},
      {{"--mode", "0x"}, "", "mode word", "no digits"},
      {{"--mode", "0x100000000"}, "", "mode word", "beyond 32 bits"},
      {{"--target-length", "-1"}, "", "target length", "negative"},
      {{"--option", "DEBUG"}, "", "NAME=VALUE", "no '='"},
      {{"--fill-stars=1"}, "", "takes no value", "flag with a value"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.why);
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"-f", "is8601dui"});
    ProgramOutcome o = run_isoread(args, "PT1H\n");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, row.out)) << o.err;
  }
  ProgramOutcome o = run_isoread({"-f", "$IS860DU0."}, "PT1H\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_TRUE(contains(o.err, "out of range for is8601dui")) << o.err;
}

TEST(IsoreadEntity, HelpDocumentsTheNewOptions) {
  ProgramOutcome o = run_isoread({"--help"}, "");
  EXPECT_EQ(o.status, 0);
  for (const char *part : {"--option NAME=VALUE", "--gmt-offset", "--mode WORD",
                           "--target-length N", "--fill-stars", "$IS860DU", "is8601vli",
                           "DEBUG=N8601DIAG", "decoded"})
    EXPECT_TRUE(contains(o.out, part)) << part;
}

}  // namespace
