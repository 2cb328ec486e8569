#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVSEAM_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVSEAM_H
// Private to platform/dorv: the database side of ZylDorvTestSeam.
#include <cstdint>
#include <string>

namespace zyl_dorv {

enum class SeamKind { ValueWrite, ValueRead, RecordWrite, Flush, FileOpen, Count };

// Throws the forced failure when the test seam wants this operation of that
// kind to fail (consuming one armed failure); does nothing otherwise.
void SeamCheck(SeamKind kind, const std::string& subject);
// Counts an undo step that failed (ZylDorvTestSeam::FailedUndoStepsSoFar).
void CountFailedUndoStep() noexcept;

} // namespace zyl_dorv

#endif
