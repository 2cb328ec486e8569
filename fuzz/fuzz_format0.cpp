// libFuzzer harness: Fortran unformatted sequential records (format 0).
#include "FuzzReader.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = zylfuzz::FileOf(data, size);
    return zylfuzz::Run([path](ZylSrvSparseMatrix& a) {
        try {
            a.Import(path, 0);
        } catch (const ZylBasException& e) {
            // A refusal that kept unit 81 would refuse every later file as busy, which
            // the common checks take for one more refusal.
            zylfuzz::Require(std::strstr(e.DeveloperReport().Chars(), "unit 81") == nullptr, "unit 81 still held");
            throw;
        }
    });
}
