// libFuzzer harness: Matrix Market files, each imported in the general form
// and kept symmetric.
#include "FuzzReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = zylfuzz::FileOf(data, size);
    zylfuzz::Run([path](ZylSrvSparseMatrix& a) { a.ImportMatrixMarket(path, false); });
    return zylfuzz::Run([path](ZylSrvSparseMatrix& a) { a.ImportMatrixMarket(path, true); });
}
