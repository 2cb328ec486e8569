#ifndef PLATFORM_DORV_ZYLDORVTESTSEAM_H
#define PLATFORM_DORV_ZYLDORVTESTSEAM_H
// Test seam of the database, never used by the library: makes value writes
// fail on purpose so that error paths can be tested for real.
//
// FailValueWrites(count, number): each of the next `count` value writes
// (ExecWrite, InitializePersistentDrawer and InitializeExtension calls on
// any database of the process) throws ZylDorvException `number` before it
// changes anything, with the description
//   "ZylDorv error <number>: <text of the number>: <operation> of
//    distribution <d> drawer <k> in context <c> of "<path>": failure forced by
//    the test seam"
// Clear() disarms it; PendingFailures() tells how many are left.
#include <cstdint>

class ZylDorvTestSeam {
public:
    static void FailValueWrites(int count, std::uint16_t number);
    static void Clear() noexcept;
    static int PendingFailures() noexcept;
};

#endif
