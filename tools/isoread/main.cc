// isoread: reads fields of text records with the informats of a module,
// through the reader API, and writes what the readers made of them. The
// stages: options, the readers looked up, the inputs checked and the
// fields placed, the output opened, then each input's records from the
// source through the reader stage and the writer (the runner), and the
// summary.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "inputs.h"
#include "io.h"
#include "layout.h"
#include "list.h"
#include "options.h"
#include "progress.h"
#include "readers.h"
#include "runner.h"
#include "suggest.h"
#include "version.h"
#include "writer.h"

namespace isoread {
namespace {

int run(int argc, char **argv) {
  Options opts;
  std::string error;
  auto fail = [](const std::string &msg) {
    std::fprintf(stderr, "isoread: %s\n", msg.c_str());
    return 2;
  };
  if (!parse_options(argc, argv, &opts, &error)) return usage_error(error);
  if (opts.help) return print_help(stdout);
  if (opts.version) return print_version(opts.module, stdout, stderr);
  if (opts.list) return print_list(stdout);

  // Standard output is checked first: a closed one would be taken by the
  // next file opened.
  OutputTarget target;
  if (opts.output.empty() && !target.open("", &error)) return fail(error);

  // The host starts with the first handle (the module's task state set up
  // with the task options) and ends with the last.
  std::vector<Field> fields;
  std::unique_ptr<Handle> handle = Handle::open(opts, &fields, &error);
  if (!handle) return fail(error);  // names the file or the field
  const Layout base(opts, fields);
  const bool one_thread = make_writer(opts, base)->serial() || any_reader_logs(*handle, fields);
  const int jobs = one_thread ? 1 : opts.jobs;

  // Every input and column checked before the output is opened.
  std::vector<std::string> files = opts.files;
  if (files.empty()) files.push_back("-");
  SourceOptions so;
  so.csv = opts.csv;
  so.delim = delimiter_of(opts);
  so.max_record = opts.max_record;
  so.block = block_size(opts, jobs);
  Inputs inputs(opts, base, so);
  bool lost_input = false;
  if (!inputs.check(files, &lost_input, &error)) return usage_error(error);
  if (!opts.output.empty() && lost_input) return 2;  // the output stays as it was
  if (std::string which; output_is_input(opts.output, inputs, &which))
    return fail("refusing to write " + (opts.output.empty() ? "standard output" : opts.output) +
                ": it is the input " + which);

  if (!opts.output.empty() && !target.open(opts.output, &error)) return fail(error);
  std::unique_ptr<ProgressLine> progress = make_progress(opts, files, target.fd());

  // Each worker reads through a handle of its own (which has a module
  // instance of its own where the system allows it).
  std::vector<std::unique_ptr<Handle>> more;
  RunSetup setup{opts, base, fields, {handle->get()}, one_thread, so.block, target.fd(),
                 progress.get()};
  for (int i = 1; i < jobs; ++i) {
    more.push_back(Handle::open(opts, nullptr, &error));
    if (!more.back()) return fail(error);
    setup.handles.push_back(more.back()->get());
  }
  std::unique_ptr<Runner> runner = make_runner(setup);
  if (const Input *first = inputs.first_header()) runner->header(*first->layout, first->header);
  uint64_t next_record = 1;
  for (Input &in : inputs.all()) {
    if (!inputs.open(in, &error)) {
      runner->finish();
      progress->clear();
      std::fprintf(stderr, "isoread: %s\n", error.c_str());
      lost_input = true;
      continue;
    }
    in.src->number_from(next_record);
    lost_input |= !runner->input(*in.src, *in.layout);
    next_record = in.src->next_number();
    inputs.close(in);
    if (runner->output_error()) break;
  }
  runner->finish();
  progress->clear();
  std::fputs(taken_log().c_str(), stderr);
  const std::string hints = suggestions(handle->get(), fields, runner->counts());
  std::fprintf(stderr, "%s%s\n", runner->counts().summary().c_str(), hints.c_str());
  if (int err = runner->output_error()) {
    std::fprintf(stderr, "isoread: error writing %s: %s\n", target.label().c_str(),
                 std::strerror(err));
    return 2;  // the target drops a temporary file
  }
  if (lost_input && !opts.output.empty()) return 2;
  if (!target.commit(&error)) return fail(error);
  if (lost_input) return 2;
  return runner->counts().lost() ? 1 : 0;
}

}  // namespace
}  // namespace isoread

int main(int argc, char **argv) { return isoread::run(argc, argv); }
