#ifndef PLATFORM_DORV_ZYLDORVIDS_H
#define PLATFORM_DORV_ZYLDORVIDS_H
/// \file
/// \ingroup database
/// Identifiers of database objects: small value types, compared by value.
///
/// An ID names an object of a database that is open in this process: its
/// first component is the number under which the database object registered
/// the open file (1, 2, ... in order of opening), the rest are numbers stored
/// in the file. After a file is closed and opened again the same objects have
/// new IDs; find them again with ZylDorvDatabase::ContextIDs,
/// ZylDorvContext::CollectionIDs / DistributionIDs and ZylDorvCollection::CSetIDs.
#include <cstdint>

/// \ingroup database
/// Namespace of a context; recorded with the context, not interpreted.
class ZylDorvNamespaceID {
public:
    constexpr ZylDorvNamespaceID() noexcept = default;
    /// The namespace with the given bits.
    constexpr explicit ZylDorvNamespaceID(std::uint64_t bits) noexcept : m_bits(bits) {}
    /// The namespace with every bit set.
    static constexpr ZylDorvNamespaceID AllBits() noexcept { return ZylDorvNamespaceID(~std::uint64_t(0)); }
    /// The bits.
    constexpr std::uint64_t Bits() const noexcept { return m_bits; }

private:
    std::uint64_t m_bits = 0;
};

/// \ingroup database
/// Context: first word the database number (0 = null), second the context
/// number in the file (-1 = null). The default ID is null: {0, -1}.
class ZylDorvContextID {
public:
    constexpr ZylDorvContextID() noexcept = default;
    /// Context number `context` of database `database`.
    constexpr ZylDorvContextID(std::int32_t database, std::int32_t context) noexcept
        : m_database(database), m_context(context)
    {
    }
    /// The database number.
    constexpr std::int32_t Database() const noexcept { return m_database; }
    /// The context number in the file.
    constexpr std::int32_t Number() const noexcept { return m_context; }
    /// True when either word is null.
    constexpr bool IsNull() const noexcept { return m_database <= 0 || m_context < 0; }
    friend constexpr bool operator==(const ZylDorvContextID& a, const ZylDorvContextID& b) noexcept
    {
        return a.m_database == b.m_database && a.m_context == b.m_context;
    }
    friend constexpr bool operator!=(const ZylDorvContextID& a, const ZylDorvContextID& b) noexcept { return !(a == b); }

private:
    std::int32_t m_database = 0;
    std::int32_t m_context = -1;
};

/// \ingroup database
/// Type identifier of a context's type schema; -1 is the null type.
class ZylDorvTypeID {
public:
    constexpr ZylDorvTypeID() noexcept = default;
    /// The type of index value (implicit, so that -1 reads as the null type).
    constexpr ZylDorvTypeID(std::int32_t value) noexcept : m_value(value) {} // NOLINT: -1 reads as the null type
    /// The type index.
    constexpr std::int32_t Value() const noexcept { return m_value; }
    /// True for the null type.
    constexpr bool IsNull() const noexcept { return m_value < 0; }
    friend constexpr bool operator==(ZylDorvTypeID a, ZylDorvTypeID b) noexcept { return a.m_value == b.m_value; }
    friend constexpr bool operator!=(ZylDorvTypeID a, ZylDorvTypeID b) noexcept { return a.m_value != b.m_value; }

private:
    std::int32_t m_value = -1;
};

/// \ingroup database
/// Collection: context, minor identifier and type. The minor identifier is the
/// collection's number in its context (1, 2, ...) with the colour in bits 24
/// to 30; colour 0 is the collection itself, colour 1 the same members seen as
/// a distinct axis. The null collection ID has every field -1.
class ZylDorvCollectionID {
public:
    constexpr ZylDorvCollectionID() noexcept = default;
    /// The collection of the given fields.
    constexpr ZylDorvCollectionID(ZylDorvContextID context, std::int32_t minor, std::int32_t type) noexcept
        : m_context(context), m_minor(minor), m_type(type)
    {
    }
    /// The context.
    constexpr ZylDorvContextID Context() const noexcept { return m_context; }
    /// The minor identifier, colour included.
    constexpr std::int32_t Minor() const noexcept { return m_minor; }
    /// The schema type.
    constexpr std::int32_t Type() const noexcept { return m_type; }
    /// True for the null collection.
    constexpr bool IsNull() const noexcept { return m_minor < 0 || m_context.IsNull(); }
    /// The colour.
    constexpr int Color() const noexcept { return ColorOf(m_minor); }

    /// Minor identifier `minor` with its colour replaced by `color` (0 .. 127).
    static constexpr std::int32_t SetColor(std::int32_t minor, int color) noexcept
    {
        return minor < 0 ? minor : ((minor & 0x00FFFFFF) | ((color & 0x7F) << 24));
    }
    /// The colour of minor identifier `minor` (0 for a null one).
    static constexpr int ColorOf(std::int32_t minor) noexcept { return minor < 0 ? 0 : (minor >> 24) & 0x7F; }
    /// Minor identifier `minor` without its colour.
    static constexpr std::int32_t BaseMinor(std::int32_t minor) noexcept { return minor < 0 ? minor : minor & 0x00FFFFFF; }

    friend constexpr bool operator==(const ZylDorvCollectionID& a, const ZylDorvCollectionID& b) noexcept
    {
        return a.m_context == b.m_context && a.m_minor == b.m_minor && a.m_type == b.m_type;
    }
    friend constexpr bool operator!=(const ZylDorvCollectionID& a, const ZylDorvCollectionID& b) noexcept { return !(a == b); }

private:
    ZylDorvContextID m_context{-1, -1};
    std::int32_t m_minor = -1;
    std::int32_t m_type = -1;
};

/// \ingroup database
/// CSet: first word the CSet number within its collection (0 = null, positive
/// = permanent, negative = temporary), then the collection it is seen through.
/// A CSet seen through a colour variant of its collection is the same CSet.
class ZylDorvCSetID {
public:
    constexpr ZylDorvCSetID() noexcept = default;
    /// CSet number `number` of `collection`.
    constexpr ZylDorvCSetID(ZylDorvCollectionID collection, std::int64_t number) noexcept
        : m_number(number), m_collection(collection)
    {
    }
    /// The same CSet seen through another colour of its collection.
    constexpr ZylDorvCSetID(const ZylDorvCSetID& cset, ZylDorvCollectionID recoloured) noexcept
        : m_number(cset.m_number), m_collection(recoloured)
    {
    }
    /// The CSet number.
    constexpr std::int64_t Number() const noexcept { return m_number; }
    /// True for the null CSet.
    constexpr bool IsNull() const noexcept { return m_number == 0; }
    /// True for a temporary CSet.
    constexpr bool IsTemporary() const noexcept { return m_number < 0; }
    /// The collection; the null collection ID for a null CSet ID.
    constexpr ZylDorvCollectionID CollectionID() const noexcept
    {
        return m_number == 0 ? ZylDorvCollectionID() : m_collection;
    }
    friend constexpr bool operator==(const ZylDorvCSetID& a, const ZylDorvCSetID& b) noexcept
    {
        return a.m_number == b.m_number && (a.m_number == 0 || a.m_collection == b.m_collection);
    }
    friend constexpr bool operator!=(const ZylDorvCSetID& a, const ZylDorvCSetID& b) noexcept { return !(a == b); }

private:
    std::int64_t m_number = 0;
    ZylDorvCollectionID m_collection;
};

/// \ingroup database
/// Distribution: its context and its number there (0 = null, negative =
/// temporary). The default ID is the null, invalid one.
class ZylDorvDistributionID {
public:
    constexpr ZylDorvDistributionID() noexcept = default;
    /// Distribution number `number` of `context`.
    constexpr ZylDorvDistributionID(ZylDorvContextID context, std::int64_t number) noexcept
        : m_context(context), m_number(number)
    {
    }
    /// The context.
    constexpr ZylDorvContextID Context() const noexcept { return m_context; }
    /// The distribution number.
    constexpr std::int64_t Number() const noexcept { return m_number; }
    /// True for the null distribution.
    constexpr bool IsNull() const noexcept { return m_number == 0 || m_context.IsNull(); }
    /// The opposite of IsNull.
    constexpr bool IsValid() const noexcept { return !IsNull(); }
    /// True for a temporary distribution.
    constexpr bool IsTemporary() const noexcept { return m_number < 0; }
    friend constexpr bool operator==(const ZylDorvDistributionID& a, const ZylDorvDistributionID& b) noexcept
    {
        return a.m_context == b.m_context && a.m_number == b.m_number;
    }
    friend constexpr bool operator!=(const ZylDorvDistributionID& a, const ZylDorvDistributionID& b) noexcept { return !(a == b); }

private:
    ZylDorvContextID m_context;
    std::int64_t m_number = 0;
};

/// \ingroup database
/// Comparison of identifiers as the database sees them: two collection IDs are
/// equal when they name the same collection in the same colour.
class ZylDorvDynamicID {
public:
    ///@{
    /// a == b.
    static constexpr bool Equal(const ZylDorvCollectionID& a, const ZylDorvCollectionID& b) noexcept { return a == b; }
    static constexpr bool Equal(const ZylDorvCSetID& a, const ZylDorvCSetID& b) noexcept { return a == b; }
    static constexpr bool Equal(const ZylDorvDistributionID& a, const ZylDorvDistributionID& b) noexcept { return a == b; }
    ///@}
};

#endif
