#include "list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "zelbrant/reader.h"

namespace isoread {

namespace {

const char *kind_name(int32_t kind) {
  switch (kind) {
    case ZB_KIND_DATE: return "date";
    case ZB_KIND_TIME: return "time";
    case ZB_KIND_DATETIME: return "datetime";
    case ZB_KIND_DURATION: return "duration";
    case ZB_KIND_PACKED: return "packed datetime";
    case ZB_KIND_INTERVAL: return "interval";
    default: return "?";
  }
}

// "10-26 (19)": the range and the default; "whole" for a routine, which
// reads each field whole.
std::string widths(const zb_catalog_entry &e) {
  if (e.min_width < 0) return "whole";
  return std::to_string(e.min_width) + "-" + std::to_string(e.max_width) + " (" +
         std::to_string(e.default_width) + ")";
}

}  // namespace

std::string list_text() {
  const zb_catalog_entry *entries = nullptr;
  size_t count = 0;
  if (zb_list(&entries, &count) != ZB_OK) count = 0;
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"NAME", "KIND", "WIDTHS", "MODULES", "READS", "EXAMPLE"});
  for (size_t i = 0; i < count; ++i) {
    const zb_catalog_entry &e = entries[i];
    std::string kind = kind_name(e.kind);
    if (e.flags & ZB_READER_ZONED) kind += " GMT";
    rows.push_back({e.name, kind, widths(e), e.modules, e.description, e.example});
  }
  std::vector<size_t> wide(rows[0].size());
  for (const auto &r : rows)
    for (size_t c = 0; c < r.size(); ++c) wide[c] = std::max(wide[c], r[c].size());
  std::string text;
  for (const auto &r : rows) {
    std::string line;
    for (size_t c = 0; c < r.size(); ++c) {
      line += r[c];
      if (c + 1 < r.size()) line += std::string(wide[c] - r[c].size() + 2, ' ');
    }
    text += line + "\n";
  }
  text +=
      "\nWIDTHS: the range of widths and the default; 'whole': the routine reads each\n"
      "field whole. GMT: the value is converted to GMT and printed with 'Z'.\n"
      "A name is given to -f as it stands, a width after it (B8601DT15.).\n";
  return text;
}

int print_list(FILE *out) {
  const std::string text = list_text();
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
    std::fprintf(stderr, "isoread: error writing standard output: %s\n", std::strerror(errno));
    return 2;
  }
  return 0;
}

}  // namespace isoread
