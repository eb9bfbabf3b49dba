// Records and cells of CSV text (RFC 4180): cells separated by a delimiter,
// a cell in double quotes may hold the delimiter, line breaks and doubled
// quotes. Also the record cutting of plain line input, so that one function
// decides where records end for the serial reader and for --jobs blocks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace isoread {

// Where the record at the start of some bytes ends.
struct RecordCut {
  size_t len = 0;    // the record's bytes, without its '\n' (and a '\r' before it)
  size_t next = 0;   // where the next record starts
  bool unterminated = false;  // CSV: a quote left open at the end of the input
};

// The record at the start of [p, p+n). csv: quote-aware, with the delimiter
// delim; otherwise a record is a line. at_end: no bytes follow these.
// False when the record does not end within these bytes and more may come
// (at_end false), or when n is 0.
//
// A quote left open to the end of the input would make the rest of the file
// one record; such a record is cut at its first line break instead, marked
// unterminated, and the records after it are read as usual.
bool next_record(const char *p, size_t n, bool csv, char delim, bool at_end, RecordCut *cut);

// Splits a CSV record into cells: a quoted cell's value without its quotes
// and with doubled quotes made single; text after a closing quote is kept
// as part of the value. Stops after max_cells cells (0: all). Cells that
// needed unquoting live in *scratch, which must not change while the views
// are in use. Returns the number of cells (a record is at least one cell).
size_t split_csv(std::string_view rec, char delim, size_t max_cells,
                 std::vector<std::string_view> *cells, std::string *scratch);

// A cell as CSV output: in quotes (inner quotes doubled) when it holds the
// delimiter, a quote, '\r' or '\n'; as it is otherwise. Needs 2 * size + 2
// bytes of room.
char *render_csv_cell(char *out, std::string_view cell, char delim);

}  // namespace isoread
