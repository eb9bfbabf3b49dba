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
  rec_lines_ = 0;
  first_break_ = SIZE_MAX;
  skipping_ = false;
}

// A line from p: LF, CRLF or a lone CR ends it. *end is where its text
// ends, *next where the next record starts.
RecordSource::Scan RecordSource::scan_line(const char *p, size_t n, size_t *end, size_t *next) {
  const char *lf = find(p + scanned_, n - scanned_, '\n');
  const size_t stop = lf ? static_cast<size_t>(lf - p) : n;
  if (const char *cr = find(p + scanned_, stop - scanned_, '\r')) {
    const size_t r = static_cast<size_t>(cr - p);
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
  size_t i = scanned_;
  const char delim = o_.delim;
  // Past the bound the record is not scanned further, however it came in.
  const size_t stop = std::min(n, o_.max_record + 1);
  while (i < stop) {
    if (quoted_) {
      for (; i < stop; ++i) {
        const char c = p[i];
        if (c == '"') break;
        if (c == '\n' || c == '\r') {
          if (first_break_ == SIZE_MAX) first_break_ = i;
          rec_lines_ += c == '\n';
        }
      }
      if (i == stop) break;
      if (i + 1 == n && !eof_) break;  // a quote closes or is doubled: the next read tells
      if (i + 1 < n && p[i + 1] == '"') {
        i += 2;
        continue;
      }
      quoted_ = false;
      cell_start_ = false;
      ++i;
      continue;
    }
    const char c = p[i];
    if (c == '"' && cell_start_) {
      quoted_ = true;
      ++i;
      continue;
    }
    if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 == n) break;  // CR or CRLF: the next read tells
      *end = i;
      *next = c == '\r' && p[i + 1] == '\n' ? i + 2 : i + 1;
      return Scan::ended;
    }
    cell_start_ = c == delim;
    ++i;
  }
  scanned_ = i;
  return i > o_.max_record ? Scan::limit : Scan::more;
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

void RecordSource::end_record(Block *b, size_t begin, size_t end, size_t next, Mark mark) {
  b->records.push_back({begin, end - begin, mark});
  if (mark != Mark::none) note(b, mark);
  ++record_no_;
  line_ += rec_lines_ + (next > end);
  scanned_ = 0;
  quoted_ = false;
  cell_start_ = true;
  rec_lines_ = 0;
  first_break_ = SIZE_MAX;
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
                      : scan_line(p + rec, have - rec, &end, &next);
      if (s == Scan::ended) {
        end_record(b, rec, rec + end, rec + next, Mark::none);
        rec += next;
        continue;
      }
      if (s == Scan::limit) {
        if (quoted_ && first_break_ != SIZE_MAX) {
          recover(b, p, have, &rec);
        } else {
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
        recover(b, p, have, &rec);
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
    }
    read_more(&data, &have);
  }
  carry_.assign(data.begin() + static_cast<ptrdiff_t>(rec), data.begin() + static_cast<ptrdiff_t>(have));
  return !b->records.empty();
}

// A quote left open (to the end of the input, or past the bound): the
// record ends at its first line break, and the scan goes on after it.
void RecordSource::recover(Block *b, const char *p, size_t have, size_t *rec) {
  const char *q = p + *rec;
  const size_t n = have - *rec;
  const size_t br = first_break_ == SIZE_MAX ? n : first_break_;
  size_t next = br < n ? br + 1 : n;
  if (br < n && q[br] == '\r' && next < n && q[next] == '\n') ++next;
  rec_lines_ = 0;
  end_record(b, *rec, *rec + br, *rec + next, Mark::unclosed);
  *rec += next;
}

}  // namespace isoread
