// The field layout: where each field of a record lies (a column of fixed
// records, a field number of delimited or CSV ones), with its width, the
// name it gets in a header, and how the output separates and quotes what it
// writes. One walk places the fields; a header's names are looked up in each
// input's own header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "readers.h"

namespace isoread {

enum class Records { fixed, delimited, csv };

class Layout {
 public:
  Layout(const Options &opts, const std::vector<Field> &fields);

  // Gives the fields that name a column the number of that column in names
  // (an input's header; the first of a name). False with *error, naming the
  // input, when one is not there.
  bool resolve(const std::vector<std::string> &names, const std::string &label,
               std::string *error);

  Records records() const { return records_; }
  char delim() const { return delim_; }
  size_t size() const { return fields_.size(); }
  const Field &field(size_t i) const { return fields_[i]; }
  // Where field i lies: its 1-based column (fixed) or field number, for
  // every record unless moving().
  int64_t number(size_t i) const { return numbers_[i]; }
  // Fixed records where a field starts after one that takes the rest of
  // its record: columns then follow each record's length (place()).
  bool moving() const { return moving_; }
  void place(size_t record_size, int64_t *numbers) const { walk(record_size, numbers); }
  // The highest field number: cells past it are not split off.
  size_t max_number() const { return max_number_; }
  // Fixed records: another field starts where field i's width ends (so a
  // width ending inside text is no cut). Known unless moving().
  bool followed(size_t i) const { return followed_[i]; }
  // COLUMN_INFORMAT (the informat alone for a column without a name).
  const std::string &header_name(size_t i) const { return header_names_[i]; }

  // What output looks like: CSV (text or raw values of CSV input), the
  // separator of the cells written, and whether values need quotes (the
  // delimiter is a character of ISO text or numbers).
  bool csv_out() const { return csv_out_; }
  char out_sep() const { return out_sep_; }
  bool quote_values() const { return quote_values_; }

 private:
  void walk(size_t record_size, int64_t *numbers) const;
  void name_columns(const std::vector<std::string> &names);

  Records records_;
  char delim_;
  std::vector<Field> fields_;
  std::vector<std::string> columns_;  // per field: the header name it asks for, or ""
  std::vector<std::string> informats_;  // per field: NAME[W] as given
  std::vector<int64_t> numbers_;
  std::vector<uint8_t> followed_;
  std::vector<std::string> header_names_;
  bool moving_ = false;
  size_t max_number_ = 0;
  bool csv_out_, quote_values_;
  char out_sep_;
};

}  // namespace isoread
