// Shared by the suites of the extended readers and the calendar routines: a
// call with a block the test may adjust (status preset, task, flags), and the
// three outcomes a table row can expect of the target.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "support/call_block.h"
#include "support/fixture.h"
#include "support/guard.h"

namespace zbtest {

// Preset into the status word: no reader of these families changes it.
constexpr uint32_t kStatusPreset = 0x5A5Au;

// What a row expects of the target.
enum class Out {
  kValue,      // the double given in the row
  kMissing,    // the missing value
  kUntouched,  // the sentinel preset before the call
};

// Calls reader on text held against a guard page, the status word preset; a
// width or available length of -1 stands for the text's length (other
// negative values are passed on). adjust may change the block first.
inline ReadResult call_reader(ifm_reader reader, std::string_view text, int32_t width = -1,
                              int32_t avail = -1,
                              const std::function<void(ifmblock &)> &adjust = {}) {
  const auto len = static_cast<int32_t>(text.size());
  return call_guarded(reader, text, width == -1 ? len : width, avail == -1 ? len : avail,
                      [&adjust](ifmblock &blk) {
                        blk.status = kStatusPreset;
                        if (adjust) adjust(blk);
                      });
}

// Checks one call against a row's expectation; the status word must still
// hold the preset.
inline void expect_result(const ReadResult &r, uint32_t rc, Out out, double value) {
  EXPECT_EQ(r.rc, rc) << std::hex << "rc 0x" << r.rc << " expected 0x" << rc;
  EXPECT_EQ(r.status, kStatusPreset) << "status word changed";
  switch (out) {
    case Out::kValue:
      EXPECT_FALSE(r.untouched) << "target not written";
      EXPECT_FALSE(r.missing()) << "target holds the missing value";
      EXPECT_DOUBLE_EQ(r.value, value);
      break;
    case Out::kMissing:
      EXPECT_FALSE(r.untouched) << "target not written";
      EXPECT_TRUE(r.missing()) << "target holds " << r.value;
      break;
    case Out::kUntouched:
      EXPECT_TRUE(r.untouched) << "target written: " << r.value;
      break;
  }
}

// A table row of a reader: the field, its width and available length (-1:
// the text's length), what the reader returns and leaves in the target.
struct Row {
  std::string text;
  int32_t width;
  int32_t avail;
  uint32_t rc;
  Out out;
  double value;
  const char *why;
};

inline void run_rows(ifm_reader reader, const std::vector<Row> &rows) {
  for (const Row &row : rows) {
    SCOPED_TRACE("'" + row.text + "' width " + std::to_string(row.width) + " avail " +
                 std::to_string(row.avail) + ": " + row.why);
    expect_result(call_reader(reader, row.text, row.width, row.avail), row.rc, row.out,
                  row.value);
  }
}

}  // namespace zbtest
