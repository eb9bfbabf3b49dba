// isoread --version: the project version, and per module the identifiers its
// image records hold, checked against the records of the same files loaded
// here.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/fixture.h"
#include "support/run_isoread.h"

namespace {

using zbtest::run_isoread;

std::vector<std::string> lines_of(const std::string &s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

std::string padded(const char *p, size_t width) { return std::string(p, strnlen(p, width)); }

// The line isoread prints for a loaded module, made from its records.
std::string expected_line(const zbhost::Module &m, const std::string &path) {
  const vi_mcn_record *img = m.image();
  const void *info[INFO_SLOTS] = {};
  m.fn<void (*)(void *)>("qjvercn1")(info);
  return padded(m.pcn()->name, sizeof m.pcn()->name) + ": release " +
         padded(img->release, sizeof img->release) + ", build " +
         padded(img->build_id, sizeof img->build_id) + " (" + static_cast<const char *>(info[0]) +
         "), built " + padded(img->build_date, sizeof img->build_date) + ", " + path;
}

class IsoreadVersion : public zbtest::ModuleTest {};

TEST_F(IsoreadVersion, NamesBothModulesWithTheirRecords) {
  auto r = run_isoread({"--version"}, "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], std::string("isoread ") + ZB_PROJECT_VERSION);
  EXPECT_EQ(lines[1], expected_line(*zel, zbhost::module_path("zelbrant")));
  EXPECT_EQ(lines[2], expected_line(*mor, zbhost::module_path("morvista")));
}

TEST_F(IsoreadVersion, AModuleGivenByPathIsListedToo) {
  const std::string path = zbhost::module_path("morvista");
  auto r = run_isoread({"-m", path, "--version"}, "");
  EXPECT_EQ(r.status, 0) << r.err;
  // A path is listed apart from the two by name, even when it is one of them.
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[3], expected_line(*mor, path));
}

TEST(IsoreadVersionErrors, ModulesThatDoNotLoadAreNamedOnStderr) {
  struct Row {
    std::vector<std::string> args;
    int status;
    size_t out_lines;
    const char *err_has;
  };
  const Row rows[] = {
      {{"--version", "-m", "/nonexistent/x.so"}, 0, 3, "/nonexistent/x.so"},
      {{"--version=1"}, 2, 0, "option --version takes no value"},
      // --version needs no field and ignores the rest of the command line.
      {{"--version", "-d", ",", "no-such-file"}, 0, 3, nullptr},
  };
  for (const Row &row : rows) {
    std::string text;
    for (const auto &a : row.args) text += a + " ";
    SCOPED_TRACE(text);
    auto r = run_isoread(row.args, "");
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(lines_of(r.out).size(), row.out_lines) << r.out;
    if (row.err_has) EXPECT_NE(r.err.find(row.err_has), std::string::npos) << r.err;
    else EXPECT_EQ(r.err, "");
  }
}

TEST(IsoreadVersionErrors, AnEmptyModuleDirectoryLeavesTheVersionAlone) {
  char tmpl[] = "/tmp/isoread_version.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  setenv("ZB_MODULE_DIR", tmpl, 1);
  auto r = run_isoread({"--version"}, "");
  unsetenv("ZB_MODULE_DIR");
  rmdir(tmpl);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(lines_of(r.out).size(), 1u) << r.out;
  EXPECT_NE(r.err.find(std::string(tmpl) + "/zelbrant.so"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(std::string(tmpl) + "/morvista.so"), std::string::npos) << r.err;
}

}  // namespace
