// Without libFuzzer (the GCC builds), a fuzz target is a program that feeds it each file named on the
// command line, once, and the files of a named folder in the order of their names: it keeps the targets
// compiling and replays what a fuzzing run found. It says what it replayed, a line per input with its
// size and the count at the end. Named nothing, or a folder that holds no file, it fails rather than
// replay nothing: a check that checked nothing would pass unseen.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// Adds the inputs a name stands for: the file, or the regular files of the folder, sorted. Fails, saying
// why, when the folder cannot be read or holds no file.
bool collect(const fs::path& name, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (!fs::is_directory(name, error)) {
        inputs.push_back(name);
        return true;
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator entry(name, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file(error)) files.push_back(entry->path());
    }
    if (error) {
        std::fprintf(stderr, "cannot read the folder %s\n", name.c_str());
        return false;
    }
    if (files.empty()) {
        std::fprintf(stderr, "the folder %s holds no file to replay\n", name.c_str());
        return false;
    }
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = argc > 0 ? argv[0] : "fuzz target";
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...: replays each file, and each file of a folder\n", program);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], inputs)) return 1;
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        std::printf("replayed %s (%zu bytes)\n", input.c_str(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
