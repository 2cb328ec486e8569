#ifndef TESTS_BLAC_BLACTESTSUPPORT_H
#define TESTS_BLAC_BLACTESTSUPPORT_H
// Helpers shared by the bridge tests: column-major matrices with a leading
// dimension larger than their row count, deterministic fill, and a capture of
// the reports that the BLAS library's error reporter (XERBLA) prints.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace blactest {

// A column-major rows x cols matrix stored with leading dimension ld >= rows.
// The padding rows hold a sentinel so that tests can see that nothing
// outside the matrix was written.
struct Matrix {
    int rows;
    int cols;
    int ld;
    std::vector<double> v;

    static constexpr double kPadding = -12345.5;

    Matrix(int r, int c, int leading)
        : rows(r), cols(c), ld(leading),
          v(static_cast<size_t>(leading) * static_cast<size_t>(c > 0 ? c : 1), kPadding)
    {
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i)
                (*this)(i, j) = 0.0;
    }
    double& operator()(int i, int j) { return v[static_cast<size_t>(i) + static_cast<size_t>(j) * ld]; }
    double operator()(int i, int j) const
    {
        return v[static_cast<size_t>(i) + static_cast<size_t>(j) * ld];
    }
    double* data() { return v.data(); }
    const double* data() const { return v.data(); }

    void FillRandom(std::mt19937& gen)
    {
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i)
                (*this)(i, j) = dist(gen);
    }
    bool PaddingIntact() const
    {
        for (int j = 0; j < cols; ++j)
            for (int i = rows; i < ld; ++i)
                if (!((*this)(i, j) == kPadding))
                    return false;
        return true;
    }
};

// Column-major packed storage of the upper ('U'/'u') or lower triangle.
inline std::vector<double> Pack(const Matrix& a, char uplo)
{
    std::vector<double> ap;
    const int n = a.rows;
    for (int j = 0; j < n; ++j) {
        if (uplo == 'U' || uplo == 'u')
            for (int i = 0; i <= j; ++i)
                ap.push_back(a(i, j));
        else
            for (int i = j; i < n; ++i)
                ap.push_back(a(i, j));
    }
    return ap;
}

// One report of the error reporter: the six-character routine name and the
// number of the offending argument.
struct Report {
    std::string name;
    int argument;
};

// Runs a call with standard output redirected into an anonymous temporary
// file (the reporter of OpenBLAS prints there) and returns what was printed.
template <class Call>
std::string CaptureStdout(Call call)
{
    std::fflush(stdout);
    std::FILE* sink = std::tmpfile();
    if (sink == nullptr) {
        ADD_FAILURE() << "tmpfile failed";
        return std::string();
    }
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    call();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string text;
    std::rewind(sink);
    char buffer[256];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, sink)) > 0)
        text.append(buffer, got);
    std::fclose(sink);
    return text;
}

// Every report found in a captured text of the form
// "... On entry to NAME__ parameter number NN had an illegal value". The name
// is everything between "On entry to " and the blank before "parameter
// number", so a name printed with more (or fewer) than six characters shows
// up as such.
inline std::vector<Report> ParseReports(const std::string& text)
{
    std::vector<Report> reports;
    static const std::string kEntry = "On entry to ";
    static const std::string kParameter = " parameter number";
    size_t at = 0;
    while ((at = text.find(kEntry, at)) != std::string::npos) {
        at += kEntry.size();
        Report report;
        report.argument = 0;
        const size_t p = text.find(kParameter, at);
        if (p != std::string::npos) {
            report.name = text.substr(at, p - at);
            report.argument = std::atoi(text.c_str() + p + kParameter.size());
        } else {
            report.name = text.substr(at);
        }
        reports.push_back(report);
    }
    return reports;
}

template <class Call>
std::vector<Report> CaptureReports(Call call)
{
    return ParseReports(CaptureStdout(call));
}

// Expects exactly one report with the given routine name and argument.
#define EXPECT_ONE_REPORT(reports, routine, number)                   \
    do {                                                              \
        const std::vector<blactest::Report>& r_ = (reports);          \
        ASSERT_EQ(r_.size(), 1u);                                     \
        EXPECT_EQ(r_[0].name, std::string(routine));                  \
        EXPECT_EQ(r_[0].argument, (number));                          \
    } while (0)

} // namespace blactest

#endif
