#ifndef PLATFORM_ZYLFORRECORDFILE_H
#define PLATFORM_ZYLFORRECORDFILE_H
// Reading a Fortran unformatted sequential file as the Fortran runtime does:
// each record is its length in bytes as a 4-byte integer, the record's bytes,
// and the length again. A READ takes items from the front of the current
// record and never beyond its end; the rest of the record is skipped when
// the next record is begun.
//
// Logical units. A file is opened on a unit number, and one unit holds one
// file at a time in the whole process, as in the Fortran runtime: an Open on
// a unit that another object holds is refused (UnitBusy) instead of sharing
// the unit, whose position the two readers would otherwise interleave. The
// unit is released by Close and by the destructor.
//
// Every problem is reported by a false return and Problem(), a sentence that
// names the field, the byte offset, what was expected and what was found.
// Lengths of 2^31 bytes or more (which gfortran splits into subrecords with
// negative length words) are refused.
#include <platform/ZylBinaryInputFile.h>

#include <cstddef>
#include <cstdint>
#include <string>

class ZylForRecordFile {
public:
    enum class OpenResult { Opened, UnitBusy, NotOpened };

    ZylForRecordFile() = default;
    ~ZylForRecordFile();
    ZylForRecordFile(const ZylForRecordFile&) = delete;
    ZylForRecordFile& operator=(const ZylForRecordFile&) = delete;

    OpenResult Open(int unit, const char* path);
    void Close() noexcept;
    // Back to the first record (the Fortran REWIND).
    bool Rewind();

    std::int64_t FileSize() const noexcept { return m_file.Size(); }

    // Begins the next record (skipping the rest of the current one) and
    // checks its framing: a non-negative length, the closing length word
    // inside the file and equal to the opening one.
    bool NextRecord();
    std::int32_t RecordLength() const noexcept { return m_length; }
    // Bytes of the current record not read yet.
    std::int64_t RecordRemaining() const noexcept { return m_recordEnd - m_file.Position(); }
    // File offset of the next byte a Read would take.
    std::int64_t Position() const noexcept { return m_file.Position(); }

    // `bytes` from the current record; `what` names the items in Problem().
    bool Read(void* data, std::size_t bytes, const char* what);

    const std::string& Problem() const noexcept { return m_problem; }

private:
    bool Fail(std::string problem);

    ZylBinaryInputFile m_file;
    int m_unit = -1;
    std::int32_t m_length = 0;
    std::int64_t m_recordEnd = -1; // offset of the closing length word; -1 before the first record
    std::string m_problem;
};

#endif
