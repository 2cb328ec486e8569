#include <platform/ZylForRecordFile.h>

#include <mutex>
#include <set>
#include <utility>

namespace {

// The units held by open files, process-wide, as the Fortran runtime keeps them.
struct UnitTable {
    std::mutex lock;
    std::set<int> held;
};

UnitTable& Units()
{
    static UnitTable table;
    return table;
}

std::string At(std::int64_t offset) { return " (byte " + std::to_string(offset) + ")"; }

} // namespace

ZylForRecordFile::~ZylForRecordFile() { Close(); }

ZylForRecordFile::OpenResult ZylForRecordFile::Open(int unit, const char* path)
{
    Close();
    {
        UnitTable& units = Units();
        std::lock_guard<std::mutex> guard(units.lock);
        if (!units.held.insert(unit).second) {
            m_problem = "unit " + std::to_string(unit) + " is held by another open file";
            return OpenResult::UnitBusy;
        }
    }
    m_unit = unit;
    if (!m_file.Open(path)) {
        Close();
        m_problem = "the file does not open";
        return OpenResult::NotOpened;
    }
    m_recordEnd = -1;
    m_problem.clear();
    return OpenResult::Opened;
}

void ZylForRecordFile::Close() noexcept
{
    m_file.Close();
    if (m_unit >= 0) {
        UnitTable& units = Units();
        std::lock_guard<std::mutex> guard(units.lock);
        units.held.erase(m_unit);
    }
    m_unit = -1;
    m_recordEnd = -1;
}

bool ZylForRecordFile::Rewind()
{
    m_recordEnd = -1;
    return m_file.Seek(0);
}

bool ZylForRecordFile::Fail(std::string problem)
{
    m_problem = std::move(problem);
    return false;
}

bool ZylForRecordFile::NextRecord()
{
    const std::int64_t start = m_recordEnd < 0 ? 0 : m_recordEnd + 4;
    if (!m_file.Seek(start))
        return Fail("record start" + At(start) + ": beyond the end of the file (" + std::to_string(m_file.Size()) +
                    " bytes)");
    std::int32_t length = 0, closing = 0;
    if (!m_file.ReadInt32(length))
        return Fail("record length" + At(start) + ": 4 bytes expected, the file has " +
                    std::to_string(m_file.Remaining()));
    if (length < 0)
        return Fail("record length" + At(start) + ": 0 to 2^31-1 expected, found " + std::to_string(length));
    const std::int64_t end = start + 4 + length;
    if (end + 4 > m_file.Size())
        return Fail("record" + At(start) + ": " + std::to_string(length) + " bytes and the closing length expected, the file ends at byte " +
                    std::to_string(m_file.Size()));
    if (!m_file.Seek(end) || !m_file.ReadInt32(closing) || !m_file.Seek(start + 4))
        return Fail("record" + At(start) + ": the file could not be read");
    if (closing != length)
        return Fail("closing record length" + At(end) + ": " + std::to_string(length) + " expected, found " +
                    std::to_string(closing));
    m_length = length;
    m_recordEnd = end;
    return true;
}

bool ZylForRecordFile::Read(void* data, std::size_t bytes, const char* what)
{
    const std::int64_t at = m_file.Position();
    if (m_recordEnd < 0 || bytes > static_cast<std::uint64_t>(RecordRemaining()))
        return Fail(std::string(what) + At(at) + ": " + std::to_string(bytes) + " bytes expected, the record has " +
                    std::to_string(m_recordEnd < 0 ? 0 : RecordRemaining()) + " left");
    if (!m_file.Read(data, bytes))
        return Fail(std::string(what) + At(at) + ": the file could not be read");
    return true;
}
