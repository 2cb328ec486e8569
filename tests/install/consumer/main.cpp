#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMtxOpenFileException.h>

#include <cstring>

int main()
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    int result = 1;
    try {
        ZylSrvMtxOpenFileException error("missing.dat");
        error.Throw("consumer", __LINE__);
    } catch (const ZylBasException& e) {
        result = std::strcmp(e.AsString().Chars(), "ZylSrvSparseImExPorter: Failed to open file missing.dat.") == 0 ? 0 : 1;
    }
    ZylSrvLinearAlgebra_finalize(tally);
    return result == 0 && tally == 0 ? 0 : 1;
}
