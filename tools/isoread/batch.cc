#include "batch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "csv.h"
#include "render.h"

namespace isoread {

namespace {

// A probed read fills its target with these first, to show whether and
// what the reader wrote.
constexpr unsigned char kSentinel[8] = {0x01, 0x00, 0xEF, 0xBE, 0xAD, 0xDE, 0xF4, 0x7F};
constexpr char kTextSentinel = '\x01';

std::string count_of(uint64_t n, const char *what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The reader API refused a column made to be read: a fault of isoread's.
[[noreturn]] void fault(const Field &f) {
  std::fprintf(stderr, "isoread: reading field '%s': %s\n", f.given.c_str(), zb_last_error());
  std::abort();
}

}  // namespace

void Counts::fail(uint32_t rc, bool problem) {
  ++failed;
  add(rc, problem, 1);
}

void Counts::add(uint32_t rc, bool problem, uint64_t n) {
  for (auto &c : by_code_)
    if (c.rc == rc && c.problem == problem) {
      c.n += n;
      return;
    }
  by_code_.push_back({rc, problem, n});  // once per distinct code
}

void Counts::merge(const Counts &later) {
  if (later.cut && !cut) first_cut = later.first_cut;
  if (later.absent && !absent) first_absent = later.first_absent;
  cut += later.cut, absent += later.absent;
  unclosed += later.unclosed, too_long += later.too_long;
  records += later.records, fields += later.fields, read += later.read;
  missing += later.missing, failed += later.failed;
  for (const Code &c : later.by_code_) add(c.rc, c.problem, c.n);
  for (size_t i = 0; i < later.samples.size(); ++i)
    for (const std::string &text : later.samples[i]) sample(i, later.samples.size(), text);
}

std::string Counts::summary() const {
  std::string s = "isoread: " + count_of(records, "record") + ", " + count_of(fields, "field") +
                  ": " + std::to_string(read) + " read, " + std::to_string(missing) +
                  " missing, " + std::to_string(failed) + " failed";
  for (size_t i = 0; i < by_code_.size(); ++i) {
    char code[16];
    const Code &c = by_code_[i];
    *(c.problem ? render_unsigned(code, c.rc) : render_code(code, c.rc)) = 0;
    s += i ? ", " : " (";
    s += std::string(code) + " " + (c.problem ? zb_problem_text(c.rc) : zb_code_text(c.rc)) +
         ": " + std::to_string(c.n);
  }
  if (!by_code_.empty()) s += ")";
  if (unclosed) s += "; " + count_of(unclosed, "record") + " with an unclosed quote";
  if (too_long) s += "; " + count_of(too_long, "record") + " cut at the record bound";
  if (absent)
    s += "; " + std::to_string(absent) +
         (absent == 1 ? " field absent from its record" : " fields absent from their record") +
         " (the first in record " + std::to_string(first_absent) + ")";
  if (cut)
    s += "; " + std::to_string(cut) +
         (cut == 1 ? " field cut short by its width" : " fields cut short by their width") +
         " (the first in record " + std::to_string(first_cut) + ")";
  return s;
}

BatchReader::BatchReader(const std::vector<Field> &fields, zb_handle *handle, bool probe,
                         size_t batch)
    : fields_(fields),
      handle_(handle),
      probe_(probe),
      batch_(batch),
      results_(fields.size()),
      columns_(fields.size()),
      numbers_(fields.size()) {
  for (size_t i = 0; i < fields.size(); ++i) {
    const Field &f = fields[i];
    Column &c = columns_[i];
    c.starts.resize(batch_);
    c.lengths.resize(batch_);
    c.numbers.resize(batch_);
    c.absent.resize(batch_);
    c.codes.resize(batch_);
    c.status.resize(batch_);
    c.written.resize(batch_);
    if (f.entity()) c.texts.resize(batch_ * static_cast<size_t>(f.target_len) + 1);
    else c.values.resize(batch_);
  }
}

// The cells of a delimited or CSV record, up to the highest field number
// asked for: as many as the record has, never more.
static void split_delimited(std::string_view rec, char delim, size_t max_cells,
                            std::vector<std::string_view> *cells) {
  cells->clear();
  size_t pos = 0;
  for (;;) {
    auto *d = static_cast<const char *>(std::memchr(rec.data() + pos, delim, rec.size() - pos));
    const size_t end = d ? static_cast<size_t>(d - rec.data()) : rec.size();
    cells->push_back(rec.substr(pos, end - pos));
    if (!d || cells->size() == max_cells) break;
    pos = end + 1;
  }
}

// Where each field of record j of the batch lies.
void BatchReader::place(std::string_view rec, const Layout &layout, size_t j) {
  const Records kind = layout.records();
  if (kind == Records::csv)
    split_csv(rec, layout.delim(), layout.max_number(), &cells_, &scratch_);
  else if (kind == Records::delimited)
    split_delimited(rec, layout.delim(), layout.max_number(), &cells_);
  if (kind == Records::fixed && layout.moving()) layout.place(rec.size(), numbers_.data());
  for (size_t i = 0; i < fields_.size(); ++i) {
    Column &c = columns_[i];
    const int64_t at =
        kind == Records::fixed && layout.moving() ? numbers_[i] : layout.number(i);
    const char *input;
    size_t len;
    bool absent = false;
    if (kind == Records::fixed) {
      const size_t start = at - 1 < static_cast<int64_t>(rec.size()) ? static_cast<size_t>(at - 1)
                                                                      : rec.size();
      input = rec.data() + start, len = rec.size() - start;
    } else if (static_cast<size_t>(at) <= cells_.size()) {
      input = cells_[static_cast<size_t>(at) - 1].data();
      len = cells_[static_cast<size_t>(at) - 1].size();
    } else {
      // Past the record's last cell: read as an empty field, and counted.
      input = rec.data() + rec.size(), len = 0, absent = true;
    }
    const int32_t avail = len < INT32_MAX ? static_cast<int32_t>(len) : INT32_MAX;
    c.numbers[j] = static_cast<int32_t>(at);
    c.lengths[j] = avail;
    c.absent[j] = absent;
    if (kind == Records::csv) {
      // The cells of a batch are copied together: a cell may be one the
      // splitter unquoted, which the next record's split overwrites.
      c.starts[j] = static_cast<int64_t>(cells_copy_.size());
      cells_copy_.append(input, static_cast<size_t>(avail));
    } else {
      c.starts[j] = input - data_;
    }
  }
}

// Places the fields of records [from, to) of b and reads each field's
// column in one call (a probed read waits for finish()).
void BatchReader::take(const Block &b, const Layout &layout, size_t from, size_t to) {
  layout_ = &layout;
  fixed_ = layout.records() == Records::fixed;
  followed_ = nullptr;
  if (fixed_ && !layout.moving()) {
    followed_copy_.resize(fields_.size());
    for (size_t i = 0; i < fields_.size(); ++i) followed_copy_[i] = layout.followed(i);
    followed_ = followed_copy_.data();
  }
  data_ = b.data.data();
  cells_copy_.clear();
  for (size_t j = from; j < to; ++j) place(b.record(j), layout, j - from);
  if (layout.records() == Records::csv) data_ = cells_copy_.data();
  if (probe_) return;
  for (size_t i = 0; i < fields_.size(); ++i) {
    Column &c = columns_[i];
    zb_column col{};
    col.data = data_;
    col.n = to - from;
    col.starts = c.starts.data();
    col.lengths = c.lengths.data();
    zb_results res{};
    res.codes = c.codes.data();
    res.status = c.status.data();
    res.written = c.written.data();
    res.values = c.values.data();
    res.texts = c.texts.data();
    res.text_stride = static_cast<size_t>(fields_[i].target_len);
    if (zb_read_column(handle_, static_cast<int32_t>(i), &col, &res) != ZB_OK) fault(fields_[i]);
  }
}

// The results of record j of the batch, counted.
const Result *BatchReader::finish(size_t j, const RecordOut &rec) {
  ++counts.records;
  counts.unclosed += rec.mark == Mark::unclosed;
  counts.too_long += rec.mark == Mark::cut;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const Field &f = fields_[i];
    Column &c = columns_[i];
    Result &r = results_[i];
    r.column = c.numbers[j];
    r.input = data_ + c.starts[j];
    r.avail = c.lengths[j];
    r.width = f.width >= 0 ? f.width : r.avail;
    r.absent = c.absent[j];
    if (probe_) {
      probe(i, &r);
    } else if (f.entity()) {
      r.rc = c.codes[j];
      r.status = c.status[j];
      r.ent = {r.rc, r.status, !c.written[j], c.texts.data() + j * f.target_len,
               static_cast<size_t>(f.target_len)};
    } else {
      r.rc = c.codes[j];
      r.status = c.status[j];
      r.untouched = !c.written[j];
      r.value = c.values[j];
    }
    ++counts.fields;
    if (r.absent) {
      if (!counts.absent) counts.first_absent = rec.number;
      ++counts.absent;
    } else if (r.rc != 0) {
      counts.fail(r.rc, f.entity());
      sample_cut(i, r);
    } else if (f.entity() ? r.ent.untouched || r.ent.missing() : r.untouched || r.missing()) {
      ++counts.missing;
    } else {
      ++counts.read;
    }
  }
  count_cut(rec.number);
  return results_.data();
}

// A probed read: the target filled first, to show what the reader wrote.
void BatchReader::probe(size_t i, Result *r) {
  const Field &f = fields_[i];
  const auto reader = static_cast<int32_t>(i);
  uint32_t rc = 0, status = 0;
  int api;
  if (f.entity()) {
    std::vector<char> &t = columns_[i].texts;
    std::fill(t.begin(), t.end(), kTextSentinel);
    api = zb_read_into(handle_, reader, r->input, static_cast<size_t>(r->avail), t.data(),
                       t.size(), &rc, &status);
    bool untouched = std::all_of(t.begin(), t.begin() + f.target_len,
                                 [](char ch) { return ch == kTextSentinel; });
    r->ent = {rc, status, untouched, t.data(), static_cast<size_t>(f.target_len)};
  } else {
    std::memcpy(r->target, kSentinel, sizeof r->target);
    api = zb_read_into(handle_, reader, r->input, static_cast<size_t>(r->avail), r->target,
                       sizeof r->target, &rc, &status);
    r->untouched = std::memcmp(r->target, kSentinel, sizeof kSentinel) == 0;
    std::memcpy(&r->value, r->target, sizeof r->value);
  }
  if (api != ZB_OK) fault(f);
  r->rc = rc;
  r->status = status;
}

}  // namespace isoread
