// The C++ side of the Fortran client: what a host does through the class
// interface before Fortran code reads the matrix.
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvMatrixContainer.h>
#include <mtx/ZylSrvTimer.h>

#include <vector>

// A new container holding matrix `id` of rows x columns with value
// (r, c) = r + 100 c (counted from 0), in blocks of 2 x 2; starts the timer.
extern "C" std::int64_t zyltest_container_with_matrix(const int* id, const int* rows, const int* columns)
{
    const std::int64_t handle = ZYLSRVMATRIXCONTAINERCREATE();
    auto& container = *reinterpret_cast<ZylSrvMatrixContainer*>(static_cast<std::intptr_t>(handle));
    std::vector<double> values;
    for (int c = 0; c < *columns; ++c)
        for (int r = 0; r < *rows; ++r)
            values.push_back(r + 100.0 * c);
    ZylSrvMatrix wrapped(*rows, *columns, values.data());
    container.Create(*id, *rows, *columns, 2, 2).SetValues(0, *rows - 1, 0, *columns - 1, wrapped);
    omi_Singleton<ZylSrvTimer>::Instance().CreateTimer();
    return handle;
}
