// Runs a fuzz target over saved inputs without libFuzzer, so that kept crashes and the seed
// corpus are replayed by every build, whatever its compiler. Arguments are files or folders
// (read recursively, in name order); a broken property aborts the process, and a missing
// or empty argument fails it, so a wrong path cannot pass as a clean run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/fuzzTarget.h"

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

std::vector<fs::path> InputsOf(const fs::path& argument) {
  std::vector<fs::path> files;
  std::error_code error;
  if (!fs::is_directory(argument, error)) {
    files.push_back(argument);
    return files;
  }
  for (const auto& entry : fs::recursive_directory_iterator(argument, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    const std::vector<fs::path> files = InputsOf(argv[i]);
    if (files.empty()) {
      std::fprintf(stderr, "no inputs in %s\n", argv[i]);
      return 1;
    }
    for (const fs::path& file : files) {
      if (!Replay(file)) return 1;
    }
    std::printf("%s: %zu inputs replayed\n", argv[i], files.size());
  }
  return 0;
}
