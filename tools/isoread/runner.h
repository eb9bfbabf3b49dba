// The runners: every record of the inputs through the reader stage and the
// writer to the output, on one thread or on several (the input cut into
// blocks of whole records, read in parallel and written in input order).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "batch.h"
#include "io.h"
#include "layout.h"
#include "options.h"
#include "progress.h"
#include "source.h"

namespace isoread {

class Writer;

class Runner {
 public:
  Runner(ProgressLine *progress, int out_fd, std::unique_ptr<Writer> writer);
  virtual ~Runner();
  // Reads every record of the input src is on, its fields placed by
  // layout. False on a read error (reported) or when the output failed
  // (output_error() then; reading stops at once).
  virtual bool input(RecordSource &src, const Layout &layout) = 0;
  // Writes the output's header line, made from the first input's header.
  void header(const Layout &layout, std::string_view first_record);
  // Writes out what is held.
  void finish() { out_.flush(); }
  virtual const Counts &counts() const = 0;
  // errno of a failed write, or 0.
  int output_error() const { return out_.error(); }

 protected:
  // The end of an input: true when it was read to its end and written.
  bool ended(RecordSource &src);
  // A message on standard error, clear of the progress line.
  void note(const std::string &text);
  void read_error(const std::string &label, int err);
  ProgressLine *progress_;
  uint64_t bytes_before_ = 0;  // read from the inputs before this one
  Output out_;
  std::unique_ptr<Writer> writer_;
};

// What a run reads with: the fields, and a handle of the reader API for
// each thread.
struct RunSetup {
  const Options &opts;
  const Layout &layout;  // the first input's
  const std::vector<Field> &fields;
  std::vector<zb_handle *> handles;  // one: serial
  bool one_at_a_time = false;        // each record read and written as it comes
  size_t block = 0;                  // input bytes per block
  int out_fd = -1;
  ProgressLine *progress = nullptr;
};

// setup must outlive the runner.
std::unique_ptr<Runner> make_runner(const RunSetup &setup);

// Input bytes per block: the blocks in flight share a fixed budget, smaller
// for JSON, whose output is a dozen times its input, so memory stays flat
// whatever the number of threads; one thread takes blocks of 1 MiB.
// ISOREAD_BLOCK_BYTES sets it (for tests that need many blocks from a small
// input).
size_t block_size(const Options &opts, int jobs);

// The host's log lines (each ending in '\n') kept since the last call.
std::string taken_log();

}  // namespace isoread
