// Problem codes of the duration, interval and entity routines (1 to 27), with
// the message each is logged under by n8601prob. One table for the module,
// which returns and logs the codes, and for the host and its front ends,
// which name them to people.
#pragma once

#include <stdint.h>

enum problem_code : int32_t {
  PROB_TOO_MANY_DIGITS = 1,      // digits run on where a delimiter was due
  PROB_NO_NUMBER = 2,
  PROB_NO_YEAR = 3,
  PROB_DESIGNATOR_IN_DATETIME = 4,
  PROB_NO_DESIGNATOR = 5,
  PROB_OUT_OF_ORDER = 6,
  PROB_OUT_OF_RANGE = 7,
  PROB_INVALID_DATETIME = 8,
  PROB_BAD_OFFSET = 9,
  PROB_EXTRA_CHARS = 10,
  PROB_BLANK = 11,
  PROB_DELIMITER = 12,
  PROB_INTERVAL_BLANK = 13,
  PROB_TWO_DURATIONS = 14,
  PROB_START_AFTER_END = 15,
  PROB_LONE_DATETIME = 16,
  PROB_STRICT_DIGITS = 17,
  PROB_STRICT_DELIMITERS = 18,
  PROB_NO_P = 19,
  PROB_FRACTIONS = 20,
  PROB_NO_TIME = 21,
  PROB_TARGET_SHORT = 22,
  PROB_TRAILING_T = 23,
  PROB_ENTITY_SHORT = 24,
  PROB_ENTITY_DIGITS = 25,
  PROB_ENTITY_NOT_HEX = 26,
  PROB_NO_ROOM = 27,
};

#define PROB_LAST 27

// How a code is reported: its message, whether the log line quotes the
// field, and whether it is logged only once per task slot (until the slot is
// initialised again).
struct problem_report {
  const char *message;
  bool field;
  bool once;
};

// Row i for code i; row 0 serves every code outside 1..27.
inline constexpr problem_report problem_reports[PROB_LAST + 1] = {
    {"Unknown reason", true, false},
    {"too many digits with no delimiters", true, false},
    {"number not found where expected", true, false},
    {"4-digit year not seen where expected", true, false},
    {"YMDHMSW chars seen in datetime spec", true, false},
    {"YMDHMSW chars not seen where expected", true, false},
    {"YMDHMSW chars seen out of order", true, false},
    {"an element was out of range", true, false},
    {"invalid datetime value", true, false},
    {"invalid GMT offset", true, false},
    {"extra chars after specification", true, false},
    {"all blank", true, false},
    {"not expected delimiter", true, false},
    {"interval is blank", true, false},
    {"interval has 2 durations", true, false},
    {"start datetime > end datetime in intvl", true, false},
    {"interval has 1 component - datetime", true, false},
    {"ISO strict - must be right number of digs", true, false},
    {"ISO strict - delimiters expected", true, false},
    {"Leading character P expected", true, false},
    {"multiple fractions encountered", true, false},
    {"T missing before H or S component", true, false},
    {"informat target not 32 (intvl) or 16", false, true},
    {"T found before day component", true, false},
    {"Entity less than length 16", false, true},
    {"Entity must have 16 or 32 hex digits", true, false},
    {"Entity contains non-hex digits", true, false},
    {"Insufficient room to format the result", false, false},
};

// The report of any code: its own row for 1..27, row 0 otherwise.
inline constexpr const problem_report &problem_of(int64_t code) {
  return problem_reports[code >= 1 && code <= PROB_LAST ? code : 0];
}
