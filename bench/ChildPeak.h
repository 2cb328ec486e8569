#ifndef BENCH_CHILDPEAK_H
#define BENCH_CHILDPEAK_H
// Peak resident memory of one operation, measured in a fresh child process
// (fork) so that the peaks of the parent's earlier work do not mix in: the
// child's getrusage(RUSAGE_SELF).ru_maxrss after the operation, less its
// resident size when it started (the parent's pages it shares).
#include <platform/ZylBasException.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace zylbench {

// Resident size now, in KiB (/proc/self/statm counts pages).
inline long ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

inline long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

struct ChildReport {
    double seconds = 0.0;
    long startKiB = 0;
    long peakKiB = 0;
    int ok = 0;
};

// Runs `product` in a fresh child and returns what it measured.
template <typename Product>
inline ChildReport InChild(Product product)
{
    ChildReport report;
    int fds[2];
    if (pipe(fds) != 0)
        return report;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        ChildReport mine;
        mine.startKiB = ResidentKiB();
        try {
            const auto start = std::chrono::steady_clock::now();
            product();
            mine.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            mine.ok = 1;
        } catch (const ZylBasException& e) {
            std::fprintf(stderr, "error %d: %s\n", e.ErrorCode(), e.DeveloperReport().Chars());
        } catch (...) {
            std::fprintf(stderr, "the product failed\n"); // the child must never return into the benchmark
        }
        mine.peakKiB = PeakKiB();
        const ssize_t written = write(fds[1], &mine, sizeof mine);
        _exit(written == static_cast<ssize_t>(sizeof mine) ? 0 : 1); // the parent's objects stay untouched
    }
    close(fds[1]);
    if (child > 0) {
        if (read(fds[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report))
            report.ok = 0;
        int status = 0;
        waitpid(child, &status, 0);
    }
    close(fds[0]);
    return report;
}

// Growth of the peak resident size in MiB, or -1 when the child failed.
inline double GrownMiB(const ChildReport& r) { return r.ok ? static_cast<double>(r.peakKiB - r.startKiB) / 1024.0 : -1.0; }

} // namespace zylbench

#endif
