#ifndef PLATFORM_DORV_ZYLDORVEXCEPTION_H
#define PLATFORM_DORV_ZYLDORVEXCEPTION_H
// Errors of the embedded database. Every failure of a ZylDorv operation is
// thrown as a ZylDorvException carrying a 16-bit number from the table below
// and a text that says what failed, names the operation and the object
// (file path, context, collection, CSet, distribution, drawer) and, where the
// operating system or HDF5 reported a cause, that cause too, e.g.
//
//   ZylDorv error 70: writing values failed: ExecWrite of distribution 3
//   drawer 0 in context 1 of "scratch.dorv": No space left on device
//
// The exception derives from the foundation's ZylBasException, so callers that
// catch ZylBasException see database errors too; ErrorCode() is Number().
#include <platform/ZylBasException.h>
#include <platform/atr_String.h>
#include <platform/zyl_Export.h>

#include <cstdint>

// Text sink that ZylDorvException::Write appends to.
class ZYL_EXPORT ZylDorvDebugOutString {
public:
    ZylDorvDebugOutString() = default;
    void Append(const char* text);
    const char* Chars() const noexcept { return m_text.Chars(); }
    bool IsEmpty() const noexcept { return m_text.IsEmpty(); }
    void Clear() noexcept { m_text = atr_String(); }

private:
    atr_String m_text;
};

// Error numbers. Every number the database raises is listed here.
enum ZylDorvErrorNumber : std::uint16_t {
    ZylDorvError_InvalidArgument = 1,        // a count, index, pointer or flag out of its domain
    ZylDorvError_NullIdentifier = 2,         // an operation was given a null ID or a null handle
    ZylDorvError_DatabaseNotOpen = 3,        // the ID or handle belongs to a database that is closed
    ZylDorvError_DatabaseAlreadyOpen = 4,    // CreateFile/OpenFile on an object that holds an open file
    // CreateFile: the name is taken by something that must not be replaced: a
    // file that an open database holds (in this process or another), a file
    // that is not a database, a symbolic link. Another name may succeed. A
    // stale database file (no open database holds it) is replaced instead.
    ZylDorvError_FileCreateFailed = 10,
    ZylDorvError_FileNotCreatable = 15,      // no file can be made there (no permission, no directory, no space)
    ZylDorvError_FileOpenFailed = 11,        // the file cannot be opened (missing, not HDF5, another database writes it)
    ZylDorvError_FileCloseFailed = 12,       // closing the file failed (pending data could not be written)
    ZylDorvError_FileFlushFailed = 13,       // Commit could not flush the file
    ZylDorvError_NotADatabaseFile = 14,      // an HDF5 file that is not a ZylDorv database (or a newer format)
    ZylDorvError_ContextNotFound = 20,
    ZylDorvError_CollectionNotFound = 21,
    ZylDorvError_CSetNotFound = 22,
    ZylDorvError_DistributionNotFound = 23,
    ZylDorvError_DrawerNotFound = 24,        // the distribution has no drawer of that index
    ZylDorvError_TypeNotFound = 25,          // a type index the context's type schema does not define
    ZylDorvError_DuplicateLabel = 30,        // a CSet would list one label twice
    ZylDorvError_InvalidLabel = 31,          // a negative label
    ZylDorvError_CollectionMismatch = 32,    // a CSet or collection ID that is not the one of that dimension
    ZylDorvError_OrdinalRangeInvalid = 33,   // first > last, first < 0 or last >= size of the dimension
    ZylDorvError_SelectionNotContiguous = 34, // SetDim with a CSet that is not a run of the drawer's members
    ZylDorvError_InvalidStride = 35,         // CreateCSetStrided with count < 0, stride < block or block < 1
    ZylDorvError_TemporaryInPermanent = 36,  // a permanent drawer over a temporary CSet
    ZylDorvError_InvalidGrid = 40,           // empty grid, null collection, or one collection (same colour) twice
    ZylDorvError_InvalidRangeType = 41,      // a type key other than 1 (int) or 2 (double)
    ZylDorvError_InvalidChunking = 42,       // chunk array of the wrong length or a chunk below 1
    ZylDorvError_SizeTooLarge = 43,          // a dimension or buffer size beyond what the database addresses
    ZylDorvError_ViewIncomplete = 50,        // a dimension of the transfer is not bound, or no drawer to address
    ZylDorvError_TransferModeMissing = 51,   // ExecRead without SetRead, ExecWrite without SetWrite, ...
    ZylDorvError_BufferMissing = 52,         // a buffer the transfer needs was not set
    ZylDorvError_BufferTooSmall = 53,        // a buffer holds fewer bytes than the selection needs
    ZylDorvError_BufferReadOnly = 54,        // ExecRead into a buffer given as const
    ZylDorvError_PaddingUnsupported = 55,    // SetBufferPadding(true): buffers are always packed
    ZylDorvError_ExtensionInvalid = 56,      // empty extension, no dimension of that collection, or overlap
    ZylDorvError_SerializationMismatch = 57, // sparse transfer on a dense drawer (or the reverse), sparse of ints
    ZylDorvError_InitValueMismatch = 58,     // initialization value of another type key than the range type
    ZylDorvError_SparseStructureInvalid = 59, // row offsets not rising from 0 to m, column index out of range
    ZylDorvError_MetadataWriteFailed = 60,   // recording a collection, CSet, distribution or drawer failed
    ZylDorvError_MetadataReadFailed = 61,    // reading such a record failed (damaged or foreign file)
    ZylDorvError_TransactionNotActive = 62,  // Commit twice, or on a transaction whose database closed
    ZylDorvError_ReadOnlyDatabase = 63,      // creating something in a database opened read-only
    ZylDorvError_ValueWriteFailed = 70,      // writing values failed
    ZylDorvError_ValueReadFailed = 71,       // reading values failed
    ZylDorvError_ExtensionFailed = 72,       // the storage of a drawer could not be lengthened
    ZylDorvError_DrawerCreateFailed = 73,    // the storage of a new drawer could not be made
};

class ZYL_EXPORT ZylDorvException : public ZylBasException {
public:
    // `what` is the full description (see the header comment); it is kept as given.
    ZylDorvException(std::uint16_t number, const char* description);
    // The same error with `detail` in the developer report (the MPI flavour
    // names there the process that failed when every process raises it).
    ZylDorvException(std::uint16_t number, const char* description, const char* detail);
    ZylDorvException(const ZylDorvException& other) noexcept = default;
    ~ZylDorvException() override;

    std::uint16_t Number() const noexcept { return m_number; }
    const char* Description() const noexcept { return m_description.Chars(); }
    // Appends the description to `out`.
    void Write(ZylDorvDebugOutString& out) const;

    atr_String AsString() const override { return m_description; }
    [[noreturn]] void ThrowCopy() const override;
    int ErrorCode() const override { return m_number; }

private:
    std::uint16_t m_number;
    atr_String m_description;
};

#endif
