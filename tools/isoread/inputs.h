// The inputs of a run, checked before any output is opened: each opens,
// and with --header each has the columns its fields name (looked up in its
// own header). An input that must be read as it stands (standard input, a
// pipe) is kept open with what was read of it; a file is opened again when
// its turn comes.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "layout.h"
#include "options.h"
#include "source.h"

namespace isoread {

struct Input {
  std::string name;   // as given; "-" is standard input
  std::string label;  // for messages
  bool opened = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::unique_ptr<RecordSource> src;  // kept open, when it cannot be opened again
  std::optional<Layout> layout;       // its fields placed by its own header
  std::string header;                 // its first record (--header)
  bool has_header = false;
};

class Inputs {
 public:
  Inputs(const Options &opts, const Layout &base, const SourceOptions &so)
      : opts_(opts), base_(base), so_(so) {}
  // Opens and checks each input. Inputs that do not open are reported on
  // standard error (*lost set) and left out. False with *error (a usage
  // error) when an input lacks a column a field names.
  bool check(const std::vector<std::string> &files, bool *lost, std::string *error);
  std::vector<Input> &all() { return inputs_; }
  // The first input that has a header record, or null.
  const Input *first_header() const;
  // Whether dev/ino (an output) is one of the inputs; *which names it.
  bool includes(dev_t dev, ino_t ino, std::string *which) const;
  // The input's records from its first: false with *error when it does not
  // open again.
  bool open(Input &in, std::string *error);
  // Done with an input: its descriptor closed.
  void close(Input &in);

 private:
  const Options &opts_;
  const Layout &base_;
  SourceOptions so_;
  std::vector<Input> inputs_;
};

// Whether the output (-o FILE, or standard output when it is a file) is one
// of the inputs, by device and inode; *which names the input.
bool output_is_input(const std::string &output, const Inputs &inputs, std::string *which);

}  // namespace isoread
