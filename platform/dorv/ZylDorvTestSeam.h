#ifndef PLATFORM_DORV_ZYLDORVTESTSEAM_H
#define PLATFORM_DORV_ZYLDORVTESTSEAM_H
// Test seam of the database, never used by the library: makes operations
// fail on purpose so that error paths can be tested for real.
//
// FailValueWrites(count, number): each of the next `count` value writes
// (ExecWrite, InitializePersistentDrawer and InitializeExtension calls on
// any database of the process) throws ZylDorvException `number` before it
// changes anything, with the description
//   "ZylDorv error <number>: <text of the number>: <operation> of
//    distribution <d> in context <c> of "<path>", drawer <k>: failure forced
//    by the test seam"
// With `after` = n the first n of those operations pass and the failures
// start with the one after them (a sweep over the failure points of one
// operation raises `after` from 0 until the operation succeeds).
// FailValueReads(count, number): the same for ExecRead.
// FailRecordWrites(count, number): the same for each of the next `count`
// writes of database records (groups and attributes of contexts,
// collections, CSets, distributions, drawers); the operation that meets it
// takes back what it had made so far.
// FailFlushes(count, number): the same for each flush of a database file
// (Commit, Flush, and the one that ends CreateFile), before it writes.
// FailFileOpens(count, number): HDF5's opening of the file in CreateFile or
// OpenFile fails after the database's own descriptor was opened (as when
// descriptors run out); CreateFile then removes the file it made.
// DamageFile(path, object, attribute): removes one attribute from an object
// of a closed database file (HDF5 path such as "/" or "/context1"), to test
// how damaged files are refused. Returns false when that was not possible.
// AddStrayGroup(path, group) adds an empty group (HDF5 path such as
// "/context1/distribution1/drawerX") to a closed database file.
// Number 0 makes an armed failure throw std::bad_alloc instead, as the
// allocator would.
// Clear() disarms every forced failure; PendingFailures() counts those left.
// ValueReadsSoFar() and ValueWritesSoFar() count the value reads and writes
// attempted since the process started (armed or not), so that a test can
// tell how many transfers an operation made; FlushesSoFar() the same for
// flushes. FailedUndoStepsSoFar() counts the undo steps (of rolled-back
// transactions and of failed operations) that failed and were skipped.
#include <platform/zyl_Export.h>

#include <cstdint>

class ZYL_EXPORT ZylDorvTestSeam {
public:
    static void FailValueWrites(int count, std::uint16_t number, int after = 0);
    static void FailValueReads(int count, std::uint16_t number, int after = 0);
    static void FailRecordWrites(int count, std::uint16_t number, int after = 0);
    static void FailFlushes(int count, std::uint16_t number, int after = 0);
    static void FailFileOpens(int count, std::uint16_t number);
    static bool DamageFile(const char* path, const char* object, const char* attribute);
    static bool AddStrayGroup(const char* path, const char* group);
    static void Clear() noexcept;
    static int PendingFailures() noexcept;
    static long ValueReadsSoFar() noexcept;
    static long ValueWritesSoFar() noexcept;
    static long FlushesSoFar() noexcept;
    static long FailedUndoStepsSoFar() noexcept;
};

#endif
