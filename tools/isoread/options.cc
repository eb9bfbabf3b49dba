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

// A number, decimal or 0x hexadecimal, up to limit; with units, a K, M or G
// after it multiplies by 2^10, 2^20 or 2^30.
bool parse_unsigned(const std::string &s, uint64_t limit, uint64_t *out, bool units = false) {
  size_t i = 0, n = s.size();
  unsigned base = 10;
  if (n > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, i = 2;
  int shift = 0;
  if (units && base == 10 && n > 1) {
    const char *u = std::strchr("KMG", s[n - 1] & ~0x20);
    if (u && *u) shift = 10 * static_cast<int>(u - "KMG" + 1), --n;
  }
  if (i >= n) return false;
  uint64_t v = 0;
  for (; i < n; ++i) {
    char c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    v = v * base + d;
    if (v > limit) return false;
  }
  if (shift && v > (limit >> shift)) return false;
  *out = v << shift;
  return true;
}

// ±hh:mm, hours 00 to 23, minutes 00 to 59.
bool parse_offset(const std::string &s, double *seconds) {
  auto digit = [&](size_t i) { return s[i] >= '0' && s[i] <= '9'; };
  if (s.size() != 6 || (s[0] != '+' && s[0] != '-') || s[3] != ':' || !digit(1) || !digit(2) ||
      !digit(4) || !digit(5))
    return false;
  int h = (s[1] - '0') * 10 + (s[2] - '0');
  int m = (s[4] - '0') * 10 + (s[5] - '0');
  if (h > 23 || m > 59) return false;
  int v = h * 3600 + m * 60;
  *seconds = s[0] == '-' ? -v : v;
  return true;
}

bool bad(std::string *error, std::string text) {
  *error = std::move(text);
  return false;
}

// One option: its names, the name of its value (null for a flag), what it
// does to the options, and its --help lines.
struct Row {
  const char *brief;  // "-f", or null
  const char *name;   // "--field"
  const char *value;  // "[POS:]NAME[W][.]", or null
  bool (*apply)(Options *o, const std::string &v, std::string *error);
  const char *help;
  const char *section = nullptr;  // text before the row in --help
};

// An output mode asked for; more than one is refused when all are read.
bool ask_mode(Options *o, OutputMode m) {
  o->modes_given |= 1u << static_cast<unsigned>(m);
  o->mode = m;
  return true;
}

const char kEntitySection[] = R"HELP(
Entity readers:
  -f is8601dui, -f $IS860DU   one ISO 8601 duration (P1Y2M10DT2H30M)
  -f is8601pdi, -f $IS860PD   one datetime, complete or of reduced precision
  -f is8601vli, -f $IS860VL   one interval (start/end, start/duration,
                              duration/end, or a lone duration)
  The names ignore letter case and may carry a width and a '.'
  ($IS860DU20.); without a width the field takes the rest of the record.
  Each is printed as the hexadecimal text the reader wrote and, after a
  blank, the entity for people: a datetime as extended ISO text of the
  components it has, a duration in designator form, an interval as its two
  parts joined by '/', "(ref ...)" for the reference start that a lone
  duration gets, '.' for a missing entity. JSON and --raw give the
  components.
  A problem code is printed as !CODE and its message, followed by the target
  in brackets as n8601prob left it, e.g.
      !19 Leading character P expected [FFFFFFFFFFFFFFFF]
  A datetime read as a duration (or the reverse) leaves the target
  unwritten: '?'.
)HELP";

const char kTaskSection[] = R"HELP(
Task options:
)HELP";

const Row kRows[] = {
    {"-m", "--module", "NAME|PATH",
     [](Options *o, const std::string &v, std::string *e) {
       if (v.empty()) return bad(e, "option --module needs a module name or path");
       o->module = v;
       return true;
     },
     "the module: zelbrant (the default) or morvista from\n"
     "the build, or from lib/zelbrant of the installed\n"
     "tree isoread belongs to ($ZB_MODULE_DIR overrides\n"
     "both), or the path of a module library."},
    {"-f", "--field", "[POS:]NAME[W][.]",
     [](Options *o, const std::string &v, std::string *e) {
       FieldSpec f;
       if (!parse_field(v, &f, e)) return false;
       o->fields.push_back(std::move(f));
       return true;
     },
     "a field to read; repeat for more fields.\n"
     "With --header, POS may also be the name of a\n"
     "column in the header (-f when:B8601DZ); each input's\n"
     "own header is searched.\n"
     "NAME is a registered informat of the module (in\n"
     "any letter case, '@' optional), for example\n"
     "B8601DT19. or ND8601DA4., or the routine name of\n"
     "one of its exported readers, in lower case as\n"
     "exported, for example i8601dz, zifmtim or b8601dj\n"
     "(a registered name wins: b8601dj is B8601DJ16. in\n"
     "zelbrant, the routine in morvista).\n"
     "W is the width: it must lie in the informat's\n"
     "range; without it the informat's default width is\n"
     "used for fixed columns, and a delimited or CSV\n"
     "field is read whole (the informat at its widest);\n"
     "a routine name takes the rest of the record (or\n"
     "of the delimited field). isoread --list names\n"
     "every reader.\n"
     "POS is the 1-based starting column, or with\n"
     "--delimiter the field number; without POS a field\n"
     "starts where the previous one ended (the first at\n"
     "column 1 or field 1).\n"
     "The reader is given the field width and, as\n"
     "available length, what remains of the record from\n"
     "the field's start (with --delimiter: the length of\n"
     "that delimited field); it reads no further than\n"
     "the shorter of the two. A fixed field past the end\n"
     "of a short record reads as blanks; a delimited field\n"
     "past the record's last one is absent: counted, and\n"
     "the exit status is 1."},
    {"-d", "--delimiter", "C",
     [](Options *o, const std::string &v, std::string *e) {
       if (v == "\\t" || v == "tab") o->delimiter = '\t';
       else if (v.size() == 1 && v[0] != '\n' && v[0] != '\r') o->delimiter = v[0];
       else return bad(e, "bad delimiter '" + v + "': give one character (or \\t for a tab)");
       o->delimited = true;
       return true;
     },
     "delimited records: fields separated by the\n"
     "character C (\\t or \"tab\" for a tab) instead of\n"
     "fixed columns. A quote is text like any other."},
    {nullptr, "--csv", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->csv = true; },
     "CSV records (RFC 4180): cells separated by commas\n"
     "(or by C of -d), a cell in double quotes may hold\n"
     "the delimiter, line breaks and doubled quotes. A\n"
     "reader sees a cell without its quotes. The output\n"
     "is CSV too (unless --json or --dump), a cell quoted\n"
     "only where needed; a missing value and a failed\n"
     "field are empty cells. A quote left open to the end\n"
     "of the input, or for more than --max-record bytes,\n"
     "ends its record at its line's end, is reported with\n"
     "its record and line number (--keep closes it), and\n"
     "the exit status is 1."},
    {nullptr, "--header", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->header = true; },
     "the first record of each input names the columns\n"
     "(with --csv or -d); the output starts with a\n"
     "header line naming the fields COLUMN_INFORMAT."},
    {nullptr, "--keep", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->keep = true; },
     "write each record whole, as it came, and the\n"
     "fields' values after it as new columns (separated\n"
     "by the delimiter; by a tab for fixed columns)."},
    {nullptr, "--errors", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->errors = true; },
     "CSV output: after each field a column\n"
     "COLUMN_INFORMAT_error with the message of a failed\n"
     "field (empty where the field was read)."},
    {"-o", "--output", "FILE",
     [](Options *o, const std::string &v, std::string *e) {
       if (v.empty()) return bad(e, "option --output needs a file name");
       o->output = v;
       return true;
     },
     "write to FILE instead of standard output: written\n"
     "to a temporary file beside it and put in its place\n"
     "only when the run ends well (exit status 0 or 1);\n"
     "otherwise, or when interrupted, FILE stays as it\n"
     "was. FILE may not be one of the inputs."},
    {nullptr, "--max-record", "BYTES",
     [](Options *o, const std::string &v, std::string *e) {
       uint64_t n = 0;
       if (!parse_unsigned(v, uint64_t{1} << 31, &n, true) || n < 1024)
         return bad(e, "bad record bound '" + v + "': give bytes from 1024 to 2G (K, M, G)");
       o->max_record = static_cast<size_t>(n);
       return true;
     },
     "the longest record kept whole (default 8M): a\n"
     "longer one is cut there and the rest of its line\n"
     "dropped, and a CSV quote open for longer is taken\n"
     "as never closed; both are reported and make the\n"
     "exit status 1. Memory stays within a few times\n"
     "this bound whatever the input."},
    {nullptr, "--progress", nullptr,
     [](Options *o, const std::string &, std::string *) {
       o->progress = Progress::on;
       return true;
     },
     "show progress on standard error (a line redrawn on\n"
     "a terminal, a line a second otherwise)."},
    {nullptr, "--no-progress", nullptr,
     [](Options *o, const std::string &, std::string *) {
       o->progress = Progress::off;
       return true;
     },
     "never show progress. Without either, progress is\n"
     "shown when standard error is a terminal, the\n"
     "output is not, every input is a file and CI is\n"
     "not set."},
    {nullptr, "--raw", nullptr,
     [](Options *o, const std::string &, std::string *) { return ask_mode(o, OutputMode::raw); },
     "print the host numbers (days, seconds) instead of\n"
     "ISO text; entity readers print their components,\n"
     "each a cell of its own: sign, years, months, days,\n"
     "hours, minutes, seconds, thousandths (an interval:\n"
     "start and end first), named COLUMN_INFORMAT_years\n"
     "and so on in a header."},
    {nullptr, "--json", nullptr,
     [](Options *o, const std::string &, std::string *) { return ask_mode(o, OutputMode::json); },
     "print JSON Lines, one object per record."},
    {nullptr, "--dump", nullptr,
     [](Options *o, const std::string &, std::string *) { return ask_mode(o, OutputMode::dump); },
     "print, per field, what the reader was given and\n"
     "what it returned (for bug reports)."},
    {nullptr, "--jobs", "N",
     [](Options *o, const std::string &v, std::string *e) {
       uint64_t n = 0;
       bool digits = !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
       if (!digits || !parse_unsigned(v, kMaxJobs, &n) || n < 1)
         return bad(e, "bad job count '" + v + "': give a number of threads from 1 to " +
                           std::to_string(kMaxJobs));
       o->jobs = static_cast<int>(n);
       return true;
     },
     "read with N threads (1 to 256; default 1): the\n"
     "input is cut into blocks of whole records, read in\n"
     "parallel, and printed in input order, exactly as\n"
     "with one thread. --dump, and entity readers that\n"
     "write to the log (with --option DEBUG=..., or an\n"
     "interval target shorter than 32), always read\n"
     "with one thread."},
    {"-h", "--help", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->help = true; },
     "print this text."},
    {nullptr, "--list", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->list = true; },
     "list every reader: its name, kind, widths, the\n"
     "modules that have it, what it reads and an example."},
    {nullptr, "--version", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->version = true; },
     "print the version of isoread and, for each module\n"
     "that loads (both of the build or installed tree,\n"
     "and the -m module), its name, release, build\n"
     "identifiers and build date."},
    {nullptr, "--mode", "WORD",
     [](Options *o, const std::string &v, std::string *e) {
       uint64_t n;
       if (!parse_unsigned(v, 0xFFFFFFFFu, &n))
         return bad(e, "bad mode word '" + v + "': give a 32-bit number such as 0x100");
       o->task.mode = static_cast<int32_t>(static_cast<uint32_t>(n));
       return true;
     },
     "the mode word passed to the entity readers\n"
     "(default 0x100: the missing-value notation is\n"
     "tested first; 0x80 and 0x200 as the readers define)",
     kEntitySection},
    {nullptr, "--target-length", "N",
     [](Options *o, const std::string &v, std::string *e) {
       uint64_t n;
       if (!parse_unsigned(v, ZB_MAX_TARGET_LENGTH, &n))
         return bad(e, "bad target length '" + v + "': give a number from 0 to " +
                           std::to_string(ZB_MAX_TARGET_LENGTH));
       o->task.target_length = static_cast<int32_t>(n);
       return true;
     },
     "the target length given to them (default 16, 32\n"
     "for intervals; shorter is problem 22)"},
    {nullptr, "--fill-stars", nullptr,
     [](Options *o, const std::string &, std::string *) { return o->task.fill_stars = true; },
     "a reported problem fills the target with '*'\n"
     "instead of 'F'"},
    {nullptr, "--option", "NAME=VALUE",
     [](Options *o, const std::string &v, std::string *e) {
       size_t eq = v.find('=');
       if (eq == 0 || eq == std::string::npos)
         return bad(e, "bad host option '" + v + "': give NAME=VALUE");
       o->task.host_options.emplace_back(v.substr(0, eq), v.substr(eq + 1));
       return true;
     },
     "a host option (repeatable), read when the module's\n"
     "task state is set up at the start of the run",
     kTaskSection},
    {nullptr, "--gmt-offset", "+hh:mm",
     [](Options *o, const std::string &v, std::string *e) {
       double s;
       if (!parse_offset(v, &s))
         return bad(e, "bad GMT offset '" + v + "': give +hh:mm or -hh:mm (east positive)");
       o->task.gmt_offset = s;
       return true;
     },
     "the host's local offset from GMT, east positive\n"
     "(default: the system's); the readers of local\n"
     "times (i8601lz) convert with it"},
};

const Row *find_row(const std::string &name) {
  for (const Row &r : kRows)
    if (name == r.name || (r.brief && name == r.brief)) return &r;
  return nullptr;
}

// The combinations of options that cannot work.
bool check_combinations(Options *opts, std::string *error) {
  bool csv_out = opts->csv && (opts->mode == OutputMode::text || opts->mode == OutputMode::raw);
  if (opts->csv && opts->delimited && opts->delimiter == '"')
    return bad(error, "the quote cannot be the delimiter of --csv");
  if (opts->header && !opts->csv && !opts->delimited)
    return bad(error, "--header needs --csv or --delimiter");
  if (opts->keep && (opts->mode == OutputMode::json || opts->mode == OutputMode::dump))
    return bad(error, "--keep writes text or CSV output, not --json or --dump");
  if (opts->errors && !csv_out)
    return bad(error, "--errors adds columns to CSV output: give --csv (without --json or --dump)");
  for (const FieldSpec &f : opts->fields)
    if (!f.column.empty() && !opts->header)
      return bad(error, "field '" + f.given + "' names a column: give --header");
  return true;
}

const char kIntro[] = R"HELP(Usage: isoread [options] [FILE...]

Reads records (lines) from each FILE, or from standard input when no FILE is
given ("-" is standard input too), and reads fields of each record with the
ISO 8601 informats of a module, the way the host does. A line ends at LF,
CRLF or a lone CR; a UTF-8 byte order mark before the first record is
dropped.

Options:
)HELP";

const char kOutro[] = R"HELP(  With --option DEBUG=N8601DIAG every problem code of an entity reader is
  logged to standard error as "Problem with: '...': MESSAGE.".

Text output: one line per record, the fields separated by tabs, each the
extended ISO 8601 text of its value (date, time or datetime, as its informat
implies; the fraction of a second, where there is one, as the shortest
decimal that reads back to the same value; a 'Z' after a time or datetime
its reader converted to GMT, as --list shows):
  .            the field holds a missing value (missing-value notation, or a
               time component out of range), or is absent from its record
  !0x8001d819  the field failed with that return code
  ?            the reader returned 0 without storing anything
With --keep the record comes first, byte for byte.

JSON output: one object per record,
  {"record": N, "fields": [{"name": ..., "width": ..., "text": ..., "rc": ...,
   "code": ..., "message": ..., "status": ..., "value": ..., "untouched": ...}]}
with name the reader, width the width it was given, text the field's bytes
as the reader saw them (bytes that are not UTF-8 appear as \u00XX), code the
reader's return code as a number (rc the same number), message its message
or null, status the status word, value the number stored (null for a
missing value or when nothing was stored) and untouched true when the reader
did not write its target. Entity readers give, instead of "value", "packed"
(the target's text), "decoded" (the entity for people), "form" ("duration",
"single unit", "datetime", "anchor", "missing"), the components "sign",
"years", "months", "days", "hours", "minutes", "seconds" and "thousandths"
(null without an entity), and for intervals "start" and "end" (extended ISO
text, null where the interval fixes none) before them. The README describes
each member.

Return codes:
  0x00000001  malformed time              0x8001d819  invalid data
  0x8001d814  invalid date or datetime    0x8001d827  field shorter than 5
  0x80002027..0x8000202a  width or decimals out of the calendar routines' range
  0x8001d81a..0x8001d821  time parts the calendar routine could not convert

A field that fails is reported on its record's line and reading goes on. At
the end one line on standard error counts the records, the fields and the
failures by code, the fields absent from their record, and the fields cut
short by their width: a width that ends inside the text of its record
(neither byte beside the end is a blank, and with fixed columns no other
field starts there), with the first record where that happened. Such a field
is still read with its informat's width. For a field that failed or was cut
short the line ends with what would have read it, found by reading its first
such texts again with the informat's other widths and the other readers of
its kind: "field 'B8601DT': try B8601DT15." (with "(reads 2 of 3)" when it
reads only some of them).

Exit status:
  0  every field of every record was read (or holds a missing value)
  1  some field failed or was absent from its record, a CSV quote was left
     open, or a record was longer than --max-record
  2  a usage error, an unknown informat, a width out of range, a module that
     does not load, an input that cannot be opened or read, or an output
     that cannot be written (a failed write, a full disk, a closed pipe):
     the message names it, and a -o FILE stays as it was

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
  isoread -f '$IS860DU' durations.txt
  isoread --option DEBUG=N8601DIAG --fill-stars -f is8601dui durations.txt
  isoread --gmt-offset +05:30 -f i8601lz times.txt
)HELP";

// One row of --help: the names in a column 26 wide, the text beside them.
std::string help_row(const Row &r) {
  std::string names = std::string("  ") + (r.brief ? std::string(r.brief) + ", " : "    ") + r.name;
  if (r.value) names += std::string(" ") + r.value;
  const std::string indent(26, ' ');
  std::string s;
  if (names.size() < 26) s = names + std::string(26 - names.size(), ' ');
  else s = names + "\n" + indent;
  for (const char *p = r.help; *p; ++p) {
    s += *p;
    if (*p == '\n') s += indent;
  }
  return s + "\n";
}

}  // namespace

bool parse_options(int argc, char **argv, Options *opts, std::string *error) {
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
    const Row *row = find_row(name);
    if (!row) return bad(error, "unknown option " + name);
    if (row->value && !has_value) {
      if (i + 1 >= argc) return bad(error, "option " + name + " needs a value");
      value = argv[++i];
    } else if (!row->value && has_value) {
      return bad(error, "option " + name + " takes no value");
    }
    if (!row->apply(opts, value, error)) return false;
  }
  if (opts->help || opts->version || opts->list) return true;
  if (opts->modes_given & (opts->modes_given - 1))
    return bad(error, "choose one of --raw, --json and --dump");
  if (opts->fields.empty()) return bad(error, "no field to read: give at least one -f");
  return check_combinations(opts, error);
}

int print_help(FILE *out) {
  std::string text = kIntro;
  for (const Row &r : kRows) {
    if (r.section) text += r.section;
    text += help_row(r);
  }
  text += kOutro;
  std::fputs(text.c_str(), out);
  return 0;
}

int usage_error(const std::string &msg) {
  std::fprintf(stderr, "isoread: %s\nTry 'isoread --help'.\n", msg.c_str());
  return 2;
}

}  // namespace isoread
