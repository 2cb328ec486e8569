#include <mtx/impl/internal/ZylSrvSparseText.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvTextNumbers.h>
#include <platform/ZylSrvSystemDofDefinition.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr zyl_mtx::RaiseSource kRaiseSource = zyl_mtx::HelperSource(zyl_mtx::kSparseImExPorterSource, __FILE__);

// ---- reading ----------------------------------------------------------------

// A line ends at "\n", "\r\n" or a bare "\r" (files from old Mac tools).
inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
inline bool IsBlank(unsigned char c) { return zyl_mtx::IsSpace(c) && !IsLineEnd(static_cast<char>(c)); } // inside one line

// A file read front to back in large blocks through one buffer, so that
// nothing is allocated per line and the page cache is copied, not mapped (a
// mapping's page faults cost more than the copy). Each block ends after a
// whitespace byte, so that it holds whole tokens; the token cut at its end is
// carried to the front of the next one. Spaces pad every block (kTextPadding)
// for the number parsers' eight-byte loads.
class TextBlocks {
public:
    TextBlocks(const char* path, bool wholeFile) : m_path(path)
    {
        m_fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
        struct stat info;
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(m_fd);
            zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path,
                                                        "not a regular file: the readers pass over it twice");
        }
        m_size = static_cast<unsigned long long>(info.st_size);
        // One spare byte: a whole file ends its only block at end of file.
        const std::size_t wanted = static_cast<std::size_t>(m_size) + 1;
        m_capacity = wholeFile ? wanted : (wanted < kBlock ? wanted : kBlock);
        try {
            m_buffer = mem_Array<char>(m_capacity + zyl_mtx::kTextPadding);
        } catch (...) {
            ::close(m_fd);
            throw;
        }
        m_end = m_limit = m_buffer.Get();
    }
    ~TextBlocks() { ::close(m_fd); }
    TextBlocks(const TextBlocks&) = delete;
    TextBlocks& operator=(const TextBlocks&) = delete;

    unsigned long long Size() const { return m_size; }
    const char* Begin() const { return m_buffer.Get(); }
    const char* Limit() const { return m_limit; } // the whole tokens end here
    bool AtEnd() const { return m_eof; }

    // The next block; false once the file is used up.
    bool Next()
    {
        if (m_eof)
            return false;
        char* const buffer = m_buffer.Get();
        const std::size_t carry = static_cast<std::size_t>(m_end - m_limit);
        m_offset += static_cast<unsigned long long>(m_limit - buffer);
        std::memmove(buffer, m_limit, carry);
        m_end = buffer + carry;
        while (m_end != buffer + m_capacity) {
            const ssize_t n = ::read(m_fd, m_end, static_cast<std::size_t>(buffer + m_capacity - m_end));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Malformed(__LINE__, m_end, "bytes that can be read");
            if (n == 0) {
                m_eof = true;
                break;
            }
            m_end += n;
        }
        std::memset(m_end, ' ', zyl_mtx::kTextPadding);
        m_limit = m_end;
        if (!m_eof) {
            while (m_limit != buffer && !zyl_mtx::IsSpace(m_limit[-1]))
                --m_limit;
            if (m_limit == buffer)
                Malformed(__LINE__, buffer, "a token of at most " + std::to_string(m_capacity) + " bytes");
        }
        return true;
    }

    void Rewind()
    {
        if (::lseek(m_fd, 0, SEEK_SET) != 0)
            Malformed(__LINE__, m_limit, "a file that can be read again");
        m_end = m_limit = m_buffer.Get();
        m_offset = 0;
        m_eof = false;
    }

    // Refuses the file: what was expected at `at` (in the current block), with
    // the line, the byte offset and (a printable prefix of) the token there.
    [[noreturn]] void Malformed(int sourceLine, const char* at, const std::string& expected) const
    {
        const unsigned long long offset = m_offset + static_cast<unsigned long long>(at - m_buffer.Get());
        std::string found;
        const char* p = at;
        for (; p < m_end && !zyl_mtx::IsSpace(*p) && found.size() < 32; ++p)
            found += (*p >= 0x21 && *p < 0x7f) ? *p : '?';
        if (at >= m_end)
            found = "end of file";
        else if (*at == '\n' || *at == '\r')
            found = "the end of the line";
        else
            found = "'" + found + (p < m_end && !zyl_mtx::IsSpace(*p) ? "...'" : "'");
        const std::string detail = "line " + std::to_string(LineOf(offset)) + " (byte " + std::to_string(offset) +
                                   "): expected " + expected + ", found " + found;
        zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, sourceLine, m_path, detail.c_str());
    }

private:
    static constexpr std::size_t kBlock = std::size_t(1) << 18;

    // The line of a byte offset, counted again from the start of the file
    // (only a refused file pays for it): every "\r", and every "\n" that
    // does not end a "\r\n".
    unsigned long long LineOf(unsigned long long offset) const
    {
        unsigned long long line = 1;
        char chunk[1 << 16];
        char before = 0;
        for (unsigned long long at = 0; at < offset;) {
            const std::size_t want = static_cast<std::size_t>(std::min<unsigned long long>(sizeof chunk, offset - at));
            const ssize_t n = ::pread(m_fd, chunk, want, static_cast<off_t>(at));
            if (n <= 0)
                break;
            for (ssize_t i = 0; i < n; ++i) {
                line += (chunk[i] == '\r' || (chunk[i] == '\n' && before != '\r')) ? 1 : 0;
                before = chunk[i];
            }
            at += static_cast<unsigned long long>(n);
        }
        return line;
    }

    const char* m_path;
    int m_fd = -1;
    unsigned long long m_size = 0;
    std::size_t m_capacity = 0;
    mem_Array<char> m_buffer;
    char* m_end = nullptr;   // the bytes read end here
    char* m_limit = nullptr; // the whole tokens end here
    unsigned long long m_offset = 0; // of the buffer's first byte in the file
    bool m_eof = false;
};

inline const char* SkipSpace(const char* p, const char* end)
{
    while (p != end && zyl_mtx::IsSpace(*p))
        ++p;
    return p;
}
inline const char* SkipBlank(const char* p, const char* end)
{
    while (p != end && IsBlank(*p))
        ++p;
    return p;
}

// Starts of runs of non-space bytes, counted with byte-wide counters over
// blocks of 255 x 16 bytes, which the compiler turns into vector code.
std::size_t CountTokens(const char* begin, const char* end)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(begin);
    const std::size_t n = static_cast<std::size_t>(end - begin);
    if (n == 0)
        return 0;
    const auto starts = [b](std::size_t i) {
        return static_cast<unsigned char>(zyl_mtx::IsSpace(b[i - 1]) & !zyl_mtx::IsSpace(b[i]));
    };
    std::size_t count = zyl_mtx::IsSpace(b[0]) ? 0 : 1;
    std::size_t i = 1;
    for (; i + 255 * 16 <= n; i += 255 * 16) {
        unsigned char lanes[16] = {};
        for (std::size_t r = 0; r < 255 * 16; r += 16)
            for (std::size_t k = 0; k < 16; ++k)
                lanes[k] = static_cast<unsigned char>(lanes[k] + starts(i + r + k));
        for (unsigned char lane : lanes)
            count += lane;
    }
    for (; i < n; ++i)
        count += starts(i);
    return count;
}

std::string Range(const char* what, long long first, long long last)
{
    return std::string(what) + " (" + std::to_string(first) + " to " + std::to_string(last) + ")";
}

// ---- writing ----------------------------------------------------------------

// The output file through one large buffer; lines are formatted straight into
// it. fopen("w") semantics: created or truncated, mode 0666 less the umask.
class OutputFile {
public:
    static constexpr std::size_t kCapacity = std::size_t(1) << 20;
    static constexpr std::size_t kLongestLine = 160;

    // The buffer first: a failed allocation then leaves no file behind.
    explicit OutputFile(const char* path) : m_path(path), m_buffer(kCapacity)
    {
        m_fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
    }
    ~OutputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Room for one line; Commit(end) takes what was written up to `end`.
    char* Line()
    {
        if (m_used + kLongestLine > kCapacity)
            Flush();
        return m_buffer.Get() + m_used;
    }
    void Commit(char* end) { m_used = static_cast<std::size_t>(end - m_buffer.Get()); }

    void Close()
    {
        Flush();
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            zyl_mtx::Raise<ZylSrvMtxFileWriteFailure>(kRaiseSource, __LINE__, m_path);
    }

private:
    void Flush()
    {
        for (std::size_t done = 0; done < m_used;) {
            const ssize_t n = ::write(m_fd, m_buffer.Get() + done, m_used - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                zyl_mtx::Raise<ZylSrvMtxFileWriteFailure>(kRaiseSource, __LINE__, m_path);
            done += static_cast<std::size_t>(n);
        }
        m_used = 0;
    }

    const char* m_path;
    int m_fd = -1;
    mem_Array<char> m_buffer;
    std::size_t m_used = 0;
};

inline unsigned StoredCount(const zyl_mtx::SparseArrays& a)
{
    return a.rowOffsets != nullptr ? a.rowOffsets[a.numRows] : 0U;
}

} // namespace

namespace zyl_mtx {

TextTriplets ReadTextTriplets(const char* path, bool binaryMode)
{
    // "rb" and "r" read the same bytes on this platform.
    static_cast<void>(binaryMode);
    TextBlocks file(path, false);

    // Pass 1: the number of triplets, so that the entries are allocated once.
    std::size_t tokens = 0;
    while (file.Next())
        tokens += CountTokens(file.Begin(), file.Limit());
    if (tokens / 3 > static_cast<std::size_t>(INT_MAX))
        file.Malformed(__LINE__, file.Limit(), "at most 2147483647 triplets");
    TextTriplets result;
    const int count = static_cast<int>(tokens / 3);
    result.entries = mem_Array<ZylSrvSparseMatrixEntry>(count);

    // Pass 2: every token parsed and checked; a triplet may span two blocks.
    file.Rewind();
    long long maxRow = 0;
    long long maxColumn = 0;
    long long row = 0;
    long long column = 0;
    int field = 0; // of the next token: 0 row, 1 column, 2 value
    int k = 0;
    while (file.Next()) {
        const char* p = file.Begin();
        const char* const end = file.Limit();
        // A 1-based index into `value`; false when the block ends first.
        const auto index = [&](long long& value, const char* what) {
            if ((p = SkipSpace(p, end)) == end)
                return false;
            const char* next = ParseInteger(p, end, value);
            if (next == nullptr || value < 1 || value > INT_MAX)
                file.Malformed(__LINE__, p, Range(what, 1, INT_MAX));
            p = next;
            return true;
        };
        for (;;) {
            if (field == 0) {
                if (!index(row, "a row number"))
                    break;
                field = 1;
            }
            if (field == 1) {
                if (!index(column, "a column number"))
                    break;
                field = 2;
            }
            if ((p = SkipSpace(p, end)) == end)
                break;
            double value = 0.0;
            const char* const next = ParseReal(p, end, value);
            if (next == nullptr)
                file.Malformed(__LINE__, p, "a value");
            if (k == count) // only when the file grew between the passes
                file.Malformed(__LINE__, p, "the end of the file as it was counted");
            result.entries[k++] = {static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value};
            maxRow = row > maxRow ? row : maxRow;
            maxColumn = column > maxColumn ? column : maxColumn;
            p = next;
            field = 0;
        }
    }
    if (field != 0)
        file.Malformed(__LINE__, file.Limit(), field == 1 ? Range("a column number", 1, INT_MAX) : "a value");
    if (k != count)
        file.Malformed(__LINE__, file.Limit(), std::to_string(count) + " triplets as counted before");
    result.count = count;
    result.numRows = static_cast<int>(maxRow);
    result.numColumns = static_cast<int>(maxColumn);
    return result;
}

// ---- Matrix Market ------------------------------------------------------------
//
// The reader takes what SciPy's mmread takes for real-valued matrices and a
// little more: `coordinate` and `array`; `real`, `integer` and `pattern`;
// `general`, `symmetric`, `skew-symmetric` and `hermitian` (of real values,
// the same as symmetric). Between the size line and the end, lines that are
// blank or whose first non-blank byte is '%' are skipped, and a pattern entry
// may carry a value, which is read and ignored. Beyond SciPy: blank lines
// before the banner are skipped, and a line may end with "\r\n" or a bare
// "\r" as well as "\n" (the file then reads as the same file with "\n"
// ends). Refused, with a detail: complex values and `vector` files (not
// supported), `pattern` arrays and skew-symmetric patterns (the standard has
// none), a nonzero on the diagonal of a skew-symmetric matrix (it cannot be
// one), and anything malformed.

namespace {

enum { kReal, kInteger, kPattern };
enum { kGeneral, kSymmetric, kSkewSymmetric, kHermitian };

// Advances past the rest of a line that must hold nothing but blanks.
const char* EndOfLine(const TextBlocks& file, const char* p)
{
    const char* const end = file.Limit();
    p = SkipBlank(p, end);
    if (p == end)
        return p;
    if (!IsLineEnd(*p))
        file.Malformed(__LINE__, p, "the end of the line");
    return *p == '\r' && p + 1 != end && p[1] == '\n' ? p + 2 : p + 1;
}

// The first byte of the next line that is neither blank nor a comment ('%'
// its first non-blank byte), past its leading blanks; `end` when none is left.
const char* NextContentLine(const char* p, const char* end)
{
    for (;;) {
        p = SkipBlank(p, end);
        if (p == end || (!IsLineEnd(*p) && *p != '%'))
            return p;
        while (p != end && !IsLineEnd(*p))
            ++p;
        if (p != end)
            ++p;
    }
}

bool SameWord(const char* p, const char* tokenEnd, const char* word)
{
    const std::size_t length = std::strlen(word);
    if (static_cast<std::size_t>(tokenEnd - p) != length)
        return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(p[i])) != word[i])
            return false;
    return true;
}

// Reads one banner word, one of `choices` (lower case); returns its index.
// The choices from `supported` on are known words the reader does not take:
// their refusal says so (`unsupported`).
int BannerWord(const TextBlocks& file, const char*& p, std::initializer_list<const char*> choices,
               const char* expected, int supported = INT_MAX, const char* unsupported = "")
{
    p = SkipBlank(p, file.Limit());
    const char* tokenEnd = p;
    while (!AtTokenEnd(tokenEnd, file.Limit()))
        ++tokenEnd;
    int index = 0;
    for (const char* word : choices) {
        if (SameWord(p, tokenEnd, word))
            break;
        ++index;
    }
    if (index < supported && index < static_cast<int>(choices.size())) {
        p = tokenEnd;
        return index;
    }
    file.Malformed(__LINE__, p,
                   index < static_cast<int>(choices.size()) ? std::string(expected) + " (" + unsupported + ")"
                                                            : std::string(expected));
}

// A non-negative count or an index in 1 .. last, on the current line.
long long LineInteger(const TextBlocks& file, const char*& p, long long first, long long last, const char* what)
{
    p = SkipBlank(p, file.Limit());
    long long value = 0;
    const char* next = p == file.Limit() || IsLineEnd(*p) ? nullptr : ParseInteger(p, file.Limit(), value);
    if (next == nullptr || value < first || value > last)
        file.Malformed(__LINE__, p, Range(what, first, last));
    p = next;
    return value;
}

struct MatrixMarketKind {
    bool array = false;
    int field = kReal;
    int symmetry = kGeneral;
};

// In the order of the symmetry enumeration.
const std::initializer_list<const char*> kSymmetryWords = {"general", "symmetric", "skew-symmetric", "hermitian"};

MatrixMarketKind ReadBanner(const TextBlocks& file, const char*& p)
{
    p = SkipSpace(p, file.Limit()); // blank lines before the banner
    BannerWord(file, p, {"%%matrixmarket"}, "the banner %%MatrixMarket");
    BannerWord(file, p, {"matrix", "vector"}, "the object 'matrix'", 1, "vector files are not supported");
    MatrixMarketKind kind;
    kind.array = BannerWord(file, p, {"coordinate", "array"}, "the format coordinate or array") == 1;
    const char* const fieldAt = SkipBlank(p, file.Limit());
    kind.field = BannerWord(file, p, {"real", "integer", "pattern", "complex"}, "the field real, integer or pattern",
                            3, "complex values are not supported");
    if (kind.array && kind.field == kPattern)
        file.Malformed(__LINE__, fieldAt, "the field real or integer for an array");
    const char* const symmetryAt = SkipBlank(p, file.Limit());
    kind.symmetry = BannerWord(file, p, kSymmetryWords, "the symmetry general, symmetric, skew-symmetric or hermitian");
    if (kind.field == kPattern && kind.symmetry == kSkewSymmetric)
        file.Malformed(__LINE__, symmetryAt, "the symmetry general, symmetric or hermitian for a pattern");
    p = EndOfLine(file, p);
    return kind;
}

// One pass over a whole file held in one block: the banner, the size line,
// the entries (or the array's values) into the triplets.
class MatrixMarketReader {
public:
    MatrixMarketReader(const char* path, bool keepSymmetric) : m_file(path, true), m_keepSymmetric(keepSymmetric) {}

    TextTriplets Read()
    {
        m_file.Next();
        m_p = m_file.Begin();
        m_end = m_file.Limit();
        m_kind = ReadBanner(m_file, m_p);
        m_p = NextContentLine(m_p, m_end);
        ReadSizeLine();
        if (m_kind.array)
            ReadArrayValues();
        else
            ReadCoordinateEntries();
        m_p = NextContentLine(m_p, m_end);
        if (m_p != m_end)
            m_file.Malformed(__LINE__, m_p,
                             "the end of the file after " + std::to_string(m_declared) + (m_kind.array ? " values" : " entries"));
        m_result.count = m_count;
        return std::move(m_result);
    }

private:
    void ReadSizeLine()
    {
        const char* const sizeLine = m_p;
        const long long rows = LineInteger(m_file, m_p, 0, INT_MAX, "the number of rows");
        const long long columns = LineInteger(m_file, m_p, 0, INT_MAX, "the number of columns");
        const char* const countAt = m_kind.array ? sizeLine : SkipBlank(m_p, m_end);
        if (!m_kind.array)
            m_declared = LineInteger(m_file, m_p, 0, INT_MAX, "the number of entries");
        m_p = EndOfLine(m_file, m_p);
        const int symmetry = m_kind.symmetry;
        if (symmetry != kGeneral && rows != columns)
            m_file.Malformed(__LINE__, sizeLine,
                             std::string("a square size for a ") + kSymmetryWords.begin()[symmetry] + " matrix");
        if (m_kind.array) // column by column: all of it, the lower triangle, or below the diagonal
            m_declared = symmetry == kGeneral         ? rows * columns
                         : symmetry == kSkewSymmetric ? rows * (rows - 1) / 2
                                                      : rows * (rows + 1) / 2;
        // No allocation from an unchecked size: an entry line takes at least
        // four bytes ("1 1" and its line end), an array's value two.
        const long long room = (m_end - m_p + 1) / (m_kind.array ? 2 : 4);
        if (m_declared > room)
            m_file.Malformed(__LINE__, countAt,
                             (m_kind.array ? "a size whose " + std::to_string(m_declared) + " values"
                                           : std::string("a number of entries")) +
                                 " the rest of the file can hold (at most " + std::to_string(room) + ")");
        m_symmetricForm = m_keepSymmetric && (symmetry == kSymmetric || symmetry == kHermitian);
        m_mirror = !m_symmetricForm && symmetry != kGeneral;
        m_negate = symmetry == kSkewSymmetric;
        const long long stored = m_declared * (m_mirror ? 2 : 1);
        if (stored + (m_symmetricForm ? rows : 0) > INT_MAX)
            m_file.Malformed(__LINE__, countAt, "at most 2147483647 values to store, mirrored ones and the diagonal included");
        m_result.entries = mem_Array<ZylSrvSparseMatrixEntry>(static_cast<std::size_t>(stored));
        if (m_symmetricForm) {
            m_result.diagonal = mem_Array<double>(static_cast<std::size_t>(rows));
            std::fill(m_result.diagonal.begin(), m_result.diagonal.end(), 0.0);
        }
        m_result.symmetricForm = m_symmetricForm;
        m_result.numRows = static_cast<int>(rows);
        m_result.numColumns = static_cast<int>(columns);
    }

    // The position lives in a local (and the value parser is handed it) so
    // that it stays in a register over the loop.
    void ReadCoordinateEntries()
    {
        const bool skew = m_kind.symmetry == kSkewSymmetric;
        const char* p = m_p;
        const char* const end = m_end;
        for (long long n = 0; n < m_declared; ++n) {
            p = NextContentLine(p, end);
            if (p == end)
                Truncated(n, " entries");
            const long long row = LineInteger(m_file, p, 1, m_result.numRows, "a row index");
            const long long column = LineInteger(m_file, p, 1, m_result.numColumns, "a column index");
            p = SkipBlank(p, end);
            const char* const valueAt = p;
            double value = 1.0;
            if (m_kind.field != kPattern)
                value = ReadValue(p);
            else if (p != end && !IsLineEnd(*p))
                ReadValue(p); // a pattern with a value column anyway
            if (skew && row == column && value != 0.0)
                m_file.Malformed(__LINE__, valueAt, "0 on the diagonal of a skew-symmetric matrix");
            p = EndOfLine(m_file, p);
            Add(static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value);
        }
        m_p = p;
    }

    // Column by column; only the values that are not zero (+-0.0) are stored,
    // so the entries are the nonzeros of the dense matrix. Without rows there
    // is nothing to read, however many columns the size line names.
    void ReadArrayValues()
    {
        const int symmetry = m_kind.symmetry;
        const int rows = m_result.numRows;
        const char* p = m_p;
        long long n = 0;
        for (int j = 0; rows > 0 && j < m_result.numColumns; ++j)
            for (int i = symmetry == kGeneral ? 0 : symmetry == kSkewSymmetric ? j + 1 : j; i < rows; ++i, ++n) {
                p = NextContentLine(p, m_end);
                if (p == m_end)
                    Truncated(n, " values");
                p = SkipBlank(p, m_end);
                const double value = ReadValue(p);
                p = EndOfLine(m_file, p);
                if (value != 0.0)
                    Add(static_cast<unsigned>(i), static_cast<unsigned>(j), value);
            }
        m_p = p;
    }

    [[noreturn]] void Truncated(long long found, const char* what) const
    {
        m_file.Malformed(__LINE__, m_end,
                         std::to_string(m_declared) + what + " as the size line declares, not " + std::to_string(found));
    }

    // The value token at p (past its blanks), checked against the field.
    double ReadValue(const char*& p) const
    {
        double value = 0.0;
        long long unused = 0;
        const bool integer = m_kind.field == kInteger;
        const char* next = p == m_end || IsLineEnd(*p)                              ? nullptr
                           : integer && ParseInteger(p, m_end, unused) == nullptr ? nullptr
                                                                                  : ParseReal(p, m_end, value);
        if (next == nullptr)
            m_file.Malformed(__LINE__, p, integer ? "an integer value" : "a value");
        p = next;
        return value;
    }

    // The general form takes each entry, and the mirror of an off-diagonal one
    // in a symmetric or hermitian file (negated in a skew-symmetric one); the
    // symmetric form keeps the diagonal apart (repeats summed) and each pair
    // once below it.
    void Add(unsigned row, unsigned column, double value)
    {
        ZylSrvSparseMatrixEntry* const entries = m_result.entries.Get();
        if (m_symmetricForm) {
            if (row == column)
                m_result.diagonal[row] += value;
            else
                entries[m_count++] = {std::max(row, column), std::min(row, column), value};
            return;
        }
        entries[m_count++] = {row, column, value};
        if (m_mirror && row != column)
            entries[m_count++] = {column, row, m_negate ? -value : value};
    }

    TextBlocks m_file;
    const bool m_keepSymmetric;
    const char* m_p = nullptr;
    const char* m_end = nullptr;
    MatrixMarketKind m_kind;
    long long m_declared = 0; // entries, or an array's values
    bool m_symmetricForm = false;
    bool m_mirror = false;
    bool m_negate = false;
    TextTriplets m_result;
    int m_count = 0;
};

} // namespace

TextTriplets ReadMatrixMarket(const char* path, bool keepSymmetric)
{
    return MatrixMarketReader(path, keepSymmetric).Read();
}

void WriteTriplets1Based(const char* path, const SparseArrays& a)
{
    OutputFile out(path);
    const auto line = [&out](long long row, long long column, double value) {
        char* p = PutInteger(out.Line(), row);
        *p++ = ' ';
        p = PutInteger(p, column);
        *p++ = ' ';
        p = PutE15(p, value);
        *p++ = '\n';
        out.Commit(p);
    };
    if (a.diagonal != nullptr)
        for (int i = 0; i < a.numRows; ++i)
            line(i + 1, i + 1, a.diagonal[i]);
    for (int i = 0; i < a.numRows; ++i)
        for (unsigned k = a.rowOffsets[i]; k < a.rowOffsets[i + 1]; ++k) {
            line(i + 1, a.columnIndices[k] + 1LL, a.values[k]);
            if (a.diagonal != nullptr)
                line(a.columnIndices[k] + 1LL, i + 1, a.values[k]);
        }
    out.Close();
}

void WriteNodeDofText(const char* path, const SparseArrays& a, const ZylSrvSystemDofDefinition& dofs)
{
    OutputFile out(path);
    const bool square = a.numRows == a.numColumns;
    for (int i = 0; i < a.numRows; ++i) {
        if (a.rowOffsets[i] == a.rowOffsets[i + 1])
            continue;
        const ZylSrvNodeDof rowDof = dofs.NodeDofFromSolverDof(i);
        for (unsigned k = a.rowOffsets[i]; k < a.rowOffsets[i + 1]; ++k) {
            // A non-square matrix's columns are no solver dofs: they are not
            // looked up, which the numbering may not even cover.
            const int j = a.columnIndices[k];
            const ZylSrvNodeDof columnDof = square ? dofs.NodeDofFromSolverDof(j) : ZylSrvNodeDof{j, 0};
            char* p = PutInteger(out.Line(), rowDof.node);
            *p++ = ',';
            p = PutInteger(p, rowDof.dof);
            *p++ = ',';
            p = PutInteger(p, columnDof.node);
            *p++ = ',';
            p = PutInteger(p, columnDof.dof);
            *p++ = ',';
            p = PutE15(p, a.values[k]);
            *p++ = '\n';
            out.Commit(p);
        }
    }
    out.Close();
}

void WriteZeroBasedText(const char* path, const SparseArrays& a)
{
    OutputFile out(path);
    const auto line = [&out](int row, int column, double value) {
        char* p = PutInteger(out.Line(), row);
        *p++ = ',';
        p = PutInteger(p, column);
        *p++ = ',';
        *p++ = ' ';
        p = PutE15(p, value);
        *p++ = '\n';
        out.Commit(p);
    };
    for (int i = 0; i < a.numRows; ++i) {
        if (a.diagonal != nullptr)
            line(i, i, a.diagonal[i]);
        for (unsigned k = a.rowOffsets[i]; k < a.rowOffsets[i + 1]; ++k)
            line(i, a.columnIndices[k], a.values[k]);
    }
    out.Close();
}

void WriteMatrixMarket(const char* path, const SparseArrays& a)
{
    OutputFile out(path);
    const bool symmetric = a.diagonal != nullptr;
    // A zero on the diagonal is not written: it is no entry, and a file
    // without it reads back, in either form, as the matrix that was written
    // (the symmetric form's diagonal holds +0.0 where no entry is).
    long long diagonalEntries = 0;
    if (symmetric)
        diagonalEntries = std::count_if(a.diagonal, a.diagonal + a.numRows, [](double d) { return d != 0.0; });
    const unsigned stored = StoredCount(a);
    char* p = out.Line();
    const char* banner = symmetric ? "%%MatrixMarket matrix coordinate real symmetric\n"
                                   : "%%MatrixMarket matrix coordinate real general\n";
    p = std::strcpy(p, banner) + std::strlen(banner);
    p = PutInteger(p, a.numRows);
    *p++ = ' ';
    p = PutInteger(p, a.numColumns);
    *p++ = ' ';
    p = PutInteger(p, static_cast<long long>(stored) + diagonalEntries);
    *p++ = '\n';
    out.Commit(p);
    const auto line = [&out](long long row, long long column, double value) {
        char* q = PutInteger(out.Line(), row);
        *q++ = ' ';
        q = PutInteger(q, column);
        *q++ = ' ';
        q = PutShortest(q, value);
        *q++ = '\n';
        out.Commit(q);
    };
    if (symmetric)
        for (int i = 0; i < a.numRows; ++i)
            if (a.diagonal[i] != 0.0)
                line(i + 1, i + 1, a.diagonal[i]);
    for (int i = 0; i < a.numRows; ++i)
        for (unsigned k = a.rowOffsets[i]; k < a.rowOffsets[i + 1]; ++k) {
            const long long j = a.columnIndices[k];
            if (!symmetric)
                line(i + 1, j + 1, a.values[k]);
            else if (j == i) // a stored pair on the diagonal stands for both of its places
                line(i + 1, i + 1, 2.0 * a.values[k]);
            else // the lower triangle: each pair once, row > column
                line((i > j ? i : j) + 1, (i > j ? j : i) + 1, a.values[k]);
        }
    out.Close();
}

} // namespace zyl_mtx
