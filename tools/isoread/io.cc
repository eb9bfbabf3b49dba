#include "io.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace isoread {

namespace {
constexpr size_t kReadChunk = size_t{1} << 20;
constexpr size_t kOutBuffer = size_t{1} << 20;
constexpr size_t kMemoryOutBuffer = size_t{1} << 12;
// A record longer than this is cut here (the host's lengths are 32-bit).
constexpr size_t kMaxRecord = INT32_MAX;
}  // namespace

LineReader::LineReader() : buf_(kReadChunk) {}

void LineReader::reset(int fd) {
  fd_ = fd;
  begin_ = end_ = 0;
  eof_ = false;
  error_ = 0;
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
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    eof_ = true;
    return false;
  }
}

bool LineReader::next(std::string_view *record) {
  size_t scanned = begin_;
  for (;;) {
    const char *start = buf_.data() + begin_;
    auto *nl = static_cast<const char *>(
        std::memchr(buf_.data() + scanned, '\n', end_ - scanned));
    size_t len;
    if (nl) {
      len = static_cast<size_t>(nl - start);
      begin_ += len + 1;
    } else {
      size_t pending = end_ - begin_;
      bool more = pending < kMaxRecord && fill();
      if (more) {
        scanned = begin_ + pending;  // those bytes hold no '\n'
        continue;
      }
      if (error_ || pending == 0) return false;
      len = pending < kMaxRecord ? pending : kMaxRecord;
      start = buf_.data() + begin_;
      begin_ += len;
    }
    if (len > 0 && start[len - 1] == '\r') --len;
    *record = std::string_view(start, len);
    return true;
  }
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
