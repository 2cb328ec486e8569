#ifndef MTX_IMPL_INTERNAL_ZYLSRVDENSEPRODUCTBANDS_H
#define MTX_IMPL_INTERNAL_ZYLSRVDENSEPRODUCTBANDS_H
// How the dense matrix's products cut their operands into bands: the band
// height of the transposed products and their band loop, and the band sizes
// of the dense-by-dense product chosen from its memory budget.
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/impl/internal/ZylSrvBandShare.h>
#include <mtx/impl/internal/ZylSrvBlockGeometry.h>
#include <platform/dorv/ZylDorvReadAhead.h>
#include <platform/mem.h>

#include <cstddef>
#include <cstdint>

namespace zyl_mtx {

// Items in a rows x columns staging block, for mem_Array and offsets.
inline std::size_t Count(std::int64_t rows, std::int64_t columns) { return static_cast<std::size_t>(rows * columns); }

// The bands of a walk that this process takes (all of them when it is the
// only one).
inline Bands OwnBands(const Bands& bands)
{
    const BandShare share = ShareOfBands(bands.Count());
    return bands.Part(share.first, share.end);
}

// After a walk of own bands formed the rows they cover of `values` (leading
// dimension ld, `columns` columns), every process holds all the rows.
inline void GatherOwnRows(const Bands& own, double* values, std::int64_t ld, int columns)
{
    GatherBandRows(values, ld, columns, own.FirstMember(), own.EndMember());
}

// The band pipeline of the products that walk bands: band k is read, the
// reads of band k+1 are announced (the kernel brings them from the disk into
// its cache while band k is multiplied), then band k is multiplied. The
// reads, the products and their order are those of the plain loop, so the
// results are the same bits. A nested walk passes the outer walk's `ahead`;
// its owner finishes every announcement (hands it to the disk, not
// necessarily read) before it goes, on every path.
template <typename Read, typename Announce, typename Compute>
void PipelineBands(const Bands& bands, ZylDorvReadAhead& ahead, Read&& read, Announce&& announce, Compute&& compute)
{
    Bands::Iterator band = bands.begin();
    while (band != bands.end()) {
        const Band current = *band;
        read(current);
        if (++band != bands.end())
            announce(ahead, *band);
        compute(current);
    }
}

template <typename Read, typename Announce, typename Compute>
void PipelineBands(const Bands& bands, Read&& read, Announce&& announce, Compute&& compute)
{
    ZylDorvReadAhead ahead;
    PipelineBands(bands, ahead, read, announce, compute);
}

// The rows of a band of B for the read-ahead: an operand in memory needs none.
inline void ReadAheadRows(ZylDorvReadAhead&, const ZylSrvMatrix&, const Band&) {}
inline void ReadAheadRows(ZylDorvReadAhead& ahead, const ZylSrvDenseMatrix& b, const Band& band)
{
    b.ReadAhead(ahead, band.first, band.last, 0, b.NumberOfColumns() - 1);
}

// Row blocks per band of A^T B: as many as make a band of A about as large as
// one full-height column block of A (at least 1, at most all of them). bRows
// is the row count of B, width the widest staged band.
int TransposeBandHeight(const BlockGeometry& aRows, const BlockGeometry& aColumns, int bRows, int width);

// C = A^T B summed over bands of row blocks of A (aRows and aColumns its
// geometry; the bands as TransposeBandHeight makes them for `width`), each
// band's part formed where zyl_mtx::BandSum says (the serial library: C's
// first band overwriting and the others accumulating). B, in memory or in
// the database, gives the same rows of each band through its checked GetRows.
template <typename RowSource>
void TransposeProductInBands(const ZylSrvDenseMatrix& a, const BlockGeometry& aRows, const BlockGeometry& aColumns,
                             const RowSource& b, int width, ZylSrvMatrix& c, int symmetric)
{
    const int k = a.NumberOfColumns();
    const int bColumns = b.NumberOfColumns();
    const Bands all(aRows, TransposeBandHeight(aRows, aColumns, b.NumberOfRows(), width));
    const Bands bands = OwnBands(all);
    BandSum sum(c.Values(), k, bColumns, c.NumberOfRows(), all.Count());
    WalkCollectively([&] {
        const int largest = bands.Largest();
        mem_Array<double> aStaging(Count(largest, k));
        mem_Array<double> bStaging(Count(largest, bColumns));
        PipelineBands(
            bands,
            [&](const Band& band) {
                ZylSrvMatrix aBand(band.Size(), k, aStaging.Get());
                a.GetRows(band.first, band.last, aBand);
                ZylSrvMatrix bBand(band.Size(), bColumns, bStaging.Get());
                b.GetRows(band.first, band.last, bBand);
            },
            [&](ZylDorvReadAhead& ahead, const Band& next) {
                a.ReadAhead(ahead, next.first, next.last, 0, k - 1);
                ReadAheadRows(ahead, b, next);
            },
            [&](const Band& band) {
                const ZylSrvMatrix aBand(band.Size(), k, aStaging.Get());
                const ZylSrvMatrix bBand(band.Size(), bColumns, bStaging.Get());
                const BandTarget target = sum.Target(all.IndexOf(band));
                ZylSrvMatrix part(target.ld, bColumns, target.values);
                aBand.TransposeMultiply(bBand, part, symmetric, target.beta == 0.0 ? 0 : 1);
                sum.Add(all.IndexOf(band));
            });
    });
    sum.Finish();
    if (symmetric != 0)
        c.SetSymmetricResults();
}

// Blocks per band of C = A B with all three in the database: of A's rows, of
// A's columns (the depth) and of B's columns, from a budget of about
// n k + max(Pm k, m) values.
struct ProductBands {
    int rowBlocks;
    int depthBlocks;
    int columnBlocks;
};
ProductBands BudgetProductBands(const BlockGeometry& aRows, const BlockGeometry& aColumns,
                                const BlockGeometry& bColumns);

} // namespace zyl_mtx

#endif
