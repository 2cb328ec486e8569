#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvState.h>

using namespace zyl_dorv;

ZylDorvDatabase::ZylDorvDatabase() = default;

ZylDorvDatabase::~ZylDorvDatabase()
{
    if (m_file)
        CloseDatabaseFile(*m_file, false);
}

void ZylDorvDatabase::CreateFile(const ZylDroviUnicodeString& path, int flags, int mode)
{
    if (IsOpen())
        Fail(ZylDorvError_DatabaseAlreadyOpen, std::string("CreateFile \"") + path.Utf8() + "\": this database object holds \"" +
                                                   m_file->path + "\"");
    m_file = CreateDatabaseFile(path.Utf8(), flags, mode);
    m_absolutePath = m_file->absolutePath;
}

void ZylDorvDatabase::OpenFile(const ZylDroviUnicodeString& path, int flags)
{
    if (IsOpen())
        Fail(ZylDorvError_DatabaseAlreadyOpen, std::string("OpenFile \"") + path.Utf8() + "\": this database object holds \"" +
                                                   m_file->path + "\"");
    m_file = OpenDatabaseFile(path.Utf8(), flags);
    m_absolutePath = m_file->absolutePath;
}

void ZylDorvDatabase::Close()
{
    if (!m_file)
        return;
    std::shared_ptr<FileState> file = std::move(m_file);
    CloseDatabaseFile(*file, true);
}

bool ZylDorvDatabase::IsOpen() const noexcept { return m_file && m_file->open; }

ZylDorvContextID ZylDorvDatabase::CreateContext(ZylDorvNamespaceID space)
{
    if (!IsOpen())
        Fail(ZylDorvError_DatabaseNotOpen, "CreateContext: no database file is open");
    return CreateContextRecord(*m_file, space);
}

ZylDorvArray<ZylDorvContextID> ZylDorvDatabase::ContextIDs() const
{
    if (!IsOpen())
        Fail(ZylDorvError_DatabaseNotOpen, "ContextIDs: no database file is open");
    ZylDorvArray<ZylDorvContextID> ids;
    for (const auto& entry : m_file->contexts)
        ids.Append(ZylDorvContextID(m_file->number, entry.first));
    return ids;
}

void ZylDorvDatabase::Flush()
{
    if (!IsOpen())
        Fail(ZylDorvError_DatabaseNotOpen, "Flush: no database file is open");
    zyl_dorv::Flush(*m_file, "Flush");
}
