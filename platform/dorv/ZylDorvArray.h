#ifndef PLATFORM_DORV_ZYLDORVARRAY_H
#define PLATFORM_DORV_ZYLDORVARRAY_H
/// \file
/// \ingroup database
/// Growable array of values used by the database interface (chunk sizes,
/// drawer descriptions, collection lists). Copies are deep.
#include <cstddef>
#include <initializer_list>
#include <vector>

/// \ingroup database
/// Growable array of values, deep-copied (see above).
template <typename T>
class ZylDorvArray {
public:
    ZylDorvArray() = default;
    /// size value-initialized items (none for a size below 1).
    explicit ZylDorvArray(int size) : m_items(size > 0 ? static_cast<std::size_t>(size) : 0) {}
    /// The listed items.
    ZylDorvArray(std::initializer_list<T> items) : m_items(items) {}
    /// A copy of items[0 .. count-1] (none for a count below 1).
    ZylDorvArray(const T* items, int count) : m_items(items, items + (count > 0 ? count : 0)) {}

    /// The number of items.
    int Size() const noexcept { return static_cast<int>(m_items.size()); }
    /// True without items.
    bool IsEmpty() const noexcept { return m_items.empty(); }
    ///@{
    /// Unchecked element access (index 0 .. Size()-1).
    T& operator[](int index) { return m_items[static_cast<std::size_t>(index)]; }
    const T& operator[](int index) const { return m_items[static_cast<std::size_t>(index)]; }
    T* Data() noexcept { return m_items.data(); }
    const T* Data() const noexcept { return m_items.data(); }
    ///@}

    /// Adds item at the end.
    void Append(const T& item) { m_items.push_back(item); }
    /// Cuts or grows to size items (new ones value-initialized; 0 for a size below 1).
    void SetSize(int size) { m_items.resize(size > 0 ? static_cast<std::size_t>(size) : 0); }
    /// Drops every item.
    void Clear() noexcept { m_items.clear(); }

private:
    std::vector<T> m_items;
};

#endif
