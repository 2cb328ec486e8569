#ifndef PLATFORM_DORV_ZYLDORVTYPES_H
#define PLATFORM_DORV_ZYLDORVTYPES_H
/// \file
/// \ingroup database
/// Value types that describe distributions: the range type of the values, an
/// initialization value, the grid of axes and the serialization of a drawer.
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

#include <cstdint>
#include <initializer_list>

/// Type key of the values of a distribution: 1 = 32-bit integers, 2 = doubles.
enum class ZylDorvTypeKey : int { Int32 = 1, Double = 2 };

/// \ingroup database
/// The type of the values of a distribution.
class ZYL_EXPORT ZylDorvRangeType {
public:
    /// A key other than 1 or 2 is accepted here and refused (error 41) where a
    /// distribution is created with it.
    explicit ZylDorvRangeType(ZylDorvTypeKey key = ZylDorvTypeKey::Double) noexcept : m_key(key) {}
    /// The type key.
    ZylDorvTypeKey Key() const noexcept { return m_key; }
    /// 4 for integers, 8 for doubles, 0 for an unknown key.
    int ItemBytes() const noexcept;
    ///@{
    /// Compared by key.
    friend bool operator==(ZylDorvRangeType a, ZylDorvRangeType b) noexcept { return a.m_key == b.m_key; }
    friend bool operator!=(ZylDorvRangeType a, ZylDorvRangeType b) noexcept { return a.m_key != b.m_key; }
    ///@}

private:
    ZylDorvTypeKey m_key;
};

/// \ingroup database
/// One value with its type key, e.g.\ ZylDorvRangeValue(0.0) has key 2.
class ZYL_EXPORT ZylDorvRangeValue {
public:
    /// The double 0.0.
    ZylDorvRangeValue() noexcept : m_key(ZylDorvTypeKey::Double) {}
    /// A double value (key 2).
    explicit ZylDorvRangeValue(double value) noexcept : m_key(ZylDorvTypeKey::Double) { m_value.d = value; }
    /// An integer value (key 1).
    explicit ZylDorvRangeValue(std::int32_t value) noexcept : m_key(ZylDorvTypeKey::Int32) { m_value.i = value; }
    /// The type key.
    ZylDorvTypeKey Key() const noexcept { return m_key; }
    /// The value as a double (an integer converted).
    double AsDouble() const noexcept { return m_key == ZylDorvTypeKey::Double ? m_value.d : m_value.i; }
    /// The value as an integer (a double truncated).
    std::int32_t AsInt() const noexcept { return m_key == ZylDorvTypeKey::Int32 ? m_value.i : static_cast<std::int32_t>(m_value.d); }

private:
    ZylDorvTypeKey m_key;
    union {
        double d;
        std::int32_t i;
    } m_value{0.0};
};

/// \ingroup database
/// The axes of a distribution: one collection per dimension, in axis order.
class ZYL_EXPORT ZylDorvGrid {
public:
    ZylDorvGrid() = default;
    ///@{
    /// The given axes, in axis order.
    explicit ZylDorvGrid(const ZylDorvArray<ZylDorvCollectionID>& axes) : m_axes(axes) {}
    ZylDorvGrid(std::initializer_list<ZylDorvCollectionID> axes) : m_axes(axes) {}
    ZylDorvGrid(const ZylDorvCollectionID* axes, int count) : m_axes(axes, count) {}
    ///@}
    /// The number of axes.
    int NumDimensions() const noexcept { return m_axes.Size(); }
    /// The collection of axis k.
    const ZylDorvCollectionID& Axis(int k) const { return m_axes[k]; }
    /// All axes.
    const ZylDorvArray<ZylDorvCollectionID>& Axes() const noexcept { return m_axes; }

private:
    ZylDorvArray<ZylDorvCollectionID> m_axes;
};

/// \ingroup database
/// How a drawer lays out its values. Dense (the default): one value per grid
/// point. Sparse: compressed rows over a two-dimensional grid (dimension 0 the
/// rows, dimension 1 the columns) in four buffers, 0 = values (m doubles),
/// 1 = column indices (m ints, from 0), 2 = row offsets (rows + 1 ints, from 0
/// rising to m), 3 = diagonal (one double per row; symmetric kind only, where
/// buffers 0 and 1 hold the off-diagonal entries).
class ZYL_EXPORT ZylDorvSerializationType {
public:
    /// The layouts: dense, sparse, sparse symmetric.
    enum Kind : int { Dense = 0, Sparse = 1, SparseSym = 2 };
    ZylDorvSerializationType() noexcept = default;
    /// The given layout.
    explicit ZylDorvSerializationType(Kind kind) noexcept : m_kind(kind) {}
    /// Makes the layout dense.
    void SetDense() noexcept { m_kind = Dense; }
    /// Makes the layout sparse.
    void SetSparse() noexcept { m_kind = Sparse; }
    /// Makes the layout sparse symmetric.
    void SetSparseSym() noexcept { m_kind = SparseSym; }
    /// The layout.
    Kind GetKind() const noexcept { return m_kind; }
    /// True for the dense layout.
    bool IsDense() const noexcept { return m_kind == Dense; }
    /// True for either sparse layout.
    bool IsSparse() const noexcept { return m_kind != Dense; }
    /// True for the sparse symmetric layout.
    bool IsSparseSym() const noexcept { return m_kind == SparseSym; }
    ///@{
    /// Compared by layout.
    friend bool operator==(ZylDorvSerializationType a, ZylDorvSerializationType b) noexcept { return a.m_kind == b.m_kind; }
    friend bool operator!=(ZylDorvSerializationType a, ZylDorvSerializationType b) noexcept { return a.m_kind != b.m_kind; }
    ///@}

private:
    Kind m_kind = Dense;
};

#endif
