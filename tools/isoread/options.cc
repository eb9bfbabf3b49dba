#include "options.h"

#include <cstring>
#include <string_view>

namespace isoread {

namespace {

bool parse_pos(std::string_view s, int32_t *pos) {
  if (s.empty() || s.size() > 9) return false;
  int32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < 1) return false;
  *pos = v;
  return true;
}

bool parse_field(const std::string &arg, FieldSpec *f, std::string *error) {
  f->given = arg;
  std::string_view s = arg;
  if (size_t colon = s.find(':'); colon != std::string_view::npos) {
    std::string_view before = s.substr(0, colon);
    bool number =
        !before.empty() && before.find_first_not_of("0123456789") == std::string_view::npos;
    if (before.empty() || (number && !parse_pos(before, &f->pos))) {
      *error = "bad field '" + arg +
               "': the position before ':' must be a number from 1 or a column name";
      return false;
    }
    if (!number) f->column = std::string(before);
    s.remove_prefix(colon + 1);
  }
  if (s.empty()) {
    *error = "bad field '" + arg + "': no informat named";
    return false;
  }
  f->name = std::string(s);
  return true;
}

bool parse_delimiter(const std::string &arg, char *c, std::string *error) {
  if (arg == "\\t" || arg == "tab") {
    *c = '\t';
  } else if (arg.size() == 1 && arg[0] != '\n' && arg[0] != '\r') {
    *c = arg[0];
  } else {
    *error = "bad delimiter '" + arg + "': give one character (or \\t for a tab)";
    return false;
  }
  return true;
}

bool parse_jobs(const std::string &arg, int *jobs, std::string *error) {
  int v = 0;
  bool ok = !arg.empty();
  for (char c : arg) {
    if (c < '0' || c > '9') ok = false;
    else if (v <= kMaxJobs) v = v * 10 + (c - '0');  // past the limit it stays past it
  }
  if (!ok || v < 1 || v > kMaxJobs) {
    *error = "bad job count '" + arg + "': give a number of threads from 1 to " +
             std::to_string(kMaxJobs);
    return false;
  }
  *jobs = v;
  return true;
}

// The options of CSV records, headers, kept records, the output file and the
// progress display. Returns false when name is none of them; *ok false on a
// bad value.
template <typename WantValue, typename NoValue>
bool parse_record_option(const std::string &name, const std::string &value, WantValue want_value,
                         NoValue no_value, Options *opts, bool *ok, std::string *error) {
  bool *flag = name == "--csv"      ? &opts->csv
               : name == "--header" ? &opts->header
               : name == "--keep"   ? &opts->keep
               : name == "--errors" ? &opts->errors
                                    : nullptr;
  if (flag) {
    *ok = no_value();
    *flag = true;
  } else if (name == "--progress" || name == "--no-progress") {
    *ok = no_value();
    opts->progress = name == "--progress" ? Progress::on : Progress::off;
  } else if (name == "-o" || name == "--output") {
    *ok = want_value();
    if (*ok && value.empty()) {
      *error = "option " + name + " needs a file name";
      *ok = false;
    }
    opts->output = value;
  } else {
    return false;
  }
  return true;
}

// The combinations of the options above that cannot work.
bool check_record_options(Options *opts, std::string *error) {
  bool csv_out = opts->csv && (opts->mode == OutputMode::text || opts->mode == OutputMode::raw);
  if (opts->csv && opts->delimited && opts->delimiter == '"') {
    *error = "the quote cannot be the delimiter of --csv";
  } else if (opts->header && !opts->csv && !opts->delimited) {
    *error = "--header needs --csv or --delimiter";
  } else if (opts->keep && (opts->mode == OutputMode::json || opts->mode == OutputMode::dump)) {
    *error = "--keep writes text or CSV output, not --json or --dump";
  } else if (opts->errors && !csv_out) {
    *error = "--errors adds columns to CSV output: give --csv (without --json or --dump)";
  } else {
    for (const FieldSpec &f : opts->fields)
      if (!f.column.empty() && !opts->header) {
        *error = "field '" + f.given + "' names a column: give --header";
        return false;
      }
    return true;
  }
  return false;
}

}  // namespace

bool parse_options(int argc, char **argv, Options *opts, std::string *error) {
  bool raw = false, json = false, dump = false;
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (only_files || arg == "-" || arg.empty() || arg[0] != '-') {
      opts->files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_files = true;
      continue;
    }
    // The option's name and, where it takes one, its value: --name=value,
    // --name value, -xvalue or -x value.
    std::string name, value;
    bool has_value = false;
    if (arg[1] == '-') {
      size_t eq = arg.find('=');
      name = arg.substr(0, eq);
      if (eq != std::string::npos) value = arg.substr(eq + 1), has_value = true;
    } else {
      name = arg.substr(0, 2);
      if (arg.size() > 2) value = arg.substr(2), has_value = true;
    }
    auto want_value = [&]() {
      if (has_value) return true;
      if (i + 1 >= argc) {
        *error = "option " + name + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto no_value = [&]() {
      if (!has_value) return true;
      *error = "option " + name + " takes no value";
      return false;
    };
    if (name == "-m" || name == "--module") {
      if (!want_value()) return false;
      if (value.empty()) {
        *error = "option " + name + " needs a module name or path";
        return false;
      }
      opts->module = value;
    } else if (name == "-f" || name == "--field") {
      if (!want_value()) return false;
      FieldSpec f;
      if (!parse_field(value, &f, error)) return false;
      opts->fields.push_back(std::move(f));
    } else if (name == "-d" || name == "--delimiter") {
      if (!want_value() || !parse_delimiter(value, &opts->delimiter, error)) return false;
      opts->delimited = true;
    } else if (name == "--jobs") {
      if (!want_value() || !parse_jobs(value, &opts->jobs, error)) return false;
    } else if (name == "--raw") {
      if (!no_value()) return false;
      raw = true;
    } else if (name == "--json") {
      if (!no_value()) return false;
      json = true;
    } else if (name == "--dump") {
      if (!no_value()) return false;
      dump = true;
    } else if (bool ok; parse_record_option(name, value, want_value, no_value, opts, &ok, error)) {
      if (!ok) return false;
    } else if (bool takes; is_task_option(name, &takes)) {
      if (!(takes ? want_value() : no_value()) ||
          !parse_task_option(name, value, &opts->task, error))
        return false;
    } else if (name == "-h" || name == "--help") {
      if (!no_value()) return false;
      opts->help = true;
    } else if (name == "--version") {
      if (!no_value()) return false;
      opts->version = true;
    } else {
      *error = "unknown option " + name;
      return false;
    }
  }
  if (opts->help || opts->version) return true;
  if (raw + json + dump > 1) {
    *error = "choose one of --raw, --json and --dump";
    return false;
  }
  opts->mode = raw    ? OutputMode::raw
               : json ? OutputMode::json
               : dump ? OutputMode::dump
                      : OutputMode::text;
  if (opts->fields.empty()) {
    *error = "no field to read: give at least one -f";
    return false;
  }
  return check_record_options(opts, error);
}

const char *help_text() {
  return R"(Usage: isoread [options] [FILE...]

Reads records (lines) from each FILE, or from standard input when no FILE is
given ("-" is standard input too), and reads fields of each record with the
ISO 8601 informats of a module, the way the host does. A '\r' before the end
of a line is dropped.

Options:
  -m, --module NAME|PATH  the module: zelbrant (the default) or morvista from
                          the build, or from lib/zelbrant of the installed
                          tree isoread belongs to ($ZB_MODULE_DIR overrides
                          both), or the path of a module library.
  -f, --field [POS:]NAME[W][.]
                          a field to read; repeat for more fields.
                          With --header, POS may also be the name of a
                          column in the header (-f when:B8601DZ).
                          NAME is a registered informat of the module (in
                          any letter case, '@' optional), for example
                          B8601DT19. or ND8601DA4., or the routine name of
                          one of its exported readers, in lower case as
                          exported, for example i8601dz, zifmtim or b8601dj
                          (a registered name wins: b8601dj is B8601DJ16. in
                          zelbrant, the routine in morvista).
                          W is the width: it must lie in the informat's
                          range; without it the informat's default width is
                          used, and a routine name takes the rest of the
                          record (or of the delimited field).
                          POS is the 1-based starting column, or with
                          --delimiter the field number; without POS a field
                          starts where the previous one ended (the first at
                          column 1 or field 1).
                          The reader is given the field width and, as
                          available length, what remains of the record from
                          the field's start (with --delimiter: the length of
                          that delimited field); it reads no further than
                          the shorter of the two.
  -d, --delimiter C       delimited records: fields separated by the
                          character C (\t or "tab" for a tab) instead of
                          fixed columns. A quote is text like any other.
      --csv               CSV records (RFC 4180): cells separated by commas
                          (or by C of -d), a cell in double quotes may hold
                          the delimiter, line breaks and doubled quotes; CRLF
                          or LF ends a record. A reader sees a cell without
                          its quotes. The output is CSV too (unless --json
                          or --dump), a cell quoted only where needed; a
                          missing value and a failed field are empty cells.
                          A quote left open to the end of the input ends its
                          record at its line's end, is reported with its
                          record and line number, and the exit status is 1.
      --header            the first record of each input names the columns
                          (with --csv or -d); the output starts with a
                          header line naming the fields COLUMN_INFORMAT.
      --keep              write each record whole, as it came, and the
                          fields' values after it as new columns (separated
                          by the delimiter; by a tab for fixed columns).
      --errors            CSV output: after each field a column
                          COLUMN_INFORMAT_error with the message of a failed
                          field (empty where the field was read).
  -o, --output FILE       write to FILE instead of standard output.
      --progress          show progress on standard error (a line redrawn on
                          a terminal, a line a second otherwise).
      --no-progress       never show progress. Without either, progress is
                          shown when standard error is a terminal, the
                          output is not, every input is a file and CI is
                          not set.
      --raw               print the host numbers (days, seconds) instead of
                          ISO text.
      --json              print JSON Lines, one object per record.
      --dump              print, per field, what the reader was given and
                          what it returned (for bug reports).
      --jobs N            read with N threads (1 to 256; default 1): the
                          input is cut into blocks of whole records, read in
                          parallel, and printed in input order, exactly as
                          with one thread. --dump, and entity readers that
                          write to the log (with --option DEBUG=..., or an
                          interval target shorter than 32), always read
                          with one thread.
  -h, --help              print this text.
      --version           print the version of isoread and, for each module
                          that loads (both of the build or installed tree,
                          and the -m module), its name, release, build
                          identifiers and build date.

Text output: one line per record, the fields separated by tabs, each the
extended ISO 8601 text of its value (date, time or datetime, as its informat
implies; fractions of a second where present):
  .            the field holds a missing value (missing-value notation, or a
               time component out of range)
  !0x8001d819  the field failed with that return code
  ?            the reader returned 0 without storing anything
With --keep the record comes first, byte for byte.

JSON output: one object per record,
  {"record": N, "fields": [{"name": ..., "width": ..., "text": ...,
   "rc": ..., "error": ..., "status": ..., "value": ..., "untouched": ...}]}
and "code" beside "rc": the code as the text output writes it ("0x8001d819"),
with text the field's bytes as the reader saw them (bytes that are not
UTF-8 appear as \u00XX), rc the return code as an unsigned number, error its
message or null, status the status word, value the double stored (null for a
missing value or when nothing was stored) and untouched true when the reader
did not write its target.

Return codes:
  0x00000001  malformed time              0x8001d819  invalid data
  0x8001d814  invalid date or datetime    0x8001d827  field shorter than 5
  0x80002027..0x8000202a  width or decimals out of the calendar routines' range
  0x8001d81a..0x8001d821  time parts the calendar routine could not convert

A field that fails is reported on its record's line and reading goes on. At
the end one line on standard error counts the records, the fields and the
failures by code, and the fields cut short by their width: a width that ends
inside the text of its record (neither byte beside the end is a blank, and
with fixed columns no other field starts there), with the first record where
that happened. Such a field is still read with its informat's width.

Exit status: 0 every field read; 1 some field failed or a CSV quote was left
open; 2 a usage error, an
unknown informat, a width out of range, an unreadable file or a module that
does not load.

Examples:
  isoread -f 1:B8601DA8. -f 10:B8601TM6. data.txt
      a date in columns 1-8 and a time in columns 10-15.
  printf '20110909T123045\n' | isoread -f B8601DT15.
      prints 2011-09-09T12:30:45.
  isoread -m morvista -f ND8601DA4. years.txt
  isoread -d , -f 2:B8601DZ -f 3:i8601dz --json events.csv
  isoread -f zifmtim --raw times.txt
  isoread --csv --header --keep -f when:B8601DZ -o out.csv events.csv
      every record of events.csv as it was, and a new last column
      when_B8601DZ with the extended text of column "when".
)";
}

}  // namespace isoread
