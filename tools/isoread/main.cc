// isoread: reads fields of text records with the informats of a module,
// through the reader API of the stand-in host, and prints what the readers
// made of them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "csv.h"
#include "entity.h"
#include "ifmblock.h"
#include "io.h"
#include "options.h"
#include "progress.h"
#include "readers.h"
#include "render.h"
#include "version.h"

namespace isoread {
namespace {

// The dump writes these into a target before each call, to show whether
// and what the reader wrote.
constexpr unsigned char kSentinel[8] = {0x01, 0x00, 0xEF, 0xBE, 0xAD, 0xDE, 0xF4, 0x7F};
constexpr char kTextSentinel = '\x01';

// Records read together, a column of each field per reader call.
constexpr size_t kBatch = 256;

// The line breaks in some bytes: those of CSV records lie in quotes, and
// most records have none, which memchr finds fastest.
uint64_t line_breaks(std::string_view s) {
  uint64_t n = 0;
  const char *p = s.data(), *end = p + s.size();
  while ((p = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p))))) {
    ++n;
    ++p;
  }
  return n;
}

// What one reader call was given and gave back.
struct Result {
  const char *input = nullptr;
  int32_t column = 0;  // 1-based column, or field number when delimited
  int32_t width = 0;
  int32_t avail = 0;
  uint32_t rc = 0;
  uint32_t status = 0;
  alignas(8) unsigned char target[8];  // the dump only
  bool untouched = false;
  double value = 0;
  EntityResult ent;  // the result of an entity reader

  bool missing() const { return !untouched && ifm_is_missing(value); }
  std::string_view window() const {
    int32_t n = width < avail ? width : avail;
    return std::string_view(input, n > 0 ? static_cast<size_t>(n) : 0);
  }
};

class Counts {
 public:
  uint64_t records = 0, fields = 0, read = 0, missing = 0, failed = 0;
  // Fields whose width ended inside the text of their record, and the
  // number (among these counts' records) of the first record with one.
  uint64_t cut = 0, first_cut = 0;
  uint64_t unterminated = 0;  // CSV records with a quote left open
  // problem: rc is a problem code of an entity reader.
  void fail(uint32_t rc, bool problem = false) {
    ++failed;
    add(rc, problem, 1);
  }
  // Adds the counts of records read after these; codes keep the order in
  // which they first turned up.
  void merge(const Counts &later) {
    if (later.cut && !cut) first_cut = records + later.first_cut;
    cut += later.cut, unterminated += later.unterminated;
    records += later.records, fields += later.fields, read += later.read;
    missing += later.missing, failed += later.failed;
    for (const Code &c : later.by_code_) add(c.rc, c.problem, c.n);
  }
  std::string summary() const {
    auto count = [](uint64_t n, const char *what) {
      return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    std::string s = "isoread: " + count(records, "record") + ", " + count(fields, "field") +
                    ": " + std::to_string(read) + " read, " +
                    std::to_string(missing) + " missing, " + std::to_string(failed) + " failed";
    for (size_t i = 0; i < by_code_.size(); ++i) {
      char code[16];
      const Code &c = by_code_[i];
      *(c.problem ? render_unsigned(code, c.rc) : render_code(code, c.rc)) = 0;
      s += i ? ", " : " (";
      s += std::string(code) + " " + (c.problem ? zb_problem_text(c.rc) : zb_code_text(c.rc)) +
           ": " + std::to_string(c.n);
    }
    if (!by_code_.empty()) s += ")";
    if (unterminated) s += "; " + count(unterminated, "record") + " with an unclosed quote";
    if (cut)
      s += "; " + std::to_string(cut) +
           (cut == 1 ? " field cut short by its width" : " fields cut short by their width") +
           " (the first in record " + std::to_string(first_cut) + ")";
    return s;
  }

 private:
  struct Code {
    uint32_t rc;
    bool problem;
    uint64_t n;
  };
  void add(uint32_t rc, bool problem, uint64_t n) {
    for (auto &c : by_code_)
      if (c.rc == rc && c.problem == problem) {
        c.n += n;
        return;
      }
    by_code_.push_back({rc, problem, n});  // once per distinct code
  }
  std::vector<Code> by_code_;
};

// Reads the fields of records and renders what the readers made of them
// into an Output, counting as it goes. One per thread, with a handle of its
// own. Records are read in batches: each field of the batch's records is
// one column (spans into the records) for one call of the reader API.
class Processor {
 public:
  // one_at_a_time: each record is read and rendered as it comes, for runs
  // whose readers log or that dump the calls.
  Processor(const Options &opts, const std::vector<Field> &fields, zb_handle *handle,
            bool one_at_a_time)
      : opts_(opts),
        fields_(fields),
        n_fields_(fields.size()),
        handle_(handle),
        batch_(one_at_a_time ? 1 : kBatch),
        results_(fields_.size()),
        columns_(fields_.size()),
        csv_out_(opts.csv && (opts.mode == OutputMode::text || opts.mode == OutputMode::raw)),
        delim_(delimiter_of(opts)),
        sep_(csv_out_ || (opts.keep && opts.delimited) ? delim_ : '\t'),
        // ISO text and numbers are made of these: a delimiter among them
        // puts the values of CSV output in quotes.
        quote_values_(csv_out_ && std::strchr("0123456789+-.:Te", delim_) != nullptr) {
    int32_t next = 1;
    for (size_t i = 0; i < n_fields_; ++i) {
      const Field &f = fields_[i];
      int32_t no = f.pos ? f.pos : next;
      if (no > max_field_) max_field_ = no;
      next = no < INT32_MAX ? no + 1 : no;
      any_entity_ |= f.entity();
      Column &c = columns_[i];
      c.starts.resize(batch_);
      c.lengths.resize(batch_);
      c.numbers.resize(batch_);
      c.codes.resize(batch_);
      c.status.resize(batch_);
      c.written.resize(batch_);
      if (f.entity()) c.texts.resize(batch_ * static_cast<size_t>(f.target_len) + 1);
      else c.values.resize(batch_);
    }
    token_begin_.resize(static_cast<size_t>(max_field_) + 1);
    token_end_.resize(static_cast<size_t>(max_field_) + 1);
    records_.reserve(batch_);
    if (!opts.csv && !opts.delimited) find_followed();
  }

  // Takes one record; when the batch is full, reads it and renders its
  // records into out (true then). unterminated: a CSV record whose quote
  // was left open, cut at its first line break. The records of a batch
  // must stay where they are until it is read, in one buffer in input
  // order (CSV: anywhere).
  bool record(std::string_view rec, Output &out, bool unterminated = false) {
    const size_t j = records_.size();
    if (j == 0) base_ = rec.data();
    records_.push_back(rec);
    if (opts_.csv) {
      split_csv(rec, delim_, static_cast<size_t>(max_field_), &cells_, &scratch_);
      uint64_t line = first_line + lines_;
      lines_ += 1 + line_breaks(rec);
      if (unterminated) {
        ++counts.unterminated;
        notes += "isoread: record " + std::to_string(first_record + counts.records + j) +
                 " (line " + std::to_string(line) +
                 "): a quote is not closed by the end of the input; the record was read to "
                 "the end of its line\n";
      }
    } else if (opts_.delimited) {
      split(rec);
    }
    int64_t next = 1;  // column or field number of a field without POS
    for (size_t i = 0; i < n_fields_; ++i) {
      const Field &f = fields_[i];
      Column &c = columns_[i];
      int64_t at = f.pos ? f.pos : next;
      const char *input;
      size_t len;
      if (opts_.csv || opts_.delimited) {
        // Fields past the last delimiter are empty, at the record's end.
        size_t k = static_cast<size_t>(at);
        input = rec.data() + rec.size(), len = 0;
        if (opts_.csv && k <= cells_.size()) {
          input = cells_[k - 1].data(), len = cells_[k - 1].size();
        } else if (!opts_.csv && k <= tokens_) {
          input = rec.data() + token_begin_[k], len = token_end_[k] - token_begin_[k];
        }
      } else {
        size_t start =
            at - 1 < static_cast<int64_t>(rec.size()) ? static_cast<size_t>(at - 1) : rec.size();
        input = rec.data() + start, len = rec.size() - start;
      }
      int32_t avail = len < INT32_MAX ? static_cast<int32_t>(len) : INT32_MAX;
      c.numbers[j] = static_cast<int32_t>(at);
      c.lengths[j] = avail;
      if (opts_.csv) {
        // The cells of a batch are copied together: a cell may be one the
        // splitter unquoted, which the next record's split overwrites.
        c.starts[j] = static_cast<int64_t>(cells_copy_.size());
        cells_copy_.append(input, static_cast<size_t>(avail));
      } else {
        c.starts[j] = input - base_;
      }
      int32_t width = f.width >= 0 ? f.width : avail;
      next = opts_.csv || opts_.delimited ? at + 1 : at + width;
      if (next > INT32_MAX) next = INT32_MAX;
    }
    if (records_.size() < batch_) return false;
    flush(out);
    return true;
  }

  // Reads the records taken so far and renders them into out.
  void flush(Output &out) {
    if (records_.empty()) return;
    const char *data = opts_.csv ? cells_copy_.data() : base_;
    if (opts_.mode != OutputMode::dump) read_columns(data);
    for (size_t j = 0, n = records_.size(); j < n; ++j) {
      ++counts.records;
      for (size_t i = 0; i < n_fields_; ++i) result(i, j, data);
      count_cut();
      emit(records_[j], out);
    }
    records_.clear();
    cells_copy_.clear();
  }

  Counts counts;
  uint64_t first_record = 1;  // the number of the first record this one counts
  uint64_t first_line = 1;    // and the line it starts on (CSV)
  std::string notes;          // messages for standard error, in record order

 private:
  // A field of the batch's records: where the text of each lies, and what
  // its reader made of it.
  struct Column {
    std::vector<int64_t> starts;   // from the batch's data
    std::vector<int32_t> lengths;  // to the end of the record or cell
    std::vector<int32_t> numbers;  // column or field number
    std::vector<uint32_t> codes, status;
    std::vector<uint8_t> written;
    std::vector<double> values;  // numeric readers
    std::vector<char> texts;     // entity readers: target_len bytes each
  };

  // Calls each field's reader on its column of the batch.
  void read_columns(const char *data) {
    for (size_t i = 0; i < n_fields_; ++i) {
      Column &c = columns_[i];
      zb_column col{};
      col.data = data;
      col.n = records_.size();
      col.starts = c.starts.data();
      col.lengths = c.lengths.data();
      zb_results res{};
      res.codes = c.codes.data();
      res.status = c.status.data();
      res.written = c.written.data();
      res.values = c.values.data();
      res.texts = c.texts.data();
      res.text_stride = static_cast<size_t>(fields_[i].target_len);
      if (zb_read_column(handle_, static_cast<int32_t>(i), &col, &res) != ZB_OK) {
        // The columns are made to be read: this is a fault of isoread's.
        std::fprintf(stderr, "isoread: reading field '%s': %s\n", fields_[i].given.c_str(),
                     zb_last_error());
        std::abort();
      }
    }
  }

  // Field i of record j, from its column, or (the dump) read here into a
  // target of its own; counted.
  void result(size_t i, size_t j, const char *data) {
    const Field &f = fields_[i];
    Column &c = columns_[i];
    Result &r = results_[i];
    r.column = c.numbers[j];
    r.input = data + c.starts[j];
    r.avail = c.lengths[j];
    r.width = f.width >= 0 ? f.width : r.avail;
    if (opts_.mode == OutputMode::dump) {
      read_into(i, &r);
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
    if (f.entity()) {
      if (r.rc != 0) counts.fail(r.rc, true);
      else if (r.ent.untouched || r.ent.missing()) ++counts.missing;
      else ++counts.read;
    } else {
      if (r.rc != 0) counts.fail(r.rc);
      else if (r.untouched || r.missing()) ++counts.missing;
      else ++counts.read;
    }
  }

  // The dump's read: the target filled first, to show what the reader wrote.
  void read_into(size_t i, Result *r) {
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
    if (api != ZB_OK) {
      std::fprintf(stderr, "isoread: reading field '%s': %s\n", f.given.c_str(), zb_last_error());
      std::abort();
    }
    r->rc = rc;
    r->status = status;
  }

  // Fixed columns whose every field has a width (or a position after one
  // that has none) start in the same column in every record; whether
  // another field starts where one ends is then known before any record.
  void find_followed() {
    std::vector<int64_t> columns;
    int64_t next = 1;
    for (const Field &f : fields_) {
      int64_t at = f.pos ? f.pos : next;
      if (at == 0) return;  // after a field that takes the rest of its record
      columns.push_back(at);
      next = f.width >= 0 ? std::min<int64_t>(at + f.width, INT32_MAX) : 0;
    }
    for (size_t i = 0; i < n_fields_; ++i) {
      bool followed = false;
      for (int64_t c : columns) followed |= c == columns[i] + fields_[i].width;
      followed_.push_back(followed);
    }
  }

  // Counts the fields whose width ends inside non-blank text: the bytes on
  // both sides of the end are not blanks, and (fixed columns) no other field
  // starts there.
  void count_cut() {
    uint64_t n = 0;
    for (size_t i = 0; i < n_fields_; ++i) {
      const Result &r = results_[i];
      if (r.width <= 0 || r.width >= r.avail) continue;
      if (r.input[r.width] == ' ' || r.input[r.width - 1] == ' ') continue;
      bool next_field = false;
      if (!followed_.empty())
        next_field = followed_[i];
      else if (!opts_.csv && !opts_.delimited)
        for (const Result &o : results_) next_field |= o.column == int64_t{r.column} + r.width;
      n += !next_field;
    }
    if (n && !counts.cut) counts.first_cut = counts.records;
    counts.cut += n;
  }

  // Token k (1-based) of a delimited record, for k up to the highest field
  // number asked for.
  void split(std::string_view rec) {
    size_t k = 1, pos = 0;
    for (;;) {
      token_begin_[k] = pos;
      auto *d = static_cast<const char *>(
          std::memchr(rec.data() + pos, opts_.delimiter, rec.size() - pos));
      size_t end = d ? static_cast<size_t>(d - rec.data()) : rec.size();
      token_end_[k] = end;
      if (!d || k == static_cast<size_t>(max_field_)) break;
      pos = end + 1;
      ++k;
    }
    tokens_ = k;
  }

  void emit(std::string_view rec, Output &out) {
    if (csv_out_) return emit_csv(rec, out);
    switch (opts_.mode) {
      case OutputMode::text:
      case OutputMode::raw: return any_entity_ ? emit_text(rec, out) : emit_values(rec, out);
      case OutputMode::json: return emit_json(out);
      case OutputMode::dump: return emit_dump(out);
    }
  }

  // The text of a field read by an informat (kValueRoom at most).
  char *render_value(char *p, const Result &r, const Field &f) const {
    if (r.rc != 0) {
      *p++ = '!';
      return render_code(p, r.rc);
    }
    if (r.untouched) {
      *p++ = '?';
      return p;
    }
    if (r.missing()) {
      *p++ = '.';
      return p;
    }
    return render_plain(p, r, f);
  }

  // The value of a field read without failing, not missing.
  char *render_plain(char *p, const Result &r, const Field &f) const {
    if (opts_.mode == OutputMode::raw) return render_number(p, r.value);
    return render_iso(p, r.value, f.value_kind());
  }

  // With --keep, the record as it came and the separator of the new columns.
  char *kept(char *p, std::string_view rec) const {
    if (!opts_.keep) return p;
    p = append(p, rec);
    *p++ = sep_;
    return p;
  }

  // emit_text for records without entity fields: room for the whole line is
  // taken at once.
  void emit_values(std::string_view rec, Output &out) {
    char *p =
        out.reserve((opts_.keep ? rec.size() + 1 : 0) + fields_.size() * (kValueRoom + 1) + 1);
    p = kept(p, rec);
    for (size_t i = 0; i < n_fields_; ++i) {
      if (i) *p++ = sep_;
      p = render_value(p, results_[i], fields_[i]);
    }
    *p++ = '\n';
    out.commit(p);
  }

  void emit_text(std::string_view rec, Output &out) {
    out.commit(kept(out.reserve(rec.size() + 1), rec));
    for (size_t i = 0; i < n_fields_; ++i) {
      const Result &r = results_[i];
      char *p = out.reserve(kValueRoom + entity_room(r.ent) + 2);
      if (i) *p++ = sep_;
      p = fields_[i].entity() ? render_entity_text(p, r.ent) : render_value(p, r, fields_[i]);
      out.commit(p);
    }
    out.put('\n');
  }

  // CSV: a failed field, a missing value and a target the reader did not
  // write are empty cells; with --errors a cell after each field holds the
  // message of its failure.
  void emit_csv(std::string_view rec, Output &out) {
    out.commit(kept(out.reserve(rec.size() + 1), rec));
    for (size_t i = 0; i < n_fields_; ++i) {
      const Field &f = fields_[i];
      const Result &r = results_[i];
      size_t room = kValueRoom + entity_room(r.ent) + kMessageRoom;
      if (cell_.size() < room) cell_.resize(room);
      char *p = out.reserve(2 * room + 8);
      if (i) *p++ = sep_;
      if (f.entity()) {
        if (r.rc == 0 && !r.ent.untouched && !r.ent.missing()) {
          char *end = render_entity_text(cell_.data(), r.ent);
          p = render_csv_cell(p, std::string_view(cell_.data(), end - cell_.data()), delim_);
        }
      } else if (r.rc == 0 && !r.untouched && !r.missing()) {
        if (quote_values_) {
          char buf[kValueRoom];
          p = render_csv_cell(p, std::string_view(buf, render_plain(buf, r, f) - buf), delim_);
        } else {
          p = render_plain(p, r, f);
        }
      }
      if (opts_.errors) {
        *p++ = sep_;
        if (r.rc != 0) {
          char *m = cell_.data();
          m = append(m, f.entity() ? zb_problem_text(r.rc) : zb_code_text(r.rc));
          m = append(m, " (");
          m = f.entity() ? render_unsigned(m, r.rc) : render_code(m, r.rc);
          *m++ = ')';
          p = render_csv_cell(p, std::string_view(cell_.data(), m - cell_.data()), delim_);
        }
      }
      out.commit(p);
    }
    out.put('\n');
  }

  void emit_json(Output &out) {
    char *p = out.reserve(64);
    p = append(p, "{\"record\": ");
    p = render_unsigned(p, first_record - 1 + counts.records);
    p = append(p, ", \"fields\": [");
    out.commit(p);
    for (size_t i = 0; i < n_fields_; ++i) {
      const Field &f = fields_[i];
      const Result &r = results_[i];
      std::string_view win = r.window();
      p = out.reserve(f.display.size() * 6 + win.size() * 6 + entity_room(r.ent) + 256);
      if (i) p = append(p, ", ");
      p = append(p, "{\"name\": \"");
      p = render_json_text(p, f.display);
      p = append(p, "\", \"width\": ");
      p = render_unsigned(p, static_cast<uint32_t>(r.width));
      p = append(p, ", \"text\": \"");
      p = render_json_text(p, win);
      p = append(p, "\", \"rc\": ");
      p = render_unsigned(p, r.rc);
      // The code as the text output writes it.
      p = append(p, ", \"code\": \"");
      p = f.entity() ? render_unsigned(p, r.rc) : render_code(p, r.rc);
      *p++ = '"';
      if (f.entity()) {
        out.commit(render_entity_json(p, r.ent));
        continue;
      }
      p = append(p, ", \"error\": ");
      if (r.rc == 0) {
        p = append(p, "null");
      } else {
        *p++ = '"';
        p = append(p, zb_code_text(r.rc));
        *p++ = '"';
      }
      p = append(p, ", \"status\": ");
      p = render_unsigned(p, r.status);
      p = append(p, ", \"value\": ");
      if (r.untouched || r.missing() || !std::isfinite(r.value)) p = append(p, "null");
      else p = render_number(p, r.value);
      p = append(p, r.untouched ? ", \"untouched\": true}" : ", \"untouched\": false}");
      out.commit(p);
    }
    out.put("]}\n");
  }

  void emit_dump(Output &out) {
    char *p = out.reserve(32);
    p = append(p, "record ");
    p = render_unsigned(p, first_record - 1 + counts.records);
    *p++ = '\n';
    out.commit(p);
    for (size_t i = 0; i < n_fields_; ++i) {
      const Field &f = fields_[i];
      const Result &r = results_[i];
      std::string_view win = r.window();
      p = out.reserve(f.given.size() + f.display.size() + win.size() * 7 +
                       entity_room(r.ent) + 512);
      p = append(p, "  field ");
      p = render_unsigned(p, i + 1);
      p = append(p, " ");
      p = append(p, f.display);
      p = append(p, opts_.delimited ? ": field number " : ": column ");
      p = render_unsigned(p, static_cast<uint32_t>(r.column));
      p = append(p, ", width ");
      p = render_unsigned(p, static_cast<uint32_t>(r.width));
      p = append(p, ", available ");
      p = render_unsigned(p, static_cast<uint32_t>(r.avail));
      p = append(p, "\n    window ");
      p = render_quoted(p, win);
      p = append(p, " [");
      p = render_hex(p, reinterpret_cast<const unsigned char *>(win.data()), win.size());
      p = append(p, "]\n    returned ");
      p = render_code(p, r.rc);
      if (f.entity()) {
        p = append(p, ", status ");
        p = render_unsigned(p, r.status);
        p = append(p, ", target ");
        p = render_entity_text(p, r.ent);
        *p++ = '\n';
        out.commit(p);
        continue;
      }
      if (r.rc) {
        p = append(p, " (");
        p = append(p, zb_code_text(r.rc));
        p = append(p, ")");
      }
      p = append(p, ", status ");
      p = render_code(p, r.status);
      p = append(p, ", target [");
      p = render_hex(p, r.target, sizeof r.target);
      p = append(p, "]");
      if (r.untouched) {
        p = append(p, " untouched");
      } else if (r.missing()) {
        p = append(p, " missing");
      } else {
        p = append(p, " = ");
        p = render_number(p, r.value);
        p = append(p, " = ");
        p = render_iso(p, r.value, f.value_kind());
      }
      *p++ = '\n';
      out.commit(p);
    }
  }

  static char *append(char *p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
  }

  const Options &opts_;
  const std::vector<Field> &fields_;
  const size_t n_fields_;
  zb_handle *const handle_;
  const size_t batch_;  // records read together
  std::vector<Result> results_;  // of the record at hand
  std::vector<Column> columns_;
  std::vector<std::string_view> records_;  // of the batch
  const char *base_ = nullptr;  // the first of them: the data of their columns
  std::string cells_copy_;      // CSV: the data of their columns
  // A message cell: the longest code text, its code and the brackets.
  static constexpr size_t kMessageRoom = 96;

  const bool csv_out_;
  const char delim_;  // of the input's cells (and CSV output's)
  const char sep_;    // between the cells written
  const bool quote_values_;
  int32_t max_field_ = 0;
  bool any_entity_ = false;
  std::vector<uint8_t> followed_;  // per field, when find_followed knows it
  std::vector<size_t> token_begin_, token_end_;
  size_t tokens_ = 0;
  std::vector<std::string_view> cells_;  // of a CSV record
  std::string scratch_;                  // the unquoted cells among them
  uint64_t lines_ = 0;                   // lines of the records so far (CSV)
  std::vector<char> cell_;               // one cell before it is quoted
};

// Reads every record of its inputs and writes what came of them to standard
// output.
class Runner {
 public:
  explicit Runner(ProgressLine *progress) : progress_(progress) {}
  virtual ~Runner() = default;
  // Reads every record of one input, which begins with the bytes of prefix
  // (read from fd before); false on a read error.
  virtual bool input(int fd, const std::string &label, std::string_view prefix) = 0;
  // Writes a line of output ahead of the records' (the header).
  virtual void put(std::string_view line) = 0;
  virtual void finish() = 0;
  virtual const Counts &counts() const = 0;

 protected:
  void read_error(const std::string &label, int err) {
    note("isoread: error reading " + label + ": " + std::strerror(err) + "\n");
  }
  // A message on standard error, clear of the progress line.
  void note(const std::string &text) {
    if (text.empty()) return;
    progress_->clear();
    std::fputs(text.c_str(), stderr);
  }
  ProgressLine *progress_;
  uint64_t bytes_before_ = 0;  // read from the inputs before this one
};

// One thread: record by record, straight into the output buffer.
class SerialRun : public Runner {
 public:
  SerialRun(const Options &opts, const std::vector<Field> &fields, zb_handle *handle,
            bool one_at_a_time, int out_fd, ProgressLine *progress)
      : Runner(progress), proc_(opts, fields, handle, one_at_a_time), out_(out_fd) {
    if (opts.csv) reader_.set_csv(delimiter_of(opts));
  }

  bool input(int fd, const std::string &label, std::string_view prefix) override {
    reader_.reset(fd, prefix);
    std::string_view rec;
    for (uint32_t n = 0;; ++n) {
      // A batch takes records while they lie in the reader's buffer, and is
      // read before the buffer moves for more input.
      if (!reader_.buffered(&rec)) {
        flush();
        if (!reader_.next(&rec)) break;
      }
      if (proc_.record(rec, out_, reader_.unterminated())) messages();
      if (n % 1024 == 0) progress_->update(bytes_before_ + reader_.bytes_read());
    }
    bytes_before_ += reader_.bytes_read();
    if (reader_.error()) {
      out_.flush();
      read_error(label, reader_.error());
      return false;
    }
    return true;
  }
  void put(std::string_view line) override { out_.put(line); }
  void finish() override { out_.flush(); }
  const Counts &counts() const override { return proc_.counts; }

 private:
  void flush() {
    proc_.flush(out_);
    messages();
  }
  // What the records read so far have for standard error: the host's log
  // lines, then the notes.
  void messages() {
    note(taken_log());
    note(proc_.notes);
    proc_.notes.clear();
  }

  Processor proc_;
  LineReader reader_;
  Output out_;
};

// Several threads: this one cuts each input into blocks of whole records and
// writes their outputs in input order; the workers read the blocks, each
// into an output of its own. Blocks go round a fixed ring of slots, so at
// most slots_.size() are in flight whatever the size of the input. Records
// are numbered by this thread as it cuts (JSON and the dump print them).
// Lines of 2 GiB and more are not cut the way LineReader cuts them.
class ParallelRun : public Runner {
 public:
  // One worker for each handle, reading the fields through it.
  ParallelRun(const Options &opts, const std::vector<Field> &fields,
              const std::vector<zb_handle *> &handles, size_t block, int out_fd,
              ProgressLine *progress)
      : Runner(progress),
        opts_(opts),
        block_(block),
        csv_(opts.csv),
        delim_(delimiter_of(opts)),
        // CSV records are counted as they are cut: their messages name them.
        numbered_(opts.mode == OutputMode::json || opts.mode == OutputMode::dump || csv_),
        slots_(2 * handles.size()),
        out_(out_fd) {
    for (zb_handle *h : handles) workers_.emplace_back([this, &fields, h] { work(fields, h); });
  }
  ~ParallelRun() override {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    work_cv_.notify_all();
    for (std::thread &t : workers_) t.join();
  }

  bool input(int fd, const std::string &label, std::string_view prefix) override {
    Source src;
    src.fd = fd;
    src.tail = prefix.data();
    src.tail_size = prefix.size();
    src.bytes = prefix.size();
    bytes_cut_ = 0;
    for (;;) {
      while (!src.done && dispatched_ - written_ < slots_.size() && cut(&src)) {
      }
      if (written_ == dispatched_) break;
      write_oldest();
    }
    bytes_before_ += src.bytes;
    if (src.error) {
      out_.flush();
      read_error(label, src.error);
      return false;
    }
    return true;
  }
  void put(std::string_view line) override { out_.put(line); }
  void finish() override { out_.flush(); }
  const Counts &counts() const override { return total_; }

 private:
  struct Slot {
    std::vector<char> in;
    size_t len = 0;           // the block: in[0, len), whole records
    uint64_t first = 1;       // number of its first record
    uint64_t first_line = 1;  // and its line (CSV)
    bool done = false;        // the worker has finished it
    Output out;               // in memory
    Counts counts;
    std::string notes;        // for standard error
  };
  struct Source {
    int fd = -1;
    bool done = false;  // end of input or a read error
    int error = 0;
    const char *tail = nullptr;  // a record begun at the end of the last block
    size_t tail_size = 0;
    uint64_t bytes = 0;  // read so far
  };

  // Reads the next block into the next free slot and hands it to the
  // workers; false when the input holds no more records.
  bool cut(Source *src) {
    Slot &s = slots_[dispatched_ % slots_.size()];
    size_t have = src->tail_size;
    if (s.in.size() < have + block_) s.in.resize(have + block_);
    // The tail lies in another slot's buffer, past the end of its block:
    // no worker touches it, and that slot is not refilled before this.
    if (have) std::memcpy(s.in.data(), src->tail, have);
    src->tail = nullptr;
    src->tail_size = 0;
    size_t scanned = have;  // the tail holds no '\n'
    size_t end;
    uint64_t records = 0;  // CSV: the records in [0, end)
    for (;;) {
      while (!src->done && have < s.in.size()) {
        ssize_t n = ::read(src->fd, s.in.data() + have, s.in.size() - have);
        if (n > 0) {
          have += static_cast<size_t>(n);
          src->bytes += static_cast<uint64_t>(n);
        } else if (n < 0 && errno == EINTR) {
          continue;
        } else {
          if (n < 0) src->error = errno;
          src->done = true;
        }
      }
      if (csv_) {
        // Whole CSV records only: a line break may lie inside quotes. After
        // a read error the record it had begun is dropped.
        end = 0;
        records = 0;
        RecordCut c;
        bool at_end = src->done && !src->error;
        while (next_record(s.in.data() + end, have - end, true, delim_, at_end, &c)) {
          end += c.next;
          ++records;
        }
        if (src->done || end > 0) break;
        s.in.resize(s.in.size() * 2);  // a record longer than the block
        continue;
      }
      auto *nl = static_cast<const char *>(memrchr(s.in.data() + scanned, '\n', have - scanned));
      end = nl ? static_cast<size_t>(nl - s.in.data()) + 1 : 0;
      if (src->done) {
        // The last line needs no '\n'; after a read error the record it had
        // begun is dropped, as LineReader drops it.
        if (!src->error) end = have;
        break;
      }
      if (nl) break;
      scanned = have;
      s.in.resize(s.in.size() * 2);  // a record longer than the block
    }
    bytes_cut_ = src->bytes;
    if (!src->done && end < have) {
      src->tail = s.in.data() + end;
      src->tail_size = have - end;
    }
    if (end == 0) return false;
    s.len = end;
    if (numbered_) {
      s.first = next_record_;
      s.first_line = next_line_;
      const char *p = s.in.data();
      uint64_t lines = line_breaks(std::string_view(p, end));
      next_record_ += csv_ ? records : lines + (p[end - 1] != '\n');
      next_line_ += lines;
    }
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
    note(s.notes);
    total_.merge(s.counts);
    ++written_;
    progress_->update(bytes_before_ + bytes_cut_);
  }

  void work(const std::vector<Field> &fields, zb_handle *handle) {
    Processor proc(opts_, fields, handle, false);
    for (;;) {
      Slot *s;
      {
        std::unique_lock<std::mutex> lock(mu_);
        work_cv_.wait(lock, [&] { return stop_ || taken_ < dispatched_; });
        if (taken_ == dispatched_) return;
        s = &slots_[taken_++ % slots_.size()];
      }
      proc.counts = Counts();
      proc.first_record = s->first;
      proc.first_line = s->first_line;
      proc.notes.clear();
      s->out.clear();
      // The records as the cutter found them: the block ends where one does.
      const char *p = s->in.data();
      size_t left = s->len;
      RecordCut c;
      while (next_record(p, left, csv_, delim_, true, &c)) {
        proc.record(std::string_view(p, c.len), s->out, c.unterminated);
        p += c.next;
        left -= c.next;
      }
      proc.flush(s->out);
      std::swap(s->counts, proc.counts);
      std::swap(s->notes, proc.notes);
      {
        std::lock_guard<std::mutex> lock(mu_);
        s->done = true;
      }
      done_cv_.notify_one();
    }
  }

  const Options &opts_;
  const size_t block_;
  const bool csv_;
  const char delim_;
  const bool numbered_;
  std::vector<Slot> slots_;
  Output out_;
  Counts total_;
  uint64_t next_record_ = 1;
  uint64_t next_line_ = 1;
  uint64_t bytes_cut_ = 0;  // of this input, in blocks handed out
  uint64_t written_ = 0;  // blocks written out; this thread's alone
  // Guarded by mu_ (dispatched_ is written by this thread only, so it reads
  // it without the lock).
  std::mutex mu_;
  std::condition_variable work_cv_, done_cv_;
  uint64_t dispatched_ = 0, taken_ = 0;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

// Whether the readers would write to the log as they go: lines whose order
// the threads would shuffle. The dump is meant for single records and stays
// serial too.
bool needs_one_thread(const Options &opts, const std::vector<Field> &fields) {
  if (opts.mode == OutputMode::dump) return true;
  bool debug = false;
  for (const auto &o : opts.task.host_options) {
    std::string name = o.first;
    for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    debug |= name == "DEBUG";
  }
  for (const Field &f : fields)
    if (f.entity() && (debug || f.short_target())) return true;
  return false;
}

// Input bytes per block: the blocks in flight share a fixed budget, smaller
// for JSON, whose output is a dozen times its input, so memory stays flat
// whatever the number of threads. ISOREAD_BLOCK_BYTES sets it (for tests
// that need many blocks from a small input).
size_t block_size(const Options &opts, int jobs) {
  if (const char *env = std::getenv("ISOREAD_BLOCK_BYTES"); env && *env) {
    long long v = std::atoll(env);
    if (v > 0) return static_cast<size_t>(v);
  }
  size_t budget = opts.mode == OutputMode::json ? size_t{1} << 20 : size_t{4} << 20;
  size_t b = budget / (2 * static_cast<size_t>(jobs));
  return std::clamp(b, size_t{4} << 10, size_t{4} << 20);
}

int usage_error(const std::string &msg) {
  std::fprintf(stderr, "isoread: %s\nTry 'isoread --help'.\n", msg.c_str());
  return 2;
}

// One input, opened, with its header record read when there is one.
struct Input {
  int fd = -1;
  std::string label;
  std::string header;  // the first record (--header)
  std::string rest;    // bytes read past it, the start of the records
};

void close_input(Input *in) {
  if (in->fd >= 0 && in->fd != STDIN_FILENO) ::close(in->fd);
  in->fd = -1;
}

// Opens file ("-": standard input) and with --header reads its first
// record; false with *msg (a line for standard error) when it cannot.
bool open_input(const Options &opts, const std::string &file, Input *in, std::string *msg) {
  in->label = file == "-" ? "standard input" : file;
  in->fd = file == "-" ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (in->fd < 0) {
    *msg = "isoread: cannot open " + file + ": " + std::strerror(errno) + "\n";
    return false;
  }
  int err = 0;
  if (opts.header &&
      !read_first_record(in->fd, opts.csv, delimiter_of(opts), &in->header, &in->rest, &err)) {
    *msg = "isoread: error reading " + in->label + ": " + std::strerror(err) + "\n";
    close_input(in);
    return false;
  }
  return true;
}

// The names of the header's columns.
std::vector<std::string> header_cells(const Options &opts, std::string_view rec) {
  std::vector<std::string_view> cells;
  std::string scratch;
  if (opts.csv) {
    split_csv(rec, delimiter_of(opts), 0, &cells, &scratch);
  } else {
    for (size_t pos = 0;;) {
      size_t d = rec.find(opts.delimiter, pos);
      cells.push_back(rec.substr(pos, d == std::string_view::npos ? d : d - pos));
      if (d == std::string_view::npos) break;
      pos = d + 1;
    }
  }
  return std::vector<std::string>(cells.begin(), cells.end());
}

// Gives the fields that name a column the number of that column (the
// first of that name); false with *error listing the names when one is
// not there.
bool resolve_columns(Options *opts, std::vector<Field> *fields,
                     const std::vector<std::string> &names, std::string *error) {
  for (size_t i = 0; i < opts->fields.size(); ++i) {
    FieldSpec &spec = opts->fields[i];
    if (spec.column.empty()) continue;
    auto it = std::find(names.begin(), names.end(), spec.column);
    if (it == names.end()) {
      std::string list;
      for (const std::string &n : names) list += (list.empty() ? "" : ", ") + n;
      *error =
          "field '" + spec.given + "': no column '" + spec.column + "' in the header" +
          (names.empty() ? std::string(" (no input has one)") : " (its columns: " + list + ")");
      return false;
    }
    spec.pos = static_cast<int32_t>(it - names.begin()) + 1;
    (*fields)[i].pos = spec.pos;
  }
  return true;
}

// The header of the output: with --keep the input's header, then a name
// for each field: its column's name and its informat, COLUMN_INFORMAT (the
// informat alone for a column with no name), and with --errors the name of
// its message column, COLUMN_INFORMAT_error.
std::string header_line(const Options &opts, const std::vector<std::string> &names,
                        std::string_view rec) {
  const bool csv_out = opts.csv && (opts.mode == OutputMode::text || opts.mode == OutputMode::raw);
  const char delim = delimiter_of(opts);
  const char sep = csv_out || (opts.keep && opts.delimited) ? delim : '\t';
  std::string line;
  auto cell = [&](const std::string &text) {
    if (!csv_out) return line.append(text);
    std::string quoted(2 * text.size() + 2, '\0');
    quoted.resize(render_csv_cell(quoted.data(), text, delim) - quoted.data());
    return line.append(quoted);
  };
  if (opts.keep) (line = rec) += sep;
  int64_t next = 1;
  for (size_t i = 0; i < opts.fields.size(); ++i) {
    const FieldSpec &f = opts.fields[i];
    int64_t at = f.pos ? f.pos : next;
    next = at + 1;
    std::string inf = f.name;
    if (!inf.empty() && inf.back() == '.') inf.pop_back();
    const std::string &col = at - 1 < static_cast<int64_t>(names.size()) ? names[at - 1] : "";
    std::string name = col.empty() ? inf : col + "_" + inf;
    if (i) line += sep;
    cell(name);
    if (opts.errors) {
      line += sep;
      cell(name + "_error");
    }
  }
  return line += '\n';
}

// The progress display: on a terminal when every input is a file, the
// output does not go to that terminal too (the line would run through it)
// and CI is not set; or as asked by --progress and --no-progress.
std::unique_ptr<ProgressLine> make_progress(const Options &opts,
                                            const std::vector<std::string> &files, int out_fd) {
  uint64_t total = 0;
  bool all_files = true;
  for (const std::string &f : files) {
    struct stat st;
    bool ok = f == "-" ? ::fstat(STDIN_FILENO, &st) == 0 : ::stat(f.c_str(), &st) == 0;
    if (ok && S_ISREG(st.st_mode)) total += static_cast<uint64_t>(st.st_size);
    else all_files = false;
  }
  bool terminal = ::isatty(STDERR_FILENO);
  const char *ci = std::getenv("CI");
  bool show = opts.progress == Progress::on ||
              (opts.progress == Progress::automatic && terminal && all_files && !::isatty(out_fd) &&
               !(ci && *ci));
  if (!show) return std::make_unique<ProgressLine>();
  return std::make_unique<ProgressLine>(terminal, all_files ? total : 0);
}

int run(int argc, char **argv) {
  Options opts;
  std::string error;
  if (!parse_options(argc, argv, &opts, &error)) return usage_error(error);
  if (opts.help) {
    std::fputs(help_text(), stdout);
    std::fputs(task_help_text(), stdout);
    return 0;
  }
  if (opts.version) {
    std::vector<std::string> modules = {"zelbrant", "morvista"};
    if (opts.module != "zelbrant" && opts.module != "morvista") modules.push_back(opts.module);
    return print_version(modules, stdout, stderr);
  }

  // The host starts with the first handle (the module's task state set up
  // with the task options) and ends with the last.
  std::vector<Field> fields;
  std::unique_ptr<Handle> handle = Handle::open(opts, &fields, &error);
  if (!handle) {
    std::fprintf(stderr, "isoread: %s\n", error.c_str());  // names the file or the field
    return 2;
  }

  int out_fd = STDOUT_FILENO;
  if (!opts.output.empty()) {
    out_fd = ::open(opts.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out_fd < 0) {
      std::fprintf(stderr, "isoread: cannot write %s: %s\n", opts.output.c_str(),
                   std::strerror(errno));
      return 2;
    }
  }
  std::vector<std::string> files = opts.files;
  if (files.empty()) files.push_back("-");
  std::unique_ptr<ProgressLine> progress = make_progress(opts, files, out_fd);

  bool input_failed = false;
  // With --header the first input that opens names the columns, before any
  // reader is set up: the fields are looked up in it.
  size_t next_file = 0;
  Input first;
  std::vector<std::string> names;
  if (opts.header) {
    while (next_file < files.size() && first.fd < 0) {
      std::string msg;
      if (!open_input(opts, files[next_file++], &first, &msg)) {
        std::fputs(msg.c_str(), stderr);
        input_failed = true;
      }
    }
    if (first.fd >= 0) names = header_cells(opts, first.header);
    if (!resolve_columns(&opts, &fields, names, &error)) {
      close_input(&first);
      return usage_error(error);
    }
  }
  {
    const bool one_thread = needs_one_thread(opts, fields);
    const int jobs = one_thread ? 1 : opts.jobs;
    // Each worker reads through a handle of its own (which has a module
    // instance of its own where the system allows it).
    std::vector<std::unique_ptr<Handle>> more;
    std::vector<zb_handle *> handles = {handle->get()};
    for (int i = 1; i < jobs; ++i) {
      more.push_back(Handle::open(opts, nullptr, &error));
      if (!more.back()) {
        std::fprintf(stderr, "isoread: %s\n", error.c_str());
        return 2;
      }
      handles.push_back(more.back()->get());
    }
    std::unique_ptr<Runner> runner;
    if (jobs > 1)
      runner = std::make_unique<ParallelRun>(opts, fields, handles, block_size(opts, jobs),
                                             out_fd, progress.get());
    else
      runner = std::make_unique<SerialRun>(opts, fields, handle->get(), one_thread, out_fd,
                                           progress.get());
    Runner &r = *runner;
    auto read_input = [&](Input *in) {
      input_failed |= !r.input(in->fd, in->label, in->rest);
      close_input(in);
    };
    if (first.fd >= 0) {
      // JSON and the dump name each field as they go.
      if (opts.mode != OutputMode::json && opts.mode != OutputMode::dump)
        r.put(header_line(opts, names, first.header));
      read_input(&first);
    }
    for (; next_file < files.size(); ++next_file) {
      Input in;
      std::string msg;
      if (!open_input(opts, files[next_file], &in, &msg)) {
        r.finish();
        progress->clear();
        std::fputs(msg.c_str(), stderr);
        input_failed = true;
        continue;
      }
      read_input(&in);  // a later input's header is not read as a record
    }
    r.finish();
    progress->clear();
    std::fputs(taken_log().c_str(), stderr);
    std::fprintf(stderr, "%s\n", r.counts().summary().c_str());
    if (out_fd != STDOUT_FILENO) ::close(out_fd);
    if (input_failed) return 2;
    return r.counts().failed || r.counts().unterminated ? 1 : 0;
  }
}

}  // namespace
}  // namespace isoread

int main(int argc, char **argv) { return isoread::run(argc, argv); }
