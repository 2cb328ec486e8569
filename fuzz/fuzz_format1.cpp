// libFuzzer harness: the header-described binary layout, one or two value sets (format 1).
#include "FuzzReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = zylfuzz::FileOf(data, size);
    return zylfuzz::Run([path](ZylSrvSparseMatrix& a) { a.Import(path, 1); });
}
