// libFuzzer harness: the 1-based text triplets (formats 2 and 3, the same
// bytes on this platform; the input's length picks the code).
#include "FuzzReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = zylfuzz::FileOf(data, size);
    return zylfuzz::Run([path, size](ZylSrvSparseMatrix& a) { a.Import(path, size % 2 == 0 ? 2 : 3); });
}
