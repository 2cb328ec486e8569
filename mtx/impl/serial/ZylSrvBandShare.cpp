// The serial library: one process walks every band and accumulates each
// band's part straight into the result, so nothing is left to combine.
#include <mtx/impl/internal/ZylSrvBandShare.h>

namespace zyl_mtx {

struct BandSum::State {};

BandShare ShareOfBands(int bandCount) { return {0, bandCount, bandCount}; }

void WalkCollectively(const std::function<void()>& walk) { walk(); }

BandSum::BandSum(double* result, int rows, int columns, int ld, int bandCount)
    : m_result(result), m_rows(rows), m_columns(columns), m_ld(ld), m_bandCount(bandCount), m_state(nullptr)
{
}

BandSum::~BandSum() = default;

BandTarget BandSum::Target(int band) { return {m_result, m_ld, band == 0 ? 0.0 : 1.0}; }

void BandSum::Add(int) {}

void BandSum::Finish() {}

void GatherBandRows(double*, std::int64_t, int, std::int64_t, std::int64_t) {}

void AwaitBandWalks() {}

void LetGoOfSpareBands() {}

} // namespace zyl_mtx
