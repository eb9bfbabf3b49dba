// The record source: the records of one input (a file or a pipe), fixed or
// delimited lines or CSV records, handed out in blocks of whole records.
// One thread reads with it; a block can then go to any thread. Each byte is
// scanned once, however the reads fall, and no record is held longer than a
// bound (max_record), so memory stays flat whatever the input:
//  - a line ends at LF, CRLF or a lone CR (as Python's csv reads them); CSV
//    line breaks inside quotes belong to their cell;
//  - a CSV quote left open by the end of the input or for more than
//    max_record bytes is taken as a mistake: its record ends at its first
//    line break, is marked, and reading goes on with the next line;
//  - a record longer than max_record is cut there, marked, and the rest of
//    its line skipped;
//  - a UTF-8 byte order mark before the first record is dropped.
// Marked records come with a note (record and line number) for standard
// error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace isoread {

// What befell a record on its way in.
enum class Mark : uint8_t { none, unclosed, cut };

struct Span {
  size_t begin = 0;  // in the block's data
  size_t len = 0;    // without its line end
  Mark mark = Mark::none;
};

// Whole records of one input, in order.
struct Block {
  std::vector<char> data;
  std::vector<Span> records;
  uint64_t first = 1;  // number of its first record within the run
  std::string notes;   // lines for standard error about its marked records

  std::string_view record(size_t i) const {
    return {data.data() + records[i].begin, records[i].len};
  }
};

struct SourceOptions {
  bool csv = false;
  char delim = ',';
  size_t max_record = size_t{8} << 20;
  size_t block = size_t{1} << 20;  // bytes of records a block gathers
};

class RecordSource {
 public:
  explicit RecordSource(const SourceOptions &o) : o_(o) {
    kind_[static_cast<unsigned char>('"')] = kQuote;
    kind_[static_cast<unsigned char>('\n')] = kind_[static_cast<unsigned char>('\r')] = kEnd;
    kind_[static_cast<unsigned char>(o.delim)] = kDelim;
  }
  // Starts on an input; record numbers run on from the previous input's.
  void reset(int fd, std::string label);
  // The next block of records; false when the input has no more (or a read
  // failed: error()).
  bool next(Block *b);
  // The first record of the input, taken apart from the blocks (a header);
  // false at once at the end of an empty input or on a read error.
  bool take_first(std::string *record);
  int error() const { return error_; }
  const std::string &label() const { return label_; }
  uint64_t bytes_read() const { return bytes_; }
  // The number the next record gets: records are numbered across inputs.
  uint64_t next_number() const { return record_no_; }
  void number_from(uint64_t n) { record_no_ = n; }
  int fd() const { return fd_; }

 private:
  enum class Scan { ended, more, limit };
  Scan scan_line(const char *p, size_t at, size_t have, size_t *end, size_t *next);
  // The first CR in [from, to) of base (SIZE_MAX: none), from a search of
  // the whole buffer (up to have) kept between records: most inputs have
  // none, or one a line.
  size_t next_cr(const char *base, size_t from, size_t to, size_t have) {
    if (cr_at_ == SIZE_MAX ? cr_to_ < have : cr_at_ < from) find_cr(base, from, have);
    return cr_at_ < to ? cr_at_ : SIZE_MAX;
  }
  void find_cr(const char *base, size_t from, size_t have);
  void forget_cr() { cr_at_ = SIZE_MAX, cr_to_ = 0; }
  Scan scan_csv(const char *p, size_t have, size_t *end, size_t *next);
  bool gather(Block *b, bool one);
  bool recover(Block *b, const char *p, size_t have, size_t *rec, bool at_bound);
  void end_record(Block *b, size_t begin, size_t end, size_t next, Mark mark) {
    if (mark != Mark::none) return end_marked(b, begin, end, next, mark);
    b->records.push_back({begin, end - begin, mark});
    ++record_no_;
    line_ += next > end;
    if (quoted_lines_) count_quoted_lines(b, begin, end);
    reset_scan();
  }
  void end_marked(Block *b, size_t begin, size_t end, size_t next, Mark mark);
  void count_quoted_lines(const Block *b, size_t begin, size_t end);
  void reset_scan() {
    scanned_ = 0;
    quoted_ = false;
    cell_start_ = true;
    quoted_lines_ = false;
  }
  bool read_more(std::vector<char> *data, size_t *have);
  void note(Block *b, Mark mark);

  SourceOptions o_;
  // What each byte is to the CSV scan.
  enum : uint8_t { kText, kQuote, kDelim, kEnd };
  uint8_t kind_[256] = {};
  int fd_ = -1;
  std::string label_;
  bool eof_ = false;
  bool at_start_ = true;  // no byte of the input taken yet (the BOM check)
  int error_ = 0;
  uint64_t bytes_ = 0;
  uint64_t record_no_ = 1;
  uint64_t line_ = 1;  // of the record being scanned, within the input
  std::vector<char> carry_;  // bytes read past the last whole record
  // The scan of the record begun in carry_, resumed where it stopped.
  size_t scanned_ = 0;
  bool quoted_ = false;      // CSV: inside a quoted cell
  bool cell_start_ = true;   // CSV: the next byte starts a cell
  bool quoted_lines_ = false;  // CSV: the record has a quoted cell
  size_t open_at_ = 0;       // CSV: where the last quote opened, from the record's start
  bool skipping_ = false;    // dropping the rest of a cut line
  // Line input: the next CR of the block's data, searched up to cr_to_.
  size_t cr_at_ = SIZE_MAX, cr_to_ = 0;
};

}  // namespace isoread
