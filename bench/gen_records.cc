// Writes a fixed-width record file for the isoread benchmark: each record a
// basic date (columns 1-8), a basic datetime with zone (9-28, blank-padded
// after a Z) and a basic time (29-34).
//
//   zb_bench_gen FILE MEGABYTES
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fields.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zb_bench_gen FILE MEGABYTES\n");
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
    rec = zbbench::basic_date(zbbench::any_date(r));
    std::string dz = zbbench::basic_date(zbbench::any_date(r)) + "T" + zbbench::basic_time(r, false) +
                     zbbench::basic_zone(r);
    dz.resize(20, ' ');
    rec += dz;
    rec += zbbench::basic_time(r, false);
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
