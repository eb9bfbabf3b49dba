#include "inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "csv.h"

namespace isoread {

namespace {

// The names of a header's columns.
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

int open_file(const std::string &name) {
  return name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
}

void close_file(int fd) {
  if (fd >= 0 && fd != STDIN_FILENO) ::close(fd);
}

}  // namespace

bool Inputs::check(const std::vector<std::string> &files, bool *lost, std::string *error) {
  for (const std::string &name : files) {
    Input in;
    in.name = name;
    in.label = name == "-" ? "standard input" : name;
    const int fd = open_file(name);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      std::fprintf(stderr, "isoread: cannot open %s: %s\n", name.c_str(), std::strerror(errno));
      close_file(fd);
      *lost = true;
      continue;
    }
    in.opened = true;
    in.dev = st.st_dev;
    in.ino = st.st_ino;
    // A regular file is read again from its start when its turn comes; the
    // rest are kept open with what was read of them.
    const bool again = name != "-" && S_ISREG(st.st_mode);
    in.src = std::make_unique<RecordSource>(so_);
    in.src->reset(fd, in.label);
    if (opts_.header) {
      in.has_header = in.src->take_first(&in.header);
      if (!in.has_header && in.src->error()) {
        std::fprintf(stderr, "isoread: error reading %s: %s\n", in.label.c_str(),
                     std::strerror(in.src->error()));
        close_file(fd);
        *lost = true;
        continue;
      }
      in.layout.emplace(base_);
      std::vector<std::string> names;
      if (in.has_header) names = header_cells(opts_, in.header);
      if (!in.layout->resolve(names, in.label, error)) {
        close_file(fd);
        return false;
      }
    } else {
      in.layout.emplace(base_);
    }
    if (again) {
      close_file(fd);
      in.src.reset();
    }
    inputs_.push_back(std::move(in));
  }
  return true;
}

const Input *Inputs::first_header() const {
  for (const Input &in : inputs_)
    if (in.has_header) return &in;
  return nullptr;
}

bool Inputs::includes(dev_t dev, ino_t ino, std::string *which) const {
  for (const Input &in : inputs_)
    if (in.dev == dev && in.ino == ino) {
      *which = in.label;
      return true;
    }
  return false;
}

bool Inputs::open(Input &in, std::string *error) {
  if (in.src) return true;
  const int fd = open_file(in.name);
  if (fd < 0) {
    *error = "cannot open " + in.name + ": " + std::strerror(errno);
    return false;
  }
  in.src = std::make_unique<RecordSource>(so_);
  in.src->reset(fd, in.label);
  std::string header;
  if (in.has_header) in.src->take_first(&header);
  return true;
}

void Inputs::close(Input &in) {
  if (in.src) close_file(in.src->fd());
  in.src.reset();
}

bool output_is_input(const std::string &output, const Inputs &inputs, std::string *which) {
  struct stat st;
  const bool there = output.empty()
                         ? ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode)
                         : ::stat(output.c_str(), &st) == 0;
  return there && inputs.includes(st.st_dev, st.st_ino, which);
}

}  // namespace isoread
