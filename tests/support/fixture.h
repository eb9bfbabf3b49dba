// A test host with both deliverables loaded, and a helper that calls a reader
// the way the host does and reports everything it did.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host.h"
#include "ifmblock.h"
#include "support/guard.h"

namespace zbtest {

// Written into a double target before a call, to see whether it was written.
constexpr uint64_t kSentinelBits = 0x7FF4DEADBEEF0001ull;
inline double sentinel() {
  double d;
  std::memcpy(&d, &kSentinelBits, sizeof d);
  return d;
}
inline bool is_sentinel(double d) { return std::memcmp(&d, &kSentinelBits, sizeof d) == 0; }

struct ReadResult {
  uint32_t rc = 0;
  double value = 0;      // what the target holds afterwards
  uint32_t status = 0;   // the status word afterwards
  bool untouched = false;
  bool missing() const { return ifm_is_missing(value); }
};

// Calls reader on text held in a guarded field, with exactly this width and
// available length and a target preset to the sentinel; adjust may change
// the block first (status word, task, flags).
ReadResult call_guarded(ifm_reader reader, std::string_view text, int32_t width, int32_t avail,
                        const std::function<void(ifmblock &)> &adjust = {});

// The same, width and available length defaulting to the text's length.
inline ReadResult read_numeric(ifm_reader reader, std::string_view text, int32_t width = -1,
                               int32_t avail = -1) {
  const auto len = static_cast<int32_t>(text.size());
  return call_guarded(reader, text, width < 0 ? len : width, avail < 0 ? len : avail);
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // An exported routine of a deliverable; fails the test when missing.
  void *sym(const char *name, bool morvista = false);
  template <class F>
  F fn(const char *name, bool morvista = false) {
    return reinterpret_cast<F>(sym(name, morvista));
  }
  ifm_reader reader(const char *name, bool morvista = false) {
    return fn<ifm_reader>(name, morvista);
  }

  std::unique_ptr<zbhost::Host> host;
  std::unique_ptr<zbhost::Module> zel;
  std::unique_ptr<zbhost::Module> mor;
};

}  // namespace zbtest
