#include <mtx/impl/internal/ZylSrvSparseText.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvRowSort.h>
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

// A file read front to back in large blocks through one buffer, so that
// nothing is allocated per line and the page cache is copied, not mapped (a
// mapping's page faults cost more than the copy). Each block ends after a
// whitespace byte (kTokens) or a line end (kLines), so that it holds whole
// tokens or whole lines; what is cut at its end is carried to the front of
// the next one. A line longer than the buffer doubles it, unless it is a
// comment or blanks, which are dropped instead. Spaces pad every block
// (kTextPadding) for the number parsers' eight-byte loads.
class TextBlocks {
public:
    enum Cut { kTokens, kLines };

    TextBlocks(const char* path, Cut cut) : m_path(path), m_cut(cut)
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
        // One spare byte: a file that fits ends its only block at end of file.
        const unsigned long long wanted = m_size + 1;
        m_capacity = wanted < kBlock ? static_cast<std::size_t>(wanted) : kBlock;
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
    const char* Limit() const { return m_limit; } // the whole tokens or lines end here
    // The position of `at` (in the current block) in the file.
    unsigned long long Offset(const char* at) const
    {
        return m_offset + static_cast<unsigned long long>(at - m_buffer.Get());
    }

    // The next block; false once the file is used up.
    bool Next()
    {
        if (m_eof)
            return false;
        const std::size_t carry = static_cast<std::size_t>(m_end - m_limit);
        m_offset += static_cast<unsigned long long>(m_limit - m_buffer.Get());
        std::memmove(m_buffer.Get(), m_limit, carry);
        m_end = m_buffer.Get() + carry;
        for (;;) {
            Fill();
            m_limit = m_eof ? m_end : LastCut();
            if (m_eof || m_limit != m_buffer.Get())
                break;
            if (m_cut == kTokens)
                Malformed(__LINE__, m_buffer.Get(), "a token of at most " + std::to_string(m_capacity) + " bytes");
            if (!DropLongCommentOrBlanks())
                Grow();
        }
        std::memset(m_end, ' ', zyl_mtx::kTextPadding);
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
        const unsigned long long offset = Offset(at);
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

    // Reads until the buffer is full or the file ends.
    void Fill()
    {
        char* const full = m_buffer.Get() + m_capacity;
        while (m_end != full) {
            const ssize_t n = ::read(m_fd, m_end, static_cast<std::size_t>(full - m_end));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Malformed(__LINE__, m_end, "bytes that can be read");
            if (n == 0) {
                m_eof = true;
                return;
            }
            m_end += n;
        }
    }

    // Just past the last whitespace byte (or line end) of the bytes read; the
    // buffer's start when there is none.
    char* LastCut() const
    {
        char* p = m_end;
        if (m_cut == kTokens)
            while (p != m_buffer.Get() && !zyl_mtx::IsSpace(p[-1]))
                --p;
        else
            while (p != m_buffer.Get() && !IsLineEnd(p[-1]))
                --p;
        return p;
    }

    // A comment line (or a run of blanks) longer than the buffer need not be
    // held: it is dropped but for its last byte, turned into '%' (or a blank)
    // so that what follows of the line still reads as comment (or blanks).
    // The bytes keep their offsets in the file.
    bool DropLongCommentOrBlanks()
    {
        char* const buffer = m_buffer.Get();
        const char* const content = SkipBlank(buffer, m_end);
        if (content != m_end && *content != '%')
            return false;
        const char marker = content == m_end ? ' ' : '%';
        m_offset += static_cast<unsigned long long>(m_end - buffer) - 1;
        buffer[0] = marker;
        m_end = buffer + 1;
        return true;
    }

    void Grow()
    {
        mem_Array<char> larger(2 * m_capacity + zyl_mtx::kTextPadding);
        const std::size_t used = static_cast<std::size_t>(m_end - m_buffer.Get());
        std::memcpy(larger.Get(), m_buffer.Get(), used);
        m_buffer = std::move(larger);
        m_capacity *= 2;
        m_end = m_buffer.Get() + used;
    }

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
    const Cut m_cut;
    int m_fd = -1;
    unsigned long long m_size = 0;
    std::size_t m_capacity = 0;
    mem_Array<char> m_buffer;
    char* m_end = nullptr;   // the bytes read end here
    char* m_limit = nullptr; // the whole tokens end here
    unsigned long long m_offset = 0; // of the buffer's first byte in the file
    bool m_eof = false;
};

// Starts of runs of non-space bytes, counted with byte-wide counters over
// blocks of 255 x 16 bytes, which the compiler turns into vector code.
std::size_t CountTokens(const char* begin, const char* end)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(begin);
    const std::size_t n = static_cast<std::size_t>(end - begin);
    if (n == 0)
        return 0;
    const auto starts = [b](std::size_t i) {
        return static_cast<unsigned char>(static_cast<int>(zyl_mtx::IsSpace(b[i - 1])) &
                                          static_cast<int>(!zyl_mtx::IsSpace(b[i])));
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
    TextBlocks file(path, TextBlocks::kTokens);

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

// The end of the line at p (its first "\n" or "\r"), eight bytes at a time;
// `end` when the line runs to it.
inline const char* LineEndFrom(const char* p, const char* end)
{
    using zyl_mtx::text_detail::Load8;
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    const auto zeroBytes = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    for (; p < end; p += 8) {
        const std::uint64_t w = Load8(p);
        const std::uint64_t ends = zeroBytes(w ^ (kOnes * '\n')) | zeroBytes(w ^ (kOnes * '\r'));
        if (ends != 0)
            return std::min(p + (__builtin_ctzll(ends) >> 3), end);
    }
    return end;
}

// The first byte of the next line that is neither blank nor a comment ('%'
// its first non-blank byte), past its leading blanks; `end` when none is left.
const char* NextContentLine(const char* p, const char* end)
{
    for (;;) {
        p = SkipBlank(p, end);
        if (p == end || (!IsLineEnd(*p) && *p != '%'))
            return p;
        p = LineEndFrom(p, end);
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

inline bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// One entry line the quick way: "row column value\n" (no value in a pattern),
// single spaces, the value in the common decimal form. Returns the start of
// the next line, or null when the line has any other shape (the careful
// reading then takes it, and refuses it if it has to).
inline const char* QuickEntry(const char* p, std::uint64_t& row, std::uint64_t& column, double& value, bool pattern)
{
    if ((p = zyl_mtx::DigitRun(p, row)) == nullptr || *p != ' ')
        return nullptr;
    if ((p = zyl_mtx::DigitRun(p + 1, column)) == nullptr)
        return nullptr;
    if (pattern) {
        value = 1.0;
        return *p == '\n' ? p + 1 : nullptr;
    }
    if (*p != ' ' || (p = zyl_mtx::ParseDecimalFast<false>(p + 1, value)) == nullptr || *p != '\n')
        return nullptr;
    return p + 1;
}

// Reads the file in blocks of whole lines: the banner, the size line, then
// the entries or the array's values into compressed arrays of the final
// size, nothing else of the file's size held.
//
// Coordinate entries: a file whose rows never decrease (after the symmetric
// form's mirroring) fills the arrays in one pass, in order. Any other file
// (and every mirrored one) is read twice: the first pass counts the entries
// of each row, the second places them. Then each row is sorted and its
// repeats summed. An array's values have known places, so it is read once.
class MatrixMarketReader {
public:
    MatrixMarketReader(const char* path, bool keepSymmetric)
        : m_file(path, TextBlocks::kLines), m_keepSymmetric(keepSymmetric)
    {
    }

    zyl_mtx::ReadArrays Read()
    {
        m_file.Next();
        m_p = m_file.Begin();
        while ((m_p = SkipSpace(m_p, m_file.Limit())) == m_file.Limit() && NextBlock()) {
        } // blank lines before the banner
        m_kind = ReadBanner(m_file, m_p);
        SkipToContent();
        ReadSizeLine();
        if (m_kind.array)
            ReadArray();
        else
            ReadCoordinate();
        return std::move(m_result);
    }

private:
    bool NextBlock()
    {
        if (!m_file.Next())
            return false;
        m_p = m_file.Begin();
        return true;
    }

    // To the next line with content, across blocks; the file's end if none.
    void SkipToContent()
    {
        while ((m_p = NextContentLine(m_p, m_file.Limit())) == m_file.Limit() && NextBlock()) {
        }
    }

    void ReadSizeLine()
    {
        const char* const sizeLine = m_p;
        const long long rows = LineInteger(m_file, m_p, 0, INT_MAX, "the number of rows");
        const long long columns = LineInteger(m_file, m_p, 0, INT_MAX, "the number of columns");
        const char* const countAt = m_kind.array ? sizeLine : SkipBlank(m_p, m_file.Limit());
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
        const unsigned long long at = m_file.Offset(m_p), size = std::max(m_file.Size(), at);
        const long long room = static_cast<long long>(size - at + 1) / (m_kind.array ? 2 : 4);
        if (m_declared > room)
            m_file.Malformed(__LINE__, countAt,
                             (m_kind.array ? "a size whose " + std::to_string(m_declared) + " values"
                                           : std::string("a number of entries")) +
                                 " the rest of the file can hold (at most " + std::to_string(room) + ")");
        m_symmetricForm = m_keepSymmetric && (symmetry == kSymmetric || symmetry == kHermitian);
        m_mirror = !m_symmetricForm && symmetry != kGeneral;
        m_negate = symmetry == kSkewSymmetric;
        // An array keeps a place for every value of its form; entries at most
        // two places each.
        m_places = !m_kind.array        ? m_declared * (m_mirror ? 2 : 1)
                   : m_symmetricForm    ? rows * (rows - 1) / 2
                                        : rows * columns;
        if (m_places + (m_symmetricForm ? rows : 0) > INT_MAX)
            m_file.Malformed(__LINE__, countAt, "at most 2147483647 values to store, mirrored ones and the diagonal included");
        m_result.rowOffsets = mem_Array<unsigned int>(static_cast<std::size_t>(rows) + 1);
        std::fill(m_result.rowOffsets.begin(), m_result.rowOffsets.end(), 0U);
        if (m_symmetricForm) {
            m_result.diagonal = mem_Array<double>(static_cast<std::size_t>(rows));
            std::fill(m_result.diagonal.begin(), m_result.diagonal.end(), 0.0);
        }
        m_result.numRows = static_cast<int>(rows);
        m_result.numColumns = static_cast<int>(columns);
    }

    void AllocatePlaces(long long places)
    {
        m_result.columnIndices = mem_Array<int>(static_cast<std::size_t>(places));
        m_result.values = mem_Array<double>(static_cast<std::size_t>(places));
    }

    // ---- coordinate ----

    void ReadCoordinate()
    {
        const unsigned long long entriesAt = m_file.Offset(m_p);
        if (!m_mirror) { // try the one pass
            AllocatePlaces(m_places);
            if (PlaceInOrder())
                return Finish();
            std::fill(m_result.rowOffsets.begin(), m_result.rowOffsets.end(), 0U);
            if (m_symmetricForm)
                std::fill(m_result.diagonal.begin(), m_result.diagonal.end(), 0.0);
        }
        const std::uint64_t counted = CountPerRow(entriesAt);
        unsigned int* const offsets = m_result.rowOffsets.Get();
        const int rows = m_result.numRows;
        PrefixSums();
        const unsigned int total = offsets[rows];
        for (int i = rows; i > 0; --i) // row starts, one place on
            offsets[i] = offsets[i - 1];
        if (m_mirror)
            AllocatePlaces(total);
        // offsets[i + 1] is row i's next place until the pass ends.
        Restart(entriesAt);
        std::uint64_t placed = 0;
        const Places places = PlacesOfEntries();
        ForEachEntry([&](unsigned row, unsigned column, double value) {
            placed = Mix(placed, row, column);
            places.Put(row, column, value, [&](unsigned r, unsigned c, double v) {
                const unsigned int k = offsets[r + 1]++;
                if (k >= total) // only when the file changed after it was counted
                    Changed();
                m_result.columnIndices[k] = static_cast<int>(c);
                m_result.values[k] = v;
            });
            return true;
        });
        if (placed != counted)
            Changed();
        Finish();
    }

    // The entries in the file's order while no row comes before the last one;
    // false at the first that does (the offsets then hold partial counts).
    bool PlaceInOrder()
    {
        unsigned int* const counts = m_result.rowOffsets.Get() + 1;
        int* const columns = m_result.columnIndices.Get();
        double* const values = m_result.values.Get();
        const Places places = PlacesOfEntries();
        std::uint64_t nextKey = 0; // past (row, column) of the last place, as row x 2^32 + column
        unsigned int k = 0;
        bool inOrder = true;
        bool increasing = true; // every row's columns, so far
        const bool read = ForEachEntry([&](unsigned row, unsigned column, double value) {
            places.Put(row, column, value, [&](unsigned r, unsigned c, double v) {
                const std::uint64_t key = (std::uint64_t{r} << 32) | c;
                if (key < nextKey) {
                    inOrder &= r >= (nextKey - 1) >> 32;
                    increasing = false;
                }
                nextKey = key + 1;
                ++counts[r];
                columns[k] = static_cast<int>(c);
                values[k++] = v;
            });
            return inOrder;
        });
        if (!read)
            return false;
        PrefixSums();
        m_sortedWithoutRepeats = increasing;
        return true;
    }

    // The first pass: how many places each row takes, at offsets[row + 1]
    // (the lines are read the quick way only where they can be: a line the
    // second pass will refuse ends the count). Returns the entries' digest.
    std::uint64_t CountPerRow(unsigned long long entriesAt)
    {
        Restart(entriesAt);
        unsigned int* const counts = m_result.rowOffsets.Get() + 1;
        const std::uint64_t rows = static_cast<std::uint64_t>(m_result.numRows);
        const std::uint64_t columns = static_cast<std::uint64_t>(m_result.numColumns);
        const Places places = PlacesOfEntries();
        std::uint64_t digest = 0;
        long long n = 0;
        for (const char* p = m_p;; p = m_file.Begin()) {
            const char* const end = m_file.Limit();
            while (n < m_declared && (p = NextContentLine(p, end)) != end) {
                std::uint64_t row = 0, column = 0;
                p = CountedIndex(p, end, row, rows);
                if (p != nullptr)
                    p = CountedIndex(p, end, column, columns);
                if (p == nullptr)
                    return digest;
                --row;
                --column;
                digest = Mix(digest, static_cast<unsigned>(row), static_cast<unsigned>(column));
                places.Put(static_cast<unsigned>(row), static_cast<unsigned>(column), 0.0,
                           [counts](unsigned r, unsigned, double) { ++counts[r]; });
                ++n;
                p = LineEndFrom(p, end);
            }
            if (n == m_declared || !m_file.Next())
                return digest;
        }
    }

    // An index in 1 .. last after blanks, or null.
    static const char* CountedIndex(const char* p, const char* end, std::uint64_t& value, std::uint64_t last)
    {
        p = SkipBlank(p, end);
        long long parsed = 0;
        const char* next = p == end ? nullptr : ParseInteger(p, end, parsed);
        if (next == nullptr || parsed < 1 || static_cast<std::uint64_t>(parsed) > last)
            return nullptr;
        value = static_cast<std::uint64_t>(parsed);
        return next;
    }

    // Every entry line from the size line on, read and checked, to
    // take(row, column, value) (0-based); stops early when take says false.
    // Refuses a line beyond the declared count and a count not reached.
    template <class Take>
    bool ForEachEntry(Take&& take)
    {
        const bool quick = m_kind.field != kInteger;
        const bool pattern = m_kind.field == kPattern;
        const bool skew = m_kind.symmetry == kSkewSymmetric;
        const std::uint64_t rows = static_cast<std::uint64_t>(m_result.numRows);
        const std::uint64_t columns = static_cast<std::uint64_t>(m_result.numColumns);
        const long long declared = m_declared;
        long long n = 0;
        for (const char* p = m_p;; p = m_file.Begin()) {
            const char* const end = m_file.Limit();
            for (;;) {
                if (p == end || !IsDigit(*p))
                    if ((p = NextContentLine(p, end)) == end)
                        break;
                if (n == declared)
                    m_file.Malformed(__LINE__, p, "the end of the file after " + std::to_string(m_declared) + " entries");
                std::uint64_t row = 0, column = 0;
                double value = 0.0;
                const char* const next = quick ? QuickEntry(p, row, column, value, pattern) : nullptr;
                if (next != nullptr && row - 1 < rows && column - 1 < columns && !(skew && row == column))
                    p = next;
                else
                    p = CarefulEntry(p, row, column, value);
                ++n;
                if (!take(static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value))
                    return false;
            }
            if (!m_file.Next())
                break;
        }
        if (n < m_declared)
            Truncated(n, " entries");
        return true;
    }

    // One entry line read token by token, everything checked.
    const char* CarefulEntry(const char* p, std::uint64_t& row, std::uint64_t& column, double& value) const
    {
        const char* const end = m_file.Limit();
        row = static_cast<std::uint64_t>(LineInteger(m_file, p, 1, m_result.numRows, "a row index"));
        column = static_cast<std::uint64_t>(LineInteger(m_file, p, 1, m_result.numColumns, "a column index"));
        p = SkipBlank(p, end);
        const char* const valueAt = p;
        value = 1.0;
        if (m_kind.field != kPattern)
            value = ReadValue(p);
        else if (p != end && !IsLineEnd(*p))
            ReadValue(p); // a pattern with a value column anyway
        if (m_kind.symmetry == kSkewSymmetric && row == column && value != 0.0)
            m_file.Malformed(__LINE__, valueAt, "0 on the diagonal of a skew-symmetric matrix");
        return EndOfLine(m_file, p);
    }

    // The places an entry takes: itself in the general form, its mirror too
    // when mirrored (negated in a skew-symmetric file); in the symmetric form
    // the diagonal apart (repeats summed) and each pair once below it. A copy
    // of the reader's choices, so that a pass keeps them in registers.
    struct Places {
        bool symmetricForm, mirror, negate;
        double* diagonal;

        template <class Take>
        void Put(unsigned row, unsigned column, double value, Take&& put) const
        {
            if (symmetricForm) {
                if (row == column)
                    diagonal[row] += value;
                else
                    put(std::max(row, column), std::min(row, column), value);
                return;
            }
            put(row, column, value);
            if (mirror && row != column)
                put(column, row, negate ? -value : value);
        }
    };
    Places PlacesOfEntries() { return {m_symmetricForm, m_mirror, m_negate, m_result.diagonal.Get()}; }

    // Counts at offsets[i + 1] become row starts, offsets[i].
    void PrefixSums()
    {
        unsigned int* const offsets = m_result.rowOffsets.Get();
        for (int i = 0; i < m_result.numRows; ++i)
            offsets[i + 1] += offsets[i];
    }

    // Back to the byte at `at`, the entries' first, for another pass.
    void Restart(unsigned long long at)
    {
        m_file.Rewind();
        while (NextBlock() && m_file.Offset(m_file.Limit()) <= at) {
        }
        if (at > m_file.Offset(m_file.Limit())) // the file is shorter than it was
            Changed();
        m_p = m_file.Begin() + (at - m_file.Offset(m_file.Begin()));
    }

    static std::uint64_t Mix(std::uint64_t digest, unsigned row, unsigned column)
    {
        return (digest ^ ((std::uint64_t{row} << 32) | column)) * 0x100000001b3ULL;
    }

    [[noreturn]] void Changed() const
    {
        m_file.Malformed(__LINE__, m_file.Limit(), "the entries counted in the first pass (the file changed)");
    }

    // Sorts each row, sums its repeats, and counts what is stored.
    void Finish()
    {
        unsigned int* const offsets = m_result.rowOffsets.Get();
        const int rows = m_result.numRows;
        if (!m_sortedWithoutRepeats) {
            zyl_mtx::RowSorter(offsets, rows).SortEachRow(offsets, rows, m_result.columnIndices.Get(),
                                                          m_result.values.Get());
            zyl_mtx::MergeRepeatsInPlace(offsets, rows, m_result.columnIndices.Get(), m_result.values.Get());
        }
        KeepStored();
    }

    // The arrays cut to what is stored (repeats summed, an array's zeros and
    // a symmetric file's diagonal entries leave room at their ends).
    void KeepStored()
    {
        const unsigned int stored = m_result.rowOffsets[static_cast<std::size_t>(m_result.numRows)];
        m_result.columnIndices.Shrink(stored);
        m_result.values.Shrink(stored);
        m_result.numNonzeros = static_cast<int>(stored) + (m_symmetricForm ? m_result.numRows : 0);
    }

    // ---- array ----

    // Column by column into the places of a dense matrix (its strict lower
    // triangle in the symmetric form), then each row's values that are not
    // zero (+-0.0) moved to its front: the entries are the dense matrix's
    // nonzeros. Without rows there is nothing to read, however many columns
    // the size line names.
    void ReadArray()
    {
        AllocatePlaces(m_places);
        std::fill(m_result.values.begin(), m_result.values.end(), 0.0);
        const int symmetry = m_kind.symmetry;
        const long long rows = m_result.numRows;
        const long long columns = m_result.numColumns;
        double* const dense = m_result.values.Get();
        long long n = 0;
        for (long long j = 0; rows > 0 && j < columns; ++j)
            for (long long i = symmetry == kGeneral ? 0 : symmetry == kSkewSymmetric ? j + 1 : j; i < rows; ++i, ++n) {
                SkipToContent();
                if (m_p == m_file.Limit())
                    Truncated(n, " values");
                m_p = SkipBlank(m_p, m_file.Limit());
                const double value = ReadValue(m_p);
                m_p = EndOfLine(m_file, m_p);
                if (value == 0.0)
                    continue;
                if (m_symmetricForm && i == j)
                    m_result.diagonal[i] = value;
                else if (m_symmetricForm)
                    dense[i * (i - 1) / 2 + j] = value;
                else
                    dense[i * columns + j] = value;
                if (m_mirror && i != j)
                    dense[j * columns + i] = m_negate ? -value : value;
            }
        SkipToContent();
        if (m_p != m_file.Limit())
            m_file.Malformed(__LINE__, m_p, "the end of the file after " + std::to_string(m_declared) + " values");
        Compact();
    }

    // Row i's places start at i x columns (at i(i-1)/2 in the symmetric form).
    void Compact()
    {
        int* const columnIndices = m_result.columnIndices.Get();
        double* const values = m_result.values.Get();
        unsigned int* const offsets = m_result.rowOffsets.Get();
        const long long columns = m_result.numColumns;
        unsigned int stored = 0;
        for (long long i = 0; i < m_result.numRows; ++i) {
            const long long first = m_symmetricForm ? i * (i - 1) / 2 : i * columns;
            const long long width = m_symmetricForm ? i : columns;
            for (long long j = 0; j < width; ++j)
                if (values[first + j] != 0.0) {
                    columnIndices[stored] = static_cast<int>(j);
                    values[stored++] = values[first + j];
                }
            offsets[i + 1] = stored;
        }
        KeepStored();
    }

    [[noreturn]] void Truncated(long long found, const char* what) const
    {
        m_file.Malformed(__LINE__, m_file.Limit(),
                         std::to_string(m_declared) + what + " as the size line declares, not " + std::to_string(found));
    }

    // The value token at p (past its blanks), checked against the field.
    double ReadValue(const char*& p) const
    {
        const char* const end = m_file.Limit();
        double value = 0.0;
        long long unused = 0;
        const bool integer = m_kind.field == kInteger;
        const char* next = p == end || IsLineEnd(*p)                              ? nullptr
                           : integer && ParseInteger(p, end, unused) == nullptr ? nullptr
                                                                                : ParseReal(p, end, value);
        if (next == nullptr)
            m_file.Malformed(__LINE__, p, integer ? "an integer value" : "a value");
        p = next;
        return value;
    }

    TextBlocks m_file;
    const bool m_keepSymmetric;
    const char* m_p = nullptr; // in the current block
    MatrixMarketKind m_kind;
    long long m_declared = 0; // entries, or an array's values
    long long m_places = 0;   // in the compressed arrays, before repeats are summed
    bool m_symmetricForm = false;
    bool m_mirror = false;
    bool m_negate = false;
    bool m_sortedWithoutRepeats = false; // found so by the one pass
    zyl_mtx::ReadArrays m_result;
};

} // namespace

ReadArrays ReadMatrixMarket(const char* path, bool keepSymmetric)
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
