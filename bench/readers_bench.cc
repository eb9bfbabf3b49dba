// Reader benchmark: every registered informat of zelbrant and the entity
// readers, called the way the host calls them (module loaded with dlopen,
// family registered through the module entry, the stand-in host's service
// vectors), over generated fields; and peers reading the same datetime texts
// into the same seconds-since-1960 value.
//
// Before any timing, every peer's value is checked against B8601DT's on every
// text: a disagreement ends the run with exit status 1.
#include <benchmark/benchmark.h>
#include <time.h>

#include <absl/time/time.h>
#include <date/date.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "catalog.h"
#include "family.h"
#include "fields.h"
#include "host.h"
#include "ifmblock.h"
#include "support/call_block.h"

namespace zbbench {
namespace {

constexpr size_t kFields = 16384;  // per informat; a power of two
constexpr int64_t kUnixFrom1960 = 3653 * int64_t{86400};

// The fields of one benchmark laid out back to back, each blank-padded to the
// informat's width, as a record of a fixed-width file holds them.
struct FieldSet {
  std::vector<char> bytes;
  std::vector<const char *> at;
  int32_t width = 0;
};

FieldSet lay_out(const std::vector<std::string> &texts, int32_t width) {
  FieldSet fs;
  fs.width = width;
  fs.bytes.assign(texts.size() * static_cast<size_t>(width), ' ');
  for (size_t i = 0; i < texts.size(); ++i) {
    size_t n = texts[i].size() < static_cast<size_t>(width) ? texts[i].size() : width;
    std::memcpy(fs.bytes.data() + i * width, texts[i].data(), n);
  }
  for (size_t i = 0; i < texts.size(); ++i) fs.at.push_back(fs.bytes.data() + i * width);
  return fs;
}

struct World {
  std::unique_ptr<zbhost::Host> host;
  std::unique_ptr<zbhost::Module> module;
  std::unique_ptr<zbhost::Family> family;
};
World *world = nullptr;

[[noreturn]] void die(const std::string &msg) {
  std::fprintf(stderr, "zb_bench: %s\n", msg.c_str());
  std::exit(1);
}

// The texts each registered informat is benchmarked on.
// The benchmark's text generators, by the names the reader catalog gives
// its rows (include/catalog.h).
using Generator = std::function<std::string(Rng &)>;
const Generator *generator(const std::string &name) {
  static const std::map<std::string, Generator> kGenerators = {
      {"basic_date", [](Rng &r) { return basic_date(any_date(r)); }},
      {"basic_time", [](Rng &r) { return basic_time(r, r.chance(15)); }},
      {"basic_time_zone", [](Rng &r) { return basic_time(r, r.chance(10)) + basic_zone(r); }},
      {"basic_datetime",
       [](Rng &r) { return basic_date(any_date(r)) + "T" + basic_time(r, r.chance(15)); }},
      {"basic_datetime_zone",
       [](Rng &r) {
         return basic_date(any_date(r)) + "T" + basic_time(r, r.chance(10)) + basic_zone(r);
       }},
      {"basic_datetime_joined",
       [](Rng &r) {
         return basic_date(any_date(r)) + (r.chance(50) ? "T" : "") + basic_time(r, false);
       }},
      {"basic_century",
       [](Rng &r) {
         Civil c = any_date(r, 1900, 2099);
         return std::to_string((c.y - 1900) / 100) + basic_date(c).substr(2) +
                (r.chance(50) ? "T" : "") + basic_time(r, false);
       }},
      {"duration", duration},
      {"ext_datetime", ext_datetime},
      {"interval", interval},
  };
  auto it = kGenerators.find(name);
  return it == kGenerators.end() ? nullptr : &it->second;
}

// The texts a reader of the catalog is benchmarked on, seeded by the name
// the benchmark goes by; empty when the reader has no generator (it is
// then not benchmarked).
std::vector<std::string> texts_for(const char *routine, const std::string &name) {
  const zb_catalog_row *row = zb_catalog_find(routine);
  const Generator *gen = row ? generator(row->generator) : nullptr;
  if (!gen) {
    std::fprintf(stderr, "zb_bench: no texts for %s: not benchmarked\n", name.c_str());
    return {};
  }
  return distinct(kFields, std::hash<std::string>{}(name), *gen);
}

int32_t width_for(const std::vector<std::string> &texts, int32_t min_width, int32_t max_width) {
  size_t w = 0;
  for (const auto &t : texts) w = t.size() > w ? t.size() : w;
  int32_t width = static_cast<int32_t>(w);
  if (width < min_width) width = min_width;
  if (width > max_width) width = max_width;
  return width;
}

// Each call gets a block as the host makes it: zeroed, the field's window,
// the target (zbtest::call_block, inline).
inline uint32_t call_numeric(ifm_reader reader, const char *field, int32_t width, double *target) {
  ifmblock blk = zbtest::call_block(field, width, width, target, sizeof(double));
  return reader(&blk);
}

// Each iteration reads one field: the time per iteration is the time per
// field, and items per second are fields per second.
void report(benchmark::State &state) { state.SetItemsProcessed(state.iterations()); }

// ZB_BENCH_ITERATIONS=N runs every benchmark for exactly N iterations (their
// names gain "/iterations:N"), so that a count taken under callgrind
// (instructions, branches) divides by a known number of fields: the reader's
// calls are N plus the fields each benchmark checks before it is timed.
benchmark::internal::Benchmark *counted(benchmark::internal::Benchmark *b) {
  const char *n = std::getenv("ZB_BENCH_ITERATIONS");
  if (n && *n) b->Iterations(std::strtoll(n, nullptr, 10));
  return b;
}

void register_informats() {
  for (const zbhost::Registered &reg : world->family->informats()) {
    std::vector<std::string> texts = texts_for(reg.routine.c_str(), reg.name);
    if (texts.empty()) continue;
    if (texts.size() != kFields) die("too few distinct texts for " + reg.name);
    auto fs = std::make_shared<FieldSet>(
        lay_out(texts, width_for(texts, reg.min_width, reg.max_width)));
    ifm_reader reader = reg.reader;
    // Every field must read: a benchmark of failures would measure the wrong path.
    for (size_t i = 0; i < fs->at.size(); ++i) {
      double v;
      uint32_t rc = call_numeric(reader, fs->at[i], fs->width, &v);
      if (rc != 0 || ifm_is_missing(v))
        die(reg.name + " did not read '" + texts[i] + "': rc " + std::to_string(rc));
    }
    counted(benchmark::RegisterBenchmark(reg.name.c_str(), [fs, reader](benchmark::State &state) {
      const size_t mask = fs->at.size() - 1;
      size_t i = 0;
      double v;
      for (auto _ : state) {
        benchmark::DoNotOptimize(call_numeric(reader, fs->at[i & mask], fs->width, &v));
        benchmark::DoNotOptimize(v);
        ++i;
      }
      report(state);
    }));
  }
}

// --- the host calls of B8601DA alone ------------------------------------------------

// What B8601DA cannot do without: the host services it calls on each field,
// through the module's own bindings, with the same arguments (the field's
// missing-value check, then the calendar routine's check, three integer
// conversions and the calendar on the yyyy-mm-dd text). Nothing else is
// read or checked: the difference to B8601DA is the reader's own work.
void register_host_calls() {
  using Ifmch = int32_t (*)(const char *, int32_t, double *);
  using Rlchr = int32_t (*)(const char *, int32_t, int32_t, int32_t *, int64_t *);
  using Mdy = double (*)(double, double, double);
  auto ifmch = world->module->fn<Ifmch>("wzifmch");
  auto rlchr = world->module->fn<Rlchr>("wzrlchr");
  auto mdy = world->module->fn<Mdy>("zmdy");
  if (!ifmch || !rlchr || !mdy) die("module does not export its host bindings");
  std::vector<std::string> texts = texts_for("b8601da", "B8601DA");
  if (texts.empty()) return;
  auto fs = std::make_shared<FieldSet>(lay_out(texts, width_for(texts, 1, 32)));
  auto dates = std::make_shared<std::vector<std::string>>();
  for (const std::string &t : texts)
    dates->push_back(t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2));
  counted(benchmark::RegisterBenchmark("calls/B8601DA", [=](benchmark::State &state) {
    const size_t mask = fs->at.size() - 1;
    size_t i = 0;
    double v;
    int32_t used;
    int64_t y, m, d;
    for (auto _ : state) {
      const char *date = (*dates)[i & mask].data();
      ifmch(fs->at[i & mask], fs->width, &v);
      ifmch(date, 10, &v);
      rlchr(date, 4, 0, &used, &y);
      rlchr(date + 5, 2, 0, &used, &m);
      rlchr(date + 8, 2, 0, &used, &d);
      v = mdy(static_cast<double>(m), static_cast<double>(d), static_cast<double>(y));
      benchmark::DoNotOptimize(v);
      ++i;
    }
    report(state);
  }));
}

// --- entity readers -----------------------------------------------------------

using EntityReader = uint32_t (*)(ifmblock *, int32_t);
constexpr int32_t kEntityMode = 0x100;

void register_entities() {
  for (const zb_catalog_row &row : zb_catalog) {
    if (!zb_catalog_entity(row)) continue;
    struct {
      const char *name;
      int32_t target_len;
      std::vector<std::string> texts;
    } e{row.routine, row.kind == ZB_CATALOG_KIND_INTERVAL ? 32 : 16,
        texts_for(row.routine, row.routine)};
    if (e.texts.empty()) continue;
    auto reader = world->module->fn<EntityReader>(e.name);
    if (!reader) die(std::string("module does not export ") + e.name);
    if (e.texts.size() != kFields) die(std::string("too few distinct texts for ") + e.name);
    auto fs = std::make_shared<FieldSet>(lay_out(e.texts, width_for(e.texts, 1, 200)));
    int32_t tlen = e.target_len;
    auto call = [reader, tlen](const char *field, int32_t width, char *target) {
      ifmblock blk = zbtest::call_block(field, width, width, target, tlen);
      return reader(&blk, kEntityMode);
    };
    for (size_t i = 0; i < fs->at.size(); ++i) {
      char out[32];
      uint32_t rc = call(fs->at[i], fs->width, out);
      if (rc != 0) die(std::string(e.name) + " did not read '" + e.texts[i] + "': rc " +
                       std::to_string(rc));
    }
    counted(benchmark::RegisterBenchmark(e.name, [fs, call](benchmark::State &state) {
      const size_t mask = fs->at.size() - 1;
      size_t i = 0;
      char out[32];
      for (auto _ : state) {
        benchmark::DoNotOptimize(call(fs->at[i & mask], fs->width, out));
        benchmark::DoNotOptimize(out);
        ++i;
      }
      report(state);
    }));
  }
}

// --- peers on the B8601DT texts ----------------------------------------------------

// yyyymmddThhmmss, NUL-terminated for the C library.
struct PeerText {
  char s[16];
};

int64_t peer_strptime(const char *s) {
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  const char *end = strptime(s, "%Y%m%dT%H%M%S", &tm);
  if (!end || *end) return INT64_MIN;
  return static_cast<int64_t>(timegm(&tm)) + kUnixFrom1960;
}

// %E4Y: exactly four year digits (a plain %Y would take all eight date digits).
int64_t peer_absl(const char *s) {
  absl::Time t;
  std::string err;
  if (!absl::ParseTime("%E4Y%m%dT%H%M%S", absl::string_view(s, 15), absl::UTCTimeZone(), &t, &err))
    return INT64_MIN;
  return absl::ToUnixSeconds(t) + kUnixFrom1960;
}

// date::parse reads from a stream; one stream is reused across fields, as a
// reader of many fields would.
int64_t peer_date(std::istringstream &in, const char *s) {
  in.clear();
  in.str(std::string(s, 15));
  date::sys_seconds tp;
  in >> date::parse("%Y%m%dT%H%M%S", tp);
  if (in.fail()) return INT64_MIN;
  return tp.time_since_epoch().count() + kUnixFrom1960;
}

// The floor: a fixed-layout reader with no checks beyond the digits, and
// integer civil-to-days arithmetic.
inline int64_t peer_floor(const char *s) {
  auto d2 = [s](int i) { return (s[i] - '0') * 10 + (s[i + 1] - '0'); };
  int64_t y = d2(0) * 100 + d2(2);
  unsigned m = static_cast<unsigned>(d2(4)), d = static_cast<unsigned>(d2(6));
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = era * 146097 + doe - 715815;
  return days * 86400 + d2(9) * 3600 + d2(11) * 60 + d2(13);
}

void register_peers() {
  const zbhost::Registered *dt = world->family->find("B8601DT");
  if (!dt) die("B8601DT is not registered");
  std::vector<std::string> texts = distinct(kFields, 99, [](Rng &r) {
    return basic_date(any_date(r)) + "T" + basic_time(r, false);
  });
  if (texts.size() != kFields) die("too few distinct peer texts");
  auto peer = std::make_shared<std::vector<PeerText>>(texts.size());
  auto fs = std::make_shared<FieldSet>(lay_out(texts, 15));
  for (size_t i = 0; i < texts.size(); ++i) std::memcpy((*peer)[i].s, texts[i].c_str(), 16);

  // Every peer must give B8601DT's value on every text.
  std::istringstream in;
  size_t bad = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    double v;
    uint32_t rc = call_numeric(dt->reader, fs->at[i], 15, &v);
    const char *s = (*peer)[i].s;
    int64_t got[4] = {peer_strptime(s), peer_absl(s), peer_date(in, s), peer_floor(s)};
    const char *names[4] = {"strptime+timegm", "absl::ParseTime", "date::parse", "floor"};
    for (int k = 0; k < 4; ++k)
      if (rc != 0 || static_cast<double>(got[k]) != v) {
        if (++bad <= 10)
          std::fprintf(stderr, "zb_bench: '%s': B8601DT gives %.17g (rc %u), %s gives %lld\n", s,
                       v, rc, names[k], static_cast<long long>(got[k]));
      }
  }
  if (bad) die(std::to_string(bad) + " disagreements between B8601DT and its peers");

  auto bench_peer = [peer](const char *name, auto fn) {
    counted(benchmark::RegisterBenchmark(name, [peer, fn](benchmark::State &state) {
      const size_t mask = peer->size() - 1;
      size_t i = 0;
      for (auto _ : state) {
        benchmark::DoNotOptimize(fn((*peer)[i & mask].s));
        ++i;
      }
      report(state);
    }));
  };
  bench_peer("peer/strptime+timegm", peer_strptime);
  bench_peer("peer/absl::ParseTime", peer_absl);
  bench_peer("peer/floor", [](const char *s) { return peer_floor(s); });
  counted(benchmark::RegisterBenchmark("peer/date::parse", [peer](benchmark::State &state) {
    std::istringstream in;
    const size_t mask = peer->size() - 1;
    size_t i = 0;
    for (auto _ : state) {
      benchmark::DoNotOptimize(peer_date(in, (*peer)[i & mask].s));
      ++i;
    }
    report(state);
  }));
  // B8601DT on exactly the peers' texts.
  ifm_reader reader = dt->reader;
  counted(benchmark::RegisterBenchmark("peer/B8601DT", [fs, reader](benchmark::State &state) {
    const size_t mask = fs->at.size() - 1;
    size_t i = 0;
    double v;
    for (auto _ : state) {
      benchmark::DoNotOptimize(call_numeric(reader, fs->at[i & mask], 15, &v));
      benchmark::DoNotOptimize(v);
      ++i;
    }
    report(state);
  }));
}

}  // namespace
}  // namespace zbbench

int main(int argc, char **argv) {
  using namespace zbbench;
  benchmark::Initialize(&argc, argv);
  World w;
  world = &w;
  std::string error;
  w.host = std::make_unique<zbhost::Host>();
  w.host->capture_log(true);
  w.module = zbhost::Module::load(*w.host, zbhost::module_path("zelbrant"), &error);
  if (!w.module) die("cannot load zelbrant: " + error);
  w.family = zbhost::Family::load(*w.host, *w.module, &error);
  if (!w.family) die("cannot register zelbrant: " + error);
  register_informats();
  register_host_calls();
  register_entities();
  register_peers();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  w.family.reset();
  w.module.reset();
  w.host.reset();
  return 0;
}
