#ifndef MTX_IMPL_ZYLSRVSPARSEIMEXPORTER_H
#define MTX_IMPL_ZYLSRVSPARSEIMEXPORTER_H
// ZylSrvSparseImExPorter: moves a sparse matrix to and from files (format
// codes 0 to 7, Matrix Market) and database drawers. Stateless: each Import
// and Export member of ZylSrvSparseMatrix makes one on the stack and calls it.
//
// Imports read into new arrays and replace the matrix's only when the whole
// input was read and found sound, so a refused import (unsupported code,
// file that does not open, malformed file, failed allocation, database
// error) leaves the matrix exactly as it was. A successful one leaves it
// assembled; the pending triplets and, except for the database import, the
// CSet IDs are not touched. Exports never change the matrix.
//
// Layouts and their checks: internal/ZylSrvSparseBinary.h (codes 0, 1, 6, 7),
// internal/ZylSrvSparseText.h (codes 2 to 5, Matrix Market).
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/dorv/ZylDorvIDs.h>

class ZylSrvSystemDofDefinition;

namespace zyl_mtx {
struct ReadArrays;
struct SparseArrays;
struct TextTriplets;
} // namespace zyl_mtx

class ZylSrvSparseImExPorter {
public:
    // Errors: 210 for a code without a reader; 202 for a file that does not
    // open or is malformed.
    void Import(ZylSrvSparseMatrix& matrix, const char* path, int format) const;
    // The first drawer of the distribution, sparse or sparse-symmetric; 206
    // ("Import") when there is none, it is not sparse, or what it holds is not
    // compressed rows of its dimensions. Database errors pass through.
    void Import(ZylSrvSparseMatrix& matrix, ZylDorvDistributionID distribution) const;
    // keepSymmetric: symmetric and hermitian files in the symmetric form.
    void ImportMatrixMarket(ZylSrvSparseMatrix& matrix, const char* path, bool keepSymmetric) const;

    // Errors: 207 for a code without a writer; 209 for code 6 of a matrix not
    // in the symmetric form and 206 ("Export") for code 4 without dofs, both
    // before any file is made; 206 ("Export") for a matrix whose assembly is
    // open; 202 when the file cannot be created, 208 when a write fails.
    void Export(const ZylSrvSparseMatrix& matrix, const char* path, int format,
                const ZylSrvSystemDofDefinition* dofs) const;
    // A new drawer of the distribution; database errors pass through.
    void Export(const ZylSrvSparseMatrix& matrix, ZylDorvCSetID rows, ZylDorvCSetID columns,
                ZylDorvDistributionID distribution) const;
    void ExportMatrixMarket(const ZylSrvSparseMatrix& matrix, const char* path) const;

private:
    static void Install(ZylSrvSparseMatrix& matrix, zyl_mtx::ReadArrays& arrays, int symmetry) noexcept;
    static void Install(ZylSrvSparseMatrix& matrix, zyl_mtx::TextTriplets& triplets);
    static zyl_mtx::SparseArrays ArraysOf(const ZylSrvSparseMatrix& matrix);
};

#endif
