// The progress display of a long run on standard error: bytes read, the
// share of the input, the rate and the time left. On a terminal one line
// redrawn in place (at most ten times a second) and cleared at the end;
// elsewhere, when asked for, a line a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace isoread {

class ProgressLine {
 public:
  // Off: every call does nothing.
  ProgressLine() = default;
  // total: the bytes of the input, 0 when not known. ISOREAD_PROGRESS_MS
  // sets the interval between updates (for tests).
  ProgressLine(bool terminal, uint64_t total);
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine &) = delete;
  ProgressLine &operator=(const ProgressLine &) = delete;

  // bytes read so far; drawn when the interval has passed since the last.
  void update(uint64_t bytes) {
    if (!on_) return;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ >= interval_) draw(bytes, now);
  }
  // Takes the line off the terminal (before other messages and at the end).
  void clear();

 private:
  void draw(uint64_t bytes, std::chrono::steady_clock::time_point now);
  bool on_ = false;
  bool terminal_ = false;
  bool drawn_ = false;  // a terminal line is showing
  uint64_t total_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
  std::chrono::steady_clock::duration interval_{};
};

struct Options;

// The progress display: on a terminal when every input is a file, the
// output does not go to that terminal too (the line would run through it)
// and CI is not set; or as asked by --progress and --no-progress.
std::unique_ptr<ProgressLine> make_progress(const Options &opts,
                                            const std::vector<std::string> &files, int out_fd);

}  // namespace isoread
