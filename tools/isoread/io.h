// Buffered record input and output on file descriptors: large reads and
// writes, no allocation per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace isoread {

// Reads records from a descriptor: lines, or CSV records (which may hold
// line breaks in quotes) after set_csv. A record ends at '\n'; a '\r'
// before it is dropped; a last line without '\n' is a record too. A record
// stays valid until the next call of next(); buffered() leaves the records
// before it valid.
class LineReader {
 public:
  LineReader();
  void set_csv(char delim) { csv_ = true, delim_ = delim; }
  // Reads from fd, after the bytes of prefix (read from it before).
  void reset(int fd, std::string_view prefix = {});
  // The next record; false at the end of the input or on a read error.
  bool next(std::string_view *record);
  // The next record if it is whole in the buffer; false when it takes a
  // read (next() does that) or at the end.
  bool buffered(std::string_view *record);
  // errno of a failed read, or 0.
  int error() const { return error_; }
  // The last record had a quote left open to the end of the input.
  bool unterminated() const { return unterminated_; }
  // Bytes read from the descriptor since reset.
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  bool fill();
  std::vector<char> buf_;
  size_t begin_ = 0, end_ = 0;
  int fd_ = -1;
  bool eof_ = false;
  int error_ = 0;
  bool csv_ = false;
  char delim_ = ',';
  bool unterminated_ = false;
  uint64_t bytes_read_ = 0;
};

// Reads the first record of fd (as LineReader would) into *record and the
// bytes read past it into *rest; false with errno in *error on a read error.
bool read_first_record(int fd, bool csv, char delim, std::string *record, std::string *rest,
                       int *error);

// Output collected in a large buffer and written out when it fills; or,
// without a descriptor, collected in memory (growing as needed) for the
// caller to write out later.
class Output {
 public:
  explicit Output(int fd);
  Output();  // in memory
  ~Output();
  // Room for at least n more bytes; write at the result, then commit().
  char *reserve(size_t n);
  void commit(char *end) { used_ = static_cast<size_t>(end - buf_.data()); }
  void put(std::string_view s);
  void put(char c);
  // Writes out what is held (in memory: nothing happens).
  void flush();
  // Writes out what is held, then the bytes s, without copying them.
  void write_through(std::string_view s);
  bool failed() const { return failed_; }
  // What an in-memory output holds; clear() empties it, keeping the room.
  std::string_view held() const { return std::string_view(buf_.data(), used_); }
  void clear() { used_ = 0; }

 private:
  std::vector<char> buf_;
  size_t used_ = 0;
  int fd_;
  bool failed_ = false;
  void write_out(const char *p, size_t n);
};

}  // namespace isoread
