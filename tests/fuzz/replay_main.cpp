// Replays every file of the corpus folders given on the command line through the fuzz entry
// point once, so every input that ever crashed a parser keeps being checked by the normal build.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::filesystem::is_directory(argv[i])) {
      std::fprintf(stderr, "not a corpus folder: %s\n", argv[i]);
      return 2;
    }
    for (const auto& input : InputsIn(argv[i])) {
      std::fprintf(stderr, "replaying %s\n", input.c_str());
      std::vector<uint8_t> bytes = ReadBytes(input);
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++replayed;
    }
  }
  if (replayed == 0) {
    std::fprintf(stderr, "no input replayed\n");
    return 1;
  }
  std::fprintf(stderr, "%zu inputs replayed without a crash\n", replayed);
  return 0;
}
