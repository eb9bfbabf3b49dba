// isoread --jobs: the input cut into blocks read by several threads must
// print exactly what one thread prints, byte for byte, on standard output and
// standard error, with the same exit status. ISOREAD_BLOCK_BYTES makes the
// blocks small, so that a small input is many blocks and records cross them.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/csv_records.h"
#include "support/run_isoread.h"

namespace {

using zbtest::ProgramOutcome;
using zbtest::run_isoread;

// Sets ISOREAD_BLOCK_BYTES for the runs of one scope.
class BlockBytes {
 public:
  explicit BlockBytes(size_t n) { setenv("ISOREAD_BLOCK_BYTES", std::to_string(n).c_str(), 1); }
  ~BlockBytes() { unsetenv("ISOREAD_BLOCK_BYTES"); }
};

// Records of every kind: read, missing, failing with different codes (the
// first failure of each code far apart, so the summary's order of codes is
// decided in different blocks), untouched fields, CRLF, empty and long lines.
std::string mixed_records(int n) {
  const char *kinds[] = {
      "20110909T123045+0100 123045",
      "19591231T235959Z     240000",
      "2011090",
      "",
      "20120229T000000-0530 1a3000",
      "                     000000",
      "20110909T123045+0100 123045\r",
  };
  std::string s;
  for (int i = 0; i < n; ++i) {
    int k = i < 500 ? i % 2 : (i * 7 + i / 13) % 7;
    s += kinds[k];
    if (i % 997 == 0) s += std::string(300 + i % 50, ' ');  // longer than a small block
    s += '\n';
  }
  return s;
}

std::string temp_file(const std::string &content) {
  char path[] = "/tmp/isoread_jobs.XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  std::ofstream(path, std::ios::binary) << content;
  close(fd);
  return path;
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string> &more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

void expect_same(const ProgramOutcome &want, const ProgramOutcome &got) {
  EXPECT_EQ(got.status, want.status);
  EXPECT_TRUE(got.out == want.out) << "standard output differs (" << got.out.size() << " bytes, "
                                   << want.out.size() << " with one thread)";
  EXPECT_EQ(got.err, want.err);
}

struct ModeRow {
  std::vector<std::string> args;
  const char *why;
};

const ModeRow kModes[] = {
    {{"-f", "B8601DZ20.", "-f", "22:B8601TM6."}, "text"},
    {{"--raw", "-f", "B8601DZ20.", "-f", "22:B8601TM6."}, "raw"},
    {{"--json", "-f", "B8601DZ20.", "-f", "22:B8601TM6."}, "json: record numbers"},
    {{"-d", " ", "-f", "1:B8601DZ", "-f", "B8601TM"}, "delimited"},
    {{"-f", "1:B8601DA8.", "-f", "is8601pdi"}, "an entity reader"},
};

TEST(IsoreadJobs, ManyBlocksPrintWhatOneThreadPrints) {
  std::string input = mixed_records(20000);
  std::string path = temp_file(input);
  ASSERT_FALSE(path.empty());
  for (const ModeRow &m : kModes) {
    SCOPED_TRACE(m.why);
    ProgramOutcome one = run_isoread(with(m.args, {path}), "");
    ASSERT_LE(one.status, 1) << one.err;
    ASSERT_GT(one.out.size(), input.size() / 2);
    for (size_t block : {64, 1000, 65536}) {
      BlockBytes b(block);
      for (const char *jobs : {"2", "3"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs + ", blocks of " + std::to_string(block));
        expect_same(one, run_isoread(with(m.args, {"--jobs", jobs, path}), ""));
      }
    }
  }
  // The default blocks, and standard input rather than a file.
  expect_same(run_isoread(with(kModes[2].args, {}), input),
              run_isoread(with(kModes[2].args, {"--jobs=2"}), input));
  std::remove(path.c_str());
}

// CSV: blocks end only where a record does, never inside quotes, so quoted
// line breaks across block edges give what one thread gives; so do record
// and line numbers in the messages of a quote left open at the end.
TEST(IsoreadJobs, CsvBlocksKeepQuotedCellsWhole) {
  const std::string records = zbtest::csv_records(6000, ',', 8);
  const std::string inputs[] = {records, records + "20110909,\"open\n20120229\n\"x\n"};
  const std::vector<std::string> modes[] = {
      {"--csv", "-f", "1:B8601DA8.", "-f", "3:i8601da"},
      {"--csv", "--keep", "--errors", "-f", "1:B8601DA8."},
      {"--csv", "--json", "-f", "1:B8601DA8.", "-f", "2:i8601da"},
      {"--csv", "--header", "--keep", "-f", "20110909:B8601DA8."},
  };
  for (const std::string &in : inputs) {
    std::string path = temp_file(in);
    ASSERT_FALSE(path.empty());
    for (const auto &m : modes) {
      SCOPED_TRACE(m[1] + " " + m.back() + (in.size() > records.size() ? ", open quote at the end" : ""));
      ProgramOutcome one = run_isoread(with(m, {path}), "");
      ASSERT_LE(one.status, 1) << one.err;
      for (size_t block : {16, 300, 65536}) {
        BlockBytes b(block);
        SCOPED_TRACE("blocks of " + std::to_string(block));
        expect_same(one, run_isoread(with(m, {"--jobs", "3", path}), ""));
      }
    }
    std::remove(path.c_str());
  }
}

// The end of the input: a last record without '\n' (with or without '\r'),
// an empty input, lines only, and a record much longer than a block.
TEST(IsoreadJobs, EndsOfInputAndLongRecords) {
  const char *inputs[] = {
      "20110909\n20120229",
      "20110909\n20120229\r",
      "20110909\r\n\r\n2011090",
      "",
      "\n",
      "\n\n\n",
      "2011",
  };
  std::vector<std::string> all(std::begin(inputs), std::end(inputs));
  all.push_back(std::string(5000, 'x') + "\n20110909\n" + std::string(3000, '9'));
  BlockBytes b(16);
  for (const std::string &in : all) {
    SCOPED_TRACE(in.substr(0, 40));
    for (const auto &args : {std::vector<std::string>{"-f", "B8601DA8."},
                             std::vector<std::string>{"--json", "-f", "B8601DA8.", "-f", "is8601dui"}}) {
      ProgramOutcome one = run_isoread(args, in);
      expect_same(one, run_isoread(with(args, {"--jobs", "2"}), in));
      expect_same(one, run_isoread(with(args, {"--jobs", "3"}), in));
    }
  }
}

// Several inputs: JSON numbers records on across them, a missing file is
// reported after the output of the inputs before it, and the last record of
// one file does not run into the next.
TEST(IsoreadJobs, SeveralInputs) {
  std::string a = temp_file(mixed_records(3000)), b = temp_file("20110909\n2012");
  std::vector<std::string> args = {"--json", "-f", "B8601DA8.", a, "/nonexistent/x", b, a};
  BlockBytes blocks(500);
  ProgramOutcome one = run_isoread(args, "");
  EXPECT_EQ(one.status, 2);
  EXPECT_NE(one.out.find("{\"record\": 6002, "), std::string::npos);
  expect_same(one, run_isoread(with({"--jobs", "2"}, args), ""));
  std::remove(a.c_str());
  std::remove(b.c_str());
}

// Modes whose readers write to the log, and the dump, read with one thread:
// the log lines come out in record order.
TEST(IsoreadJobs, LoggingModesStayInRecordOrder) {
  std::string in;
  for (int i = 0; i < 3000; ++i) in += i % 3 ? "PT" + std::to_string(i) + "X\n" : "P1Y\n";
  const std::vector<std::string> rows[] = {
      {"--option", "DEBUG=N8601DIAG", "-f", "is8601dui"},
      {"--target-length", "8", "-f", "is8601vli"},
      {"--dump", "-f", "B8601DA8."},
  };
  BlockBytes b(64);
  for (const auto &args : rows) {
    SCOPED_TRACE(args[0]);
    ProgramOutcome one = run_isoread(args, in);
    expect_same(one, run_isoread(with(args, {"--jobs", "2"}), in));
  }
}

TEST(IsoreadJobs, BadJobCounts) {
  for (const char *bad : {"0", "-1", "x", "", "2x", "257", "1.5", "99999999999"}) {
    SCOPED_TRACE(bad);
    ProgramOutcome o = run_isoread({"--jobs", bad, "-f", "B8601DA8."}, "20110909\n");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("bad job count '" + std::string(bad) + "'"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
  ProgramOutcome o = run_isoread({"-f", "B8601DA8.", "--jobs"}, "");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("needs a value"), std::string::npos) << o.err;
  o = run_isoread({"--jobs", "256", "-f", "B8601DA8."}, "20110909\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "2011-09-09\n");
  o = run_isoread({"--help"}, "");
  EXPECT_NE(o.out.find("--jobs N"), std::string::npos);
}

}  // namespace
