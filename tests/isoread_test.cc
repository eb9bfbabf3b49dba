// isoread as a user runs it: the built binary over files and standard input.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host.h"

extern char **environ;

namespace {

struct Outcome {
  int status = -1;  // exit status, or -1 when the program did not exit
  std::string out, err;
};

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class IsoreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/isoread_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    for (const std::string &f : files_) std::remove(f.c_str());
    std::remove(dir_.c_str());
  }

  std::string file(const std::string &name, const std::string &content) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    files_.push_back(path);
    return path;
  }

  // Runs the binary with args; stdin_text, when given, is fed through a
  // pipe, else standard input is /dev/null.
  Outcome run(const std::vector<std::string> &args,
              const std::optional<std::string> &stdin_text = std::nullopt) {
    std::string out_path = dir_ + "/stdout", err_path = dir_ + "/stderr";
    files_.push_back(out_path);
    files_.push_back(err_path);
    std::vector<std::string> argv_s = {ZB_BUILD_DIR "/isoread"};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);

    int in_pipe[2] = {-1, -1};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdin_text) {
      EXPECT_EQ(pipe(in_pipe), 0);
      posix_spawn_file_actions_adddup2(&fa, in_pipe[0], 0);
      posix_spawn_file_actions_addclose(&fa, in_pipe[0]);
      posix_spawn_file_actions_addclose(&fa, in_pipe[1]);
    } else {
      posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&fa, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&fa, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    // A run that ends before it reads its input must not take the test down
    // with SIGPIPE; the program itself gets the default disposition back.
    signal(SIGPIPE, SIG_IGN);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t def;
    sigemptyset(&def);
    sigaddset(&def, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &def);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    Outcome o;
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << argv[0];
      return o;
    }
    if (stdin_text) {
      close(in_pipe[0]);
      const char *p = stdin_text->data();
      size_t left = stdin_text->size();
      while (left > 0) {
        ssize_t n = write(in_pipe[1], p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
      }
      close(in_pipe[1]);
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    o.out = slurp(out_path);
    o.err = slurp(err_path);
    return o;
  }

  std::string dir_;
  std::vector<std::string> files_;
};

bool contains(const std::string &s, const std::string &part) {
  return s.find(part) != std::string::npos;
}

// ---------------------------------------------------------------- text output

struct TextRow {
  std::vector<std::string> args;
  std::string input;
  std::string out;
  const char *why;
};

TEST_F(IsoreadTest, TextOutput) {
  const TextRow rows[] = {
      {{"-f", "B8601DA8."}, "20110909\n", "2011-09-09\n", "a date"},
      {{"-f", "B8601DA8."}, "19591231\n19600101\n", "1959-12-31\n1960-01-01\n", "around 1960"},
      {{"-f", "B8601TM"}, "1230455\n", "12:30:45.5\n", "fraction of a second"},
      {{"-f", "B8601DT"}, "20110909T123045123\n", "2011-09-09T12:30:45.123\n",
       "datetime fraction"},
      {{"-f", "B8601DT"}, "19591231T235959\n", "1959-12-31T23:59:59\n", "before 1960"},
      {{"-f", "B8601DZ"}, "20110909T003000+0100\n", "2011-09-08T23:30:00Z\n",
       "zone moves the day"},
      {{"-f", "B8601DN"}, "20110909\n", "2011-09-09T00:00:00\n", "date read as datetime"},
      {{"-f", "zifmtim"}, "-1:30\n", "-01:30:00\n", "negative time"},
      {{"-f", "zifmymd"}, "12000-01-01\n", "+12000-01-01\n", "expanded year"},
      {{"-f", "B8601TM"}, "240000\n", ".\n", "out of range: missing value"},
      {{"-f", "B8601DA8."}, "2011090\n", "!0x8001d819\n", "failure mark"},
      {{"-f", "B8601TM"}, "1a3000\n", "!0x00000001\n", "malformed time code"},
      {{"-f", "B8601DA8.", "-f", "B8601TM6."}, "20110909123045\r\n",
       "2011-09-09\t12:30:45\n", "two fields, carriage return dropped"},
      {{"-f", "B8601DA8."}, "20110909\n20120229", "2011-09-09\n2012-02-29\n",
       "last line without newline"},
      {{"-f", "10:B8601TM6.", "-f", "1:B8601DA8."}, "20110909 123045\n",
       "12:30:45\t2011-09-09\n", "positions in any order"},
      {{"-f", "B8601DA9.", "-f", "B8601TM"}, "20110909 123045\n", "2011-09-09\t12:30:45\n",
       "a field follows the previous one"},
      {{"--raw", "-f", "B8601DA8.", "-f", "B8601TM"}, "20110909123045\n19591231240000\n",
       "18879\t45045\n-1\t.\n", "raw numbers"},
      {{"-d", ",", "-f", "2:B8601TM", "-f", "B8601DA"}, "x,123045,20110909\n",
       "12:30:45\t2011-09-09\n", "delimited, next field number"},
      {{"-d", "\\t", "-f", "B8601DA", "-f", "B8601TM"}, "20110909\t1230\n",
       "2011-09-09\t12:30:00\n", "tab delimiter"},
      {{"-f", "i8601dz"}, "2011-09-09T12:30:00Z\n", "2011-09-09T12:30:00Z\n",
       "routine name takes the rest of the record"},
      {{"-m", "morvista", "-f", "ND8601DA4."}, "2011\n", "2011-01-01\n", "second deliverable"},
      {{"-f", "i8601tz"}, "23:00-01:00\n", "24:00:00Z\n", "the zone reader's end of day"},
      {{"-d", ",", "-f", "3:B8601DA"}, "a,b\n", ".\n", "field past the last delimiter"},
      {{"-d", ",", "-f", "2:B8601DA"}, "a,20110909,b\n", "2011-09-09\n",
       "a delimited field ends at its delimiter"},
  };
  for (const TextRow &row : rows) {
    SCOPED_TRACE(row.why);
    Outcome o = run(row.args, row.input);
    EXPECT_EQ(o.out, row.out);
    EXPECT_LE(o.status, 1) << o.err;
  }
}

// The available length is what remains of the record: a field near the end
// of a short record sees only what is there, and a field past the end sees
// nothing; a delimited field sees its own bytes only.
TEST_F(IsoreadTest, AvailableLengthIsTheRestOfTheRecord) {
  Outcome o = run({"--json", "-f", "1:B8601DA10.", "-f", "20:B8601TM"}, "20110909\n");
  EXPECT_EQ(o.out,
            R"({"record": 1, "fields": [)"
            R"({"name": "B8601DA10.", "width": 10, "text": "20110909", "rc": 0, "code": 0, "message": null, "status": 0, "value": 18879, "untouched": false}, )"
            R"({"name": "B8601TM8.", "width": 8, "text": "", "rc": 0, "code": 0, "message": null, "status": 8, "value": null, "untouched": false}]})"
            "\n");
  o = run({"--dump", "-d", ";", "-f", "B8601DA", "-f", "B8601TM"}, "20110909;1230\n");
  EXPECT_TRUE(contains(o.out, "field number 1, width 10, available 8")) << o.out;
  // A field without a width is given the informat's widest: its whole cell.
  EXPECT_TRUE(contains(o.out, "field number 2, width 15, available 4")) << o.out;
}

// A routine name takes the rest of each record as its width.
TEST_F(IsoreadTest, RoutineWidthFollowsEachRecord) {
  Outcome o = run({"--json", "-f", "6:i8601da"}, "abcd 2011-09-09\nabcd  2011-09-09 \n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            R"({"record": 1, "fields": [{"name": "i8601da", "width": 10, "text": "2011-09-09", "rc": 0, "code": 0, "message": null, "status": 0, "value": 18879, "untouched": false}]})"
            "\n"
            R"({"record": 2, "fields": [{"name": "i8601da", "width": 12, "text": " 2011-09-09 ", "rc": 0, "code": 0, "message": null, "status": 0, "value": 18879, "untouched": false}]})"
            "\n");
}

// The bundled sample, read with the command its README gives.
TEST_F(IsoreadTest, BundledSample) {
  Outcome o = run({"-f", "B8601DA9.", "-f", "B8601TM8.", "-f", "B8601DT19.", "-f", "B8601DZ21.",
                   "-f", "B8601CI14.", ZB_SOURCE_DIR "/examples/sample.txt"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out,
            "2011-09-09\t12:30:45\t2011-09-09T12:30:45\t2011-09-09T12:30:45Z\t2011-09-09T12:30:45\n"
            "1960-01-01\t00:00:00\t1960-01-01T00:00:00\t1959-12-31T23:00:00Z\t1960-01-01T00:00:00\n"
            "1959-12-31\t23:59:59\t1959-12-31T23:59:59\t1960-01-01T04:59:59Z\t1959-12-31T23:59:59\n"
            "2012-02-29\t12:30:45.5\t2012-02-29T12:00:00\t2012-02-29T06:30:00Z\t2012-02-29T12:00:00\n"
            "2011-09-01\t12:00:00\t2011-09-09T00:00:00\t2011-09-09T12:30:00Z\t1999-12-31T12:30:45\n"
            "2011-01-01\t12:30:00\t2011-09-09T12:30:45.123\t2011-09-09T17:30:45Z\t"
            "2011-09-09T12:30:45\n"
            "!0x8001d814\t!0x8001d819\t2011-09-09T12:30:45\t!0x8001d819\t2011-09-09T12:30:45\n"
            ".\t.\t!0x8001d819\t!0x8001d819\t.\n"
            "!0x8001d819\t!0x00000001\t2011-09-09T12:30:45\t2011-09-09T12:30:45.1Z\t!0x8001d814\n"
            "2000-02-29\t00:00:01\t2000-02-29T00:00:01\t2000-02-28T10:00:01Z\t2000-02-29T00:00:01\n"
            "!0x8001d814\t12:00:00\t!0x8001d814\t2000-01-01T11:59:59Z\t1999-12-31T23:59:00\n"
            "9999-12-31\t23:59:59\t9999-12-31T23:59:59\t9999-12-31T23:59:59Z\t2099-12-31T23:59:59\n");
  EXPECT_EQ(o.err,
            "isoread: 12 records, 60 fields: 47 read, 3 missing, 10 failed (0x8001d814 invalid "
            "date or datetime: 4, 0x8001d819 invalid data: 5, 0x00000001 malformed time: 1); "
            "field 'B8601DT19.': try B8601DJ15. (reads 1 of 2); field 'B8601DZ21.': try "
            "B8601DT15.; field 'B8601CI14.': try B8601DT14.\n");
}

// ---------------------------------------------------------------- JSON output

TEST_F(IsoreadTest, JsonLines) {
  std::string a = file("a.txt", "20110909 20110230\n");
  std::string b = file("b.txt", "\"\\\x01\xc3\xa9\xff\n");
  Outcome o = run({"--json", "-f", "B8601DA9.", "-f", "B8601DA8.", a, b});
  EXPECT_EQ(o.status, 1);
  std::string want =
      R"({"record": 1, "fields": [)"
      R"({"name": "B8601DA9.", "width": 9, "text": "20110909 ", "rc": 0, "code": 0, "message": null, "status": 0, "value": 18879, "untouched": false}, )"
      R"({"name": "B8601DA8.", "width": 8, "text": "20110230", "rc": 2147604500, "code": 2147604500, "message": "invalid date or datetime", "status": 0, "value": null, "untouched": false}]})"
      "\n"
      R"({"record": 2, "fields": [)"
      R"({"name": "B8601DA9.", "width": 9, "text": "\"\\\u0001é\u00ff", "rc": 2147604500, "code": 2147604500, "message": "invalid date or datetime", "status": 0, "value": null, "untouched": true}, )"
      R"({"name": "B8601DA8.", "width": 8, "text": "", "rc": 0, "code": 0, "message": null, "status": 8, "value": null, "untouched": false}]})"
      "\n";
  EXPECT_EQ(o.out, want);
}

TEST_F(IsoreadTest, JsonValuesRoundTrip) {
  Outcome o = run({"--json", "-f", "B8601TM"}, "1230451\n");
  EXPECT_TRUE(contains(o.out, R"("value": 45045.1,)")) << o.out;
}

// Raw values are the shortest text that reads back as the value, exactly as
// std::to_chars writes it: whole numbers in fixed notation unless the
// scientific form is shorter (midnights of some days are, 4.32e+08).
TEST_F(IsoreadTest, RawNumbersAreShortestText) {
  std::string input;
  for (int y = 1700; y <= 2300; y += 3)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= 28; d += 3) {
        char line[32];
        std::snprintf(line, sizeof line, "%04d%02d%02d%02d%02d%02d\n", y, m, d, (y + m) % 24,
                      (d * 7) % 60, (y * 13) % 60);
        input += line;
      }
  input += "19730909000000\n";  // 5000 days: 432000000 s, written 4.32e+08
  Outcome o = run({"--raw", "-f", "1:B8601DN8.", "-f", "1:B8601DA8.", "-f", "9:B8601TM6.",
                   file("dates.txt", input)});
  ASSERT_EQ(o.status, 0) << o.err;
  std::istringstream lines(o.out);
  std::string token;
  size_t values = 0, scientific = 0;
  while (lines >> token) {
    double x = 0;
    auto parsed = std::from_chars(token.data(), token.data() + token.size(), x);
    ASSERT_EQ(parsed.ptr, token.data() + token.size()) << token;
    char again[32];
    char *end = std::to_chars(again, again + sizeof again, x).ptr;
    EXPECT_EQ(std::string(again, static_cast<size_t>(end - again)), token);
    ++values;
    scientific += token.find('e') != std::string::npos;
  }
  EXPECT_EQ(values, 3 * std::count(input.begin(), input.end(), '\n'));
  EXPECT_GT(scientific, 0u) << "no value took the scientific form";
}

// ---------------------------------------------------------------- summary

TEST_F(IsoreadTest, SummaryCountsFailuresByCode) {
  Outcome o = run({"-f", "B8601DA8.", "-f", "B8601TM"},
                  "20110909123045\n2011090 240000\n20110230x\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "2011-09-09\t12:30:45\n!0x8001d819\t.\n!0x8001d814\t!0x8001d819\n");
  EXPECT_EQ(o.err,
            "isoread: 3 records, 6 fields: 2 read, 1 missing, 3 failed (0x8001d819 invalid "
            "data: 2, 0x8001d814 invalid date or datetime: 1)\n");
}

TEST_F(IsoreadTest, AllReadExitsZero) {
  Outcome o = run({"-f", "B8601DA8."}, "20110909\n\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "2011-09-09\n.\n");  // an empty record: missing notation
  EXPECT_EQ(o.err, "isoread: 2 records, 2 fields: 1 read, 1 missing, 0 failed\n");
}

TEST_F(IsoreadTest, FilesAndStandardInput) {
  std::string a = file("a.txt", "20110909\n");
  std::string b = file("b.txt", "20120229\n");
  Outcome o = run({"-f", "B8601DA8.", a, "-", b}, "19600101\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "2011-09-09\n1960-01-01\n2012-02-29\n");
  EXPECT_TRUE(contains(o.err, "3 records")) << o.err;
}

// ---------------------------------------------------------------- exit status 2

struct ErrorRow {
  std::vector<std::string> args;
  const char *message;  // a part of standard error
  const char *why;
};

TEST_F(IsoreadTest, UsageAndSetupErrorsExitTwo) {
  std::string not_a_module = file("plain.txt", "not a library\n");
  const ErrorRow rows[] = {
      {{}, "no field to read", "no -f"},
      {{"-x", "-f", "B8601DA"}, "unknown option -x", "unknown option"},
      {{"-f"}, "needs a value", "missing value"},
      {{"--raw=1", "-f", "B8601DA"}, "takes no value", "flag with a value"},
      {{"--raw", "--json", "-f", "B8601DA"}, "choose one", "two output modes"},
      {{"-f", "0:B8601DA"}, "position", "position 0"},
      {{"-f", "x:B8601DA"}, "names a column: give --header", "a column name without --header"},
      {{"-f", ":B8601DA"}, "position", "nothing before ':'"},
      {{"--header", "-f", "B8601DA"}, "--header needs --csv or --delimiter", "header of fixed columns"},
      {{"--errors", "-f", "B8601DA"}, "--errors adds columns to CSV output", "--errors without --csv"},
      {{"--csv", "--json", "--errors", "-f", "B8601DA"}, "--errors adds columns", "--errors with JSON"},
      {{"--keep", "--dump", "-f", "B8601DA"}, "--keep writes text or CSV", "--keep with --dump"},
      {{"--csv", "-d", "\"", "-f", "B8601DA"}, "the quote cannot be the delimiter", "quote as delimiter"},
      {{"-o", "", "-f", "B8601DA"}, "needs a file name", "empty output name"},
      {{"--csv", "--header", "-f", "nope:B8601DA"}, "no column 'nope' in the header (its columns: 20110909)",
       "unknown column name"},
      {{"-f", "3:"}, "no informat", "position alone"},
      {{"-d", "ab", "-f", "B8601DA"}, "bad delimiter", "delimiter of two characters"},
      {{"-f", "B8601XX"}, "B8601DA B8601TM B8601TZ B8601DT B8601DZ B8601DN B8601DJ B8601CI",
       "unknown informat lists the known ones"},
      {{"-f", "B8601DT30."}, "out of range for B8601DT: 14 to 26", "width out of range"},
      {{"-m", "morvista", "-f", "B8601DT"}, "ND8601DT", "a name of the other module"},
      {{"-m", dir_ + "/none.so", "-f", "B8601DA"}, "none.so", "module file missing"},
      {{"-m", not_a_module, "-f", "B8601DA"}, "plain.txt", "not a module"},
  };
  for (const ErrorRow &row : rows) {
    SCOPED_TRACE(row.why);
    Outcome o = run(row.args, "20110909\n");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, row.message)) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

// An unreadable input is reported and the others are still read.
TEST_F(IsoreadTest, UnreadableFileExitsTwoAndLosesNothing) {
  std::string a = file("a.txt", "20110909\n");
  Outcome o = run({"-f", "B8601DA8.", dir_ + "/missing.txt", a, dir_});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "2011-09-09\n");
  EXPECT_TRUE(contains(o.err, "cannot open " + dir_ + "/missing.txt")) << o.err;
  EXPECT_TRUE(contains(o.err, "error reading " + dir_ + ":")) << o.err;  // a directory
  EXPECT_TRUE(contains(o.err, "1 record,")) << o.err;
}

TEST_F(IsoreadTest, ModuleByPath) {
  Outcome o = run({"-m", zbhost::module_path("morvista"), "-f", "ND8601TM2."}, "09\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "09:00:00\n");
}

TEST_F(IsoreadTest, HelpDocumentsEveryOption) {
  Outcome o = run({"--help"});
  EXPECT_EQ(o.status, 0);
  for (const char *part : {"--module", "--field", "--delimiter", "--raw", "--json", "--dump",
                           "[POS:]NAME[W][.]", "Exit status", "Examples", "zelbrant",
                           "morvista", "i8601dz", "--csv", "--header", "--keep", "--errors",
                           "--output", "--progress", "--no-progress", "-f when:B8601DZ"})
    EXPECT_TRUE(contains(o.out, part)) << part;
}

// ---------------------------------------------------------------- dump

TEST_F(IsoreadTest, DumpShowsWhatTheReaderGotAndGave) {
  Outcome o = run({"--dump", "-f", "B8601DA8.", "-f", "12:B8601TM"}, "20110909\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "record 1\n"
            "  field 1 B8601DA8.: column 1, width 8, available 8\n"
            "    window \"20110909\" [32 30 31 31 30 39 30 39]\n"
            "    returned 0x00000000, status 0x00000000, target [00 00 00 00 c0 6f d2 40] = "
            "18879 = 2011-09-09\n"
            "  field 2 B8601TM8.: column 12, width 8, available 0\n"
            "    window \"\" []\n"
            "    returned 0x00000000, status 0x00000008, target [00 00 00 00 00 fe ff ff] "
            "missing\n");
}

// ---------------------------------------------------------------- volume

// Records crossing the reader's buffer boundaries, and one record longer than
// its buffer, are read whole.
TEST_F(IsoreadTest, LargeInputsAndLongRecords) {
  std::string big;
  const int n = 150000;  // about 2.4 MB: several buffer fills
  for (int i = 0; i < n; ++i) big += (i % 2 ? "20110909T123045\n" : "19591231T235959\r\n");
  std::string path = file("big.txt", big);
  Outcome o = run({"-f", "B8601DT15.", path});
  EXPECT_EQ(o.status, 0) << o.err;
  std::string want;
  for (int i = 0; i < n; ++i) want += (i % 2 ? "2011-09-09T12:30:45\n" : "1959-12-31T23:59:59\n");
  EXPECT_TRUE(o.out == want) << "output differs; first 200 bytes: " << o.out.substr(0, 200);

  std::string lng(3 << 20, 'x');
  lng += "20110909\n20120229\n";
  o = run({"-f", std::to_string((3 << 20) + 1) + ":B8601DA8."}, lng);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "2011-09-09\n.\n");
}

// Records are read a batch at a time: each record gets its own values
// whatever batch it falls in and wherever a read of the input ends (a pipe
// gives short reads), and CSV cells the splitter unquoted survive the
// splitting of the records after them.
TEST_F(IsoreadTest, EachRecordOfABatchGetsItsOwnValues) {
  std::string fixed, csv, want_fixed, want_csv;
  for (int i = 0; i < 60000; ++i) {
    zbhost::cal::Civil c = zbhost::cal::civil_from_days(i);
    int s = i * 37 % 86400;
    char date[16], time[8], iso[40];
    std::snprintf(date, sizeof date, "%04d%02u%02u", static_cast<int>(c.year), c.month, c.day);
    std::snprintf(time, sizeof time, "%02d%02d%02d", s / 3600, s / 60 % 60, s % 60);
    std::snprintf(iso, sizeof iso, "%.4s-%.2s-%.2s\t%.2s:%.2s:%.2s\n", date, date + 4, date + 6,
                  time, time + 2, time + 4);
    fixed += std::string(date) + " " + time + std::string(i % 23, ' ') + "\n";
    want_fixed += iso;
    if (i < 3000) {
      csv += std::to_string(i) + ",\"" + date + " \"\"q\"\"\"\n";
      want_csv += std::string(iso, 10) + "\n";
    }
  }
  Outcome o = run({"-f", "B8601DA8.", "-f", "10:B8601TM6."}, fixed);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.out == want_fixed) << "output differs; first 200 bytes: " << o.out.substr(0, 200);
  o = run({"--csv", "-f", "2:B8601DA8.", file("quoted.csv", csv)});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.out == want_csv) << "output differs; first 200 bytes: " << o.out.substr(0, 200);
}

}  // namespace
