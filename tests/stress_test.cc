// Concurrency: several threads read a mixed corpus through one loaded module,
// and through both modules at once, and every answer must be the one a
// single thread gets. Run it under ThreadSanitizer (-DZB_SANITIZE=thread)
// to see the readers share no mutable state.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../fuzz/harness.h"
#include "support/call_block.h"
#include "support/fixture.h"

namespace {

enum Kind { kNumeric, kDui, kPdi, kVli, kScan };

struct Job {
  Kind kind;
  int reader;  // kNumeric: catalog position of the reader
  std::string text;
};

// The numeric readers of one module by catalog position (null for the
// entity readers).
std::vector<ifm_reader> numeric_readers(const zbfuzz::Api &a) {
  return std::vector<ifm_reader>(std::begin(a.numeric), std::end(a.numeric));
}

std::vector<Job> corpus() {
  const char *texts[] = {"20110909T123045", "2011-09-09T12:30:45.5", "123045+0100", "12:30:45Z",
                         "20110909", "2011-09", "1230", "  2011-09-09  ", "9110909T1230",
                         "2011-13-01", "abc", "20110909T123045-0530", "09/09/2011", "12:30 PM",
                         ".", "", "24:00:00", "2011-02-29", "P1Y2M10DT2H30M", "PT36.5H",
                         "2011-09-09/P1M", "P1M/2011-09-09", "-P1Y", "2011-01-31/2011-03-01",
                         "2011-09-09T12:30:45"};
  std::vector<Job> jobs;
  for (const char *t : texts) {
    for (int r = 0; r < zb_catalog_count; ++r)
      if (!zb_catalog_entity(zb_catalog[r])) jobs.push_back({kNumeric, r, t});
    for (Kind k : {kDui, kPdi, kVli, kScan}) jobs.push_back({k, 0, t});
  }
  return jobs;
}

// Everything a call hands back, as bytes.
std::string run_job(const zbfuzz::Api &a, const std::vector<ifm_reader> &numeric, const Job &j) {
  const auto len = static_cast<int32_t>(j.text.size());
  ifmblock blk = zbtest::call_block(j.text.data(), len, len, nullptr, 0);  // target by kind
  char target[40];
  std::memset(target, '#', sizeof target);
  double value = 0;
  uint32_t rc = 0;
  switch (j.kind) {
    case kNumeric:
      blk.target = &value;
      blk.target_len = 8;
      rc = numeric[static_cast<size_t>(j.reader)](&blk);
      return std::to_string(rc) + "/" + std::to_string(blk.status) + "/" +
             zbfuzz::hex_bytes(&value, 8);
    case kScan: {
      zbfuzz::Record rec;
      std::memset(&rec, 0, sizeof rec);
      const int32_t prc = a.read_date_or_duration(j.text.data(), blk.width, &rec, 0x80, 1);
      return std::to_string(prc) + "/" + zbfuzz::hex_bytes(&rec, offsetof(zbfuzz::Record, pad));
    }
    default:
      blk.target = target;
      blk.target_len = 32;
      rc = j.kind == kDui ? a.is8601dui(&blk, 0) : j.kind == kPdi ? a.is8601pdi(&blk, 0x100)
                                                                   : a.is8601vli(&blk, 0);
      return std::to_string(rc) + "/" + std::to_string(blk.status) + "/" +
             std::string(target, sizeof target);
  }
}

class Stress : public zbtest::ModuleTest {
 protected:
  void SetUp() override {
    zbtest::ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    std::string missing;
    ASSERT_TRUE(zbtest::bind_module(*zel, &api[0], &missing)) << missing;
    ASSERT_TRUE(zbtest::bind_module(*mor, &api[1], &missing)) << missing;
    host->set_gmt_offset(-18000.0);
    jobs = corpus();
    for (int m = 0; m < 2; ++m) {
      numeric[m] = numeric_readers(api[m]);
      for (const Job &j : jobs) expected[m].push_back(run_job(api[m], numeric[m], j));
    }
  }

  // threads threads, each running every job rounds times from its own
  // starting point, through the module that pick(thread, job) names.
  size_t mismatches(int threads, int rounds, int (*pick)(int, size_t)) {
    std::atomic<size_t> bad{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&, t] {
        while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
        for (int r = 0; r < rounds; ++r) {
          for (size_t k = 0; k < jobs.size(); ++k) {
            const size_t i = (k * 7 + static_cast<size_t>(t) * 131 + static_cast<size_t>(r)) %
                             jobs.size();
            const int m = pick(t, i);
            if (run_job(api[m], numeric[m], jobs[i]) != expected[m][i]) ++bad;
          }
        }
      });
    }
    go.store(true, std::memory_order_release);
    for (std::thread &th : pool) th.join();
    return bad.load();
  }

  zbfuzz::Api api[2];
  std::vector<ifm_reader> numeric[2];
  std::vector<Job> jobs;
  std::vector<std::string> expected[2];
};

TEST_F(Stress, TheTwoModulesAnswerAlikeOnOneThread) {
  // The corpus is worth running concurrently only if it does something:
  // both successes and rejections, the same in both modules.
  size_t ok = 0, rejected = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(jobs[i].text);
    EXPECT_EQ(expected[0][i], expected[1][i]);
    (expected[0][i].rfind("0/", 0) == 0 ? ok : rejected)++;
  }
  EXPECT_GT(ok, jobs.size() / 5);
  EXPECT_GT(rejected, jobs.size() / 5);
}

TEST_F(Stress, ManyThreadsThroughOneModule) {
  EXPECT_EQ(mismatches(6, 12, [](int, size_t) { return 0; }), 0u);
}

TEST_F(Stress, ManyThreadsThroughBothModulesAtOnce) {
  EXPECT_EQ(mismatches(6, 12, [](int t, size_t i) { return static_cast<int>((t + i) % 2); }), 0u);
}

}  // namespace
