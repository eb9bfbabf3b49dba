#include "task.h"

namespace isoread {

namespace {

constexpr int32_t kMaxTargetLength = 4096;

bool parse_unsigned(const std::string &s, uint64_t limit, uint64_t *out) {
  size_t i = 0;
  unsigned base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, i = 2;
  if (i >= s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    v = v * base + d;
    if (v > limit) return false;
  }
  *out = v;
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

}  // namespace

bool is_task_option(const std::string &name, bool *takes_value) {
  *takes_value = name != "--fill-stars";
  return name == "--option" || name == "--gmt-offset" || name == "--mode" ||
         name == "--target-length" || name == "--fill-stars";
}

bool parse_task_option(const std::string &name, const std::string &value, TaskOptions *t,
                       std::string *error) {
  if (name == "--fill-stars") {
    t->fill_stars = true;
  } else if (name == "--option") {
    size_t eq = value.find('=');
    if (eq == 0 || eq == std::string::npos) {
      *error = "bad host option '" + value + "': give NAME=VALUE";
      return false;
    }
    t->host_options.emplace_back(value.substr(0, eq), value.substr(eq + 1));
  } else if (name == "--gmt-offset") {
    double s;
    if (!parse_offset(value, &s)) {
      *error = "bad GMT offset '" + value + "': give +hh:mm or -hh:mm (east positive)";
      return false;
    }
    t->gmt_offset = s;
  } else if (name == "--mode") {
    uint64_t v;
    if (!parse_unsigned(value, 0xFFFFFFFFu, &v)) {
      *error = "bad mode word '" + value + "': give a 32-bit number such as 0x100";
      return false;
    }
    t->mode = static_cast<int32_t>(static_cast<uint32_t>(v));
  } else if (name == "--target-length") {
    uint64_t v;
    if (!parse_unsigned(value, kMaxTargetLength, &v)) {
      *error = "bad target length '" + value + "': give a number from 0 to " +
               std::to_string(kMaxTargetLength);
      return false;
    }
    t->target_length = static_cast<int32_t>(v);
  }
  return true;
}

const char *task_help_text() {
  return R"HELP(
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
  duration gets, '.' for a missing entity. JSON adds "decoded".
  A problem code is printed as !CODE and its message, followed by the target
  in brackets as n8601prob left it, e.g.
      !19 Leading character P expected [FFFFFFFFFFFFFFFF]
  A datetime read as a duration (or the reverse) leaves the target
  unwritten: '?'.
      --mode WORD         the mode word passed to the entity readers
                          (default 0x100: the missing-value notation is
                          tested first; 0x80 and 0x200 as the readers define)
      --target-length N   the target length given to them (default 16, 32
                          for intervals; shorter is problem 22)
      --fill-stars        a reported problem fills the target with '*'
                          instead of 'F'

Task options:
      --option NAME=VALUE a host option (repeatable), read when the module's
                          task state is set up at the start of the run
      --gmt-offset +hh:mm the host's local offset from GMT, east positive
                          (default: the system's); the readers of local
                          times (i8601lz) convert with it
  With --option DEBUG=N8601DIAG every problem code of an entity reader is
  logged to standard error as "Problem with: '...': MESSAGE.".

  isoread -f '$IS860DU' durations.txt
  isoread -f is8601vli --json intervals.txt
  isoread --option DEBUG=N8601DIAG --fill-stars -f is8601dui durations.txt
  isoread --gmt-offset +05:30 -f i8601lz times.txt
)HELP";
}

}  // namespace isoread
