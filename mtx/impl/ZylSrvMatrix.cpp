#include <mtx/ZylSrvMatrix.h>

#include <blac/blac.h>
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvGemm.h>
#include <platform/mem.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Raise sites here record this class's implementation file.
constexpr const char* kRaiseSource = zyl_mtx::kMatrixSource;

// ---- buffers --------------------------------------------------------------

// A buffer of `count` doubles from the foundation allocator. A count that is
// negative or does not fit a 32-bit int (an overflowed size product) asks for
// the largest possible size, which the allocator refuses.
mem_Array<double> NewDoubles(std::int64_t count)
{
    return mem_Array<double>(count < 0 || count > INT_MAX ? SIZE_MAX : static_cast<std::size_t>(count));
}

std::int64_t StoredCount(int dim1, int dim2, bool diagonal)
{
    return diagonal ? static_cast<std::int64_t>(dim1) : static_cast<std::int64_t>(dim1) * dim2;
}

// Copies n doubles; n may be zero, in which case the pointers are not used.
void CopyDoubles(double* to, const double* from, std::int64_t n)
{
    if (n > 0)
        std::memmove(to, from, static_cast<std::size_t>(n) * sizeof(double));
}

void FillDoubles(double* to, double value, std::int64_t n)
{
    for (std::int64_t k = 0; k < n; ++k)
        to[k] = value;
}

// The inclusive range lies inside a dim1 x dim2 matrix and is not empty.
bool RangeIsValid(int firstRow, int lastRow, int firstColumn, int lastColumn, int dim1, int dim2)
{
    return firstRow >= 0 && firstColumn >= 0 && lastRow < dim1 && lastColumn < dim2 &&
           lastRow >= firstRow && lastColumn >= firstColumn;
}

std::int64_t BlockCount(int firstRow, int lastRow, int firstColumn, int lastColumn)
{
    return (static_cast<std::int64_t>(lastColumn) - firstColumn + 1) *
           (static_cast<std::int64_t>(lastRow) - firstRow + 1);
}

} // namespace

// ---- construction ---------------------------------------------------------

ZylSrvMatrix::ZylSrvMatrix(int dim1, int dim2, double* values, bool symmetric, bool diagonal)
    : m_values(values),
      m_dim1(dim1),
      m_dim2(dim2),
      m_ownsValues(values == nullptr),
      m_symmetric(symmetric),
      m_diagonal(diagonal)
{
    if (values == nullptr)
        m_values = NewDoubles(StoredCount(dim1, dim2, diagonal)).Release();
}

ZylSrvMatrix::ZylSrvMatrix(const ZylSrvMatrix& other)
    : m_values(nullptr),
      m_dim1(other.m_dim1),
      m_dim2(other.m_dim2),
      m_ownsValues(true),
      m_symmetric(other.m_symmetric),
      m_diagonal(other.m_diagonal)
{
    mem_Array<double> buffer = NewDoubles(other.NumberOfStoredValues());
    // Same shape and storage kind: the stored values copy one to one, which
    // is what SetSlice(1.0, other, 0, 0) does for such a pair.
    CopyDoubles(buffer.Get(), other.m_values, other.NumberOfStoredValues());
    m_values = buffer.Release();
}

ZylSrvMatrix::~ZylSrvMatrix()
{
    if (m_ownsValues)
        mem_Free(m_values);
    m_values = nullptr;
}

std::int64_t ZylSrvMatrix::NumberOfStoredValues() const
{
    return StoredCount(m_dim1, m_dim2, m_diagonal);
}

// ---- assignment and comparison -------------------------------------------

ZylSrvMatrix& ZylSrvMatrix::operator=(const ZylSrvMatrix& other)
{
    if (&other == this)
        return *this;
    if (m_dim1 == other.m_dim1 && m_dim2 == other.m_dim2 && !(m_diagonal && !other.m_diagonal)) {
        if (m_diagonal == other.m_diagonal) {
            CopyDoubles(m_values, other.m_values, NumberOfStoredValues());
        } else {
            // A full matrix receiving a diagonal one: the diagonal with zeros
            // elsewhere.
            FillDoubles(m_values, 0.0, NumberOfStoredValues());
            const int order = std::min(m_dim1, m_dim2);
            for (int k = 0; k < order; ++k)
                m_values[k + static_cast<std::int64_t>(m_dim1) * k] = other.m_values[k];
        }
        return *this;
    }
    ZYL_SRV_MTX_REFUSE_IF(!m_ownsValues, "Assignment operator");
    // The new buffer is filled before the old one goes, so that a refused
    // allocation leaves this matrix as it was.
    mem_Array<double> buffer = NewDoubles(other.NumberOfStoredValues());
    CopyDoubles(buffer.Get(), other.m_values, other.NumberOfStoredValues());
    mem_Free(m_values);
    m_values = buffer.Release();
    m_dim1 = other.m_dim1;
    m_dim2 = other.m_dim2;
    m_symmetric = other.m_symmetric;
    m_diagonal = other.m_diagonal;
    return *this;
}

ZylSrvMatrix& ZylSrvMatrix::operator=(double value)
{
    FillDoubles(m_values, value, NumberOfStoredValues());
    return *this;
}

bool ZylSrvMatrix::operator==(const ZylSrvMatrix& other) const
{
    if (&other == this)
        return true;
    if (m_dim1 != other.m_dim1 || m_dim2 != other.m_dim2 || m_diagonal != other.m_diagonal)
        return false;
    const std::int64_t n = NumberOfStoredValues();
    for (std::int64_t i = 0; i < n; ++i) {
        if (!(m_values[i] == other.m_values[i])) {
            std::printf(" m_dim1= %d, m_dim2= %d", m_dim1, m_dim2);
            std::printf("i= %d ptr[i]= %f  rhsPtr[i]= %f", static_cast<int>(i), m_values[i],
                        other.m_values[i]);
            return false;
        }
    }
    return true;
}

// ---- element and range operations ------------------------------------------

void ZylSrvMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             const double* values)
{
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal || !RangeIsValid(firstRow, lastRow, firstColumn, lastColumn, m_dim1, m_dim2),
                          "SetValues");
    const std::int64_t h = static_cast<std::int64_t>(lastRow) - firstRow + 1;
    // Last column first, each column as one move: the block's destination
    // never lies before its source position, so even values taken from this
    // matrix's own buffer arrive intact.
    for (int c = lastColumn; c >= firstColumn; --c) {
        CopyDoubles(m_values + firstRow + static_cast<std::int64_t>(m_dim1) * c,
                    values + h * (c - firstColumn), h);
    }
}

void ZylSrvMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             const ZylSrvMatrix& source)
{
    ZYL_SRV_MTX_REFUSE_IF(BlockCount(firstRow, lastRow, firstColumn, lastColumn) >
                              static_cast<std::int64_t>(source.m_dim1) * source.m_dim2,
                          "SetValues");
    ZYL_SRV_MTX_REFUSE_IF(source.m_diagonal, "SetValues");
    SetValues(firstRow, lastRow, firstColumn, lastColumn, source.m_values);
}

void ZylSrvMatrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             ZylSrvMatrix& target) const
{
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal || !RangeIsValid(firstRow, lastRow, firstColumn, lastColumn, m_dim1, m_dim2),
                          "GetValues");
    ZYL_SRV_MTX_REFUSE_IF(BlockCount(firstRow, lastRow, firstColumn, lastColumn) >
                                  static_cast<std::int64_t>(target.m_dim1) * target.m_dim2 ||
                              target.m_diagonal,
                          "GetValues");
    const std::int64_t h = static_cast<std::int64_t>(lastRow) - firstRow + 1;
    // First column first: the packed destination never lies after its source
    // position, so a target sharing this buffer is safe.
    for (int c = firstColumn; c <= lastColumn; ++c) {
        CopyDoubles(target.m_values + h * (c - firstColumn),
                    m_values + firstRow + static_cast<std::int64_t>(m_dim1) * c, h);
    }
}

void ZylSrvMatrix::SetRows(int firstRow, int lastRow, ZylSrvMatrix& source)
{
    SetValues(firstRow, lastRow, 0, m_dim2 - 1, source);
}

void ZylSrvMatrix::GetRows(int firstRow, int lastRow, ZylSrvMatrix& target) const
{
    GetValues(firstRow, lastRow, 0, m_dim2 - 1, target);
}

namespace {

// Refuses, with `operation`'s name, a slice of `source` at (rowOffset,
// columnOffset) that `target` cannot take: a full source into a diagonal
// target, a non-square diagonal source, or a block that does not fit.
void RequireSliceFits(const char* operation, const ZylSrvMatrix& target, const ZylSrvMatrix& source, int rowOffset,
                      int columnOffset)
{
    const int sourceDim1 = source.NumberOfRows();
    const int sourceDim2 = source.NumberOfColumns();
    bool fits = !(target.IsDiagonal() && !source.IsDiagonal());
    fits = fits && !(source.IsDiagonal() && sourceDim1 != sourceDim2);
    fits = fits && rowOffset >= 0 && static_cast<std::int64_t>(rowOffset) + sourceDim1 <= target.NumberOfRows();
    // A diagonal into a diagonal is placed by the row offset alone.
    fits = fits && (target.IsDiagonal() || (columnOffset >= 0 && static_cast<std::int64_t>(columnOffset) + sourceDim2 <=
                                                                      target.NumberOfColumns()));
    ZYL_SRV_MTX_REFUSE_IF(!fits, operation);
}

// Calls apply(to, from, count) for each column of a full source and the
// segment of `target` (leading dimension ld) it lands on.
template <class Apply>
void ForEachSliceColumn(double* target, std::int64_t ld, const ZylSrvMatrix& source, int rowOffset, int columnOffset,
                        Apply apply)
{
    const int rows = source.NumberOfRows();
    for (int j = 0; j < source.NumberOfColumns(); ++j)
        apply(target + rowOffset + ld * (columnOffset + j), source.Values() + static_cast<std::int64_t>(rows) * j, rows);
}

} // namespace

void ZylSrvMatrix::SetSlice(double factor, const ZylSrvMatrix& source, int rowOffset, int columnOffset)
{
    RequireSliceFits("SetSlice", *this, source, rowOffset, columnOffset);
    const std::int64_t ld = m_dim1;
    if (!source.m_diagonal) {
        ForEachSliceColumn(m_values, ld, source, rowOffset, columnOffset, [factor](double* to, const double* from, int n) {
            for (int i = 0; i < n; ++i)
                to[i] = factor * from[i];
        });
    } else if (!m_diagonal) {
        for (int k = 0; k < source.m_dim2; ++k) {
            double* column = m_values + rowOffset + ld * (columnOffset + k);
            FillDoubles(column, 0.0, source.m_dim1);
            column[k] = factor * source.m_values[k];
        }
    } else {
        for (int k = 0; k < source.m_dim2; ++k)
            m_values[rowOffset + k] = factor * source.m_values[k];
    }
}

void ZylSrvMatrix::AddSlice(double factor, const ZylSrvMatrix& source, int rowOffset, int columnOffset)
{
    RequireSliceFits("AddSlice", *this, source, rowOffset, columnOffset);
    const std::int64_t ld = m_dim1;
    if (!source.m_diagonal) {
        ForEachSliceColumn(m_values, ld, source, rowOffset, columnOffset, [factor](double* to, const double* from, int n) {
            for (int i = 0; i < n; ++i)
                to[i] += factor * from[i];
        });
    } else if (!m_diagonal) {
        for (int k = 0; k < source.m_dim2; ++k)
            m_values[rowOffset + k + ld * (columnOffset + k)] += factor * source.m_values[k];
    } else {
        for (int k = 0; k < source.m_dim2; ++k)
            m_values[rowOffset + k] += factor * source.m_values[k];
    }
}

void ZylSrvMatrix::SetDiagonal(const double* values)
{
    if (m_diagonal) {
        CopyDoubles(m_values, values, m_dim1);
        return;
    }
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != m_dim2, "SetDiagonal");
    for (int i = 0; i < m_dim1; ++i)
        m_values[i + static_cast<std::int64_t>(m_dim1) * i] = values[i];
}

void ZylSrvMatrix::SetDiagonal(const ZylSrvMatrix& source)
{
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != m_dim2 || source.m_dim1 != source.m_dim2, "SetDiagonal");
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal && !source.m_diagonal, "SetDiagonal");
    ZYL_SRV_MTX_REFUSE_IF(source.m_dim1 != m_dim1, "SetDiagonal");
    if (source.m_diagonal) {
        SetDiagonal(source.m_values);
        return;
    }
    const std::int64_t ld = m_dim1;
    for (int i = 0; i < m_dim1; ++i)
        m_values[i + ld * i] = source.m_values[i + ld * i];
}

void ZylSrvMatrix::Transpose()
{
    if (m_diagonal || m_symmetric)
        return;
    const std::int64_t ld = m_dim1;
    if (m_dim1 == m_dim2) {
        for (int j = 0; j < m_dim2; ++j)
            for (int i = 0; i < j; ++i)
                std::swap(m_values[i + ld * j], m_values[j + ld * i]);
        return;
    }
    mem_Array<double> transposed = NewDoubles(NumberOfStoredValues());
    double* t = transposed.Get();
    const std::int64_t ldT = m_dim2;
    for (int j = 0; j < m_dim2; ++j)
        for (int i = 0; i < m_dim1; ++i)
            t[j + ldT * i] = m_values[i + ld * j];
    if (m_ownsValues) {
        mem_Free(m_values);
        m_values = transposed.Release();
    } else {
        CopyDoubles(m_values, t, NumberOfStoredValues());
    }
    std::swap(m_dim1, m_dim2);
}

void ZylSrvMatrix::SetSymmetricResults()
{
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal, "SetSymmetricResults");
    const std::int64_t ld = m_dim1;
    const int order = std::min(m_dim1, m_dim2);
    for (int j = 0; j < order; ++j) {
        for (int k = 0; k < j; ++k) {
            if (m_dim1 >= m_dim2)
                m_values[k + ld * j] = m_values[j + ld * k];
            else
                m_values[j + ld * k] = m_values[k + ld * j];
        }
    }
}

void ZylSrvMatrix::SetSkewSymmetricResults()
{
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal, "SetSkewSymmetricResults");
    const std::int64_t ld = m_dim1;
    const int order = std::min(m_dim1, m_dim2);
    for (int j = 0; j < order; ++j) {
        for (int k = 0; k < j; ++k) {
            if (m_dim1 >= m_dim2)
                m_values[k + ld * j] = -0.0 - m_values[j + ld * k];
            else
                m_values[j + ld * k] = -0.0 - m_values[k + ld * j];
        }
    }
}

bool ZylSrvMatrix::IsSymmetricNumerically() const
{
    if (m_diagonal)
        return true;
    if (m_dim1 != m_dim2)
        return false;
    const std::int64_t ld = m_dim1;
    for (int c = 0; c < m_dim2; ++c)
        for (int k = 0; k < c; ++k)
            if (!(m_values[c + ld * k] == m_values[k + ld * c]))
                return false;
    return true;
}

void ZylSrvMatrix::Interpolate(double t, const ZylSrvMatrix& a, const ZylSrvMatrix& b)
{
    ZYL_SRV_MTX_REFUSE_IF(a.m_dim1 != m_dim1 || a.m_dim2 != m_dim2 || b.m_dim1 != m_dim1 || b.m_dim2 != m_dim2,
                          "Interpolate");
    ZYL_SRV_MTX_REFUSE_IF(t < 0.0 || t > 1.0, "Interpolate");
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal || a.m_diagonal || b.m_diagonal, "Interpolate");
    const std::int64_t n = NumberOfStoredValues();
    for (std::int64_t k = 0; k < n; ++k)
        m_values[k] = (1.0 - t) * a.m_values[k] + t * b.m_values[k];
}

void ZylSrvMatrix::Multiply(double factor)
{
    const std::int64_t n = NumberOfStoredValues();
    for (std::int64_t k = 0; k < n; ++k)
        m_values[k] *= factor;
}

// ---- sums and products -----------------------------------------------------

namespace {

const char kNoTranspose = 'N';
const char kTranspose = 'T';
const char kLower = 'L';
const char kVectors = 'V';
const double kOne = 1.0;
const double kZero = 0.0;

} // namespace

ZylSrvMatrix& ZylSrvMatrix::operator+=(const ZylSrvMatrix& other)
{
    ZYL_SRV_MTX_REFUSE_IF(&other == this, "+=");
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != other.m_dim1 || m_dim2 != other.m_dim2 || (m_diagonal && !other.m_diagonal), "+=");
    if (m_diagonal == other.m_diagonal) {
        const std::int64_t n = NumberOfStoredValues();
        for (std::int64_t k = 0; k < n; ++k)
            m_values[k] += other.m_values[k];
    } else {
        const std::int64_t ld = m_dim1;
        const int order = std::min(m_dim1, m_dim2);
        for (int k = 0; k < order; ++k)
            m_values[k + ld * k] += other.m_values[k];
    }
    return *this;
}

void ZylSrvMatrix::Add(double factor, const ZylSrvMatrix& other)
{
    if (factor == 0.0)
        return;
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != other.m_dim1 || m_dim2 != other.m_dim2 || (m_diagonal && !other.m_diagonal), "Add");
    if (m_diagonal == other.m_diagonal) {
        const std::int64_t n = NumberOfStoredValues();
        if (factor == 1.0) {
            for (std::int64_t k = 0; k < n; ++k)
                m_values[k] += other.m_values[k];
        } else if (factor == -1.0) {
            for (std::int64_t k = 0; k < n; ++k)
                m_values[k] -= other.m_values[k];
        } else {
            for (std::int64_t k = 0; k < n; ++k)
                m_values[k] += factor * other.m_values[k];
        }
    } else {
        const std::int64_t ld = m_dim1;
        const int order = std::min(m_dim1, m_dim2);
        for (int k = 0; k < order; ++k)
            m_values[k + ld * k] += factor * other.m_values[k];
    }
}

ZylSrvMatrix& ZylSrvMatrix::operator*=(const ZylSrvMatrix& other)
{
    ZYL_SRV_MTX_REFUSE_IF(&other == this, "*=");
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != other.m_dim2, "*=");
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal && !other.m_diagonal, "*=");
    const std::int64_t ld = m_dim1;

    if (m_diagonal) { // both diagonal
        for (int k = 0; k < m_dim1; ++k)
            m_values[k] *= other.m_values[k];
        return *this;
    }
    if (m_dim1 == m_dim2 && other.m_diagonal) { // columns scaled: this * other
        for (int j = 0; j < m_dim2; ++j) {
            const double d = other.m_values[j];
            double* column = m_values + ld * j;
            for (int i = 0; i < m_dim1; ++i)
                column[i] *= d;
        }
        return *this;
    }
    if (m_dim2 == 1) { // a column: other * this
        if (other.m_diagonal) {
            for (int i = 0; i < m_dim1; ++i)
                m_values[i] *= other.m_values[i];
            return *this;
        }
        ZYL_SRV_MTX_REFUSE_IF(other.m_dim1 != other.m_dim2, "Multiply");
        if (m_dim1 == 0)
            return *this;
        const mem_Array<double> column = NewDoubles(m_dim1);
        CopyDoubles(column.Get(), m_values, m_dim1);
        const int m = other.m_dim1;
        const int n = other.m_dim2;
        const int lda = m_dim1;
        const int step = 1;
        BLAC_DGEMV(&kNoTranspose, &m, &n, &kOne, other.m_values, &lda, column.Get(), &step, &kZero,
                   m_values, &step);
        return *this;
    }
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != m_dim2 || other.m_dim1 != m_dim1, "Multiply");
    const int n = m_dim1;
    const mem_Array<double> copy = NewDoubles(NumberOfStoredValues());
    CopyDoubles(copy.Get(), m_values, NumberOfStoredValues());
    zyl_mtx::Gemm('N', 'N', n, n, n, 1.0, copy.Get(), n, other.m_values, n, 0.0, m_values, n);
    return *this;
}

void ZylSrvMatrix::Add(double factor, const ZylSrvDenseMatrix& dense)
{
    if (factor == 0.0)
        return;
    // A dense matrix that does not fit is refused before the first block
    // lands, so that no partial sum is left behind. A diagonal target is
    // refused by AddSlice at the first block, before anything is added.
    ZYL_SRV_MTX_REFUSE_IF(dense.NumberOfRows() > m_dim1 || dense.NumberOfColumns() > m_dim2, "Add");
    const mem_Array<double> buffer =
        NewDoubles(static_cast<std::int64_t>(dense.MaxNumberOfRowsInBlock()) * dense.MaxNumberOfColumnsInBlock());
    for (int cb = 0; cb < dense.NumberOfColumnBlocks(); ++cb) {
        const int width = dense.NumberOfColumnsInBlock(cb);
        const int c0 = dense.FirstColumnInBlock(cb);
        const int lastRowBlock = m_symmetric ? std::min(cb, dense.NumberOfRowBlocks() - 1) : dense.NumberOfRowBlocks() - 1;
        for (int rb = 0; rb <= lastRowBlock; ++rb) {
            const int height = dense.NumberOfRowsInBlock(rb);
            const int r0 = dense.FirstRowInBlock(rb);
            ZylSrvMatrix block(height, width, buffer.Get(), false, false);
            dense.GetValues(r0, r0 + height - 1, c0, c0 + width - 1, block);
            AddSlice(factor, block, r0, c0);
        }
    }
    if (m_symmetric)
        MirrorUpperTriangleDown();
}

void ZylSrvMatrix::MirrorUpperTriangleDown()
{
    const std::int64_t ld = m_dim1;
    const int order = std::min(m_dim1, m_dim2);
    for (int j = 0; j < order; ++j)
        for (int k = j + 1; k < order; ++k)
            m_values[k + ld * j] = m_values[j + ld * k];
}

void ZylSrvMatrix::Multiply(const ZylSrvMatrix& a, const ZylSrvMatrix& b)
{
    ZYL_SRV_MTX_REFUSE_IF(a.m_dim2 != b.m_dim1, "Multiply");
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != a.m_dim1 || m_dim2 != b.m_dim2, "Multiply");
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal && (!a.m_diagonal || !b.m_diagonal), "Multiply");
    const std::int64_t ld = m_dim1;

    if (a.m_diagonal && b.m_diagonal) {
        int order = std::min(a.m_dim1, b.m_dim1);
        if (!m_diagonal) {
            FillDoubles(m_values, 0.0, NumberOfStoredValues());
            order = std::min(order, m_dim2);
        }
        const std::int64_t step = m_diagonal ? 1 : ld + 1;
        for (int k = 0; k < order; ++k)
            m_values[step * k] = b.m_values[k] * a.m_values[k];
        return;
    }
    if (!a.m_diagonal && !b.m_diagonal) {
        // BLAS cannot write a product over one of its operands.
        ZYL_SRV_MTX_REFUSE_IF(m_values == a.m_values || m_values == b.m_values, "Multiply");
        zyl_mtx::Gemm('N', 'N', m_dim1, m_dim2, a.m_dim2, 1.0, a.m_values, a.m_dim1, b.m_values, b.m_dim1, 0.0,
                      m_values, m_dim1);
        return;
    }
    if (b.m_diagonal) { // a full: column j of a scaled by b's value j
        const std::int64_t lda = a.m_dim1;
        for (int j = 0; j < m_dim2; ++j) {
            const double d = b.m_values[j];
            for (int i = 0; i < m_dim1; ++i)
                m_values[i + ld * j] = a.m_values[i + lda * j] * d;
        }
        return;
    }
    // a diagonal, b full: row i of b scaled by a's value i
    const std::int64_t ldb = b.m_dim1;
    for (int j = 0; j < m_dim2; ++j)
        for (int i = 0; i < m_dim1; ++i)
            m_values[i + ld * j] = b.m_values[i + ldb * j] * a.m_values[i];
}

void ZylSrvMatrix::Multiply(const ZylSrvMatrix& b, ZylSrvMatrix& result, int /*unused*/,
                            int accumulate) const
{
    zyl_mtx::Gemm('N', 'N', m_dim1, b.m_dim2, b.m_dim1, 1.0, m_values, m_dim1, b.m_values, b.m_dim1,
                  accumulate != 0 ? 1.0 : 0.0, result.m_values, result.m_dim1);
}

void ZylSrvMatrix::TransposeMultiply(const ZylSrvMatrix& b, ZylSrvMatrix& result, int symmetric,
                                     int accumulate) const
{
    const int nA = m_dim2;
    const int nB = b.m_dim2;
    const int k = b.m_dim1;
    const int ldc = result.m_dim1;
    const double beta = accumulate != 0 ? 1.0 : 0.0;
    if (symmetric == 0) {
        zyl_mtx::Gemm('T', 'N', nA, nB, k, 1.0, m_values, k, b.m_values, k, beta, result.m_values, ldc);
        return;
    }
    // Blocks of 144 columns, the last holding the remainder. Only the block
    // triangle that a symmetric result needs is computed: on and below the
    // block diagonal, block column by block column, when this matrix has at
    // least as many columns as b; on and above it, block row by block row,
    // otherwise.
    const int blockSize = 144;
    const int blocksA = (nA + blockSize - 1) / blockSize;
    const int blocksB = (nB + blockSize - 1) / blockSize;
    const std::int64_t ldk = k;
    auto block = [&](int i, int j) {
        const int firstA = blockSize * i;
        const int firstB = blockSize * j;
        const int height = std::min(blockSize, nA - firstA);
        const int width = std::min(blockSize, nB - firstB);
        double* c = result.m_values + firstA + static_cast<std::int64_t>(nA) * firstB;
        zyl_mtx::Gemm('T', 'N', height, width, k, 1.0, m_values + ldk * firstA, k, b.m_values + ldk * firstB, k,
                      beta, c, ldc);
    };
    if (nA >= nB) {
        for (int j = 0; j < blocksB; ++j)
            for (int i = j; i < blocksA; ++i)
                block(i, j);
    } else {
        for (int i = 0; i < blocksA; ++i)
            for (int j = i; j < blocksB; ++j)
                block(i, j);
    }
}

void ZylSrvMatrix::SymmetricMultiply(const ZylSrvMatrix& a, const ZylSrvMatrix& b)
{
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != m_dim2 || m_dim1 != a.m_dim2 || b.m_dim1 != a.m_dim2, "SymmetricMultiply");
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != a.m_dim1 || m_dim2 != b.m_dim2, "SymmetricMultiply");
    ZYL_SRV_MTX_REFUSE_IF(m_diagonal || a.m_diagonal || b.m_diagonal, "SymmetricMultiply");
    // This matrix is cleared before the products read a and b.
    ZYL_SRV_MTX_REFUSE_IF(m_values == a.m_values || m_values == b.m_values, "SymmetricMultiply");
    const int n = m_dim1;
    FillDoubles(m_values, 0.0, NumberOfStoredValues());
    // Blocks of 128; the first block holds the remainder.
    const int blockSize = 128;
    const int blocks = (n + blockSize - 1) / blockSize;
    const int first = n % blockSize == 0 ? blockSize : n % blockSize;
    auto start = [&](int block) { return block == 0 ? 0 : first + blockSize * (block - 1); };
    auto size = [&](int block) { return block == 0 ? first : blockSize; };
    const std::int64_t ld = n;
    for (int i = 0; i < blocks; ++i)
        for (int j = 0; j <= i; ++j)
            for (int l = 0; l < blocks; ++l)
                zyl_mtx::Gemm('N', 'N', size(i), size(j), size(l), 1.0, a.m_values + start(i) + ld * start(l), n,
                              b.m_values + start(l) + ld * start(j), n, 1.0, m_values + start(i) + ld * start(j), n);
}

// ---- factorization, solve and eigenproblem ----------------------------------

void ZylSrvMatrix::Factorize(int* pivots)
{
    if (m_diagonal) {
        for (int k = 0; k < m_dim1; ++k) {
            if (m_values[k] == 0.0) {
                zyl_mtx::Raise<ZylSrvMtxDivByZero>(kRaiseSource, __LINE__);
            }
            m_values[k] = 1.0 / m_values[k];
        }
        return;
    }
    ZYL_SRV_MTX_REFUSE_IF(m_symmetric && m_dim1 != m_dim2, "Factorize");
    // Empty matrices go to LAPACK as well: a matrix without rows has a
    // leading dimension of 0, which LAPACK refuses (INFO -4, raised below);
    // one with rows but no columns is a quick return there.
    int info = 0;
    const int n = m_dim1;
    if (m_symmetric) {
        const std::int64_t workCount = static_cast<std::int64_t>(n) * n;
        const mem_Array<double> work = NewDoubles(workCount);
        const int lwork = static_cast<int>(workCount); // fits: a larger count was refused above
        BLAC_DSYTRF(&kLower, &n, m_values, &n, pivots, work.Get(), &lwork, &info);
    } else {
        const int columns = m_dim2;
        BLAC_DGETRF(&n, &columns, m_values, &n, pivots, &info);
    }
    // A positive INFO (an exactly zero pivot) is not reported.
    ZYL_SRV_MTX_REFUSE_IF(info < 0, "Factorize");
}

void ZylSrvMatrix::ForwardBackwardPass(const int* pivots, ZylSrvMatrix& rhs, bool transpose) const
{
    ZYL_SRV_MTX_REFUSE_IF(m_dim1 != m_dim2 || rhs.m_dim1 != m_dim1 || rhs.m_diagonal, "ForwardBackwardPass");
    const int n = m_dim1;
    const int nrhs = rhs.m_dim2;
    if (m_diagonal) { // the factors are the reciprocals
        ZYL_SRV_MTX_REFUSE_IF(nrhs < 0, "ForwardBackwardPass"); // what DGETRS would refuse, refused here too
        const std::int64_t ld = n;
        for (int j = 0; j < nrhs; ++j)
            for (int i = 0; i < n; ++i)
                rhs.m_values[i + ld * j] *= m_values[i];
        return;
    }
    // No right-hand side: nothing to solve. Everything else, a negative
    // column count of rhs and an empty matrix included, goes to LAPACK, whose
    // refusal (a negative INFO) is raised below.
    if (nrhs == 0)
        return;
    int info = 0;
    if (m_symmetric)
        BLAC_DSYTRS(&kLower, &n, &nrhs, m_values, &n, pivots, rhs.m_values, &n, &info);
    else
        BLAC_DGETRS(transpose ? &kTranspose : &kNoTranspose, &n, &nrhs, m_values, &n, pivots,
                    rhs.m_values, &n, &info);
    ZYL_SRV_MTX_REFUSE_IF(info < 0, "ForwardBackwardPass");
}

void ZylSrvMatrix::PermuteRowsInPlace(const int* permutation, int length)
{
    ZYL_SRV_MTX_REFUSE_IF(length != m_dim1 || m_diagonal, "PermuteRowsInPlace");
    const mem_Array<double> column = NewDoubles(m_dim1);
    double* temporary = column.Get();
    const std::int64_t ld = m_dim1;
    for (int j = 0; j < m_dim2; ++j) {
        double* values = m_values + ld * j;
        CopyDoubles(temporary, values, m_dim1);
        for (int i = 0; i < m_dim1; ++i) {
            const int target = permutation[i];
            if (target < 0 || target >= m_dim1) {
                zyl_mtx::Raise<ZylSrvMtxIllegalPermVect>(kRaiseSource, __LINE__);
            }
            values[target] = temporary[i];
        }
    }
}

namespace {

// LAPACK's INFO from DSYGV of order n, as an error of the family.
void ReportEigenproblemInfo(int info, int n)
{
    if (info == 0)
        return;
    if (info < 0)
        zyl_mtx::Raise<ZylSrvMtxSolveIllegalArg>(kRaiseSource, __LINE__, -info);
    if (info <= n)
        zyl_mtx::Raise<ZylSrvMtxSolveNotConverge>(kRaiseSource, __LINE__);
    zyl_mtx::Raise<ZylSrvMtxSolveNotPositive>(kRaiseSource, __LINE__); // the leading minor of order info - n of B
}

} // namespace

void ZylSrvMatrix::SolveEigenproblemSymmetric(const ZylSrvMatrix& b, ZylSrvMatrix& eigenvalues,
                                              ZylSrvMatrix& eigenvectors)
{
    const int n = m_dim1;
    ZYL_SRV_MTX_REFUSE_IF(n < 1 || m_dim2 != n || b.m_dim1 != n || eigenvalues.m_dim1 != n ||
                              eigenvectors.m_dim1 != n || b.m_dim2 != n || eigenvectors.m_dim2 != n,
                          "SolveEigenproblemSymmetric");
    ZYL_SRV_MTX_REFUSE_IF(eigenvectors.m_diagonal || eigenvalues.NumberOfStoredValues() < n,
                          "SolveEigenproblemSymmetric");
    ZYL_SRV_MTX_REFUSE_IF(!IsSymmetricNumerically() || !b.IsSymmetricNumerically(), "SolveEigenproblemSymmetric");

    const int blockSizeQuery = 1;
    const int unused = -1;
    const int nb = BLAC_ILAENV(&blockSizeQuery, "DSYTRD", "L", &n, &unused, &unused, &unused, 6, 1);
    std::int64_t workCount = (static_cast<std::int64_t>(nb) + 2) * n;
    workCount = std::max(workCount, 3 * static_cast<std::int64_t>(n) - 1);

    // Work space first, so that a refused allocation changes nothing.
    ZylSrvMatrix bCopy(n, n, nullptr, false, false);
    const mem_Array<double> work = NewDoubles(workCount);
    const int lwork = static_cast<int>(workCount); // fits: a larger count was refused above

    // B is read before eigenvectors is written, so the two may share storage.
    if (b.m_diagonal) {
        bCopy = 0.0;
        bCopy.SetDiagonal(b);
    } else {
        b.GetRows(0, n - 1, bCopy);
    }
    if (m_diagonal) {
        eigenvectors = 0.0;
        eigenvectors.SetDiagonal(*this);
    } else {
        GetRows(0, n - 1, eigenvectors);
    }

    const int itype = 1;
    int info = 0;
    BLAC_DSYGV(&itype, &kVectors, &kLower, &n, eigenvectors.m_values, &n, bCopy.m_values, &n,
               eigenvalues.m_values, work.Get(), &lwork, &info);
    ReportEigenproblemInfo(info, n);
}
