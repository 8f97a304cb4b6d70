// Runs the corvella program as a process and captures what it prints.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

extern char** environ;

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs corvella with `arguments`; in `folder` when it is given, else in the test's own folder.
inline Outcome RunCorvella(const std::vector<std::string>& arguments,
                           const std::string& folder = "") {
  TempDir capture;
  const std::string outPath = capture.File("out"), errPath = capture.File("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> words = {CORVELLA_EXE};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  Outcome outcome;
  pid_t pid;
  const int spawned = posix_spawn(&pid, CORVELLA_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << CORVELLA_EXE;
    return outcome;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.out = ReadFile(outPath);
  outcome.err = ReadFile(errPath);
  return outcome;
}

}  // namespace
