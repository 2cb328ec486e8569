#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVSEAM_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVSEAM_H
// Private to platform/dorv: the database side of ZylDorvTestSeam.
#include <cstdint>
#include <string>

namespace zyl_dorv {

enum class SeamKind { ValueWrite, ValueRead, RecordWrite, Flush, FileOpen, Count };

// Throws the forced failure when the test seam wants this operation of that
// kind to fail (consuming one armed failure); does nothing otherwise.
// Records, flushes and file openings are changed by every process of a group
// at once, so a failure forced on one of them fails the call on all of them
// (before any changes anything); value transfers are each process's own.
void SeamCheck(SeamKind kind, const std::string& subject);
// SeamCheck for an operation that every process of a group makes together
// (making or growing a drawer writes values, collectively).
void CollectiveSeamCheck(SeamKind kind, const std::string& subject);
// Counts an undo step that failed (ZylDorvTestSeam::FailedUndoStepsSoFar).
void CountFailedUndoStep() noexcept;

} // namespace zyl_dorv

#endif
