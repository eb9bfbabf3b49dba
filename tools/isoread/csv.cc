#include "csv.h"

#include <cstring>

namespace isoread {

namespace {

const char *find(const char *p, size_t n, char c) {
  return static_cast<const char *>(std::memchr(p, c, n));
}

// Fills *cut for a record of len bytes ended by a '\n' at p[len] (or by the
// end of the input), dropping a '\r' before the end.
void end_at(const char *p, size_t len, size_t next, RecordCut *cut) {
  cut->len = len > 0 && p[len - 1] == '\r' ? len - 1 : len;
  cut->next = next;
}

}  // namespace

bool next_record(const char *p, size_t n, bool csv, char delim, bool at_end, RecordCut *cut) {
  cut->unterminated = false;
  if (n == 0) return false;
  if (!csv) {
    if (const char *nl = find(p, n, '\n')) {
      end_at(p, static_cast<size_t>(nl - p), static_cast<size_t>(nl - p) + 1, cut);
      return true;
    }
    if (!at_end) return false;
    end_at(p, n, n, cut);
    return true;
  }
  // A quote opens a quoted cell only at the start of a cell; elsewhere it is
  // text. Inside quotes a doubled quote is text and a single one closes.
  bool cell_start = true;
  size_t i = 0;
  while (i < n) {
    char c = p[i];
    if (c == '"' && cell_start) {
      size_t j = i + 1;
      for (;;) {
        const char *q = find(p + j, n - j, '"');
        if (!q) {
          if (!at_end) return false;
          // Open to the end of the input: the record ends with its line.
          const char *nl = find(p, n, '\n');
          size_t len = nl ? static_cast<size_t>(nl - p) : n;
          end_at(p, len, nl ? len + 1 : n, cut);
          cut->unterminated = true;
          return true;
        }
        j = static_cast<size_t>(q - p) + 1;
        if (j < n && p[j] == '"') {
          ++j;
          continue;
        }
        break;  // closing (a quote that is the last byte is looked at again when more comes)
      }
      i = j;
      cell_start = false;
      continue;
    }
    if (c == '\n') {
      end_at(p, i, i + 1, cut);
      return true;
    }
    cell_start = c == delim;
    ++i;
  }
  if (!at_end) return false;
  end_at(p, n, n, cut);
  return true;
}

size_t split_csv(std::string_view rec, char delim, size_t max_cells,
                 std::vector<std::string_view> *cells, std::string *scratch) {
  cells->clear();
  scratch->clear();
  scratch->reserve(rec.size());  // unquoted cells are never longer: no reallocation below
  const char *p = rec.data();
  const size_t n = rec.size();
  size_t i = 0;
  for (;;) {
    if (i < n && p[i] == '"') {
      size_t begin = scratch->size();
      ++i;
      for (;;) {
        const char *q = find(p + i, n - i, '"');
        size_t stop = q ? static_cast<size_t>(q - p) : n;
        scratch->append(p + i, stop - i);
        i = q ? stop + 1 : n;
        if (q && i < n && p[i] == '"') {
          scratch->push_back('"');
          ++i;
          continue;
        }
        break;
      }
      const char *d = find(p + i, n - i, delim);
      size_t stop = d ? static_cast<size_t>(d - p) : n;
      scratch->append(p + i, stop - i);
      i = stop;
      cells->emplace_back(scratch->data() + begin, scratch->size() - begin);
    } else {
      const char *d = find(p + i, n - i, delim);
      size_t stop = d ? static_cast<size_t>(d - p) : n;
      cells->emplace_back(p + i, stop - i);
      i = stop;
    }
    if (i >= n || cells->size() == max_cells) break;
    ++i;  // the delimiter; a cell follows, empty when it ends the record
  }
  return cells->size();
}

char *render_csv_cell(char *out, std::string_view cell, char delim) {
  bool quote = false;
  for (char c : cell) quote |= c == delim || c == '"' || c == '\r' || c == '\n';
  if (!quote) {
    std::memcpy(out, cell.data(), cell.size());
    return out + cell.size();
  }
  *out++ = '"';
  for (char c : cell) {
    if (c == '"') *out++ = '"';
    *out++ = c;
  }
  *out++ = '"';
  return out;
}

}  // namespace isoread
