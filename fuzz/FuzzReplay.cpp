// Runs a fuzz target over the inputs kept in its corpus folders, one file at
// a time, for builds without libFuzzer: `replay DIR...`. A target that finds
// a fault aborts, and so fails the replay.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  try {
    for (int i = 1; i < argc; ++i)
      for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
  } catch (const fs::filesystem_error& e) {
    std::cerr << "replay: " << e.what() << '\n';
    return 1;
  }
  if (inputs.empty()) {
    std::cerr << "replay: no inputs found\n";
    return 1;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      std::cerr << "replay: cannot read " << path << '\n';
      return 1;
    }
    std::cerr << "replay: " << path.filename().string() << '\n';
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::cout << inputs.size() << " passed, 0 failed\n";
  return 0;
}
