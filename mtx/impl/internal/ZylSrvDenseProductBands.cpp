#include <mtx/impl/internal/ZylSrvDenseProductBands.h>

#include <algorithm>
#include <cmath>

namespace zyl_mtx {

namespace {

// Blocks per band from a band length in members.
int BlocksPerBand(double length, const BlockGeometry& side)
{
    int count = 1;
    if (length > 1.0)
        count = static_cast<int>((static_cast<std::int64_t>(std::trunc(length)) + side.Largest() - 1) /
                                 side.Largest());
    return std::max(1, std::min(count, side.blocks));
}

} // namespace

int TransposeBandHeight(const BlockGeometry& aRows, const BlockGeometry& aColumns, int bRows, int width)
{
    const std::int64_t numerator = static_cast<std::int64_t>(aColumns.Largest()) * bRows;
    const std::int64_t denominator = static_cast<std::int64_t>(aRows.Largest()) * width;
    const std::int64_t q = denominator > 0 ? numerator / denominator : 1;
    return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(q, 1), std::max(aRows.blocks, 1)));
}

ProductBands BudgetProductBands(const BlockGeometry& aRows, const BlockGeometry& aColumns,
                                const BlockGeometry& bColumns)
{
    const double m = aRows.count;
    const double k = aColumns.count;
    const double n = bColumns.count;
    const double Pm = aRows.Largest();
    const double Pk = aColumns.Largest();

    const double budget = n * k + (Pm * k > m ? Pm * k : m);
    double bn = (budget - Pk * Pm) / (Pk + Pm);
    if (bn > n)
        bn = n;
    double bm = (budget - bn * Pk) / (bn + Pk);
    if (bm > m)
        bm = m;
    if (!(bm > 0.0))
        bm = Pm;
    double bk = (budget - bm * bn) / (bm + bn);
    if (bk > k)
        bk = k;
    if (!(bk > 0.0))
        bk = Pk;
    return {BlocksPerBand(bm, aRows), BlocksPerBand(bk, aColumns), BlocksPerBand(bn, bColumns)};
}

} // namespace zyl_mtx
