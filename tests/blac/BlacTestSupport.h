#ifndef TESTS_BLAC_BLACTESTSUPPORT_H
#define TESTS_BLAC_BLACTESTSUPPORT_H
// Bridge-specific helpers: a matrix stored with a leading dimension above its
// row count (padding rows and one spare column hold a sentinel, so a write
// outside the matrix shows), packed triangles, and the capture of what the
// BLAS error reporter (XERBLA) prints on standard output.
#include "support/ReferenceMatrix.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace blactest {

using zyltest::RefMatrix;

struct Padded {
    static constexpr double kSentinel = -12345.5;
    int rows, cols, ld;
    std::vector<double> v;

    Padded(const RefMatrix& m, int pad)
        : rows(m.rows), cols(m.cols), ld(m.rows + pad), v(static_cast<std::size_t>(ld) * (m.cols + 1), kSentinel)
    {
        for (int j = 0; j < cols; ++j)
            std::copy_n(m.data() + static_cast<std::size_t>(rows) * j, rows, data() + static_cast<std::size_t>(ld) * j);
    }
    double* data() { return v.data(); }
    const double* data() const { return v.data(); }
    RefMatrix Ref() const
    {
        RefMatrix m(rows, cols);
        for (int j = 0; j < cols; ++j)
            std::copy_n(data() + static_cast<std::size_t>(ld) * j, rows, m.data() + static_cast<std::size_t>(rows) * j);
        return m;
    }
    // Everything outside the rows x cols matrix still holds the sentinel.
    bool Intact() const
    {
        for (std::size_t p = 0; p < v.size(); ++p)
            if ((static_cast<int>(p % ld) >= rows || static_cast<int>(p / ld) >= cols) && !(v[p] == kSentinel))
                return false;
        return true;
    }
};

// Column-major packed storage of the upper ('U') or lower ('L') triangle.
inline std::vector<double> Pack(const RefMatrix& a, char uplo)
{
    std::vector<double> ap;
    for (int j = 0; j < a.cols; ++j)
        for (int i = uplo == 'U' ? 0 : j; uplo == 'U' ? i <= j : i < a.rows; ++i)
            ap.push_back(a(i, j));
    return ap;
}

// Runs a call with standard output redirected into an anonymous temporary
// file and returns what it printed.
template <class Call>
std::string CaptureStdout(Call call)
{
    std::fflush(stdout);
    std::FILE* sink = std::tmpfile();
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    call();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string text;
    std::rewind(sink);
    for (int c; (c = std::fgetc(sink)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(sink);
    return text;
}

// The line the reporter prints for a six-character name and an argument number.
inline std::string Report(const std::string& name6, int argument)
{
    return " ** On entry to " + name6 + " parameter number " + (argument < 10 ? " " : "") + std::to_string(argument) +
           " had an illegal value\n";
}

} // namespace blactest

#endif
