// Generated fields for the benchmark: realistic, distinct texts of each form
// the readers see, laid out as a fixed-width file would hold them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

namespace zbbench {

// A small deterministic generator (splitmix64), so every run reads the same texts.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint64_t next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In lo..hi, both included.
  int in(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
  bool chance(int percent) { return in(0, 99) < percent; }

 private:
  uint64_t s_;
};

struct Civil {
  int y, m, d;
};

inline int days_in(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
  return m == 2 && leap ? 29 : kDays[m - 1];
}

inline Civil any_date(Rng &r, int lo = 1900, int hi = 2099) {
  Civil c;
  c.y = r.in(lo, hi);
  c.m = r.in(1, 12);
  c.d = r.in(1, days_in(c.y, c.m));
  return c;
}

inline std::string fmt(const char *f, int a, int b = 0, int c = 0, int d = 0, int e = 0,
                       int g = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, a, b, c, d, e, g);
  return buf;
}

inline std::string basic_date(const Civil &c) { return fmt("%04d%02d%02d", c.y, c.m, c.d); }
inline std::string ext_date(const Civil &c) { return fmt("%04d-%02d-%02d", c.y, c.m, c.d); }

inline std::string basic_time(Rng &r, bool fraction) {
  std::string t = fmt("%02d%02d%02d", r.in(0, 23), r.in(0, 59), r.in(0, 59));
  if (fraction)
    for (int k = r.in(1, 3); k > 0; --k) t += static_cast<char>('0' + r.in(0, 9));
  return t;
}

inline std::string basic_zone(Rng &r) {
  int k = r.in(0, 9);
  if (k < 3) return "Z";
  int h = r.in(0, 12), m = r.chance(80) ? 0 : 30;
  return fmt(k < 7 ? "+%02d%02d" : "-%02d%02d", h, m);
}

// One record of the isoread benchmark's fixed-width file (no '\n'): a basic
// date (columns 1-8), a basic datetime with zone (9-28, blank-padded after a
// Z) and a basic time (29-34).
inline std::string fixed_record(Rng &r) {
  std::string rec = basic_date(any_date(r));
  std::string dz = basic_date(any_date(r)) + "T" + basic_time(r, false) + basic_zone(r);
  dz.resize(20, ' ');
  return rec + dz + basic_time(r, false);
}

inline std::string ext_time(Rng &r) {
  return fmt("%02d:%02d:%02d", r.in(0, 23), r.in(0, 59), r.in(0, 59));
}

// A duration in one of the forms people write.
inline std::string duration(Rng &r) {
  switch (r.in(0, 5)) {
    case 0: return fmt("P%dD", r.in(1, 400));
    case 1: return fmt("PT%dH", r.in(1, 99));
    case 2: return fmt("P%dY%dM%dD", r.in(0, 30), r.in(1, 11), r.in(1, 28));
    case 3: return fmt("P%dY%dM%dDT%dH%dM", r.in(0, 9), r.in(1, 11), r.in(1, 28), r.in(0, 23),
                       r.in(0, 59));
    case 4: return fmt("PT%dH%dM%dS", r.in(0, 23), r.in(0, 59), r.in(0, 59));
    default: return fmt("P%dW", r.in(1, 52));
  }
}

inline std::string ext_datetime(Rng &r) {
  std::string s = ext_date(any_date(r)) + "T" + ext_time(r);
  if (r.chance(20)) s += fmt(".%d", r.in(0, 9));
  return s;
}

// An interval: start/end, start/duration or duration/end.
inline std::string interval(Rng &r) {
  switch (r.in(0, 2)) {
    case 0: {
      Civil a = any_date(r, 1950, 2050);
      Civil b = any_date(r, a.y + 1, a.y + 20);
      return ext_date(a) + "T" + ext_time(r) + "/" + ext_date(b) + "T" + ext_time(r);
    }
    case 1: return ext_datetime(r) + "/" + duration(r);
    default: return duration(r) + "/" + ext_datetime(r);
  }
}

// n distinct texts from make(r), in the order made; fewer only if the form
// has fewer than n.
template <class F>
std::vector<std::string> distinct(size_t n, uint64_t seed, F make) {
  Rng r(seed);
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  out.reserve(n);
  for (size_t tries = 0; out.size() < n && tries < n * 20; ++tries) {
    std::string s = make(r);
    if (seen.insert(s).second) out.push_back(std::move(s));
  }
  return out;
}

}  // namespace zbbench
