#include "ProgramFolder.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || self.empty()) {
    return "./";
  }
  std::string folder = self.parent_path().string();
  if (folder.empty() || folder.back() != '/') {
    folder += '/';
  }
  return folder;
}
