#include "layout.h"

#include <algorithm>
#include <cstring>

namespace isoread {

Layout::Layout(const Options &opts, const std::vector<Field> &fields)
    : records_(opts.csv ? Records::csv : opts.delimited ? Records::delimited : Records::fixed),
      delim_(delimiter_of(opts)),
      fields_(fields),
      numbers_(fields.size()),
      followed_(fields.size()),
      csv_out_(opts.csv && (opts.mode == OutputMode::text || opts.mode == OutputMode::raw)),
      // ISO text and numbers are made of these: a delimiter among them
      // puts CSV values in quotes.
      quote_values_(csv_out_ && std::strchr("0123456789+-.:Te", delim_) != nullptr),
      out_sep_(csv_out_ || (opts.keep && opts.delimited) ? delim_ : '\t') {
  for (const FieldSpec &spec : opts.fields) {
    columns_.push_back(spec.column);
    std::string inf = spec.name;
    if (!inf.empty() && inf.back() == '.') inf.pop_back();
    informats_.push_back(inf);
  }
  name_columns({});
}

// The one walk: a field without a position starts where the previous one
// ends (fixed: after its width, or after the rest of the record for a field
// without one; otherwise the next field number).
void Layout::walk(size_t record_size, int64_t *numbers) const {
  int64_t next = 1;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const Field &f = fields_[i];
    const int64_t at = f.pos ? f.pos : next;
    numbers[i] = at;
    int64_t step = 1;
    if (records_ == Records::fixed) {
      const int64_t size = static_cast<int64_t>(record_size);
      step = f.width >= 0 ? f.width : std::max<int64_t>(size - (at - 1), 0);
    }
    next = std::min<int64_t>(at + step, INT32_MAX);
  }
}

void Layout::name_columns(const std::vector<std::string> &names) {
  moving_ = false;
  bool after_rest = false;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const Field &f = fields_[i];
    if (records_ == Records::fixed) {
      moving_ |= f.pos == 0 && after_rest;
      after_rest = (f.pos == 0 && after_rest) || f.width < 0;
    }
  }
  walk(0, numbers_.data());
  max_number_ = 0;
  for (int64_t n : numbers_) max_number_ = std::max(max_number_, static_cast<size_t>(n));
  for (size_t i = 0; i < fields_.size(); ++i) {
    bool followed = false;
    for (int64_t c : numbers_) followed |= c == numbers_[i] + fields_[i].width;
    followed_[i] = followed;
  }
  header_names_.clear();
  for (size_t i = 0; i < fields_.size(); ++i) {
    const int64_t at = numbers_[i];
    const std::string col =
        at - 1 < static_cast<int64_t>(names.size()) ? names[static_cast<size_t>(at - 1)] : "";
    header_names_.push_back(col.empty() ? informats_[i] : col + "_" + informats_[i]);
  }
}

bool Layout::resolve(const std::vector<std::string> &names, const std::string &label,
                     std::string *error) {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (columns_[i].empty()) continue;
    auto it = std::find(names.begin(), names.end(), columns_[i]);
    if (it == names.end()) {
      std::string list;
      for (const std::string &n : names) list += (list.empty() ? "" : ", ") + n;
      *error = label + ": field '" + fields_[i].given + "': no column '" + columns_[i] +
               "' in the header" +
               (names.empty() ? std::string(" (the input is empty)")
                              : " (its columns: " + list + ")");
      return false;
    }
    fields_[i].pos = static_cast<int32_t>(it - names.begin()) + 1;
  }
  name_columns(names);
  return true;
}

}  // namespace isoread
