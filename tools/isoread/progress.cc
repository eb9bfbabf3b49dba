#include "progress.h"

#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

#include "options.h"

namespace isoread {

ProgressLine::ProgressLine(bool terminal, uint64_t total)
    : on_(true), terminal_(terminal), total_(total) {
  using namespace std::chrono;
  start_ = last_ = steady_clock::now();
  interval_ = terminal ? duration_cast<steady_clock::duration>(milliseconds(100))
                       : duration_cast<steady_clock::duration>(seconds(1));
  if (const char *ms = std::getenv("ISOREAD_PROGRESS_MS"); ms && *ms)
    interval_ = duration_cast<steady_clock::duration>(milliseconds(std::atoll(ms)));
}

void ProgressLine::draw(uint64_t bytes, std::chrono::steady_clock::time_point now) {
  last_ = now;
  double secs = std::chrono::duration<double>(now - start_).count();
  double mb = bytes / 1e6, rate = secs > 0 ? mb / secs : 0;
  char line[160];
  int n;
  if (total_ > 0) {
    double pct = bytes >= total_ ? 100 : 100.0 * bytes / total_;
    double left = rate > 0 ? (total_ - (bytes < total_ ? bytes : total_)) / 1e6 / rate : 0;
    long s = static_cast<long>(left + 0.5);
    n = std::snprintf(line, sizeof line, "%.1f MB of %.1f MB, %.0f%%, %.1f MB/s, %ld:%02ld left",
                      mb, total_ / 1e6, pct, rate, s / 60, s % 60);
  } else {
    n = std::snprintf(line, sizeof line, "%.1f MB, %.1f MB/s", mb, rate);
  }
  if (n < 0) return;
  if (terminal_) {
    std::fprintf(stderr, "\risoread: %s\033[K", line);
    drawn_ = true;
  } else {
    std::fprintf(stderr, "isoread: %s\n", line);
  }
  std::fflush(stderr);
}

void ProgressLine::clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

std::unique_ptr<ProgressLine> make_progress(const Options &opts,
                                            const std::vector<std::string> &files, int out_fd) {
  uint64_t total = 0;
  bool all_files = true;
  for (const std::string &f : files) {
    struct stat st;
    bool ok = f == "-" ? ::fstat(STDIN_FILENO, &st) == 0 : ::stat(f.c_str(), &st) == 0;
    if (ok && S_ISREG(st.st_mode)) total += static_cast<uint64_t>(st.st_size);
    else all_files = false;
  }
  bool terminal = ::isatty(STDERR_FILENO);
  const char *ci = std::getenv("CI");
  bool show = opts.progress == Progress::on ||
              (opts.progress == Progress::automatic && terminal && all_files && !::isatty(out_fd) &&
               !(ci && *ci));
  if (!show) return std::make_unique<ProgressLine>();
  return std::make_unique<ProgressLine>(terminal, all_files ? total : 0);
}

}  // namespace isoread
