// isoread as a new user first meets it: the list of readers, cells read
// whole, values printed exactly and with their zone, and the summary's hint
// at the reader that would have read what failed.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "../tools/isoread/batch.h"
#include "../tools/isoread/render.h"
#include "support/run_isoread.h"
#include "zelbrant/reader.h"

namespace {

using zbtest::ProgramOutcome;
using zbtest::run_isoread;

struct OutRow {
  std::vector<std::string> args;
  std::string input, out;
  const char *why;
};

void expect_rows(const OutRow *rows, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const OutRow &row = rows[i];
    SCOPED_TRACE(row.why);
    ProgramOutcome o = run_isoread(row.args, row.input);
    EXPECT_EQ(o.out, row.out) << o.err;
  }
}

// Values print as the shortest decimal that reads back to the same double,
// with no rounding to 15 digits and no float noise before 1960.
TEST(IsoreadNewcomer, ValuesPrintExactly) {
  const OutRow rows[] = {
      {{"-f", "i8601dt"}, "2011-09-09T12:30:45.123456\n", "2011-09-09T12:30:45.123456\n",
       "six fraction digits kept"},
      {{"-f", "i8601dt"}, "1959-12-31T23:59:59.123456\n", "1959-12-31T23:59:59.123456\n",
       "no noise before 1960"},
      {{"-f", "i8601dt"}, "1582-10-15T00:00:00.5\n", "1582-10-15T00:00:00.5\n",
       "the first Gregorian day"},
      {{"-f", "i8601tm"}, "23:59:59.999999\n", "23:59:59.999999\n", "a time near midnight"},
      {{"-f", "B8601DT26."}, "20110909T123045750000\n", "2011-09-09T12:30:45.75\n",
       "trailing zeros dropped"},
      {{"--csv", "-f", "i8601dt"}, "\"1959-12-31T23:59:59.123456\"\n",
       "1959-12-31T23:59:59.123456\n", "CSV output too"},
      {{"-f", "B8601DA8."}, "20110909\n", "2011-09-09\n", "a date"},
  };
  expect_rows(rows, std::size(rows));
}

// Values a reader converts to GMT carry 'Z'; others do not.
TEST(IsoreadNewcomer, ZonedValuesShowTheirZone) {
  const OutRow rows[] = {
      {{"-f", "i8601dz"}, "1991-12-09T07:14:08+01:00\n", "1991-12-09T06:14:08Z\n",
       "an extended datetime with an offset"},
      {{"-f", "i8601dz"}, "2011-09-09T23:59:31.999999Z\n", "2011-09-09T23:59:31.999999Z\n",
       "a fraction kept whole beside the zone"},
      {{"-f", "B8601DZ"}, "20110909T123045+0100\n", "2011-09-09T11:30:45Z\n",
       "a basic datetime with zone"},
      {{"-f", "B8601TZ"}, "123045+0100\n", "11:30:45Z\n", "a basic time with zone"},
      {{"-f", "i8601tz"}, "12:30:45-02:00\n", "14:30:45Z\n", "an extended time with zone"},
      {{"-m", "morvista", "-f", "ND8601DZ"}, "20110909T123045Z\n", "2011-09-09T12:30:45Z\n",
       "the other module's informat"},
      {{"--csv", "-f", "1:i8601dz", "-f", "2:i8601dt"},
       "2011-09-09T12:30:45+01:00,2011-09-09T12:30:45\n",
       "2011-09-09T11:30:45Z,2011-09-09T12:30:45\n", "CSV: only the zoned column"},
      {{"--raw", "-f", "i8601dz"}, "1960-01-01T00:00:01Z\n", "1\n", "raw numbers have none"},
      {{"-f", "i8601dt"}, "2011-09-09T12:30:45\n", "2011-09-09T12:30:45\n", "no zone, no Z"},
  };
  expect_rows(rows, std::size(rows));
}

// A field without a width reads its whole cell in CSV and delimited input;
// fixed-width records keep the informat's default width.
TEST(IsoreadNewcomer, CellsAreReadWhole) {
  const OutRow rows[] = {
      {{"--csv", "--header", "-f", "t:B8601DT"}, "id,t\n1,2011-09-09T12:30:45.75\n",
       "t_B8601DT\n2011-09-09T12:30:45.75\n", "the extended text of a CSV cell"},
      {{"-d", ";", "-f", "2:B8601DT"}, "x;20110909T123045123456;y\n",
       "2011-09-09T12:30:45.123456\n", "a delimited field"},
      {{"--csv", "-f", "@b8601dt."}, "20110909T1230455\n", "2011-09-09T12:30:45.5\n",
       "the name in another letter case, with '@' and '.'"},
      {{"--csv", "-f", "B8601DT19."}, "20110909T123045123456\n", "2011-09-09T12:30:45.1234\n",
       "a width given is kept"},
      {{"-f", "B8601DT"}, "20110909T123045123456\n", "2011-09-09T12:30:45.1234\n",
       "fixed records: the default width"},
      {{"--csv", "-m", "morvista", "-f", "ND8601DT"}, "20110909T12304525\n",
       "2011-09-09T12:30:45.25\n", "the other module"},
  };
  expect_rows(rows, std::size(rows));
  // A cell longer than the widest width is still cut, and counted.
  ProgramOutcome o =
      run_isoread({"--csv", "-f", "B8601DA"}, "20110909000000000000000000000000\n");
  EXPECT_NE(o.err.find("1 field cut short by its width"), std::string::npos) << o.err;
  // The reader is given its widest width, the cell as what is available.
  o = run_isoread({"--csv", "--dump", "-f", "B8601DT"}, "20110909T1230455\n");
  EXPECT_NE(o.out.find("width 26, available 16"), std::string::npos) << o.out;
}

// --list: a line per reader of the catalog, in its order, with its kind,
// widths, modules and example.
TEST(IsoreadNewcomer, ListNamesEveryReader) {
  const zb_catalog_entry *entries;
  size_t count;
  ASSERT_EQ(zb_list(&entries, &count), ZB_OK);
  ProgramOutcome o = run_isoread({"--list"}, "");
  ASSERT_EQ(o.status, 0) << o.err;
  std::istringstream in(o.out);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line.rfind("NAME", 0), 0u) << line;
  const size_t kind_at = line.find("KIND"), example_at = line.find("EXAMPLE");
  for (size_t i = 0; i < count; ++i) {
    const zb_catalog_entry &e = entries[i];
    SCOPED_TRACE(e.name);
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line.rfind(std::string(e.name) + " ", 0), 0u) << line;
    // Aligned: the kind and the example start in their columns.
    EXPECT_NE(line.find_first_not_of(' ', kind_at), kind_at - 1);
    EXPECT_EQ(line.substr(example_at), e.example) << line;
    EXPECT_NE(line.find(e.description), std::string::npos) << line;
    EXPECT_NE(line.find(e.modules), std::string::npos) << line;
    const bool zoned = (e.flags & ZB_READER_ZONED) != 0;
    EXPECT_EQ(line.find(" GMT ") != std::string::npos, zoned) << line;
    if (e.min_width < 0) {
      EXPECT_NE(line.find(" whole "), std::string::npos) << line;
    } else {
      const std::string w = std::to_string(e.min_width) + "-" + std::to_string(e.max_width) +
                            " (" + std::to_string(e.default_width) + ")";
      EXPECT_NE(line.find(w), std::string::npos) << line;
    }
  }
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "") << "one line per reader";
  // --help names it.
  o = run_isoread({"--help"}, "");
  EXPECT_NE(o.out.find("--list"), std::string::npos);
}

// JSON: "code" is a number and "message" beside it for every reader;
// numeric readers give "value" as a number, entity readers their packed
// text and components, intervals their ends too.
TEST(IsoreadNewcomer, JsonMembersPerReaderKind) {
  struct Row {
    const char *informat, *input;
    std::vector<std::string> members;  // in this order
  } const rows[] = {
      {"B8601DA8.", "20110909", {R"("code": 0, "message": null, "status": 0, "value": 18879, "untouched": false})"}},
      {"B8601DA8.", "20110230", {R"("code": 2147604500, "message": "invalid date or datetime", )", R"("value": null)"}},
      {"B8601TZ", "123045+0100", {R"("code": 0, "message": null, )", R"("value": 41445, )"}},
      {"i8601dt", "2011-09-09T12:30:45.25", {R"("value": 1631190645.25, )"}},
      {"is8601dui", "-P1Y2M10DT2H30M5.5S",
       {R"("code": 0, "message": null, "status": 16, "packed": ")", R"("decoded": "-P1Y2M10DT2H30M5.500S", "form": "duration", )",
        R"("sign": -1, "years": 1, "months": 2, "days": 10, "hours": 2, "minutes": 30, "seconds": 5, "thousandths": 500, "untouched": false})"}},
      {"is8601dui", "PX", {R"("code": 2, "message": ")", R"("form": null, "sign": null, )"}},
      {"is8601dui", "P", {R"("code": 0, )", R"("decoded": ".", "form": "missing", "sign": null, )"}},
      {"is8601pdi", "2011-09-09T12:30",
       {R"("form": "datetime", "sign": 1, "years": 2011, "months": 9, "days": 9, "hours": 12, "minutes": 30, "seconds": 0, "thousandths": 0, )"}},
      {"is8601vli", "2011-09-09T12:00:00/PT1H30M",
       {R"("decoded": "2011-09-09T12:00:00/PT1H30M", "start": "2011-09-09T12:00:00", "end": "2011-09-09T13:30:00", "form": "duration", )",
        R"("hours": 1, "minutes": 30, )"}},
      {"is8601vli", "P1D", {R"("start": null, "end": null, "form": "duration", "sign": 1, "years": 0, "months": 0, "days": 1, )"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string(row.informat) + " " + row.input);
    ProgramOutcome o = run_isoread({"--json", "-f", row.informat}, std::string(row.input) + "\n");
    size_t at = 0;
    for (const std::string &m : row.members) {
      const size_t found = o.out.find(m, at);
      EXPECT_NE(found, std::string::npos) << m << "\nin " << o.out;
      if (found != std::string::npos) at = found + m.size();
    }
    EXPECT_EQ(o.out.find("\"error\""), std::string::npos) << o.out;
  }
}

// --raw of entity readers: the components as cells of their own, named in
// the header.
TEST(IsoreadNewcomer, RawEntitiesGiveComponents) {
  const OutRow rows[] = {
      {{"--raw", "-f", "is8601dui"}, "P1Y2M10DT2H30M\n\n", "1\t1\t2\t10\t2\t30\t0\t0\n.\n",
       "text: tab-separated, a missing entity '.'"},
      {{"--csv", "--header", "--raw", "-f", "d:is8601dui"}, "d\nPT1.5S\nPX\n",
       "d_is8601dui_sign,d_is8601dui_years,d_is8601dui_months,d_is8601dui_days,"
       "d_is8601dui_hours,d_is8601dui_minutes,d_is8601dui_seconds,d_is8601dui_thousandths\n"
       "1,0,0,0,0,0,1,500\n,,,,,,,\n",
       "CSV: a cell each, a failure empty cells"},
      {{"--csv", "--raw", "-f", "1:is8601vli", "-f", "2:B8601DA8."}, "2011-01-01/P1M,20110909\n",
       "2011-01-01T00:00:00,2011-02-01T00:00:00,1,0,1,0,0,0,0,0,18879\n",
       "an interval's ends first, then the next field"},
      {{"--csv", "-d", ":", "--raw", "-f", "1:is8601vli"}, "2011-01-01/2011-01-02\n",
       "\"2011-01-01T00:00:00\":\"2011-01-02T00:00:00\"::::::::\n",
       "ends holding the delimiter are quoted; two datetimes have no duration"},
  };
  expect_rows(rows, std::size(rows));
}

// The summary names what would have read the fields that failed or were
// cut short; nothing when the reader did its best.
TEST(IsoreadNewcomer, SummarySuggestsAReader) {
  struct Row {
    std::vector<std::string> args;
    std::string input;
    const char *hint;  // "" for none
  } const rows[] = {
      {{"-f", "B8601DT"}, "20100313T200304 INF started\n20100313T200305 WRN x\n",
       "; field 'B8601DT': try B8601DT15.\n"},
      {{"--csv", "-f", "B8601DT"}, "2011-09-09T12:30:45.123456789\n", "; field 'B8601DT': try i8601dt\n"},
      {{"--csv", "--header", "-f", "t:B8601DT"}, "id,t\n1,2011-09-09T12:30:45+01:00\n2,x\n",
       "; field 't:B8601DT': try B8601DZ25. (reads 1 of 2)\n"},
      {{"-f", "1:B8601DA8.", "-f", "10:B8601TM"}, "20110909 12:30:45.5\n",
       "; field '10:B8601TM': try B8601TM10.\n"},
      {{"-f", "B8601DA8."}, "20110230\n", ""},
      {{"-f", "B8601DT19."}, "20110909T123045\n", ""},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.args.back());
    ProgramOutcome o = run_isoread(row.args, row.input);
    if (*row.hint) {
      ASSERT_GE(o.err.size(), std::strlen(row.hint)) << o.err;
      EXPECT_EQ(o.err.substr(o.err.size() - std::strlen(row.hint)), row.hint) << o.err;
    } else {
      EXPECT_EQ(o.err.find("try "), std::string::npos) << o.err;
    }
  }
}

// Blocks read in parallel hand on their samples in input order, up to the
// number of texts the suggestion looks at.
TEST(IsoreadNewcomer, SamplesMergeInOrder) {
  isoread::Counts first, later;
  first.sample(1, 2, "a");
  for (int i = 0; i < 20; ++i) later.sample(1, 2, std::to_string(i));
  later.sample(0, 2, std::string(1000, 'x'));
  first.merge(later);
  ASSERT_EQ(first.samples.size(), 2u);
  ASSERT_EQ(first.samples[1].size(), size_t{ZB_SUGGEST_TEXTS});
  EXPECT_EQ(first.samples[1][0], "a");
  EXPECT_EQ(first.samples[1][1], "0");
  EXPECT_EQ(first.samples[1].back(), std::to_string(ZB_SUGGEST_TEXTS - 2));
  ASSERT_EQ(first.samples[0].size(), 1u);
  EXPECT_EQ(first.samples[0][0].size(), isoread::Counts::kSampleBytes);
}

// The renderer's own limits: the exact text where one exists (Z on zoned
// times and datetimes only), the previous forms beyond the calendar.
TEST(IsoreadNewcomer, RendererEdges) {
  struct Row {
    double v;
    int32_t kind;
    bool zoned;
    const char *text;
  } const rows[] = {
      {0.123456, ZB_KIND_TIME, false, "00:00:00.123456"},
      {-0.876544, ZB_KIND_DATETIME, false, "1959-12-31T23:59:59.123456"},
      {1631190645.123, ZB_KIND_DATETIME, true, "2011-09-09T12:30:45.123Z"},
      {-5400, ZB_KIND_TIME, true, "-01:30:00Z"},
      {18879, ZB_KIND_DATE, true, "2011-09-09"},
      {5e-324, ZB_KIND_TIME, false, nullptr},  // every digit of the smallest double
      {2936550, ZB_KIND_DATE, false, "+10000-01-01"},
      {2936550.0 * 86400 + 0.5, ZB_KIND_DATETIME, true, "+10000-01-01T00:00:00.5Z"},
      {1e300, ZB_KIND_DATETIME, true, "1e+300"},
  };
  for (const Row &r : rows) {
    char buf[isoread::kValueRoom];
    const std::string got(buf, isoread::render_iso(buf, r.v, r.kind, r.zoned));
    if (r.text) {
      EXPECT_EQ(got, r.text);
    } else {
      EXPECT_EQ(got, "00:00:00." + std::string(323, '0') + "5");
    }
  }
}

}  // namespace
