// Writes a record file for the isoread benchmark: each record a basic date,
// a basic datetime with zone and a basic time, in fixed columns (see
// fixed_record), or with "csv" the same three as CSV cells, the datetime in
// quotes, after a quoted note that holds a comma and now and then a doubled
// quote or a line break.
//
//   zb_bench_gen FILE MEGABYTES [csv]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fields.h"

int main(int argc, char **argv) {
  const bool csv = argc == 4 && std::string(argv[3]) == "csv";
  if (argc != 3 && !csv) {
    std::fprintf(stderr, "usage: zb_bench_gen FILE MEGABYTES [csv]\n");
    return 2;
  }
  FILE *f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 2;
  }
  const long long want = std::atoll(argv[2]) * 1000000LL;
  zbbench::Rng r(2011);
  std::string rec;
  long long written = 0;
  while (written < want) {
    rec = zbbench::fixed_record(r);
    if (csv) {
      int k = r.in(0, 99);
      std::string note = k < 5 ? "said \"\"no\"\", twice" : k < 8 ? "two\nlines, here" : "a, b";
      std::string dz = rec.substr(8, 20);
      while (dz.back() == ' ') dz.pop_back();
      rec = "\"" + note + "\"," + rec.substr(0, 8) + ",\"" + dz + "\"," + rec.substr(28);
    }
    rec += '\n';
    if (std::fwrite(rec.data(), 1, rec.size(), f) != rec.size()) {
      std::perror(argv[1]);
      return 2;
    }
    written += static_cast<long long>(rec.size());
  }
  if (std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  return 0;
}
