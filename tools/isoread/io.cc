#include "io.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "csv.h"

namespace isoread {

namespace {
constexpr size_t kReadChunk = size_t{1} << 20;
constexpr size_t kOutBuffer = size_t{1} << 20;
constexpr size_t kMemoryOutBuffer = size_t{1} << 12;
// A record longer than this is cut here (the host's lengths are 32-bit).
constexpr size_t kMaxRecord = INT32_MAX;
}  // namespace

LineReader::LineReader() : buf_(kReadChunk) {}

void LineReader::reset(int fd, std::string_view prefix) {
  fd_ = fd;
  begin_ = 0;
  if (buf_.size() < prefix.size() + kReadChunk) buf_.resize(prefix.size() + kReadChunk);
  std::memcpy(buf_.data(), prefix.data(), prefix.size());
  end_ = prefix.size();
  eof_ = false;
  error_ = 0;
  unterminated_ = false;
  bytes_read_ = prefix.size();
}

// Makes room behind the pending bytes and reads once more; false when
// nothing more will come.
bool LineReader::fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buf_.size()) {
    if (buf_.size() >= kMaxRecord) return false;
    buf_.resize(buf_.size() * 2);  // a record longer than the buffer
  }
  for (;;) {
    ssize_t n = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
    if (n > 0) {
      end_ += static_cast<size_t>(n);
      bytes_read_ += static_cast<uint64_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    eof_ = true;
    return false;
  }
}

bool LineReader::buffered(std::string_view *record) {
  const char *start = buf_.data() + begin_;
  size_t pending = end_ - begin_;
  RecordCut cut;
  if (next_record(start, pending, csv_, delim_, eof_, &cut)) {
    begin_ += cut.next;
    unterminated_ = cut.unterminated;
    *record = std::string_view(start, cut.len);
    return true;
  }
  if (pending >= kMaxRecord) {
    // Cut here (the host's lengths are 32-bit).
    begin_ += kMaxRecord;
    unterminated_ = false;
    *record = std::string_view(start, kMaxRecord);
    return true;
  }
  return false;
}

bool LineReader::next(std::string_view *record) {
  for (;;) {
    if (buffered(record)) return true;
    if (!fill()) {
      if (error_ || end_ == begin_) return false;
      // At the end now: the pending bytes are the last record.
    }
  }
}

bool read_first_record(int fd, bool csv, char delim, std::string *record, std::string *rest,
                       int *error) {
  std::string buf;
  bool at_end = false;
  RecordCut cut;
  while (!next_record(buf.data(), buf.size(), csv, delim, at_end, &cut)) {
    if (at_end) {  // an empty input
      record->clear();
      rest->clear();
      return true;
    }
    size_t have = buf.size();
    buf.resize(have + kReadChunk);
    ssize_t n;
    do n = ::read(fd, buf.data() + have, kReadChunk);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
      *error = errno;
      return false;
    }
    buf.resize(have + static_cast<size_t>(n));
    at_end = n == 0;
  }
  record->assign(buf.data(), cut.len);
  rest->assign(buf.data() + cut.next, buf.size() - cut.next);
  return true;
}

Output::Output(int fd) : buf_(kOutBuffer), fd_(fd) {}

Output::Output() : buf_(kMemoryOutBuffer), fd_(-1) {}

Output::~Output() { flush(); }

char *Output::reserve(size_t n) {
  if (buf_.size() - used_ < n) {
    if (fd_ < 0) {
      size_t want = buf_.size() * 2;
      if (want - used_ < n) want = used_ + n;
      buf_.resize(want);
    } else {
      flush();
      if (buf_.size() < n) buf_.resize(n);
    }
  }
  return buf_.data() + used_;
}

void Output::put(std::string_view s) {
  char *p = reserve(s.size());
  std::memcpy(p, s.data(), s.size());
  commit(p + s.size());
}

void Output::put(char c) {
  char *p = reserve(1);
  *p = c;
  commit(p + 1);
}

void Output::write_out(const char *p, size_t size) {
  size_t done = 0;
  while (done < size && !failed_) {
    ssize_t n = ::write(fd_, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      break;
    }
    done += static_cast<size_t>(n);
  }
}

void Output::flush() {
  if (fd_ < 0) return;
  write_out(buf_.data(), used_);
  used_ = 0;
}

void Output::write_through(std::string_view s) {
  if (s.size() <= buf_.size() - used_) return put(s);
  flush();
  write_out(s.data(), s.size());
}

}  // namespace isoread
