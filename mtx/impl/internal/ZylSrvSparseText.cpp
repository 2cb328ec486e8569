#include <mtx/impl/internal/ZylSrvSparseText.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/ZylSrvSystemDofDefinition.h>

#include <fast_float/fast_float.h>

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
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kRaiseSource = zyl_mtx::kSparseImExPorterSource;

// ---- reading ----------------------------------------------------------------

// The whitespace of "%d %d %lf" in the C locale: space, \t, \n, \v, \f, \r.
inline bool IsSpace(unsigned char c) { return c == ' ' || static_cast<unsigned char>(c - 9) < 5; }
inline bool IsBlank(unsigned char c) { return IsSpace(c) && c != '\n'; } // inside one line

// The whole file, mapped read-only: both passes of a reader walk the same
// bytes without copying them, and nothing is allocated per line.
class MappedFile {
public:
    explicit MappedFile(const char* path) : m_path(path)
    {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path,
                                                        "not a regular file: the readers pass over it twice");
        }
        m_size = static_cast<std::size_t>(info.st_size);
        if (m_size > 0) {
            // Prefaulted at once: one walk through the page tables instead of
            // a fault per page in the first pass.
            void* map = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (map == MAP_FAILED) {
                ::close(fd);
                zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path, "the file cannot be mapped");
            }
            m_data = static_cast<const char*>(map);
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (m_size > 0)
            ::munmap(const_cast<char*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const char* Begin() const { return m_data; }
    const char* End() const { return m_data + m_size; }

    // Refuses the file: what was expected at `at`, with the line, the byte
    // offset and (a printable prefix of) the token found there.
    [[noreturn]] void Malformed(int sourceLine, const char* at, const std::string& expected) const
    {
        long line = 1;
        for (const char* p = m_data; p != at; ++p)
            line += *p == '\n';
        std::string found;
        const char* p = at;
        for (; p != End() && !IsSpace(*p) && found.size() < 32; ++p)
            found += (*p >= 0x21 && *p < 0x7f) ? *p : '?';
        if (at == End())
            found = "end of file";
        else if (*at == '\n' || *at == '\r')
            found = "the end of the line";
        else
            found = "'" + found + (p != End() && !IsSpace(*p) ? "...'" : "'");
        const std::string detail = "line " + std::to_string(line) + " (byte " + std::to_string(at - m_data) +
                                   "): expected " + expected + ", found " + found;
        zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, sourceLine, m_path, detail.c_str());
    }

private:
    static constexpr char kEmpty[1] = {0};
    const char* m_path;
    const char* m_data = kEmpty;
    std::size_t m_size = 0;
};

inline const char* SkipSpace(const char* p, const char* end)
{
    while (p != end && IsSpace(*p))
        ++p;
    return p;
}
inline const char* SkipBlank(const char* p, const char* end)
{
    while (p != end && IsBlank(*p))
        ++p;
    return p;
}
inline bool AtTokenEnd(const char* p, const char* end) { return p == end || IsSpace(*p); }

// A decimal integer as "%d" reads it (optional sign, digits), required to
// fill its whole token. Returns the end of the token, or null when the token
// is no integer. The magnitude saturates at 2^40, far outside any range a
// caller accepts, so a long run of digits cannot overflow.
inline const char* ParseInteger(const char* p, const char* end, long long& value)
{
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    const char* digits = p;
    unsigned long long v = 0;
    for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p)
        v = v < (1ULL << 40) ? v * 10 + static_cast<unsigned>(*p - '0') : (1ULL << 40);
    if (p == digits || !AtTokenEnd(p, end))
        return nullptr;
    value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    return p;
}

// A number as "%lf" (strtod) reads it, required to fill its whole token:
// decimal, "inf", "infinity", "nan", "nan(chars)" in any case, hexadecimal,
// a leading '+'. The common decimal form goes through fast_float, which
// rounds correctly like glibc; the rest through strtod on a copy.
inline const char* ParseReal(const char* p, const char* end, double& value)
{
    const fast_float::from_chars_result r = fast_float::from_chars(p, end, value);
    if (r.ec == std::errc() && AtTokenEnd(r.ptr, end))
        return r.ptr;
    const char* tokenEnd = p;
    while (!AtTokenEnd(tokenEnd, end))
        ++tokenEnd;
    char copy[512];
    const std::size_t length = static_cast<std::size_t>(tokenEnd - p);
    if (length == 0 || length >= sizeof copy)
        return nullptr;
    std::memcpy(copy, p, length);
    copy[length] = '\0';
    char* stop = nullptr;
    value = std::strtod(copy, &stop);
    return stop == copy + length ? tokenEnd : nullptr;
}

// Tokens are counted as the starts of runs of non-space bytes; written over
// byte pairs so that the compiler vectorizes it.
std::size_t CountTokens(const char* begin, const char* end)
{
    const std::size_t n = static_cast<std::size_t>(end - begin);
    if (n == 0)
        return 0;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(begin);
    std::size_t count = IsSpace(b[0]) ? 0 : 1;
    for (std::size_t i = 1; i < n; ++i)
        count += static_cast<std::size_t>(IsSpace(b[i - 1]) & !IsSpace(b[i]));
    return count;
}

std::string Range(const char* what, long long last) { return std::string(what) + " (1 to " + std::to_string(last) + ")"; }

// ---- writing ----------------------------------------------------------------

// The output file through one large buffer; lines are formatted straight into
// it. fopen("w") semantics: created or truncated, mode 0666 less the umask.
class OutputFile {
public:
    static constexpr std::size_t kCapacity = std::size_t(1) << 20;
    static constexpr std::size_t kLongestLine = 160;

    explicit OutputFile(const char* path) : m_path(path)
    {
        m_fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            zyl_mtx::Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
        m_buffer = mem_Array<char>(kCapacity);
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

inline char* PutInteger(char* p, long long v) { return std::to_chars(p, p + 24, v).ptr; }

// "%18.15e" as glibc's printf writes it. A finite value always takes at least
// 21 characters, so the width pads only inf and nan; both carry their sign
// bit ("-nan" for a negative NaN). to_chars with a precision rounds the exact
// binary value correctly, ties to even, as glibc does.
inline char* PutE15(char* p, double v)
{
    if (std::isfinite(v))
        return std::to_chars(p, p + 32, v, std::chars_format::scientific, 15).ptr;
    const char* text = std::isnan(v) ? (std::signbit(v) ? "-nan" : "nan") : (std::signbit(v) ? "-inf" : "inf");
    const std::size_t length = std::strlen(text);
    std::memset(p, ' ', 18 - length);
    std::memcpy(p + 18 - length, text, length);
    return p + 18;
}

// The shortest text strtod reads back as the same double (at most 17
// significant digits).
inline char* PutShortest(char* p, double v) { return std::to_chars(p, p + 32, v).ptr; }

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
    const MappedFile file(path);
    const char* const end = file.End();

    // Pass 1: the number of triplets, so that the entries are allocated once.
    const std::size_t tokens = CountTokens(file.Begin(), end);
    if (tokens / 3 > static_cast<std::size_t>(INT_MAX))
        file.Malformed(__LINE__, file.Begin(), "at most 2147483647 triplets");
    TextTriplets result;
    const int count = static_cast<int>(tokens / 3);
    result.entries = mem_Array<ZylSrvSparseMatrixEntry>(count);

    // Pass 2: every token parsed and checked.
    long long maxRow = 0;
    long long maxColumn = 0;
    int k = 0;
    const char* p = SkipSpace(file.Begin(), end);
    while (p != end) {
        long long row = 0;
        long long column = 0;
        double value = 0.0;
        const char* next = ParseInteger(p, end, row);
        if (next == nullptr || row < 1 || row > INT_MAX)
            file.Malformed(__LINE__, p, Range("a row number", INT_MAX));
        p = SkipSpace(next, end);
        next = p == end ? nullptr : ParseInteger(p, end, column);
        if (next == nullptr || column < 1 || column > INT_MAX)
            file.Malformed(__LINE__, p, Range("a column number", INT_MAX));
        p = SkipSpace(next, end);
        next = p == end ? nullptr : ParseReal(p, end, value);
        if (next == nullptr)
            file.Malformed(__LINE__, p, "a value");
        if (k == count) // only if the file changed between the passes
            file.Malformed(__LINE__, p, "the file as it was counted");
        result.entries[k++] = {static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value};
        maxRow = row > maxRow ? row : maxRow;
        maxColumn = column > maxColumn ? column : maxColumn;
        p = SkipSpace(next, end);
    }
    if (k != count)
        file.Malformed(__LINE__, end, "the file as it was counted");
    result.count = count;
    result.numRows = static_cast<int>(maxRow);
    result.numColumns = static_cast<int>(maxColumn);
    return result;
}

namespace {

// Advances past the rest of a line that must hold nothing but blanks.
const char* EndOfLine(const MappedFile& file, const char* p)
{
    p = SkipBlank(p, file.End());
    if (p != file.End() && *p != '\n')
        file.Malformed(__LINE__, p, "the end of the line");
    return p == file.End() ? p : p + 1;
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
int BannerWord(const MappedFile& file, const char*& p, std::initializer_list<const char*> choices,
               const char* expected)
{
    p = SkipBlank(p, file.End());
    const char* tokenEnd = p;
    while (!AtTokenEnd(tokenEnd, file.End()))
        ++tokenEnd;
    int index = 0;
    for (const char* word : choices) {
        if (SameWord(p, tokenEnd, word)) {
            p = tokenEnd;
            return index;
        }
        ++index;
    }
    file.Malformed(__LINE__, p, expected);
}

// A non-negative count or an index in 1 .. last, on the current line.
long long LineInteger(const MappedFile& file, const char*& p, long long first, long long last, const char* what)
{
    p = SkipBlank(p, file.End());
    long long value = 0;
    const char* next = p == file.End() || *p == '\n' ? nullptr : ParseInteger(p, file.End(), value);
    if (next == nullptr || value < first || value > last)
        file.Malformed(__LINE__, p, std::string(what) + " (" + std::to_string(first) + " to " + std::to_string(last) + ")");
    p = next;
    return value;
}

} // namespace

TextTriplets ReadMatrixMarket(const char* path)
{
    const MappedFile file(path);
    const char* const end = file.End();
    const char* p = file.Begin();

    BannerWord(file, p, {"%%matrixmarket"}, "the banner %%MatrixMarket");
    BannerWord(file, p, {"matrix"}, "the object 'matrix'");
    BannerWord(file, p, {"coordinate"}, "the format 'coordinate'");
    enum { kReal, kInteger, kPattern };
    const int field = BannerWord(file, p, {"real", "integer", "pattern"}, "the field real, integer or pattern");
    const bool symmetric = BannerWord(file, p, {"general", "symmetric"}, "the symmetry general or symmetric") == 1;
    p = EndOfLine(file, p);

    // Comment lines and blank lines up to the size line.
    for (;;) {
        const char* q = SkipBlank(p, end);
        if (q != end && *q == '%')
            q = static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(end - q)));
        else if (q == end || *q != '\n')
            break;
        p = q == nullptr || q == end ? end : q + 1;
    }
    const char* sizeLine = p;
    const long long rows = LineInteger(file, p, 0, INT_MAX, "the number of rows");
    const long long columns = LineInteger(file, p, 0, INT_MAX, "the number of columns");
    const long long declared = LineInteger(file, p, 0, INT_MAX, "the number of entries");
    p = EndOfLine(file, p);
    if (symmetric && rows != columns)
        file.Malformed(__LINE__, sizeLine, "a square size for a symmetric matrix");
    // No allocation from an unchecked size: an entry line takes at least
    // four bytes ("1 1" and its newline), and the expansion must fit an int.
    if (declared > (end - p + 1) / 4 || (symmetric && declared > INT_MAX / 2))
        file.Malformed(__LINE__, sizeLine, "a number of entries the rest of the file can hold");

    TextTriplets result;
    result.entries = mem_Array<ZylSrvSparseMatrixEntry>(static_cast<std::size_t>(declared) * (symmetric ? 2 : 1));
    int k = 0;
    for (long long n = 0; n < declared; ++n) {
        for (const char* q = SkipBlank(p, end); q != end && *q == '\n'; q = SkipBlank(p, end)) // blank lines
            p = q + 1;
        if (SkipBlank(p, end) == end)
            file.Malformed(__LINE__, end, std::to_string(declared) + " entries as the size line declares, not " +
                                              std::to_string(n));
        const long long row = LineInteger(file, p, 1, rows, "a row index");
        const long long column = LineInteger(file, p, 1, columns, "a column index");
        double value = 1.0;
        if (field != kPattern) {
            p = SkipBlank(p, end);
            long long unused = 0;
            const char* next = p == end || *p == '\n' ? nullptr
                               : field == kInteger && ParseInteger(p, end, unused) == nullptr ? nullptr
                                                                                               : ParseReal(p, end, value);
            if (next == nullptr)
                file.Malformed(__LINE__, p, field == kInteger ? "an integer value" : "a value");
            p = next;
        }
        p = EndOfLine(file, p);
        result.entries[k++] = {static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value};
        if (symmetric && row != column)
            result.entries[k++] = {static_cast<unsigned>(column - 1), static_cast<unsigned>(row - 1), value};
    }
    p = SkipSpace(p, end);
    if (p != end)
        file.Malformed(__LINE__, p, "the end of the file after " + std::to_string(declared) + " entries");
    result.count = k;
    result.numRows = static_cast<int>(rows);
    result.numColumns = static_cast<int>(columns);
    return result;
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
    const unsigned stored = StoredCount(a);
    char* p = out.Line();
    const char* banner = symmetric ? "%%MatrixMarket matrix coordinate real symmetric\n"
                                   : "%%MatrixMarket matrix coordinate real general\n";
    p = std::strcpy(p, banner) + std::strlen(banner);
    p = PutInteger(p, a.numRows);
    *p++ = ' ';
    p = PutInteger(p, a.numColumns);
    *p++ = ' ';
    p = PutInteger(p, static_cast<long long>(stored) + (symmetric ? a.numRows : 0));
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
