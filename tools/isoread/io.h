// Output: a large buffer written out whole records at a time, every write
// checked; and the place it goes, standard output or a file made whole or
// not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace isoread {

// Output collected in a buffer and written to a descriptor when a record
// ends with the buffer full; or, without a descriptor, collected in memory
// for the caller to write out later. After a failed write nothing more is
// written (error() says why).
class Output {
 public:
  explicit Output(int fd);
  Output();  // in memory
  // Room for at least n more bytes; write at the result, then commit().
  char *reserve(size_t n) {
    if (buf_.size() - used_ < n) grow(n);
    return buf_.data() + used_;
  }
  void commit(char *end) { used_ = static_cast<size_t>(end - buf_.data()); }
  void put(std::string_view s);
  void put(char c);
  // A record ends here: written out when the buffer is full.
  void end_record() {
    if (fd_ >= 0 && used_ >= kFlushAt) flush();
  }
  // Writes out what is held (in memory: nothing happens).
  void flush();
  // Writes out what is held, then the bytes s, without copying them.
  void write_through(std::string_view s);
  bool failed() const { return error_ != 0; }
  int error() const { return error_; }
  // What an in-memory output holds; clear() empties it, keeping the room.
  std::string_view held() const { return std::string_view(buf_.data(), used_); }
  void clear() { used_ = 0; }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;
  std::vector<char> buf_;
  size_t used_ = 0;
  int fd_;
  int error_ = 0;
  void write_out(const char *p, size_t n);
  void grow(size_t n);
};

// Where the output goes: standard output, or a file given with -o, which is
// written as a temporary file in its directory and renamed over it only by
// commit() (a device or a pipe given with -o is written as it stands). Until then (a failure, an interruption by SIGINT, SIGTERM or
// SIGHUP) the old file stays as it was and the temporary one goes.
class OutputTarget {
 public:
  OutputTarget() = default;
  ~OutputTarget() { discard(); }
  OutputTarget(const OutputTarget &) = delete;
  OutputTarget &operator=(const OutputTarget &) = delete;

  // path empty: standard output. False with *error when it cannot be.
  bool open(const std::string &path, std::string *error);
  int fd() const { return fd_; }
  const std::string &label() const { return label_; }
  // Closes the output and, for a file, puts it in place; false with *error.
  bool commit(std::string *error);
  // Drops a temporary file.
  void discard();

 private:
  int fd_ = -1;
  std::string label_;
  std::string path_, temp_;
};

}  // namespace isoread
