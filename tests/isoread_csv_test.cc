// isoread on CSV files: the cells its readers see and the records it keeps
// must be what Python's csv module reads from the same bytes; header names,
// CSV output with error columns, unclosed quotes, fields cut short by their
// width, the output file and the progress display on a terminal.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../tools/isoread/csv.h"
#include "support/csv_records.h"
#include "support/run_isoread.h"
#include "support/temp_dir.h"

namespace {

using zbtest::ProgramOutcome;
using zbtest::run_isoread;

// Debian's python3 (its csv module is in the standard library); another on
// PATH when there is none.
std::string python() {
  if (access("/usr/bin/python3", X_OK) == 0) return "/usr/bin/python3";
  return std::system("command -v python3 >/dev/null 2>&1") == 0 ? "python3" : "";
}

// Compares, in Python, a CSV file with what isoread made of it:
//   cells N: isoread's JSON Lines hold the text of cells 1..N of each record
//            (the cells past a record's end empty);
//   keep N:  isoread's CSV output holds every cell of each record and N more.
// Prints "ok RECORDS" or the first difference.
const char kCompare[] = R"(
import csv, json, sys
mode, ncols, delim, src, out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
with open(src, newline='', encoding='utf-8') as f:
    rows = [r if r else [''] for r in csv.reader(f, delimiter=delim)]
with open(out, newline='', encoding='utf-8') as f:
    if mode == 'cells':
        got = [[c['text'] for c in json.loads(l)['fields']] for l in f]
    else:
        got = list(csv.reader(f, delimiter=delim))
if len(got) != len(rows):
    sys.exit('%d records, python reads %d' % (len(got), len(rows)))
for i, (row, g) in enumerate(zip(rows, got)):
    want = (row + [''] * ncols)[:ncols] if mode == 'cells' else row
    have = g if mode == 'cells' else g[:len(row)]
    if have != want or (mode == 'keep' and len(g) != len(row) + ncols):
        sys.exit('record %d: isoread %r, python %r' % (i + 1, g, row))
print('ok', len(rows))
)";

class IsoreadCsv : public zbtest::TempDirTest {
 protected:
  // Runs the comparison; its output ("ok N" or the difference).
  std::string compare(const std::string &mode, int ncols, char delim, const std::string &src,
                      const std::string &out) {
    std::string script = file("compare.py", kCompare), result = dir_ + "/result.txt";
    std::string cmd = python() + " '" + script + "' " + mode + " " + std::to_string(ncols) + " '" +
                      std::string(1, delim) + "' '" + src + "' '" + out + "' >'" + result +
                      "' 2>&1";
    std::system(cmd.c_str());
    return slurp(result);
  }
};

struct DelimRow {
  char delim;
  std::vector<std::string> extra;  // the -d option, when not a comma
};

const DelimRow kDelims[] = {{',', {}}, {';', {"-d", ";"}}, {'\t', {"-d", "tab"}}};

std::vector<std::string> cat(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(IsoreadCsv, ReadersSeeTheCellsPythonReads) {
  if (python().empty()) GTEST_SKIP() << "no python3";
  for (const DelimRow &d : kDelims) {
    SCOPED_TRACE(std::string("delimiter ") + (d.delim == '\t' ? "tab" : std::string(1, d.delim)));
    std::string src = file("in.csv", zbtest::csv_records(3000, d.delim, 16 + d.delim));
    // Routine names take the whole cell, so "text" is the cell as read.
    std::vector<std::string> args = cat({"--csv", "--json"}, d.extra);
    for (int k = 1; k <= 6; ++k) args.insert(args.end(), {"-f", std::to_string(k) + ":i8601da"});
    ProgramOutcome o = run_isoread(cat(args, {src}), "");
    ASSERT_LE(o.status, 1) << o.err;
    std::string out = file("out.jsonl", o.out);
    std::string result = compare("cells", 6, d.delim, src, out);
    EXPECT_EQ(result.substr(0, 3), "ok ") << result;
  }
}

TEST_F(IsoreadCsv, KeptRecordsReadBackWhole) {
  if (python().empty()) GTEST_SKIP() << "no python3";
  for (const DelimRow &d : kDelims) {
    SCOPED_TRACE(std::string("delimiter ") + (d.delim == '\t' ? "tab" : std::string(1, d.delim)));
    std::string src = file("in.csv", zbtest::csv_records(3000, d.delim, 61 + d.delim));
    for (const auto &more :
         {std::vector<std::string>{"-f", "1:B8601DA8."},
          std::vector<std::string>{"--errors", "-f", "1:B8601DA8.", "-f", "B8601TM"}}) {
      int ncols = more[0] == "--errors" ? 4 : 1;
      ProgramOutcome o = run_isoread(cat(cat({"--csv", "--keep"}, d.extra), cat(more, {src})), "");
      ASSERT_EQ(o.status, 1) << o.err;  // some dates fail
      std::string out = file("out.csv", o.out);
      std::string result = compare("keep", ncols, d.delim, src, out);
      EXPECT_EQ(result.substr(0, 3), "ok ") << result;
      // Kept byte for byte: each record is the start of its output line.
      EXPECT_EQ(o.out.substr(0, 40).find(slurp(src).substr(0, 3)), 0u);
    }
  }
}

struct OutputRow {
  std::vector<std::string> args;
  std::string input;
  std::string out;
  int status;
  const char *why;
};

TEST_F(IsoreadCsv, HeaderNamesKeepAndErrors) {
  const std::string events =
      "id,when,note\r\n"
      "1,20110909T123045Z,\"a, b\"\r\n"
      "2,\"20120229T000000+0100\",\"say \"\"hi\"\"\nline 2\"\r\n"
      "3,bad,x\r\n";
  const OutputRow rows[] = {
      {{"--csv", "--header", "-f", "when:B8601DZ"}, events,
       "when_B8601DZ\n2011-09-09T12:30:45Z\n2012-02-28T23:00:00Z\n\n", 1, "a column by name"},
      {{"--csv", "--header", "--keep", "-f", "when:B8601DZ"}, events,
       "id,when,note,when_B8601DZ\n"
       "1,20110909T123045Z,\"a, b\",2011-09-09T12:30:45Z\n"
       "2,\"20120229T000000+0100\",\"say \"\"hi\"\"\nline 2\",2012-02-28T23:00:00Z\n"
       "3,bad,x,\n",
       1, "kept whole, quotes and all"},
      {{"--csv", "--header", "--errors", "-f", "2:B8601DZ", "-f", "1:B8601DA8."}, events,
       "when_B8601DZ,when_B8601DZ_error,id_B8601DA8,id_B8601DA8_error\n"
       "2011-09-09T12:30:45Z,,,invalid data (0x8001d819)\n"
       "2012-02-28T23:00:00Z,,,invalid data (0x8001d819)\n"
       ",invalid data (0x8001d819),,invalid data (0x8001d819)\n",
       1, "by number, with error columns"},
      {{"-d", ":", "--header", "--keep", "-f", "b:B8601TM6."}, "a:b\nx:123045\n",
       "a:b:b_B8601TM6\nx:123045:12:30:45\n", 0, "text output of delimited records"},
      {{"--csv", "-d", ":", "-f", "2:B8601TM6."}, "x:123045\n", "\"12:30:45\"\n", 0,
       "a value holding the delimiter is quoted"},
      {{"--csv", "--raw", "-f", "1:B8601DA8.", "-f", "2:B8601DA8."}, "20110909,\n",
       "18879,\n", 0, "raw numbers, a missing value empty"},
      {{"--csv", "-f", "1:is8601dui"}, "P1D\nPX\n", "FFFFF01FFFFFFFFC P1D\n\n", 1,
       "an entity reader"},
      {{"--csv", "--header", "-f", "when:B8601DZ"}, "", "", 2, "no header in an empty input"},
  };
  for (const OutputRow &row : rows) {
    SCOPED_TRACE(row.why);
    ProgramOutcome o = run_isoread(row.args, row.input);
    EXPECT_EQ(o.status, row.status) << o.err;
    EXPECT_EQ(o.out, row.out);
  }
}

TEST_F(IsoreadCsv, LaterHeadersAreNotRecords) {
  std::string a = file("a.csv", "d,x\n20110909,1\n"), b = file("b.csv", "d,x\n20120229,2");
  ProgramOutcome o = run_isoread({"--csv", "--header", "--keep", "-f", "d:B8601DA8.", a, b}, "");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "d,x,d_B8601DA8\n20110909,1,2011-09-09\n20120229,2,2012-02-29\n");
}

// A quote left open to the end of the input: that record ends with its
// line, is reported with its record and line numbers, and the records
// after it are read. A kept record gets its quote closed, so that CSV
// readers take the output.
TEST_F(IsoreadCsv, UnclosedQuoteIsReportedAndReadingGoesOn) {
  std::string in = "20110909,\"two\nlines\"\n20120229,\"open\n20130101,x\n";
  ProgramOutcome o = run_isoread({"--csv", "--keep", "-f", "1:B8601DA8."}, in);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out,
            "20110909,\"two\nlines\",2011-09-09\n20120229,\"open\",2012-02-29\n"
            "20130101,x,2013-01-01\n");
  EXPECT_NE(o.err.find("record 2 (line 3): a quote is not closed"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("1 record with an unclosed quote"), std::string::npos) << o.err;
}

struct CutRow {
  std::vector<std::string> args;
  std::string input;
  const char *summary;  // a part of the summary; "" when no field is cut
  const char *why;
};

TEST_F(IsoreadCsv, FieldsCutShortByTheirWidthAreCounted) {
  const CutRow rows[] = {
      {{"-f", "B8601DT"}, "2014-02-03T01:23:45.123456\n",
       "; 1 field cut short by its width (the first in record 1)", "a fraction past the width"},
      {{"-f", "1:B8601DA8.", "-f", "9:B8601DZ20.", "-f", "29:B8601TM6."},
       "1958011819200728T122058-1000020603\n", "", "fixed fields side by side"},
      {{"-f", "1:B8601DA8."}, "20110909 rest\n20110909\n", "", "a blank after the field"},
      {{"-f", "1:B8601DA8."}, "20110909\n201109091\n2011090912\n",
       "; 2 fields cut short by their width (the first in record 2)", "the first record named"},
      {{"-f", "1:B8601DA8.", "-f", "10:B8601TM6."}, "201109091123045\n",
       "; 1 field cut short by its width", "the next column is no field's"},
      {{"-d", ",", "-f", "1:B8601DA8."}, "201109091,x\n20110909 ,x\n",
       "; 1 field cut short by its width", "a delimited field"},
      {{"--csv", "-f", "1:B8601DA8."}, "\"20110909 1\",x\n\"201109091\"\n",
       "; 1 field cut short by its width (the first in record 2)", "a quoted cell"},
  };
  for (const CutRow &row : rows) {
    SCOPED_TRACE(row.why);
    ProgramOutcome o = run_isoread(row.args, row.input);
    if (*row.summary)
      EXPECT_NE(o.err.find(row.summary), std::string::npos) << o.err;
    else
      EXPECT_EQ(o.err.find("cut short"), std::string::npos) << o.err;
  }
  // Reading does not change: the width is the informat's.
  ProgramOutcome o = run_isoread({"-f", "B8601DT"}, "2014-02-03T01:23:45.123456\n");
  EXPECT_EQ(o.out, "2014-02-03T01:23:45\n");
  EXPECT_EQ(o.status, 0);
}

TEST_F(IsoreadCsv, OutputFileAndJsonCode) {
  std::string out = dir_ + "/out.txt";
  ProgramOutcome o = run_isoread({"-o", out, "-f", "B8601DA8."}, "20110909\n20110230\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(slurp(out), "2011-09-09\n!0x8001d814\n");
  o = run_isoread({"--json", "-f", "B8601DA8."}, "20110230\n");
  EXPECT_NE(o.out.find("\"rc\": 2147604500, \"code\": 2147604500, "
                       "\"message\": \"invalid date or datetime\", "),
            std::string::npos)
      << o.out;
  o = run_isoread({"-o", dir_ + "/no/such/dir", "-f", "B8601DA8."}, "");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("cannot write"), std::string::npos) << o.err;
}

// The splitter itself on the cases around quotes, as Python splits them.
TEST(CsvSplit, CellsOfOneRecord) {
  struct Row {
    std::string rec;
    std::vector<std::string> cells;
  };
  const Row rows[] = {
      {"", {""}},
      {",", {"", ""}},
      {"a,\"b,c\",d", {"a", "b,c", "d"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"a\"b,\"ab\"cd", {"a\"b", "abcd"}},
      {"\"open", {"open"}},
      {"\"\",\"\"\"\"", {"", "\""}},
      {"\"x\r\ny\",z", {"x\r\ny", "z"}},
  };
  std::vector<std::string_view> cells;
  std::string scratch;
  for (const Row &row : rows) {
    SCOPED_TRACE(row.rec);
    isoread::split_csv(row.rec, ',', 0, &cells, &scratch);
    EXPECT_EQ(std::vector<std::string>(cells.begin(), cells.end()), row.cells);
  }
  // Stopping after the cells asked for.
  EXPECT_EQ(isoread::split_csv("a,b,c", ',', 2, &cells, &scratch), 2u);
  EXPECT_EQ(cells[1], "b");
}

// Progress on a terminal: drawn, then cleared before the summary; forced
// lines on a pipe; none on a pipe by default or with --no-progress.
TEST_F(IsoreadCsv, ProgressOnATerminal) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script";
  std::string in;
  for (int i = 0; i < 20000; ++i) in += "20110909\n";
  std::string src = file("in.txt", in), out = dir_ + "/out.txt", tty = dir_ + "/tty.txt";
  auto through_pty = [&](const std::string &opts) {
    std::string cmd = "ISOREAD_PROGRESS_MS=0 CI= script -qec \"" ZB_BUILD_DIR "/isoread " + opts +
                      " -f B8601DA8. " + src + "\" /dev/null </dev/null >" + tty;
    std::system(cmd.c_str());
    return slurp(tty);
  };
  std::string shown = through_pty("-o " + out);
  EXPECT_NE(shown.find("MB of 0.2 MB"), std::string::npos) << shown;
  EXPECT_NE(shown.find("%, "), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\033[Kisoread: 20000 records"), std::string::npos) << shown;
  std::string want;
  for (int i = 0; i < 20000; ++i) want += "2011-09-09\n";
  EXPECT_TRUE(slurp(out) == want);
  for (const char *off : {"--no-progress -o", "--progress --no-progress -o"}) {
    shown = through_pty(off + (" " + out));
    EXPECT_EQ(shown.find("MB of"), std::string::npos) << off << ": " << shown;
  }
  // The output on the terminal too: no progress line runs through it.
  shown = through_pty("");
  EXPECT_EQ(shown.find("MB of"), std::string::npos) << shown.substr(0, 200);
  EXPECT_NE(shown.find("2011-09-09"), std::string::npos);

  setenv("ISOREAD_PROGRESS_MS", "0", 1);
  ProgramOutcome o = run_isoread({"-f", "B8601DA8.", src}, "");
  EXPECT_EQ(o.err.find("MB"), std::string::npos) << o.err;
  o = run_isoread({"--progress", "-f", "B8601DA8.", src}, "");
  EXPECT_NE(o.err.find("isoread: 0.2 MB of 0.2 MB, 100%"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find('\r'), std::string::npos);
  unsetenv("ISOREAD_PROGRESS_MS");
}

}  // namespace
