#include "Python.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <vector>

extern char** environ;

namespace quorhost {

std::string runPython(const std::string& script) {
  // What we printed so far comes before what the script prints.
  std::cout.flush();
  std::fflush(stdout);
  std::vector<char> program(std::begin("python3"), std::end("python3"));
  std::vector<char> flag(std::begin("-c"), std::end("-c"));
  std::vector<char> text(script.begin(), script.end());
  text.push_back('\0');
  char* argv[] = {program.data(), flag.data(), text.data(), nullptr};
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, "python3", nullptr, nullptr, argv, environ);
  if (started != 0) return std::string("cannot run python3: ") + std::strerror(started);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::string("cannot wait for python3: ") + std::strerror(errno);
  }
  if (WIFEXITED(status)) {
    if (WEXITSTATUS(status) == 0) return std::string();
    return "the Python script exited with status " + std::to_string(WEXITSTATUS(status));
  }
  if (WIFSIGNALED(status)) return "the Python script was killed by signal " + std::to_string(WTERMSIG(status));
  return "the Python script failed";
}

}  // namespace quorhost
