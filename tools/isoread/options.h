// The command line of isoread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "task.h"

namespace isoread {

enum class OutputMode { text, raw, json, dump };

// One -f argument, [POS:]NAME[W][.], before the informat is looked up.
struct FieldSpec {
  std::string given;  // the argument as typed
  int32_t pos = 0;    // 1-based column or field number; 0: after the previous
  std::string column;  // the header name of the column (--header), to find pos by
  std::string name;   // NAME[W][.]
};

enum class Progress { automatic, on, off };

struct Options {
  std::string module = "zelbrant";
  std::vector<FieldSpec> fields;
  bool delimited = false;
  char delimiter = 0;
  OutputMode mode = OutputMode::text;
  unsigned modes_given = 0;  // bit per OutputMode asked for
  std::vector<std::string> files;  // none: standard input; "-" is it too
  int jobs = 1;  // threads reading records (--jobs)
  bool csv = false;     // CSV records in, CSV out (unless --json or --dump)
  bool header = false;  // the first record of each input names the columns
  bool keep = false;    // each record written whole, the fields' values after it
  bool errors = false;  // CSV output: a message column after each field
  std::string output;   // -o FILE; empty: standard output
  Progress progress = Progress::automatic;
  size_t max_record = size_t{8} << 20;  // --max-record: longest record kept whole
  bool help = false;
  bool version = false;  // --version
  bool list = false;     // --list
  TaskOptions task;  // entity readers, host options, GMT offset
};

// The delimiter of delimited or CSV records.
inline char delimiter_of(const Options &o) { return o.delimited ? o.delimiter : ','; }

// Parses the arguments (argv[0] is skipped). On a usage error returns false
// and sets *error.
bool parse_options(int argc, char **argv, Options *opts, std::string *error);

// The most threads --jobs takes.
constexpr int kMaxJobs = 256;

// Prints the --help text; returns the exit status, 0.
int print_help(FILE *out);

// Reports a usage error on standard error; returns the exit status, 2.
int usage_error(const std::string &msg);

}  // namespace isoread
