// CSV output (RFC 4180): a failed field, a missing value and a target the
// reader did not write are empty cells; with --errors a cell after each
// field holds the message of its failure.
#include <vector>

#include "csv.h"
#include "render.h"
#include "writer.h"

namespace isoread {

namespace {

// A message cell: the longest code text, its code and the brackets.
constexpr size_t kMessageRoom = 96;

class CsvWriter : public Writer {
 public:
  CsvWriter(const Options &opts, const Layout &layout)
      : layout_(layout), keep_(opts.keep), raw_(opts.mode == OutputMode::raw),
        errors_(opts.errors) {}

  bool has_header() const override { return true; }
  void header(const Layout &layout, std::string_view first_record, Output &out) override {
    const char sep = layout.out_sep();
    std::string line;
    if (keep_) (line = first_record) += sep;
    auto cell = [&](const std::string &text) {
      std::string quoted(2 * text.size() + 2, '\0');
      quoted.resize(static_cast<size_t>(
          render_csv_cell(quoted.data(), text, layout.delim()) - quoted.data()));
      line += quoted;
    };
    for (size_t i = 0; i < layout.size(); ++i) {
      if (i) line += sep;
      const std::vector<std::string> names = column_names(layout, i, raw_);
      for (size_t k = 0; k < names.size(); ++k) {
        if (k) line += sep;
        cell(names[k]);
      }
      if (errors_) {
        line += sep;
        cell(layout.header_name(i) + "_error");
      }
    }
    out.put(line += '\n');
  }

  void record(const RecordOut &rec, Output &out) override {
    const char sep = layout_.out_sep(), delim = layout_.delim();
    if (keep_) out.commit(render_kept(out.reserve(kept_room(rec)), rec, sep));
    for (size_t i = 0; i < layout_.size(); ++i) {
      const Field &f = layout_.field(i);
      const Result &r = rec.results[i];
      const size_t room = kValueRoom + entity_room(r.ent) + kMessageRoom;
      if (cell_.size() < room) cell_.resize(room);
      char *p = out.reserve(2 * room + 8);
      if (i) *p++ = sep;
      if (f.entity() && raw_) {
        // Components are numbers and ISO text: quoted only where the
        // delimiter is among their characters.
        char *end = render_entity_cells(cell_.data(), r.ent, f.kind, '\0');
        for (char *c = cell_.data(), *e = c; c <= end; ++e) {
          if (e != end && *e) continue;
          if (c != cell_.data()) *p++ = sep;
          p = render_csv_cell(p, std::string_view(c, static_cast<size_t>(e - c)), delim);
          c = e + 1;
        }
      } else if (f.entity()) {
        if (r.rc == 0 && !r.ent.untouched && !r.ent.missing()) {
          char *end = render_entity_text(cell_.data(), r.ent);
          p = render_csv_cell(p, std::string_view(cell_.data(), static_cast<size_t>(end - cell_.data())), delim);
        }
      } else if (r.rc == 0 && !r.untouched && !r.missing()) {
        if (layout_.quote_values()) {
          char buf[kValueRoom];
          const size_t n = static_cast<size_t>(render_plain(buf, r, f, raw_) - buf);
          p = render_csv_cell(p, std::string_view(buf, n), delim);
        } else {
          p = render_plain(p, r, f, raw_);
        }
      }
      if (errors_) {
        *p++ = sep;
        if (r.rc != 0) {
          char *m = cell_.data();
          m = append(m, f.entity() ? zb_problem_text(r.rc) : zb_code_text(r.rc));
          m = append(m, " (");
          m = f.entity() ? render_unsigned(m, r.rc) : render_code(m, r.rc);
          *m++ = ')';
          p = render_csv_cell(p, std::string_view(cell_.data(), static_cast<size_t>(m - cell_.data())), delim);
        }
      }
      out.commit(p);
    }
    out.put('\n');
  }

 private:
  const Layout &layout_;
  const bool keep_, raw_, errors_;
  std::vector<char> cell_;  // one cell before it is quoted
};

}  // namespace

std::unique_ptr<Writer> make_csv_writer(const Options &opts, const Layout &layout) {
  return std::make_unique<CsvWriter>(opts, layout);
}

}  // namespace isoread
