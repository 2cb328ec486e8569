// Main example: starts the library, reports an error of the family, stops.
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMtxOpenFileException.h>

#include <cstdio>

int main()
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    std::printf("library started (%d start-ups)\n", tally);
    try {
        ZylSrvMtxOpenFileException error("no-such-file.dat");
        error.Throw("examples/main", __LINE__);
    } catch (const ZylBasException& e) {
        std::printf("error %d: %s\n", e.ErrorCode(), e.DeveloperReport().Chars());
    }
    ZylSrvLinearAlgebra_finalize(tally);
    std::printf("library stopped (%d start-ups left)\n", tally);
    return tally == 0 ? 0 : 1;
}
