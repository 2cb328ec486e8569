#include <mtx/impl/internal/ZylSrvDensePacking.h>

#include <cstdint>

namespace zyl_mtx {

namespace {

std::int64_t At(int i, int j, int n) { return i + static_cast<std::int64_t>(n) * j; }

} // namespace

void PackUpper(const double* values, int n, double* out)
{
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i)
            *out++ = values[At(i, j, n)];
}

void PackSymmetricPart(const double* values, int n, double* out)
{
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < j; ++i)
            *out++ = (values[At(i, j, n)] + values[At(j, i, n)]) * 0.5;
        *out++ = values[At(j, j, n)];
    }
}

} // namespace zyl_mtx
