#ifndef MTX_IMPL_INTERNAL_ZYLSRVBANDSHARE_H
#define MTX_IMPL_INTERNAL_ZYLSRVBANDSHARE_H
// The products' side of the process group: which bands of a walk this
// process takes, and how results in memory come together afterwards. The
// serial library walks every band and accumulates as it goes; the MPI
// flavour gives each rank a contiguous share of the bands, sums per-band
// partials over a pairwise tree fixed by the band indices (so the bits do not
// depend on the rank count) and gathers rows that follow the bands. Each
// flavour links its own implementation (serial/, mpi/). In the MPI flavour
// every call here but ShareOfBands and LetGoOfSpareBands is collective: all
// ranks, same order, same arguments.
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/mem.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

namespace zyl_mtx {

// Bands first..end-1 of a walk of `count` bands.
struct BandShare {
    int first;
    int end;
    int count;
    bool Contains(int band) const { return band >= first && band < end; }
    bool IsWhole() const { return first == 0 && end == count; }
};

// The bands of a walk of bandCount bands that this process takes: all of
// them in the serial library; a balanced contiguous part per rank in the
// MPI flavour (rank r of P: bandCount r / P up to bandCount (r + 1) / P).
// Computed here alone, without a word to the other processes.
BandShare ShareOfBands(int bandCount);

// Runs this process's walk of a product, with the staging it allocates and
// the writes of its own bands: `walk` succeeds on every process, or every
// process raises the error of the lowest one that failed (the serial library
// just runs it). The MPI flavour first waits for every rank, so that what
// each wrote on its own before the product (SetValues and its kin) is in the
// file for the walk to read. What combines the processes' results
// (BandSum::Finish, GatherBandRows, SharedResultBands) comes after it, so no
// process waits there for one that failed.
void WalkCollectively(const std::function<void()>& walk);

// An array of `count` items for a result that a product combines: made on
// every process, or every process raises the failure (no process then waits
// for one that could not make it).
template <typename T>
mem_Array<T> ArrayOnEveryProcess(std::size_t count)
{
    mem_Array<T> array;
    ZylDorvProcessGroup::Collectively([&] { array = mem_Array<T>(count); });
    return array;
}

// Where a band's part of a sum is formed: `values` with leading dimension
// `ld`, by a product with this beta (0 overwrites, 1 accumulates).
struct BandTarget {
    double* values;
    int ld;
    double beta;
};

// A result in memory that sums one part per band: rows x columns values with
// leading dimension ld at `result`. Per band of the share, in band order and
// inside the walk: Target(band), form the part there with the target's beta,
// Add(band); then, after the walk, Finish() leaves the sum in `result` on
// every rank. The serial library forms every part straight in `result` (beta
// 0 for band 0, then 1): the plain accumulation. The MPI flavour forms each
// part alone and sums them over a binary tree on the band indices, node =
// left + right (a node without a right child is its left child), whichever
// rank holds them. A rank's first node lies in `result` itself, the others
// in buffers of their own: at most log2(bands of the share) + 1 of them,
// taken inside the walk, so that Finish allocates nothing, and kept after
// the sum for the next one of the same size (LetGoOfSpareBands).
class BandSum {
public:
    BandSum(double* result, int rows, int columns, int ld, int bandCount);
    ~BandSum();
    BandSum(const BandSum&) = delete;
    BandSum& operator=(const BandSum&) = delete;

    BandTarget Target(int band);
    void Add(int band);
    void Finish();

    struct State; // the flavour's own (the MPI tree's buffers)

private:
    double* m_result;
    int m_rows;
    int m_columns;
    int m_ld;
    int m_bandCount;
    State* m_state;
};

// Rows firstRow..endRow-1 (all columns) of `values` (leading dimension ld)
// are this process's; afterwards every process holds every process's rows.
// The ranks' row ranges follow their bands: contiguous, in rank order,
// together the rows of the result. Nothing to do in the serial library.
void GatherBandRows(double* values, std::int64_t ld, int columns, std::int64_t firstRow, std::int64_t endRow);

// Frees what band sums keep for the next one (the MPI flavour keeps the
// result-sized buffers of the last sum; the serial library keeps nothing).
// At the library's last shut-down.
void LetGoOfSpareBands();

// Returns once every process has come here (MPI: a barrier), so that a
// process may write what another process read before it came.
void AwaitBandWalks();

// Held by a product whose result lives in the database: when the product
// returns, the bands every rank wrote are in the file for every rank to read
// (MPI: the ranks wait for each other; the serial library returns at once).
// Not on an error's way out: a failed rank does not wait for the others.
class SharedResultBands {
public:
    SharedResultBands() noexcept : m_unwinding(std::uncaught_exceptions()) {}
    ~SharedResultBands()
    {
        if (std::uncaught_exceptions() == m_unwinding)
            ZylDorvProcessGroup::Synchronize();
    }
    SharedResultBands(const SharedResultBands&) = delete;
    SharedResultBands& operator=(const SharedResultBands&) = delete;

private:
    int m_unwinding;
};

} // namespace zyl_mtx

#endif
