#include "tools/tests/tool_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

tool_result run_tool(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, long max_file_size) {
  tool_result r{-1, ""};
  int fds[2];
  if (pipe(fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return r;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 1);
    close(fds[1]);
    if (chdir(cwd.c_str()) != 0) _exit(120);
    if (max_file_size > 0) {
      // Past the limit a write fails with EFBIG instead of the
      // process being killed.
      signal(SIGXFSZ, SIG_IGN);
      rlimit lim{static_cast<rlim_t>(max_file_size), static_cast<rlim_t>(max_file_size)};
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    execv(program.c_str(), argv.data());
    _exit(121);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    ADD_FAILURE() << "fork failed";
    return r;
  }
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) r.out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  return r;
}

temp_folder::temp_folder() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kvtools.XXXXXX";
  if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
  path_ = tmpl;
}

temp_folder::~temp_folder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(f.good()) << path;
}

std::string read_bytes(const std::string& path, bool* exists) {
  std::ifstream f(path, std::ios::binary);
  if (exists) *exists = f.is_open();
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  return std::filesystem::exists(path);
}
