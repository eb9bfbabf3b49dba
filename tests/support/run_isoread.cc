#include "support/run_isoread.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

extern char **environ;

namespace zbtest {

namespace {

std::string temp_file(const std::string &content) {
  char path[] = "/tmp/isoread_run.XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string take(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  std::remove(path.c_str());
  return ss.str();
}

}  // namespace

ProgramOutcome run_isoread(const std::vector<std::string> &args, const std::string &stdin_text) {
  ProgramOutcome o;
  std::string in = temp_file(stdin_text), out = temp_file(""), err = temp_file("");
  if (in.empty() || out.empty() || err.empty()) return o;
  std::vector<std::string> argv_s = {ZB_BUILD_DIR "/isoread"};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_TRUNC, 0);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc == 0) {
    int ws = 0;
    waitpid(pid, &ws, 0);
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  }
  std::remove(in.c_str());
  o.out = take(out);
  o.err = take(err);
  return o;
}

}  // namespace zbtest
