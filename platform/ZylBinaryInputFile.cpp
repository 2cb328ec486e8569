#include <platform/ZylBinaryInputFile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ZylBinaryInputFile::~ZylBinaryInputFile() { Close(); }

bool ZylBinaryInputFile::Open(const char* path)
{
    Close();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = info.st_size;
    m_position = 0;
    m_bufferFill = 0;
    return true;
}

void ZylBinaryInputFile::Close() noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_position = 0;
    m_bufferFill = 0;
}

bool ZylBinaryInputFile::Seek(std::int64_t position) noexcept
{
    if (position < 0 || position > m_size)
        return false;
    m_position = position;
    return true;
}

bool ZylBinaryInputFile::ReadAt(std::int64_t offset, void* data, std::size_t bytes) const
{
    auto* out = static_cast<unsigned char*>(data);
    while (bytes > 0) {
        const ssize_t got = ::pread(m_fd, out, bytes, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // an error, or the file shrank since it was opened
            return false;
        out += got;
        offset += got;
        bytes -= static_cast<std::size_t>(got);
    }
    return true;
}

bool ZylBinaryInputFile::Read(void* data, std::size_t bytes)
{
    if (m_fd < 0 || bytes > static_cast<std::uint64_t>(Remaining()))
        return false;
    if (bytes >= kBufferBytes) {
        if (!ReadAt(m_position, data, bytes))
            return false;
        m_position += static_cast<std::int64_t>(bytes);
        return true;
    }
    const bool buffered = m_position >= m_bufferStart &&
                          m_position + static_cast<std::int64_t>(bytes) <= m_bufferStart + static_cast<std::int64_t>(m_bufferFill);
    if (!buffered) {
        if (m_buffer.Get() == nullptr)
            m_buffer = mem_Array<unsigned char>(kBufferBytes);
        const std::size_t fill = static_cast<std::size_t>(std::min<std::int64_t>(Remaining(), kBufferBytes));
        m_bufferFill = 0;
        if (!ReadAt(m_position, m_buffer.Get(), fill))
            return false;
        m_bufferStart = m_position;
        m_bufferFill = fill;
    }
    std::memcpy(data, m_buffer.Get() + (m_position - m_bufferStart), bytes);
    m_position += static_cast<std::int64_t>(bytes);
    return true;
}
