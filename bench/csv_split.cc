// Splits a CSV file into records and cells and counts them, with isoread's
// own record source in CSV mode and split_csv or with libcsv (Debian's
// libcsv-dev), to compare the two on the benchmark's CSV file. Not part of
// the build (libcsv is not a dependency):
//
//   g++ -O2 -std=c++20 bench/csv_split.cc tools/isoread/csv.cc
//       tools/isoread/source.cc -lcsv -o /tmp/csv_split   (one line)
//   /tmp/csv_split own|libcsv FILE
#include <csv.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tools/isoread/csv.h"
#include "../tools/isoread/source.h"

namespace {

struct Tally {
  unsigned long long records = 0, cells = 0, bytes = 0;
};

void on_cell(void *, size_t len, void *data) {
  auto *t = static_cast<Tally *>(data);
  ++t->cells;
  t->bytes += len;
}
void on_record(int, void *data) { ++static_cast<Tally *>(data)->records; }

bool run_libcsv(int fd, Tally *t) {
  csv_parser p;
  if (csv_init(&p, CSV_APPEND_NULL) != 0) return false;
  std::vector<char> buf(1 << 20);
  ssize_t n;
  while ((n = ::read(fd, buf.data(), buf.size())) > 0)
    if (csv_parse(&p, buf.data(), static_cast<size_t>(n), on_cell, on_record, t) !=
        static_cast<size_t>(n))
      return false;
  csv_fini(&p, on_cell, on_record, t);
  csv_free(&p);
  return n == 0;
}

bool run_own(int fd, Tally *t) {
  isoread::SourceOptions o;
  o.csv = true;
  isoread::RecordSource source(o);
  source.reset(fd, "input");
  std::vector<std::string_view> cells;
  std::string scratch;
  isoread::Block block;
  while (source.next(&block)) {
    for (size_t i = 0; i < block.records.size(); ++i) {
      ++t->records;
      t->cells += isoread::split_csv(block.record(i), ',', 0, &cells, &scratch);
      for (std::string_view c : cells) t->bytes += c.size();
    }
  }
  return source.error() == 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: csv_split own|libcsv FILE\n");
    return 2;
  }
  int fd = ::open(argv[2], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[2]);
    return 2;
  }
  Tally t;
  auto start = std::chrono::steady_clock::now();
  bool ok = std::strcmp(argv[1], "libcsv") == 0 ? run_libcsv(fd, &t) : run_own(fd, &t);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %llu records, %llu cells, %llu cell bytes, %.3f s\n", argv[1], t.records,
              t.cells, t.bytes, secs);
  return ok ? 0 : 1;
}
