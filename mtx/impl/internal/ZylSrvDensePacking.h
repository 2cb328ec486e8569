#ifndef MTX_IMPL_INTERNAL_ZYLSRVDENSEPACKING_H
#define MTX_IMPL_INTERNAL_ZYLSRVDENSEPACKING_H
// The packed triangles of an n x n column-major array, n(n+1)/2 values each,
// column by column: (0, j) .. (j, j) for j = 0 .. n-1.
namespace zyl_mtx {

// The upper triangle as it stands.
void PackUpper(const double* values, int n, double* out);
// The upper triangle of the symmetric part: off the diagonal the mean of
// (i, j) and (j, i).
void PackSymmetricPart(const double* values, int n, double* out);

} // namespace zyl_mtx

#endif
