// isoread's readers: handles of the reader API (zelbrant/reader.h), one for
// each thread that reads, with the fields of the command line looked up in
// each, and the host's log lines, which the API keeps for its caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "zelbrant/reader.h"

namespace isoread {

// A field of the command line, as the reader API describes its reader.
struct Field {
  std::string given;
  int32_t pos = 0;  // 1-based column or field number; 0: after the previous
  int32_t kind = ZB_KIND_DATETIME;  // ZB_KIND_*
  int32_t width = -1;               // -1: the rest of the record
  int32_t target_len = 0;           // entity readers: bytes of the packed text
  std::string display;              // "B8601DT19.", "i8601dz", "is8601dui20"
  bool zoned = false;               // the reader normalises its value to GMT

  bool entity() const { return kind >= ZB_KIND_DURATION; }
};

// A handle of the reader API, closed when it goes, with every field of the
// command line looked up in it in order: reader i is field i.
class Handle {
 public:
  // Opens it on the module (zelbrant, morvista or a path) with the task
  // options; fields, when not null, gets what the readers are. Null with
  // *error ("field 'NAME': why" for a field) when that cannot be done.
  static std::unique_ptr<Handle> open(const Options &opts, std::vector<Field> *fields,
                                      std::string *error);
  ~Handle() { zb_close(h_); }
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;
  zb_handle *get() const { return h_; }

 private:
  explicit Handle(zb_handle *h) : h_(h) {}
  zb_handle *h_;
};

// The catalog's entry of the reader described by info in module (by its
// display name: the entry's name, then digits and '.' for a width), or null.
const zb_catalog_entry *catalog_entry(const zb_reader_info &info, const std::string &module);

// The registered informat a -f name gives without a width ("B8601DT",
// "@b8601dt.") in module, or null when the name has a width or is no
// registered informat's.
const zb_catalog_entry *informat_without_width(const std::string &name,
                                               const std::string &module);

// Whether a reader of the fields writes to the host log as it reads: lines
// whose order threads would shuffle.
bool any_reader_logs(const Handle &handle, const std::vector<Field> &fields);

}  // namespace isoread
