// The reader stage: the fields of a block's records read through the reader
// API, a batch of records at a time (each field of the batch one column for
// one call), counted, and handed on record by record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "entity.h"
#include "layout.h"
#include "source.h"
#include "zelbrant/reader.h"

namespace isoread {

// What one reader call was given and gave back.
struct Result {
  const char *input = nullptr;
  int32_t column = 0;  // 1-based column, or field number when delimited
  int32_t width = 0;
  int32_t avail = 0;
  uint32_t rc = 0;
  uint32_t status = 0;
  alignas(8) unsigned char target[8];  // probed reads only
  bool untouched = false;
  bool absent = false;  // its field number lies past the record's last cell
  double value = 0;
  EntityResult ent;  // the result of an entity reader

  // The host's missing value: the top 16 bits all ones.
  bool missing() const {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return !untouched && (bits >> 48) == 0xFFFF;
  }
  std::string_view window() const {
    int32_t n = width < avail ? width : avail;
    return std::string_view(input, n > 0 ? static_cast<size_t>(n) : 0);
  }
};

// One record as the writers see it.
struct RecordOut {
  std::string_view text;
  Mark mark = Mark::none;
  uint64_t number = 0;
  const Result *results = nullptr;  // one per field
};

class Counts {
 public:
  uint64_t records = 0, fields = 0, read = 0, missing = 0, failed = 0;
  // Fields whose width ended inside the text of their record, absent from
  // their record, and the numbers of the first records with one.
  uint64_t cut = 0, first_cut = 0;
  uint64_t absent = 0, first_absent = 0;
  uint64_t unclosed = 0;   // CSV records with a quote left open
  uint64_t too_long = 0;   // records cut at the record bound
  // Per field, the first texts it failed on or was cut short in, each from
  // the field's start to the end of its record or cell (at most
  // kSampleBytes): what suggestions are tried on.
  std::vector<std::vector<std::string>> samples;
  static constexpr size_t kSampleBytes = 256;
  void sample(size_t field, size_t fields, std::string_view text) {
    if (samples.size() < fields) samples.resize(fields);
    if (samples[field].size() < ZB_SUGGEST_TEXTS)
      samples[field].emplace_back(text.substr(0, kSampleBytes));
  }
  void fail(uint32_t rc, bool problem);
  // Adds the counts of records read after these.
  void merge(const Counts &later);
  std::string summary() const;
  // Something was lost or could not be read: exit status 1.
  bool lost() const { return failed || unclosed || too_long || absent; }

 private:
  struct Code {
    uint32_t rc;
    bool problem;
    uint64_t n;
  };
  void add(uint32_t rc, bool problem, uint64_t n);
  std::vector<Code> by_code_;
};

class BatchReader {
 public:
  // probe: each field read on its own into a target filled first, to show
  // what the reader wrote (the dump). batch: records read together.
  BatchReader(const std::vector<Field> &fields, zb_handle *handle, bool probe, size_t batch);

  // Reads every record of b, placed by layout, and calls each(record) in
  // order.
  template <class Each>
  void read(const Block &b, const Layout &layout, Each each) {
    for (size_t from = 0; from < b.records.size(); from += batch_) {
      const size_t to = std::min(b.records.size(), from + batch_);
      take(b, layout, from, to);
      for (size_t j = from; j < to; ++j) {
        RecordOut r;
        r.text = b.record(j);
        r.mark = b.records[j].mark;
        r.number = b.first + j;
        r.results = finish(j - from, r);
        each(r);
      }
    }
  }

  Counts counts;

 private:
  struct Column {
    std::vector<int64_t> starts;   // into the data of the batch
    std::vector<int32_t> lengths;  // to the end of the record or cell
    std::vector<int32_t> numbers;  // column or field number
    std::vector<uint8_t> absent;
    std::vector<uint32_t> codes, status;
    std::vector<uint8_t> written;
    std::vector<double> values;  // numeric readers
    std::vector<char> texts;     // entity readers: target_len bytes each
  };
  void take(const Block &b, const Layout &layout, size_t from, size_t to);
  void place(std::string_view rec, const Layout &layout, size_t j);
  const Result *finish(size_t j, const RecordOut &r);
  void probe(size_t i, Result *r);
  // Counts the fields whose width ends inside non-blank text: the bytes on
  // both sides of the end are not blanks, and (fixed columns) no other
  // field starts there.
  void count_cut(uint64_t number) {
    uint64_t n = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
      const Result &r = results_[i];
      if (r.width <= 0 || r.width >= r.avail) continue;
      if (r.input[r.width] == ' ' || r.input[r.width - 1] == ' ') continue;
      bool next_field = false;
      if (followed_) next_field = followed_[i];
      else if (fixed_)
        for (const Result &o : results_) next_field |= o.column == int64_t{r.column} + r.width;
      if (next_field) continue;
      ++n;
      if (r.rc == 0) sample_cut(i, r);  // a failure has been taken already
    }
    if (n && !counts.cut) counts.first_cut = number;
    counts.cut += n;
  }

  void sample_cut(size_t i, const Result &r) {
    counts.sample(i, fields_.size(), std::string_view(r.input, static_cast<size_t>(r.avail)));
  }

  const std::vector<Field> &fields_;
  zb_handle *const handle_;
  const bool probe_;
  const size_t batch_;
  const Layout *layout_ = nullptr;
  bool fixed_ = false;                     // the batch's records are fixed
  const uint8_t *followed_ = nullptr;      // per field, when fixed columns do not move
  std::vector<uint8_t> followed_copy_;
  const char *data_ = nullptr;  // of the batch's columns
  std::vector<Result> results_;  // of the record at hand
  std::vector<Column> columns_;
  std::vector<std::string_view> cells_;  // of a delimited or CSV record
  std::string scratch_;                  // the unquoted cells among them
  std::string cells_copy_;               // CSV: the data of the batch's columns
  std::vector<int64_t> numbers_;         // fixed records with moving columns
};

}  // namespace isoread
