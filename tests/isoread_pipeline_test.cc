// isoread loses nothing on the way: failed writes are errors, -o is whole or
// untouched, memory does not follow the input, and no record is merged or
// misread without a word.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/run_isoread.h"
#include "support/temp_dir.h"

namespace {

using zbtest::run_isoread;

struct Ended {
  int status = -1;  // exit status; -1 when ended by a signal
  int signal = 0;
  long max_rss_kb = 0;
  std::string err;
};

class IsoreadPipeline : public zbtest::TempDirTest {
 protected:
  // Files of the test directory other than those named.
  std::vector<std::string> others(const std::vector<std::string> &known) {
    std::vector<std::string> v;
    DIR *d = opendir(dir_.c_str());
    while (dirent *e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      bool k = false;
      for (const std::string &s : known) k |= s == n;
      if (!k) v.push_back(n);
    }
    closedir(d);
    return v;
  }

  // Starts isoread with stdin from in_path, stdout to out_fd (-1: closed),
  // standard error to a file; before exec, child() runs in the child.
  pid_t start(const std::vector<std::string> &args, const std::string &in_path, int out_fd,
              const std::function<void()> &child = {}) {
    std::vector<std::string> argv_s = {ZB_BUILD_DIR "/isoread"};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = dir_ + "/.stderr";
    pid_t pid = fork();
    if (pid == 0) {
      int in = open(in_path.c_str(), O_RDONLY);
      dup2(in, 0);
      int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(e, 2);
      if (out_fd >= 0) dup2(out_fd, 1);
      else close(1);
      signal(SIGINT, SIG_DFL);
      signal(SIGPIPE, SIG_DFL);
      if (child) child();
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }
  Ended wait_for(pid_t pid) {
    Ended r;
    int ws = 0;
    rusage ru{};
    wait4(pid, &ws, 0, &ru);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    r.signal = WIFSIGNALED(ws) ? WTERMSIG(ws) : 0;
    r.max_rss_kb = ru.ru_maxrss;
    r.err = slurp(dir_ + "/.stderr");
    return r;
  }
  Ended run(const std::vector<std::string> &args, const std::string &in_path, int out_fd,
          const std::function<void()> &child = {}) {
    return wait_for(start(args, in_path, out_fd, child));
  }

};

std::string dates(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "20110909T123045\n";
  return s;
}

bool has(const std::string &s, const std::string &part) { return s.find(part) != std::string::npos; }

// 1. Output that cannot be written is an error naming the output, never a
// success: a full device, a closed descriptor, a pipe nobody reads, a file
// size limit as a full disk under -o.
TEST_F(IsoreadPipeline, LostOutputIsAnError) {
  const std::string in = file("in.txt", dates(200000));
  int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  for (const char *jobs : {"1", "4"}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs);
    Ended r = run({"--jobs", jobs, "-f", "B8601DT15.", in}, "/dev/null", full);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, "error writing standard output: No space left on device")) << r.err;
  }
  close(full);

  Ended r = run({"-f", "B8601DT15.", in}, "/dev/null", -1);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "standard output is closed")) << r.err;

  // A pipe whose reader has gone, with SIGPIPE ignored: EPIPE.
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  close(p[0]);
  r = run({"-f", "B8601DT15.", in}, "/dev/null", p[1], [] { signal(SIGPIPE, SIG_IGN); });
  close(p[1]);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "error writing standard output: Broken pipe")) << r.err;

  // -o on a disk that fills at 64 KiB of the 4 MB: the old file stays whole
  // and no temporary file is left.
  const std::string out = file("out.txt", "old\n");
  r = run({"-f", "B8601DT15.", "-o", out, in}, "/dev/null", 1, [] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit lim{65536, 65536};
    setrlimit(RLIMIT_FSIZE, &lim);
  });
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "error writing " + out + ": File too large")) << r.err;
  EXPECT_EQ(slurp(out), "old\n");
  EXPECT_EQ(others({"in.txt", "out.txt", ".stderr"}), std::vector<std::string>{});
}

// 2. -o never harms its inputs nor an old output: the same file by another
// name is refused, and every check comes before the output is touched.
TEST_F(IsoreadPipeline, OutputFileIsWholeOrUntouched) {
  const std::string v = file("v.txt", dates(10));
  ASSERT_EQ(link(v.c_str(), (dir_ + "/hard.txt").c_str()), 0);
  const std::string csv = file("in.csv", "id,when\n1,20110909T123045\n");
  const std::string out = file("out.csv", "old\n");
  struct Row {
    std::vector<std::string> args;
    std::string target;  // the file that must not change
    std::string message;
  } rows[] = {
      {{"--keep", "-f", "B8601DT15.", "-o", v, v}, v, "refusing to write " + v},
      {{"-f", "B8601DT15.", "-o", dir_ + "/hard.txt", v}, v, "it is the input"},
      {{"-f", "B8601DT15.", "-o", dir_ + "/./v.txt", v}, v, "it is the input"},
      {{"--csv", "--header", "-f", "wehn:B8601DT15.", "-o", out, csv}, out, "no column 'wehn'"},
      {{"-f", "B8601DT15.", "-o", out, csv, dir_ + "/missing.txt"}, out, "cannot open"},
      {{"-f", "B8601XX", "-o", out, csv}, out, "unknown informat"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.message);
    const std::string before = slurp(row.target);
    zbtest::ProgramOutcome o = run_isoread(row.args, "");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, row.message)) << o.err;
    EXPECT_EQ(slurp(row.target), before);
  }
  // Standard output appended to an input.
  int fd = open(v.c_str(), O_WRONLY | O_APPEND);
  Ended r = run({"-f", "B8601DT15.", v}, "/dev/null", fd);
  close(fd);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "refusing to write standard output")) << r.err;
  EXPECT_EQ(slurp(v), dates(10));
  EXPECT_EQ(others({"v.txt", "hard.txt", "in.csv", "out.csv", ".stderr"}),
            std::vector<std::string>{});

  // A run that ends well replaces the file, keeping its mode.
  chmod(out.c_str(), 0640);
  zbtest::ProgramOutcome o = run_isoread({"-f", "B8601DT15.", "-o", out, v}, "");
  EXPECT_EQ(o.status, 0) << o.err;
  std::string want;
  for (int i = 0; i < 10; ++i) want += "2011-09-09T12:30:45\n";
  EXPECT_EQ(slurp(out), want);
  struct stat st;
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// -o onto a pipe (or a device) writes into it: it is not replaced by a file.
TEST_F(IsoreadPipeline, OutputOntoAPipe) {
  const std::string fifo = dir_ + "/out.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = slurp(fifo); });
  zbtest::ProgramOutcome o = run_isoread({"-f", "B8601DT15.", "-o", fifo}, dates(3));
  reader.join();
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(got, "2011-09-09T12:30:45\n2011-09-09T12:30:45\n2011-09-09T12:30:45\n");
  struct stat st;
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(others({"out.fifo", ".stderr"}), std::vector<std::string>{});
}

// 2. Interrupted while it writes: the old file stays as it was and the
// temporary one goes.
TEST_F(IsoreadPipeline, InterruptedRunLeavesTheOldOutput) {
  const std::string out = file("out.txt", "old\n");
  // Standard input a FIFO the test keeps open: the run is surely mid-way.
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t pid = start({"-f", "B8601DT15.", "-o", out}, fifo, 1);
  int w = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(w, 0);
  const std::string chunk = dates(100000);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(write(w, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
  // Wait until the temporary file has grown: records have been written.
  bool grown = false;
  for (int i = 0; i < 500 && !grown; ++i) {
    for (const std::string &n : others({"out.txt", "fifo", ".stderr"})) {
      struct stat st;
      grown |= stat((dir_ + "/" + n).c_str(), &st) == 0 && st.st_size > 0;
    }
    if (!grown) usleep(10000);
  }
  EXPECT_TRUE(grown);
  kill(pid, SIGINT);
  Ended r = wait_for(pid);
  close(w);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_EQ(slurp(out), "old\n");
  EXPECT_EQ(others({"out.txt", "fifo", ".stderr"}), std::vector<std::string>{});
}

// 3. One quote left open in a large stream: the bound takes the record as
// unclosed long before the end, the records after it are read, and --jobs
// gives the same.
TEST_F(IsoreadPipeline, UnclosedQuoteInALargeStream) {
  std::string csv = "1,20110909T123045\n2,\"open\n";
  const int n = 200000;
  for (int i = 3; i <= n; ++i) csv += std::to_string(i) + ",20110909T123045\n";
  const std::string in = file("in.csv", csv);
  const std::vector<std::string> args = {"--csv", "--max-record", "64K", "-f", "2:B8601DT15."};
  std::vector<std::string> serial = args, jobs = args;
  serial.push_back(in);
  jobs.insert(jobs.end(), {"--jobs", "2", in});
  zbtest::ProgramOutcome one = run_isoread(serial, "");
  EXPECT_EQ(one.status, 1);
  EXPECT_TRUE(has(one.err, "record 2 (line 2): a quote is not closed within 65536 bytes"))
      << one.err;
  EXPECT_TRUE(has(one.err, "200000 records, 200000 fields: 199999 read, 0 missing, 1 failed")) << one.err;
  EXPECT_TRUE(has(one.err, "1 record with an unclosed quote")) << one.err;
  zbtest::ProgramOutcome two = run_isoread(jobs, "");
  EXPECT_EQ(two.status, one.status);
  EXPECT_TRUE(two.out == one.out);
  EXPECT_EQ(two.err, one.err);
  // A line longer than the bound: cut, said, and the next records read.
  zbtest::ProgramOutcome o = run_isoread(
      {"--max-record", "1K", "-f", "B8601DT15."}, "20110909T123045" + std::string(5000, ' ') + "\n20110909T123045\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "2011-09-09T12:30:45\n2011-09-09T12:30:45\n");
  EXPECT_TRUE(has(o.err, "record 1 (line 1) is longer than 1024 bytes")) << o.err;
  EXPECT_TRUE(has(o.err, "1 record cut at the record bound")) << o.err;
}

// 4. Records neither merged nor misread: CR line ends, a byte order mark,
// names looked up in each input's own header, fields past a record's end.
TEST_F(IsoreadPipeline, NothingMergedOrMisread) {
  const std::string a = file("a.csv", "id,when\n1,20110909T123045\n");
  const std::string b = file("b.csv", "when,id\n20120229T000000,2\n");
  const std::string c = file("c.csv", "id\n3\n");
  const std::string bom = file("bom.csv", "\xEF\xBB\xBFid,when\n1,20110909T123045\n");
  struct Row {
    std::vector<std::string> args;
    std::string in, out;
    int status;
    const char *err;  // a part of standard error
  } rows[] = {
      {{"-f", "B8601DT15."}, "20110909T123045\r20110910T123045\r20110911T123045\r",
       "2011-09-09T12:30:45\n2011-09-10T12:30:45\n2011-09-11T12:30:45\n", 0, "3 records"},
      {{"--csv", "--header", "-f", "when:B8601DT15.", a, b},
       "", "when_B8601DT15\n2011-09-09T12:30:45\n2012-02-29T00:00:00\n", 0, "2 records"},
      {{"--csv", "--header", "-f", "when:B8601DT15.", a, c}, "", "", 2,
       "c.csv: field 'when:B8601DT15.': no column 'when' in the header (its columns: id)"},
      {{"--csv", "--header", "-f", "id:B8601DA", "--errors", bom}, "",
       "id_B8601DA,id_B8601DA_error\n,invalid data (0x8001d819)\n", 1, "1 failed"},
      {{"-d", ",", "-f", "4:B8601DA"}, "a,b,c\nd,e,f,20110909\n", ".\n2011-09-09\n", 1,
       "1 field absent from its record (the first in record 1)"},
      {{"--csv", "-d", ";", "-f", "2:B8601DA"}, "1,20110909\n2,20110910\n", "\n\n", 1,
       "2 fields absent from their record (the first in record 1)"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.err);
    zbtest::ProgramOutcome o = run_isoread(row.args, row.in);
    EXPECT_EQ(o.status, row.status) << o.err;
    EXPECT_EQ(o.out, row.out);
    EXPECT_TRUE(has(o.err, row.err)) << o.err;
  }
}

// 5. Memory follows the cells present, not the field number asked for.
TEST_F(IsoreadPipeline, HighFieldNumbersCostNothing) {
  const std::string one = file("one.txt", "20110909T123045\n");
  for (const auto &args : {std::vector<std::string>{"-f", "99999999:B8601DT15.", one},
                           std::vector<std::string>{"-d", ",", "-f", "999999999:B8601DT15.", one},
                           std::vector<std::string>{"--csv", "-f", "999999999:B8601DT15.", one}}) {
    SCOPED_TRACE(args[1]);
    int null = open("/dev/null", O_WRONLY);
    Ended r = run(args, "/dev/null", null);
    close(null);
    EXPECT_LE(r.status, 1) << r.err;
    EXPECT_LT(r.max_rss_kb, 400 * 1024) << "peak RSS in KiB";
  }
}

}  // namespace
