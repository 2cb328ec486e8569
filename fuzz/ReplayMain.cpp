// Replays inputs through a libFuzzer harness without libFuzzer: each file
// named on the command line (a folder stands for the files in it, in name
// order) is read whole and handed to the harness's entry function. The
// harness aborts on anything it does not accept, so a finished run means
// every input passed. The plain and sanitized builds run the committed
// corpora this way under ctest; the coverage-guided campaigns stay with the
// clang build (scripts/fuzz.sh).
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// Outside AddressSanitizer (whose options in the harness refuse single
// allocations above 64 MiB) a bound on the address space plays the machine
// short of memory: an input whose header asks for gigabytes meets the
// allocator's refusal instead of the kernel's overcommit.
void LimitAddressSpace()
{
#if !defined(__SANITIZE_ADDRESS__)
    const rlim_t limit = rlim_t{4} << 30;
    const rlimit bound{limit, limit};
    if (setrlimit(RLIMIT_AS, &bound) != 0)
        std::perror("fuzz replay: setrlimit");
#endif
}

std::vector<fs::path> InputsOf(const fs::path& argument)
{
    if (!fs::is_directory(argument))
        return {argument};
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

bool Replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "fuzz replay: cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "fuzz replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    LimitAddressSpace();
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i)
        for (const fs::path& file : InputsOf(argv[i])) {
            if (!Replay(file))
                return 1;
            ++replayed;
        }
    std::fprintf(stderr, "fuzz replay: %zu inputs passed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
