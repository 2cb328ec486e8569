#ifndef FUZZ_FUZZREADER_H
#define FUZZ_FUZZREADER_H
// The common part of the reader harnesses. The input becomes a file that is
// imported into a matrix already holding assembled content. A refusal must be
// 202 or the allocator's failure and leave the content, the sizes and the
// allocator's live blocks as they were; a success must give arrays that the
// operations can walk. Anything else aborts, which libFuzzer reports with the
// input that did it.
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/ZylBasException.h>
#include <platform/mem.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A single allocation above 64 MiB fails as on a machine short of memory: the
// text layouts take their dimensions from the largest index, so a few bytes
// may legitimately ask for gigabytes, and the refusal path is what is tested.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=64:allocator_may_return_null=1"; }

namespace zylfuzz {

inline void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "zylfuzz: %s\n", what);
        std::abort();
    }
}

// One file in memory for the life of the process: nothing lands on disk, and
// the readers open it by a path like any regular file.
struct MemoryFile {
    int fd = memfd_create("zylfuzz", MFD_CLOEXEC);
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    // An empty file of `size` bytes: a gap reads as zeros.
    void Reset(std::int64_t size) { Require(ftruncate(fd, 0) == 0 && ftruncate(fd, size) == 0, "ftruncate"); }
    void Put(const std::uint8_t* data, std::size_t size, std::int64_t at)
    {
        Require(pwrite(fd, data, size, at) == static_cast<ssize_t>(size), "pwrite");
    }
};
inline MemoryFile& File()
{
    static MemoryFile file;
    Require(file.fd >= 0, "memfd_create");
    return file;
}
inline const char* FileOf(const std::uint8_t* data, std::size_t size)
{
    File().Reset(static_cast<std::int64_t>(size));
    File().Put(data, size, 0);
    return File().path.c_str();
}

inline std::vector<ZylSrvSparseMatrixEntry> EntriesOf(const ZylSrvSparseMatrix& a)
{
    int count = 0;
    const mem_Unique<ZylSrvSparseMatrixEntry> e(a.GetEntries(count));
    return std::vector<ZylSrvSparseMatrixEntry>(e.get(), e.get() + count);
}

// GetEntries lists rows in the order of the row offsets (the symmetric form
// its diagonal first, then each stored value at both places).
inline void CheckImported(const ZylSrvSparseMatrix& a)
{
    const std::int64_t rows = a.NumberOfRows(), columns = a.NumberOfColumns(), nonzeros = a.NumberOfNonzeros();
    Require(rows >= 0 && columns >= 0 && nonzeros >= 0, "a negative size");
    const std::vector<ZylSrvSparseMatrixEntry> e = EntriesOf(a);
    const std::int64_t n = static_cast<std::int64_t>(e.size());
    const bool symmetric = n != nonzeros;
    Require(!symmetric || (rows == columns && n == 2 * nonzeros - rows), "entry count against numNonzeros");
    for (const ZylSrvSparseMatrixEntry& x : e)
        Require(x.row < rows && x.column < columns, "an entry outside the dimensions");
    const std::int64_t first = symmetric ? rows : 0, step = symmetric ? 2 : 1;
    for (std::int64_t k = first + step; k < n; k += step)
        Require(e[k].row >= e[k - step].row, "row offsets decrease");
    if (rows + columns <= (1 << 16)) {
        std::vector<double> x(rows + columns, 1.0), y(rows + columns);
        a.Multiply(x.data(), 1, y.data(), false);
        a.Multiply(x.data(), 1, y.data(), true);
    }
}

template <typename Import>
int Run(Import&& import)
{
    const long base = mem_LiveBlocks();
    {
        ZylSrvSparseMatrix a(3, 4);
        a.AddData(0, 1, 2.5);
        a.AddData(2, 3, -1.0);
        a.AddData(1, 0, 4.0);
        a.EndAssembly();
        const std::vector<ZylSrvSparseMatrixEntry> before = EntriesOf(a);
        const long live = mem_LiveBlocks();
        bool refused = false;
        try {
            import(a);
            CheckImported(a);
            if (std::getenv("ZYLFUZZ_SHOW") != nullptr)
                std::fprintf(stderr, "imported: %d x %d, %d nonzeros\n", a.NumberOfRows(), a.NumberOfColumns(),
                             a.NumberOfNonzeros());
        } catch (const ZylBasException& e) {
            const bool allowed = e.ErrorCode() == 202 || dynamic_cast<const mem_AllocationFailure*>(&e) != nullptr;
            Require(allowed, e.DeveloperReport().Chars());
            refused = true;
            static const bool show = std::getenv("ZYLFUZZ_SHOW") != nullptr; // why a seed is refused
            if (show)
                std::fprintf(stderr, "refused: %s\n", e.DeveloperReport().Chars());
        }
        if (refused) {
            const std::vector<ZylSrvSparseMatrixEntry> after = EntriesOf(a);
            Require(a.NumberOfRows() == 3 && a.NumberOfColumns() == 4 && a.NumberOfNonzeros() == 3 &&
                        after.size() == before.size() &&
                        std::memcmp(after.data(), before.data(), after.size() * sizeof after[0]) == 0,
                    "a refused import changed the matrix");
            Require(mem_LiveBlocks() == live, "a refused import left blocks allocated");
        }
    }
    Require(mem_LiveBlocks() == base, "blocks left after the matrix was destroyed");
    return 0;
}

} // namespace zylfuzz

#endif
