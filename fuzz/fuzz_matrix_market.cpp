// libFuzzer harness: Matrix Market coordinate files.
#include "FuzzReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = zylfuzz::FileOf(data, size);
    return zylfuzz::Run([path](ZylSrvSparseMatrix& a) { a.ImportMatrixMarket(path); });
}
