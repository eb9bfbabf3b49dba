// isoread's record source on its own: where records end (LF, CRLF, a lone
// CR, CSV quotes), the byte order mark, the record bound and the recovery
// from a quote left open, whatever the size of each read and of the blocks.
#include "source.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using isoread::Block;
using isoread::Mark;
using isoread::RecordSource;
using isoread::SourceOptions;

struct Got {
  std::vector<std::string> records;  // text, "!" appended when marked unclosed, "~" when cut
  std::string notes;
};

// Reads text through a pipe written chunk bytes at a time.
Got read_all(const std::string &text, SourceOptions o, size_t chunk) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (size_t i = 0; i < text.size(); i += chunk)
      if (write(fds[1], text.data() + i, std::min(chunk, text.size() - i)) < 0) break;
    close(fds[1]);
  });
  RecordSource src(o);
  src.reset(fds[0], "in");
  Got g;
  Block b;
  while (src.next(&b)) {
    for (size_t i = 0; i < b.records.size(); ++i) {
      std::string r(b.record(i));
      if (b.records[i].mark == Mark::unclosed) r += "!";
      if (b.records[i].mark == Mark::cut) r += "~";
      g.records.push_back(r);
    }
    g.notes += b.notes;
  }
  writer.join();
  close(fds[0]);
  EXPECT_EQ(src.error(), 0);
  return g;
}

struct Row {
  bool csv;
  std::string input;
  std::vector<std::string> records;
  const char *why;
};

TEST(IsoreadSource, RecordsWhateverTheReads) {
  const std::string big(40, 'x');
  const Row rows[] = {
      {false, "a\nb\r\nc", {"a", "b", "c"}, "LF, CRLF, no end"},
      {false, "a\rb\rc\r", {"a", "b", "c"}, "a lone CR ends a line"},
      {false, "a\r\rb\r\n\n", {"a", "", "b", ""}, "empty lines by CR and LF"},
      {false, "\xEF\xBB\xBF" "a\n\xEF\xBB\xBF" "b\n", {"a", "\xEF\xBB\xBF" "b"},
       "a byte order mark before the first record only"},
      {false, "\xEF\xBB", {"\xEF\xBB"}, "a part of a mark is text"},
      {false, big + "\nshort\n", {std::string(16, 'x') + "~", "short"},
       "a line past the bound cut, the rest dropped"},
      {true, "a,\"b\nc\"\r\nd\re", {"a,\"b\nc\"", "d", "e"}, "CSV: breaks in quotes"},
      {true, "\"x\"\"\"\n\"y\"", {"\"x\"\"\"", "\"y\""}, "doubled quotes, a last closing quote"},
      {true, "1,\"open\n2,x\n3,y\n", {"1,\"open!", "2,x", "3,y"},
       "an unclosed quote: the record ends with its line"},
      {true, "1,\"ab\n" + std::string(10, 'x') + "\n2,\"cd\n3,y\n",
       {"1,\"ab!", std::string(10, 'x'), "2,\"cd!", "3,y"},
       "a quote open past the bound: the same, before the end of the input"},
      {true, "1,\"" + big + big + "\"\n2,x\n", {std::string("1,\"") + std::string(13, 'x') + "~", "2,x"},
       "a quoted cell past the bound without a line break: cut"},
  };
  for (const Row &r : rows) {
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{4096}}) {
      for (size_t block : {size_t{1}, size_t{1} << 20}) {
        SCOPED_TRACE(std::string(r.why) + ", reads of " + std::to_string(chunk) +
                     ", blocks of " + std::to_string(block));
        SourceOptions o;
        o.csv = r.csv;
        o.max_record = 16;
        o.block = block;
        Got g = read_all(r.input, o, chunk);
        EXPECT_EQ(g.records, r.records);
      }
    }
  }
}

// Notes name the input, the record and the line it starts on; records are
// numbered on from a header taken apart.
TEST(IsoreadSource, NotesAndNumbers) {
  SourceOptions o;
  o.csv = true;
  o.max_record = 1024;
  Got g = read_all("1,\"a\nb\"\n2,\"open\n3\n", o, 7);
  EXPECT_EQ(g.notes,
            "isoread: in: record 2 (line 3): a quote is not closed by the end of the input; "
            "the record was read to the end of its line\n");

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = "when\nx\ny\n";
  ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  RecordSource src(o);
  src.reset(fds[0], "in");
  src.number_from(41);
  std::string header;
  ASSERT_TRUE(src.take_first(&header));
  EXPECT_EQ(header, "when");
  Block b;
  ASSERT_TRUE(src.next(&b));
  EXPECT_EQ(b.first, 41u);
  EXPECT_EQ(b.records.size(), 2u);
  EXPECT_EQ(src.next_number(), 43u);
  close(fds[0]);
}

}  // namespace
