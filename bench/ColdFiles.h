#ifndef BENCH_COLDFILES_H
#define BENCH_COLDFILES_H
// What the cold-read benchmarks share: the scratch files a run made, their
// pages dropped from the system's cache, and a plain sequential read of a
// file (the speed a product streaming it cannot beat).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zylbench {

// The scratch files of this process in the current directory.
inline std::vector<std::string> ScratchFiles()
{
    std::vector<std::string> files;
    if (DIR* dir = opendir(".")) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind("ZylSrvScratchDenseMatrix", 0) == 0 && name.size() > 5 &&
                name.compare(name.size() - 5, 5, ".dorv") == 0)
                files.push_back(name);
        }
        closedir(dir);
    }
    return files;
}

inline std::int64_t FileSize(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

// Drops the files' pages from the system's cache; false when it could not.
inline bool DropCaches(const std::vector<std::string>& files)
{
    ::sync();
    if (std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w")) {
        const bool done = std::fputs("3\n", f) >= 0;
        if (std::fclose(f) == 0 && done)
            return true;
    }
    bool all = true;
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        all = all && fd >= 0 && ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    return all;
}

inline void ReadWhole(const std::string& path)
{
    const std::size_t piece = std::size_t(64) << 20;
    std::unique_ptr<char[]> buffer(new char[piece]);
    const int fd = ::open(path.c_str(), O_RDONLY);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer.get(), piece, at);
        if (n <= 0)
            break;
        at += n;
    }
    ::close(fd);
}

} // namespace zylbench

#endif
