// The writers: one per output format, each turning the results of a record
// into its text. The runners ask a writer what they need to know about its
// format instead of testing the mode.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "batch.h"
#include "io.h"
#include "layout.h"
#include "options.h"
#include "render.h"

namespace isoread {

class Writer {
 public:
  virtual ~Writer() = default;
  // The first line of the output with --header: names of the columns
  // written, from the first input's header record and layout. None by
  // default.
  virtual bool has_header() const { return false; }
  virtual void header(const Layout & /*layout*/, std::string_view /*first_record*/,
                      Output & /*out*/) {}
  // Reads each field on its own and on one thread, showing what the reader
  // wrote into a target filled first (the dump).
  virtual bool serial() const { return false; }
  // Appends one record's output to out.
  virtual void record(const RecordOut &rec, Output &out) = 0;
};

// The writer of the output the options ask for.
std::unique_ptr<Writer> make_writer(const Options &opts, const Layout &layout);

// The formats: one factory each, and the test that picks it.
std::unique_ptr<Writer> make_text_writer(const Options &opts, const Layout &layout);
std::unique_ptr<Writer> make_csv_writer(const Options &opts, const Layout &layout);
std::unique_ptr<Writer> make_json_writer(const Options &opts, const Layout &layout);
std::unique_ptr<Writer> make_dump_writer(const Options &opts, const Layout &layout);

inline char *append(char *p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// The text of a numeric field read without failing, not missing: ISO text,
// or with raw the host number.
inline char *render_plain(char *p, const Result &r, const Field &f, bool raw) {
  return raw ? render_number(p, r.value) : render_iso(p, r.value, f.kind, f.zoned);
}

// The names of the columns field i of layout writes: its header name, or
// with raw an entity reader's component cells ("when_IS8601DUI_years").
std::vector<std::string> column_names(const Layout &layout, size_t i, bool raw);

// With --keep, the record as it came, and the separator of the new columns.
// A record whose quote was left open gets it closed, so that CSV readers
// take the line.
char *render_kept(char *p, const RecordOut &rec, char sep);
inline size_t kept_room(const RecordOut &rec) { return rec.text.size() + 2; }

}  // namespace isoread
