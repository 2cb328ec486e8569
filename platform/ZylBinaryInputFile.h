#ifndef PLATFORM_ZYLBINARYINPUTFILE_H
#define PLATFORM_ZYLBINARYINPUTFILE_H
// A file opened read-only for binary layouts whose every size must be
// checked against what the file really holds: the size is known from the
// start, reads are exact (a read that the file cannot satisfy fails instead
// of coming back short), and the position is tracked so that a reader can say
// at which byte something went wrong.
//
// Small reads go through a 64 KiB buffer (record layouts read a few bytes at
// a time); large ones go straight into the caller's memory.
#include <platform/mem.h>

#include <cstddef>
#include <cstdint>

class ZylBinaryInputFile {
public:
    ZylBinaryInputFile() = default;
    ~ZylBinaryInputFile();
    ZylBinaryInputFile(const ZylBinaryInputFile&) = delete;
    ZylBinaryInputFile& operator=(const ZylBinaryInputFile&) = delete;

    // False when the file does not open or is not a regular file's worth of
    // bytes (its size cannot be told).
    bool Open(const char* path);
    void Close() noexcept;
    bool IsOpen() const noexcept { return m_fd >= 0; }

    std::int64_t Size() const noexcept { return m_size; }
    std::int64_t Position() const noexcept { return m_position; }
    std::int64_t Remaining() const noexcept { return m_size - m_position; }
    // Moves to `position` (0 .. Size()); false beyond the end.
    bool Seek(std::int64_t position) noexcept;
    bool Skip(std::int64_t bytes) noexcept { return bytes >= 0 && bytes <= Remaining() && Seek(m_position + bytes); }

    // Exactly `bytes` from the position, which advances; false (position
    // unchanged) when the file ends first or the system read fails.
    bool Read(void* data, std::size_t bytes);
    bool ReadInt32(std::int32_t& value) { return Read(&value, sizeof value); }

private:
    bool ReadAt(std::int64_t offset, void* data, std::size_t bytes) const;

    static constexpr std::size_t kBufferBytes = 64 * 1024;
    int m_fd = -1;
    std::int64_t m_size = 0;
    std::int64_t m_position = 0;
    mem_Array<unsigned char> m_buffer; // kBufferBytes, allocated at the first small read
    std::int64_t m_bufferStart = 0;    // file offset of m_buffer[0]
    std::size_t m_bufferFill = 0;      // valid bytes in m_buffer
};

#endif
