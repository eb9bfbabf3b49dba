// Renders every value of the isoread benchmark's fixed-width records two
// ways, with zb_value_text and with isoread's render_iso, and counts where
// the texts agree and where they differ (printing the first differences).
//
//   zb_render_compare FILE        records of a file made by zb_bench_gen
//   zb_render_compare --make MB   the records zb_bench_gen FILE MB writes
//   zb_render_compare --random N  N random microsecond instants from 1582 to
//                                 9999 as datetimes (the double nearest each)
//
// A difference is explained by reading both texts back with i8601dt: the
// count of each text that gives the value back is printed.
//
// Exit status 0 when every value was read and compared and, for records
// (whole seconds, which both renderers write exactly), the texts agree; 1
// when a reader failed on a field, a record's texts differ, or a random
// instant's new text does not read back; 2 for bad usage or an unreadable
// file.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tools/isoread/render.h"
#include "fields.h"
#include "zelbrant/reader.h"

namespace {

constexpr size_t kRecord = 35;  // 34 bytes and '\n'
constexpr size_t kChunk = 65536;

// The text isoread's render_iso writes.
std::string old_text(double v, int32_t kind) {
  char buf[isoread::kValueRoom];
  char *end = isoread::render_iso(buf, v, kind);
  return std::string(buf, static_cast<size_t>(end - buf));
}

struct Field {
  const char *informat;
  size_t offset, width;
  int32_t kind;
  int32_t reader = -1;
  long long agree = 0, differ = 0, missing = 0, failed = 0;
};

struct Compare {
  zb_handle *h = nullptr;
  std::vector<Field> fields;
  long long records = 0;
  int shown = 0;
  int32_t extended = -1;  // i8601dt, to read texts back
  long long old_back = 0, now_back = 0;
  double now_seconds = 0, old_seconds = 0;  // rendering alone, every value of a chunk

  // Times both renderers over the values of one column.
  void time(const std::vector<double> &values, const Field &f) {
    char buf[512];
    size_t sink = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (double v : values)
      sink += static_cast<size_t>(zb_value_text(f.kind, v, 0, buf, sizeof buf));
    auto t1 = std::chrono::steady_clock::now();
    for (double v : values)
      sink += static_cast<size_t>(isoread::render_iso(buf, v, f.kind) - buf);
    auto t2 = std::chrono::steady_clock::now();
    now_seconds += std::chrono::duration<double>(t1 - t0).count();
    old_seconds += std::chrono::duration<double>(t2 - t1).count();
    if (sink == 1) std::printf("\n");  // keeps the loops
  }

  bool reads_back(const char *text, size_t len, double v) {
    double got;
    uint32_t code;
    return zb_read_field(h, extended, text, len, &got, &code) == ZB_OK && code == 0 && got == v;
  }

  void chunk(const char *data, size_t n) {
    std::vector<double> values(n);
    std::vector<uint32_t> codes(n);
    for (Field &f : fields) {
      zb_column col{};
      col.data = data + f.offset;
      col.n = n;
      col.stride = kRecord;
      col.field_len = f.width;
      zb_results res{};
      res.values = values.data();
      res.codes = codes.data();
      if (zb_read_column(h, f.reader, &col, &res) != ZB_OK) {
        std::fprintf(stderr, "zb_read_column: %s\n", zb_last_error());
        std::exit(2);
      }
      time(values, f);
      for (size_t i = 0; i < n; ++i) {
        if (codes[i] != 0) {
          ++f.failed;
          continue;
        }
        char now[512];
        const int len = zb_value_text(f.kind, values[i], 0, now, sizeof now);
        if (len < 0) {
          ++f.missing;
          continue;
        }
        const std::string old = old_text(values[i], f.kind);
        if (old == now) {
          ++f.agree;
          continue;
        }
        ++f.differ;
        if (f.kind == ZB_KIND_DATETIME) {
          old_back += reads_back(old.data(), old.size(), values[i]);
          now_back += reads_back(now, static_cast<size_t>(len), values[i]);
        }
        if (shown++ < 10)
          std::printf("differ: %s '%.*s' value %.17g: now %s, before %s\n", f.informat,
                      static_cast<int>(f.width), data + i * kRecord + f.offset, values[i], now,
                      old.c_str());
      }
    }
    records += static_cast<long long>(n);
  }
};

}  // namespace

int main(int argc, char **argv) {
  const bool make = argc == 3 && std::strcmp(argv[1], "--make") == 0;
  const bool random = argc == 3 && std::strcmp(argv[1], "--random") == 0;
  if (argc != 2 && !make && !random) {
    std::fprintf(stderr, "usage: zb_render_compare FILE | --make MEGABYTES | --random N\n");
    return 2;
  }
  Compare c;
  if (zb_open("zelbrant", nullptr, &c.h) != ZB_OK) {
    std::fprintf(stderr, "zb_open: %s\n", zb_last_error());
    return 2;
  }
  c.fields = {{"B8601DA8.", 0, 8, ZB_KIND_DATE},
              {"B8601DZ20.", 8, 20, ZB_KIND_DATETIME},
              {"B8601TM6.", 28, 6, ZB_KIND_TIME}};
  for (Field &f : c.fields)
    if (zb_lookup(c.h, f.informat, -1, &f.reader) != ZB_OK) {
      std::fprintf(stderr, "zb_lookup %s: %s\n", f.informat, zb_last_error());
      return 2;
    }
  if (zb_lookup(c.h, "i8601dt", -1, &c.extended) != ZB_OK) return 2;

  std::vector<char> buf(kChunk * kRecord);
  if (random) {
    // Exact integer microseconds from 1582-01-01 (day -138061) through
    // 9999-12-31 (day 2921938), each made the nearest double of seconds.
    constexpr int64_t kFirstUs = -138061LL * 86400000000LL;
    constexpr int64_t kEndUs = 2921939LL * 86400000000LL;
    zbbench::Rng r(20110909);
    Field f{"random", 0, 0, ZB_KIND_DATETIME};
    const long long n = std::atoll(argv[2]);
    for (long long i = 0; i < n; ++i) {
      const auto span = static_cast<uint64_t>(kEndUs - kFirstUs);
      const int64_t us = kFirstUs + static_cast<int64_t>(r.next() % span);
      // The nearest double, from the exact decimal text of the instant.
      char dec[40];
      const int64_t mag = us < 0 ? -us : us;
      const int dn = std::snprintf(dec, sizeof dec, "%s%lld.%06lld", us < 0 ? "-" : "",
                                   static_cast<long long>(mag / 1000000),
                                   static_cast<long long>(mag % 1000000));
      double v = 0;
      std::from_chars(dec, dec + dn, v);
      char now[512];
      const int len = zb_value_text(ZB_KIND_DATETIME, v, 0, now, sizeof now);
      const std::string old = old_text(v, f.kind);
      if (len < 0) {
        ++f.missing;
      } else if (old == now) {
        ++f.agree;
      } else {
        ++f.differ;
        c.old_back += c.reads_back(old.data(), old.size(), v);
        c.now_back += c.reads_back(now, static_cast<size_t>(len), v);
        if (c.shown++ < 10) std::printf("differ: %.17g: now %s, before %s\n", v, now, old.c_str());
      }
    }
    c.fields = {f};
    c.records = n;
  } else if (make) {
    const long long want = std::atoll(argv[2]) * 1000000LL;
    zbbench::Rng r(2011);  // zb_bench_gen's seed and record sequence
    long long written = 0;
    size_t n = 0;
    while (written < want) {
      const std::string rec = zbbench::fixed_record(r) + '\n';
      std::memcpy(buf.data() + n * kRecord, rec.data(), kRecord);
      written += static_cast<long long>(rec.size());
      if (++n == kChunk) c.chunk(buf.data(), n), n = 0;
    }
    c.chunk(buf.data(), n);
  } else {
    FILE *f = std::fopen(argv[1], "rb");
    if (!f) {
      std::perror(argv[1]);
      return 2;
    }
    size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
      if (got % kRecord != 0) {
        std::fprintf(stderr, "%s: not a file of %zu-byte records\n", argv[1], kRecord);
        return 2;
      }
      c.chunk(buf.data(), got / kRecord);
    }
    if (std::ferror(f)) {
      std::perror(argv[1]);
      return 2;
    }
    std::fclose(f);
  }
  zb_close(c.h);

  long long failed = random ? c.fields[0].differ - c.now_back : 0;
  std::printf("%lld records\n", c.records);
  for (const Field &f : c.fields) {
    if (!random) failed += f.differ;
    std::printf("%-11s agree %lld, differ %lld, missing %lld, failed %lld\n", f.informat, f.agree,
                f.differ, f.missing, f.failed);
    failed += f.failed;
  }
  if (c.now_seconds > 0)
    std::printf("rendering: zb_value_text %.1f ns a value, render_iso %.1f ns\n",
                c.now_seconds * 1e9 / static_cast<double>(3 * c.records),
                c.old_seconds * 1e9 / static_cast<double>(3 * c.records));
  std::printf(
      "of the datetime differences, read back to the value by i8601dt: now %lld, "
      "before %lld\n",
      c.now_back, c.old_back);
  return failed ? 1 : 0;
}
