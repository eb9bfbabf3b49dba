// isoread: reads fields of text records with the informats of a module,
// through the stand-in host, and prints what the readers made of them.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codes.h"
#include "entity.h"
#include "family.h"
#include "host.h"
#include "io.h"
#include "options.h"
#include "render.h"
#include "task.h"

namespace isoread {
namespace {

// Written into a target before each call, to see whether the reader wrote it.
constexpr unsigned char kSentinel[8] = {0x01, 0x00, 0xEF, 0xBE, 0xAD, 0xDE, 0xF4, 0x7F};

// A field of the command line, resolved against the module's family.
struct Field {
  std::string given;
  zbhost::Informat inf;
  int32_t pos = 0;  // 1-based column or field number; 0: after the previous
  std::optional<EntityField> entity;  // an entity reader instead of inf.reader
};

// What one reader call was given and gave back.
struct Result {
  const char *input = nullptr;
  int32_t column = 0;  // 1-based column, or field number when delimited
  int32_t width = 0;
  int32_t avail = 0;
  uint32_t rc = 0;
  uint32_t status = 0;
  alignas(8) unsigned char target[8];
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
  // problem: rc is a problem code of an entity reader.
  void fail(uint32_t rc, bool problem = false) {
    ++failed;
    for (auto &c : by_code_)
      if (c.rc == rc && c.problem == problem) {
        ++c.n;
        return;
      }
    by_code_.push_back({rc, problem, 1});  // once per distinct code
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
      s += std::string(code) + " " + (c.problem ? problem_text(c.rc) : code_text(c.rc)) + ": " +
           std::to_string(c.n);
    }
    if (!by_code_.empty()) s += ")";
    return s;
  }

 private:
  struct Code {
    uint32_t rc;
    bool problem;
    uint64_t n;
  };
  std::vector<Code> by_code_;
};

class Run {
 public:
  Run(const Options &opts, std::vector<Field> fields)
      : opts_(opts), fields_(std::move(fields)), results_(fields_.size()), out_(STDOUT_FILENO) {
    int32_t next = 1;
    for (const Field &f : fields_) {
      int32_t no = f.pos ? f.pos : next;
      if (no > max_field_) max_field_ = no;
      next = no < INT32_MAX ? no + 1 : no;
    }
    token_begin_.resize(static_cast<size_t>(max_field_) + 1);
    token_end_.resize(static_cast<size_t>(max_field_) + 1);
  }

  // Reads every record of one input; false on a read error.
  bool input(int fd, const std::string &label) {
    reader_.reset(fd);
    std::string_view rec;
    while (reader_.next(&rec)) record(rec);
    if (reader_.error()) {
      out_.flush();
      std::fprintf(stderr, "isoread: error reading %s: %s\n", label.c_str(),
                   std::strerror(reader_.error()));
      return false;
    }
    return true;
  }

  void finish() { out_.flush(); }
  const Counts &counts() const { return counts_; }

 private:
  void record(std::string_view rec) {
    ++counts_.records;
    if (opts_.delimited) split(rec);
    int64_t next = 1;  // column or field number of a field without POS
    for (size_t i = 0; i < fields_.size(); ++i) {
      const Field &f = fields_[i];
      Result &r = results_[i];
      int64_t at = f.pos ? f.pos : next;
      size_t start, len;
      if (opts_.delimited) {
        // Fields past the last delimiter are empty, at the record's end.
        size_t k = static_cast<size_t>(at);
        if (k <= tokens_) {
          start = token_begin_[k];
          len = token_end_[k] - start;
        } else {
          start = rec.size(), len = 0;
        }
      } else {
        start = at - 1 < static_cast<int64_t>(rec.size()) ? static_cast<size_t>(at - 1) : rec.size();
        len = rec.size() - start;
      }
      r.column = static_cast<int32_t>(at);
      r.input = rec.data() + start;
      r.avail = len < INT32_MAX ? static_cast<int32_t>(len) : INT32_MAX;
      r.width = f.inf.width >= 0 ? f.inf.width : r.avail;
      next = opts_.delimited ? at + 1 : at + r.width;
      if (next > INT32_MAX) next = INT32_MAX;
      call(f, &r);
    }
    emit();
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

  void call(const Field &f, Result *r) {
    ifmblock blk;
    std::memset(&blk, 0, sizeof blk);
    blk.width = r->width;
    if (f.entity) {
      blk.input = r->input;
      blk.avail = r->avail;
      call_entity(*f.entity, &blk, &r->ent);
      r->rc = r->ent.rc;
      r->status = r->ent.status;
      ++counts_.fields;
      if (r->rc != 0) counts_.fail(r->rc, true);
      else if (r->ent.untouched || r->ent.missing()) ++counts_.missing;
      else ++counts_.read;
      return;
    }
    blk.decimals = f.inf.decimals;
    blk.input = r->input;
    blk.avail = r->avail;
    std::memcpy(r->target, kSentinel, sizeof r->target);
    blk.target = r->target;
    blk.target_len = sizeof r->target;
    r->rc = f.inf.reader(&blk);
    r->status = blk.status;
    r->untouched = std::memcmp(r->target, kSentinel, sizeof kSentinel) == 0;
    std::memcpy(&r->value, r->target, sizeof r->value);
    ++counts_.fields;
    if (r->rc != 0) counts_.fail(r->rc);
    else if (r->untouched || r->missing()) ++counts_.missing;
    else ++counts_.read;
  }

  void emit() {
    switch (opts_.mode) {
      case OutputMode::text:
      case OutputMode::raw: return emit_text();
      case OutputMode::json: return emit_json();
      case OutputMode::dump: return emit_dump();
    }
  }

  void emit_text() {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const Result &r = results_[i];
      char *p = out_.reserve(kValueRoom + entity_room(r.ent) + 2);
      if (i) *p++ = '\t';
      if (fields_[i].entity) {
        p = render_entity_text(p, r.ent);
      } else if (r.rc != 0) {
        *p++ = '!';
        p = render_code(p, r.rc);
      } else if (r.untouched) {
        *p++ = '?';
      } else if (r.missing()) {
        *p++ = '.';
      } else if (opts_.mode == OutputMode::raw) {
        p = render_number(p, r.value);
      } else {
        p = render_iso(p, r.value, fields_[i].inf.kind);
      }
      out_.commit(p);
    }
    out_.put('\n');
  }

  void emit_json() {
    char *p = out_.reserve(64);
    p = append(p, "{\"record\": ");
    p = render_unsigned(p, counts_.records);
    p = append(p, ", \"fields\": [");
    out_.commit(p);
    for (size_t i = 0; i < fields_.size(); ++i) {
      const Field &f = fields_[i];
      const Result &r = results_[i];
      std::string_view win = r.window();
      p = out_.reserve(f.inf.display.size() * 6 + win.size() * 6 + entity_room(r.ent) + 256);
      if (i) p = append(p, ", ");
      p = append(p, "{\"name\": \"");
      p = render_json_text(p, f.inf.display);
      p = append(p, "\", \"width\": ");
      p = render_unsigned(p, static_cast<uint32_t>(r.width));
      p = append(p, ", \"text\": \"");
      p = render_json_text(p, win);
      p = append(p, "\", \"rc\": ");
      p = render_unsigned(p, r.rc);
      if (f.entity) {
        out_.commit(render_entity_json(p, r.ent));
        continue;
      }
      p = append(p, ", \"error\": ");
      if (r.rc == 0) {
        p = append(p, "null");
      } else {
        *p++ = '"';
        p = append(p, code_text(r.rc));
        *p++ = '"';
      }
      p = append(p, ", \"status\": ");
      p = render_unsigned(p, r.status);
      p = append(p, ", \"value\": ");
      if (r.untouched || r.missing() || !std::isfinite(r.value)) p = append(p, "null");
      else p = render_number(p, r.value);
      p = append(p, r.untouched ? ", \"untouched\": true}" : ", \"untouched\": false}");
      out_.commit(p);
    }
    out_.put("]}\n");
  }

  void emit_dump() {
    char *p = out_.reserve(32);
    p = append(p, "record ");
    p = render_unsigned(p, counts_.records);
    *p++ = '\n';
    out_.commit(p);
    for (size_t i = 0; i < fields_.size(); ++i) {
      const Field &f = fields_[i];
      const Result &r = results_[i];
      std::string_view win = r.window();
      p = out_.reserve(f.given.size() + f.inf.display.size() + win.size() * 7 +
                       entity_room(r.ent) + 512);
      p = append(p, "  field ");
      p = render_unsigned(p, i + 1);
      p = append(p, " ");
      p = append(p, f.inf.display);
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
      if (f.entity) {
        p = append(p, ", status ");
        p = render_unsigned(p, r.status);
        p = append(p, ", target ");
        p = render_entity_text(p, r.ent);
        *p++ = '\n';
        out_.commit(p);
        continue;
      }
      if (r.rc) {
        p = append(p, " (");
        p = append(p, code_text(r.rc));
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
        p = render_iso(p, r.value, f.inf.kind);
      }
      *p++ = '\n';
      out_.commit(p);
    }
  }

  static char *append(char *p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
  }

  const Options &opts_;
  std::vector<Field> fields_;
  std::vector<Result> results_;
  int32_t max_field_ = 0;
  std::vector<size_t> token_begin_, token_end_;
  size_t tokens_ = 0;
  LineReader reader_;
  Output out_;
  Counts counts_;
};

int usage_error(const std::string &msg) {
  std::fprintf(stderr, "isoread: %s\nTry 'isoread --help'.\n", msg.c_str());
  return 2;
}

std::string module_file(const std::string &m) {
  if (m == "zelbrant" || m == "morvista") return zbhost::module_path(m);
  return m;
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

  zbhost::Host host;
  auto module = zbhost::Module::load(host, module_file(opts.module), &error);
  if (!module) {
    std::fprintf(stderr, "isoread: %s\n", error.c_str());  // names the file
    return 2;
  }
  // A registration block the host cannot allocate makes the module entry
  // call xexit; let that come back as a load failure rather than end the run.
  host.set_exit_returns(true);
  auto family = zbhost::Family::load(host, *module, &error);
  host.set_exit_returns(false);
  if (!family) {
    std::fprintf(stderr, "isoread: cannot register module %s: %s\n", opts.module.c_str(),
                 error.c_str());
    return 2;
  }

  std::vector<Field> fields;
  for (const FieldSpec &spec : opts.fields) {
    EntityField ent;
    int found = lookup_entity(spec.name, *module, opts.task, &ent, &error);
    if (found < 0) {
      std::fprintf(stderr, "isoread: field '%s': %s\n", spec.given.c_str(), error.c_str());
      return 2;
    }
    if (found > 0) {
      zbhost::Informat inf;
      inf.width = ent.width;
      inf.display = ent.display;
      fields.push_back({spec.given, std::move(inf), spec.pos, std::move(ent)});
      continue;
    }
    auto inf = family->lookup(spec.name, std::nullopt, &error);
    if (!inf) {
      std::fprintf(stderr, "isoread: field '%s': %s\n", spec.given.c_str(), error.c_str());
      return 2;
    }
    fields.push_back({spec.given, std::move(*inf), spec.pos, std::nullopt});
  }

  TaskScope task(host, *module, opts.task);  // ends before the module goes
  bool input_failed = false;
  {
    Run r(opts, std::move(fields));
    std::vector<std::string> files = opts.files;
    if (files.empty()) files.push_back("-");
    for (const std::string &file : files) {
      if (file == "-") {
        input_failed |= !r.input(STDIN_FILENO, "standard input");
        continue;
      }
      int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        r.finish();
        std::fprintf(stderr, "isoread: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
        input_failed = true;
        continue;
      }
      input_failed |= !r.input(fd, file);
      ::close(fd);
    }
    r.finish();
    std::fprintf(stderr, "%s\n", r.counts().summary().c_str());
    if (input_failed) return 2;
    return r.counts().failed ? 1 : 0;
  }
}

}  // namespace
}  // namespace isoread

int main(int argc, char **argv) { return isoread::run(argc, argv); }
