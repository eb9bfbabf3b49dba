// Generated CSV text for the isoread tests: records of every quoting case
// (delimiters, doubled quotes, line breaks and CRLF inside quotes, quotes
// inside unquoted cells, text after a closing quote, empty cells and empty
// records), LF and CRLF record ends, the first cell of each record a date
// field (read, failing or blank).
#pragma once

#include <cstdint>
#include <string>

namespace zbtest {

inline std::string csv_records(int n, char delim, uint64_t seed) {
  uint64_t s = seed;
  auto next = [&s](uint64_t bound) {  // splitmix64
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return (z ^ (z >> 31)) % bound;
  };
  const std::string d(1, delim);
  const std::string kDates[] = {"20110909", "20120229", " 20110909", "2011090", "", "20110230",
                                "201109091", "2011-09-09", "\"20110909\""};
  const std::string kValues[] = {"plain", "", "a" + d + " b", "say \"hi\"", "two\nlines",
                                 "crlf\r\ninside", "\"", "\"\"", " spaced ", "\xC3\xA9 \xC3\xBC",
                                 "a\"b", "tab\there", d + d, "\n", "\r\n\r\n"};
  // Raw cells written as they stand: a quote inside an unquoted cell, text
  // after a closing quote.
  const std::string kRaw[] = {"a\"b", "\"ab\"cd", "x\"\"y"};
  auto quoted = [&](const std::string &v) {
    std::string q = "\"";
    for (char c : v) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
  };
  auto cell = [&](const std::string &v) {
    bool must = v.find_first_of(d + "\r\n") != std::string::npos || (!v.empty() && v[0] == '"');
    return must || next(4) == 0 ? quoted(v) : v;
  };
  std::string out;
  for (int i = 0; i < n; ++i) {
    if (next(40) == 0) {
      out += "\n";  // an empty record
      continue;
    }
    out += cell(kDates[next(std::size(kDates))]);
    for (uint64_t k = next(5); k > 0; --k) {
      out += d;
      out += next(8) == 0 ? kRaw[next(std::size(kRaw))] : cell(kValues[next(std::size(kValues))]);
    }
    if (i + 1 < n || next(2)) out += next(3) == 0 ? "\r\n" : "\n";
  }
  return out;
}

}  // namespace zbtest
