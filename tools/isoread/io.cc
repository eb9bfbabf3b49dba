#include "io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace isoread {

namespace {
constexpr size_t kMemoryOutBuffer = size_t{1} << 12;

// The temporary file to remove when a signal ends the run (a handler may
// read only this).
char g_temp[4096];
volatile sig_atomic_t g_has_temp = 0;

extern "C" void remove_temp_and_die(int sig) {
  if (g_has_temp) ::unlink(g_temp);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
}  // namespace

Output::Output(int fd) : buf_(2 * kFlushAt), fd_(fd) {}

Output::Output() : buf_(kMemoryOutBuffer), fd_(-1) {}

void Output::grow(size_t n) { buf_.resize(std::max(buf_.size() * 2, used_ + n)); }

void Output::put(std::string_view s) {
  char *p = reserve(s.size());
  std::memcpy(p, s.data(), s.size());
  commit(p + s.size());
}

void Output::put(char c) {
  char *p = reserve(1);
  *p = c;
  commit(p + 1);
}

void Output::write_out(const char *p, size_t size) {
  size_t done = 0;
  while (done < size && !error_) {
    ssize_t n = ::write(fd_, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    else if (n == 0) error_ = EIO;
    else done += static_cast<size_t>(n);
  }
}

void Output::flush() {
  if (fd_ < 0) return;
  write_out(buf_.data(), used_);
  used_ = 0;
  if (buf_.size() > 4 * kFlushAt) std::vector<char>(2 * kFlushAt).swap(buf_);  // after a long record
}

void Output::write_through(std::string_view s) {
  if (s.size() <= buf_.size() - used_) return put(s);
  flush();
  write_out(s.data(), s.size());
}

bool OutputTarget::open(const std::string &path, std::string *error) {
  if (path.empty()) {
    label_ = "standard output";
    if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) {
      *error = "standard output is closed";
      return false;
    }
    fd_ = STDOUT_FILENO;
    return true;
  }
  label_ = path;
  // A device or a pipe is written as it stands: it cannot be replaced.
  struct stat there;
  if (::stat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      *error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
  // The temporary file beside the target: the rename stays within one file
  // system.
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = (slash == std::string::npos ? "" : dir) + "." + base + ".isoread-XXXXXX";
  if (temp.size() >= sizeof g_temp) {
    *error = "cannot write " + path + ": the name is too long";
    return false;
  }
  // Handlers first, so that no signal leaves the file behind.
  std::memcpy(g_temp, temp.c_str(), temp.size() + 1);
  struct sigaction sa {};
  sa.sa_handler = remove_temp_and_die;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) sigaddset(&sa.sa_mask, sig);
  for (int sig : kSignals) {
    struct sigaction old {};
    ::sigaction(sig, nullptr, &old);
    if (old.sa_handler != SIG_IGN) ::sigaction(sig, &sa, nullptr);
  }
  sigset_t block, saved;
  sigemptyset(&block);
  for (int sig : kSignals) sigaddset(&block, sig);
  ::sigprocmask(SIG_BLOCK, &block, &saved);
  fd_ = ::mkostemp(g_temp, O_CLOEXEC);
  const int err = errno;
  if (fd_ >= 0) g_has_temp = 1;
  ::sigprocmask(SIG_SETMASK, &saved, nullptr);
  if (fd_ < 0) {
    *error = "cannot write " + path + ": " + std::strerror(err);
    return false;
  }
  temp_ = g_temp;
  path_ = path;
  // The mode of the file it replaces, or what a new file would get.
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
  return true;
}

bool OutputTarget::commit(std::string *error) {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    *error = "error writing " + label_ + ": " + std::strerror(errno);
    return false;
  }
  if (temp_.empty()) return true;
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    *error = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  g_has_temp = 0;
  temp_.clear();
  return true;
}

void OutputTarget::discard() {
  if (fd_ >= 0 && fd_ != STDOUT_FILENO) ::close(fd_);
  fd_ = -1;
  if (temp_.empty()) return;
  g_has_temp = 0;
  ::unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace isoread
