#ifndef MTX_IMPL_INTERNAL_ZYLSRVDENSEPRODUCTBANDS_H
#define MTX_IMPL_INTERNAL_ZYLSRVDENSEPRODUCTBANDS_H
// How the dense matrix's products cut their operands into bands: the band
// height of the transposed products and their band loop, and the band sizes
// of the dense-by-dense product chosen from its memory budget.
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/impl/internal/ZylSrvBlockGeometry.h>
#include <platform/mem.h>

#include <cstddef>
#include <cstdint>

namespace zyl_mtx {

// Items in a rows x columns staging block, for mem_Array and offsets.
inline std::size_t Count(std::int64_t rows, std::int64_t columns) { return static_cast<std::size_t>(rows * columns); }

// Row blocks per band of A^T B: as many as make a band of A about as large as
// one full-height column block of A (at least 1, at most all of them). bRows
// is the row count of B, width the widest staged band.
int TransposeBandHeight(const BlockGeometry& aRows, const BlockGeometry& aColumns, int bRows, int width);

// C = A^T B summed over bands of perBand row blocks of A (aRows its row
// geometry), C's first band overwriting and the others accumulating. The rows
// of B for a band come from fetchB(band, staging), which fills the staging
// and returns it.
template <typename FetchB>
void TransposeProductInBands(const ZylSrvDenseMatrix& a, const BlockGeometry& aRows, int perBand, int bColumns,
                             ZylSrvMatrix& c, int symmetric, FetchB fetchB)
{
    const int k = a.NumberOfColumns();
    const Bands bands(aRows, perBand);
    const int largest = bands.Largest();
    mem_Array<double> aStaging(Count(largest, k));
    mem_Array<double> bStaging(Count(largest, bColumns));
    for (const Band& band : bands) {
        ZylSrvMatrix aBand(band.Size(), k, aStaging.Get());
        a.GetRows(band.first, band.last, aBand);
        ZylSrvMatrix bBand(band.Size(), bColumns, bStaging.Get());
        aBand.TransposeMultiply(fetchB(band, bBand), c, symmetric, band.firstBlock == 0 ? 0 : 1);
    }
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
