#include "source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace isoread {

namespace {

constexpr size_t kMinRead = size_t{64} << 10;
constexpr char kBom[] = "\xEF\xBB\xBF";

const char *find(const char *p, size_t n, char c) {
  return static_cast<const char *>(std::memchr(p, c, n));
}

// The first line break (LF or CR) in [p, p + n), or null.
const char *find_break(const char *p, size_t n) {
  const char *lf = find(p, n, '\n');
  const char *cr = find(p, lf ? static_cast<size_t>(lf - p) : n, '\r');
  return cr ? cr : lf;
}

}  // namespace

void RecordSource::reset(int fd, std::string label) {
  fd_ = fd;
  label_ = std::move(label);
  eof_ = false;
  at_start_ = true;
  error_ = 0;
  bytes_ = 0;
  line_ = 1;
  carry_.clear();
  scanned_ = 0;
  quoted_ = false;
  cell_start_ = true;
  quoted_lines_ = false;
  skipping_ = false;
}

// A line from p: LF, CRLF or a lone CR ends it. *end is where its text
// ends, *next where the next record starts.
RecordSource::Scan RecordSource::scan_line(const char *p, size_t at, size_t n, size_t *end,
                                           size_t *next) {
  const char *lf = find(p + scanned_, n - scanned_, '\n');
  const size_t stop = lf ? static_cast<size_t>(lf - p) : n;
  if (const size_t cr = next_cr(p - at, at + scanned_, at + stop, at + n); cr != SIZE_MAX) {
    const size_t r = cr - at;
    if (r + 1 == n) {  // CR or CRLF: the next read tells
      scanned_ = r;
      return Scan::more;
    }
    *end = r;
    *next = r + 1 == stop && lf ? stop + 1 : r + 1;
    return r > o_.max_record ? Scan::limit : Scan::ended;
  }
  if (lf) {
    *end = stop;
    *next = stop + 1;
    return stop > o_.max_record ? Scan::limit : Scan::ended;
  }
  scanned_ = n;
  return n > o_.max_record ? Scan::limit : Scan::more;
}

// A CSV record from p (RFC 4180): a quote opens a quoted cell only at the
// start of a cell; inside one a doubled quote is text and a single one
// closes it; line breaks outside quotes end the record.
RecordSource::Scan RecordSource::scan_csv(const char *p, size_t n, size_t *end, size_t *next) {
  // The state in locals while scanning: stores to members would be made
  // for every byte (a char pointer may point anywhere).
  size_t i = scanned_;
  bool quoted = quoted_, cell_start = cell_start_;
  // Past the bound the record is not scanned further, however it came in.
  const size_t stop = std::min(n, o_.max_record + 1);
  Scan result = Scan::more;
  while (i < stop) {
    if (quoted) {
      const char *q = find(p + i, stop - i, '"');
      if (!q) {
        i = stop;
        break;
      }
      i = static_cast<size_t>(q - p);
      if (i + 1 == n && !eof_) break;  // a quote closes or is doubled: the next read tells
      if (i + 1 < n && p[i + 1] == '"') {
        i += 2;
        continue;
      }
      quoted = false;
      cell_start = false;
      ++i;
      continue;
    }
    const char c = p[i];
    const uint8_t k = kind_[static_cast<unsigned char>(c)];
    if (k == kText) {
      cell_start = false;
      ++i;
      continue;
    }
    if (k == kQuote) {
      if (cell_start) {
        quoted = true;
        quoted_lines_ = true;
        open_at_ = i;
      }
      cell_start = false;
      ++i;
      continue;
    }
    if (k == kDelim) {
      cell_start = true;
      ++i;
      continue;
    }
    if (c == '\r' && i + 1 == n) break;  // CR or CRLF: the next read tells
    *end = i;
    *next = c == '\r' && p[i + 1] == '\n' ? i + 2 : i + 1;
    result = Scan::ended;
    break;
  }
  quoted_ = quoted, cell_start_ = cell_start;
  if (result == Scan::ended) return result;
  scanned_ = i;
  return i > o_.max_record ? Scan::limit : Scan::more;
}

void RecordSource::find_cr(const char *base, size_t from, size_t have) {
  const size_t start = cr_at_ == SIZE_MAX ? std::max(from, cr_to_) : from;
  const char *cr = start < have ? find(base + start, have - start, '\r') : nullptr;
  cr_at_ = cr ? static_cast<size_t>(cr - base) : SIZE_MAX;
  cr_to_ = have;
}

void RecordSource::note(Block *b, Mark mark) {
  std::string where = "isoread: " + label_ + ": record " + std::to_string(record_no_) +
                      " (line " + std::to_string(line_) + ")";
  const std::string bound = std::to_string(o_.max_record);
  if (mark == Mark::unclosed)
    b->notes += where + ": a quote is not closed " +
                (eof_ ? std::string("by the end of the input")
                      : "within " + bound + " bytes (--max-record)") +
                "; the record was read to the end of its line\n";
  else
    b->notes += where + " is longer than " + bound +
                " bytes (--max-record): it was read to there and the rest of its line dropped\n";
}

void RecordSource::end_marked(Block *b, size_t begin, size_t end, size_t next, Mark mark) {
  note(b, mark);
  b->records.push_back({begin, end - begin, mark});
  ++record_no_;
  line_ += next > end;
  reset_scan();
}

// Line breaks in quoted cells count as lines (for the numbers in notes).
void RecordSource::count_quoted_lines(const Block *b, size_t begin, size_t end) {
  const char *p = b->data.data() + begin, *e = b->data.data() + end;
  while ((p = find(p, static_cast<size_t>(e - p), '\n'))) ++line_, ++p;
}

bool RecordSource::read_more(std::vector<char> *data, size_t *have) {
  if (eof_) return false;
  if (data->size() - *have < kMinRead) data->resize(*have + std::max(o_.block, kMinRead));
  for (;;) {
    ssize_t n = ::read(fd_, data->data() + *have, data->size() - *have);
    if (n > 0) {
      *have += static_cast<size_t>(n);
      bytes_ += static_cast<uint64_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    eof_ = true;
    return false;
  }
}

bool RecordSource::next(Block *b) { return gather(b, false); }

bool RecordSource::take_first(std::string *record) {
  Block b;
  b.first = record_no_;
  if (!gather(&b, true)) return false;
  record->assign(b.record(0));
  --record_no_;  // a header is no record of the run
  return true;
}

bool RecordSource::gather(Block *b, bool one) {
  b->records.clear();
  b->notes.clear();
  b->first = record_no_;
  std::vector<char> &data = b->data;
  size_t have = carry_.size();
  if (data.size() < have + kMinRead) data.resize(have + std::max(o_.block, kMinRead));
  std::copy(carry_.begin(), carry_.end(), data.begin());
  carry_.clear();
  size_t rec = 0;  // where the record being scanned starts
  forget_cr();
  for (;;) {
    const char *p = data.data();
    if (at_start_ && have - rec > 0) {
      const size_t k = std::min<size_t>(have - rec, 3);
      if (std::memcmp(p + rec, kBom, k) != 0) {
        at_start_ = false;
      } else if (k == 3) {
        rec += 3;
        at_start_ = false;
      }  // else a part of a mark: the next read tells
    }
    while (!at_start_ && rec < have && !(one && !b->records.empty())) {
      if (skipping_) {
        const char *br = find_break(p + rec, have - rec);
        if (!br) {
          rec = have;
          break;
        }
        rec = static_cast<size_t>(br - p) + 1;
        ++line_;
        skipping_ = false;
        continue;
      }
      size_t end = 0, next = 0;
      Scan s = o_.csv ? scan_csv(p + rec, have - rec, &end, &next)
                      : scan_line(p + rec, rec, have - rec, &end, &next);
      if (s == Scan::ended) {
        end_record(b, rec, rec + end, rec + next, Mark::none);
        rec += next;
        continue;
      }
      if (s == Scan::limit) {
        if (!(quoted_ && recover(b, p, have, &rec, true))) {
          // Too long, quotes or not: cut, and the rest of its line dropped.
          end_record(b, rec, rec + o_.max_record, rec + o_.max_record, Mark::cut);
          rec += o_.max_record;
          skipping_ = true;
        }
        continue;
      }
      break;
    }
    if (one && !b->records.empty()) break;
    if (eof_) {
      if (rec == have || error_) break;  // after a read error the record begun is dropped
      if (quoted_ && o_.csv) {
        recover(b, p, have, &rec, false);
        continue;
      }
      size_t end = have - rec;
      if (p[have - 1] == '\r') --end;
      end_record(b, rec, rec + end, rec + end, Mark::none);
      rec = have;
      break;
    }
    if (!b->records.empty() && have >= o_.block) break;
    if (b->records.empty() && rec > 0) {  // bytes of no record (a dropped line): let go
      std::memmove(data.data(), data.data() + rec, have - rec);
      have -= rec;
      rec = 0;
      forget_cr();
    }
    read_more(&data, &have);
  }
  carry_.assign(data.begin() + static_cast<ptrdiff_t>(rec), data.begin() + static_cast<ptrdiff_t>(have));
  return !b->records.empty();
}

// A quote left open (to the end of the input, or past the bound): the
// record ends at the first line break after the quote, and the scan goes on
// after it, within the bound. False (nothing done) when there is none and
// at_bound: the record is then cut at the bound.
bool RecordSource::recover(Block *b, const char *p, size_t have, size_t *rec, bool at_bound) {
  const char *q = p + *rec;
  const size_t n = have - *rec;
  const size_t upto = std::min(n, o_.max_record + 1);
  const char *found = open_at_ < upto ? find_break(q + open_at_, upto - open_at_) : nullptr;
  if (!found && at_bound) return false;
  const size_t br = found ? static_cast<size_t>(found - q) : n;
  size_t next = br < n ? br + 1 : n;
  if (br < n && q[br] == '\r' && next < n && q[next] == '\n') ++next;
  end_record(b, *rec, *rec + br, *rec + next, Mark::unclosed);
  *rec += next;
  return true;
}

}  // namespace isoread
