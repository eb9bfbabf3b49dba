#include "runner.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "writer.h"

namespace isoread {

namespace {

// Records read together, a column of each field per reader call.
constexpr size_t kBatch = 256;

// One thread: block by block, straight into the output buffer.
class SerialRun : public Runner {
 public:
  explicit SerialRun(const RunSetup &s)
      : Runner(s.progress, s.out_fd, make_writer(s.opts, s.layout)),
        one_(s.one_at_a_time),
        reader_(s.fields, s.handles[0], writer_->serial(), one_ ? 1 : kBatch) {}

  bool input(RecordSource &src, const Layout &layout) override {
    while (!out_.failed() && src.next(&block_)) {
      reader_.read(block_, layout, [&](const RecordOut &r) {
        writer_->record(r, out_);
        out_.end_record();
        if (one_) note(taken_log());
      });
      note(taken_log());
      note(block_.notes);
      progress_->update(bytes_before_ + src.bytes_read());
    }
    return ended(src);
  }
  const Counts &counts() const override { return reader_.counts; }

 private:
  const bool one_;
  BatchReader reader_;
  Block block_;
};

// Several threads: this one takes blocks of whole records from the source
// and writes their outputs in input order; the workers read the blocks,
// each into an output of its own. Blocks go round a fixed ring of slots, so
// at most slots_.size() are in flight whatever the size of the input.
class ParallelRun : public Runner {
 public:
  explicit ParallelRun(const RunSetup &s)
      : Runner(s.progress, s.out_fd, make_writer(s.opts, s.layout)),
        block_(s.block),
        slots_(2 * s.handles.size()) {
    for (zb_handle *h : s.handles)
      workers_.emplace_back([this, &s, h] { work(s, h); });
  }
  ~ParallelRun() override {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    work_cv_.notify_all();
    for (std::thread &t : workers_) t.join();
  }

  bool input(RecordSource &src, const Layout &layout) override {
    for (;;) {
      while (!out_.failed() && dispatched_ - written_ < slots_.size() && dispatch(src, layout)) {
      }
      if (written_ == dispatched_) break;
      write_oldest();
      progress_->update(bytes_before_ + src.bytes_read());
    }
    return ended(src);
  }
  const Counts &counts() const override { return total_; }

 private:
  struct Slot {
    Block block;
    const Layout *layout = nullptr;
    bool done = false;  // the worker has finished it
    Output out;         // in memory
    Counts counts;
  };

  // Takes the next block into the next free slot and hands it to the
  // workers; false when the input holds no more records.
  bool dispatch(RecordSource &src, const Layout &layout) {
    Slot &s = slots_[dispatched_ % slots_.size()];
    if (!src.next(&s.block)) return false;
    s.layout = &layout;
    {
      std::lock_guard<std::mutex> lock(mu_);
      s.done = false;
      ++dispatched_;
    }
    work_cv_.notify_one();
    return true;
  }

  // Waits for the oldest block in flight and writes its output.
  void write_oldest() {
    Slot &s = slots_[written_ % slots_.size()];
    {
      std::unique_lock<std::mutex> lock(mu_);
      done_cv_.wait(lock, [&] { return s.done; });
    }
    out_.write_through(s.out.held());
    note(s.block.notes);
    total_.merge(s.counts);
    ++written_;
    // A block grown round a long record lets its memory go.
    if (s.block.data.capacity() > 4 * block_ + (size_t{1} << 20)) std::vector<char>().swap(s.block.data);
  }

  void work(const RunSetup &setup, zb_handle *handle) {
    std::unique_ptr<Writer> writer = make_writer(setup.opts, setup.layout);
    BatchReader reader(setup.fields, handle, false, kBatch);
    for (;;) {
      Slot *s;
      {
        std::unique_lock<std::mutex> lock(mu_);
        work_cv_.wait(lock, [&] { return stop_ || taken_ < dispatched_; });
        if (taken_ == dispatched_) return;
        s = &slots_[taken_++ % slots_.size()];
      }
      reader.counts = Counts();
      s->out.clear();
      reader.read(s->block, *s->layout, [&](const RecordOut &r) { writer->record(r, s->out); });
      std::swap(s->counts, reader.counts);
      {
        std::lock_guard<std::mutex> lock(mu_);
        s->done = true;
      }
      done_cv_.notify_one();
    }
  }

  const size_t block_;
  std::vector<Slot> slots_;
  Counts total_;
  uint64_t written_ = 0;  // blocks written out; this thread's alone
  // Guarded by mu_ (dispatched_ is written by this thread only, so it reads
  // it without the lock).
  std::mutex mu_;
  std::condition_variable work_cv_, done_cv_;
  uint64_t dispatched_ = 0, taken_ = 0;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

Runner::Runner(ProgressLine *progress, int out_fd, std::unique_ptr<Writer> writer)
    : progress_(progress), out_(out_fd), writer_(std::move(writer)) {}

Runner::~Runner() = default;

void Runner::header(const Layout &layout, std::string_view first_record) {
  writer_->header(layout, first_record, out_);
}

bool Runner::ended(RecordSource &src) {
  bytes_before_ += src.bytes_read();
  if (out_.failed()) return false;
  if (src.error()) {
    out_.flush();
    read_error(src.label(), src.error());
    return false;
  }
  return true;
}

void Runner::note(const std::string &text) {
  if (text.empty()) return;
  progress_->clear();
  std::fputs(text.c_str(), stderr);
}

void Runner::read_error(const std::string &label, int err) {
  note("isoread: error reading " + label + ": " + std::strerror(err) + "\n");
}

std::unique_ptr<Runner> make_runner(const RunSetup &setup) {
  if (setup.handles.size() > 1) return std::make_unique<ParallelRun>(setup);
  return std::make_unique<SerialRun>(setup);
}

size_t block_size(const Options &opts, int jobs) {
  if (const char *env = std::getenv("ISOREAD_BLOCK_BYTES"); env && *env) {
    long long v = std::atoll(env);
    if (v > 0) return static_cast<size_t>(v);
  }
  if (jobs == 1) return size_t{1} << 20;
  size_t budget = opts.mode == OutputMode::json ? size_t{1} << 20 : size_t{4} << 20;
  size_t b = budget / (2 * static_cast<size_t>(jobs));
  return std::clamp(b, size_t{4} << 10, size_t{4} << 20);
}

std::string taken_log() {
  size_t n = zb_take_log(nullptr, 0);
  if (n == 0) return {};
  std::string lines(n + 1, '\0');
  n = zb_take_log(lines.data(), lines.size());
  lines.resize(std::min(n, lines.size() - 1));
  return lines;
}

}  // namespace isoread
