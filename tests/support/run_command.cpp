#include "testsupport/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace xplug::testing {

std::vector<std::string> emulatorFor(const std::string& program) {
  const char* emulator = std::getenv("XPLUG_TEST_EMULATOR");
  if (emulator == nullptr || *emulator == '\0') return {};
  std::array<char, 5> header{};
  std::ifstream file(program, std::ios::binary);
  constexpr char kElfMagic[] = {0x7F, 'E', 'L', 'F'};
  constexpr char kElfClass32 = 1;
  if (!file.read(header.data(), header.size()) || std::memcmp(header.data(), kElfMagic, 4) != 0 ||
      header[4] != kElfClass32) {
    return {};
  }
  std::vector<std::string> words;
  std::string word;
  for (const char* c = emulator;; ++c) {
    if (*c == '|' || *c == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*c == '\0') break;
    } else {
      word += *c;
    }
  }
  return words;
}

CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, const std::string& input) {
  CommandResult result;
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    return result;
  }
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<std::string> words = emulatorFor(program);
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    dup2(inPipe[0], STDIN_FILENO);
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  if (!input.empty()) {
    [[maybe_unused]] ssize_t written = write(inPipe[1], input.data(), input.size());
  }
  close(inPipe[1]);

  std::array<pollfd, 2> fds{pollfd{outPipe[0], POLLIN, 0}, pollfd{errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds.data(), fds.size(), -1) < 0) break;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace xplug::testing
