// Feeds every file of the given corpus folders (or single files) to the fuzz target once,
// so that a build without libFuzzer still checks the committed inputs. Exit status 0 when
// every input was run; a violated property aborts inside the target.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace
{
bool RunFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    // A copy of its own, so that a read past the end is not hidden by a larger buffer.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(root, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(root, ec))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.push_back(root);
        }
        // A fixed order, so that a failure names the same input on every run.
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            if (!RunFile(file))
                return 1;
            ++count;
        }
    }
    if (count == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::printf("%zu inputs replayed\n", count);
    return 0;
}
