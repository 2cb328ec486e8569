#ifndef MTX_ZYLSRVUTILITIES_H
#define MTX_ZYLSRVUTILITIES_H
/// \file
/// The ZylSrvUtilities class.

/// \class ZylSrvUtilities
/// \ingroup outofcore
/// Creation of the database distributions in which matrices keep their values,
/// the 2 GiB bound on their chunks, and writing one integer vector.
///
/// Axes. A distribution's axis k is the collection of the CSet bound to its
/// dimension k. The 2-D creators put the columns on axis 0 and the rows on
/// axis 1 (the reverse of their argument order), so their chunk arrays read
/// [columnChunk, rowChunk]. CreateSparseDistribution keeps its argument order.
/// CreateDistribution reverses its whole list: axis k is csets[n-1-k] and its
/// chunk is chunks[n-1-k].
///
/// One collection never appears twice in a grid made here: when a later axis
/// lies in the same collection as an earlier one, it uses that collection's
/// colour-1 variant (same members, a distinct axis), and its CSet is seen
/// through that variant.
///
/// Value distributions hold doubles and are given the initialization value
/// 0.0: their drawers are made at creation and read as zeros until written.
///
/// All or nothing. Every creator that makes a drawer works in a transaction
/// of its own on the context it creates in, so that a refusal found after the
/// distribution record exists (a chunk below 1 other than -1, a temporary
/// CSet in a permanent drawer, a failed value write) takes back everything
/// the call made, temporary distributions included: a refused call leaves the
/// database as it was. On success that transaction is committed (which
/// flushes the file): nested in the caller's transaction on that context, its
/// work passes to the caller's, which the caller commits or abandons as
/// before; without one the distribution is permanent, as database work
/// outside transactions always is. CreateSparseDistribution makes one record,
/// which the database takes back by itself when it fails.
///
/// A failed flush. The commit hands the work over before it flushes, and a
/// flush that fails cannot be taken back, so its error (ZylDorvException 13)
/// reaches the caller while the distribution exists in its context, complete
/// and usable (in the caller's transaction when there is one), though the call
/// returned no identifier for it. It becomes durable with the next Commit,
/// Flush or Close that succeeds; a caller that retries makes a second one.
///
/// Chunks. A requested chunk of -1 means the whole axis. Other chunks must be
/// at least 1; the database refuses anything else (ZylDorvException 42, the
/// distribution taken back).
///
/// Errors of the database (ZylDorvException, a failed value write as number
/// 70 among them) and of the allocator pass through. Argument checks of
/// our own raise ZylSrvMtxIllegalInput (number 206, message
/// "ZylSrvMatrix::<operation> - Illegal input.") before anything is created:
///  - LimitChunkSize2GB: numRows or numColumns below 1 ("LimitChunkSize2GB");
///  - CreateDistribution: a non-empty chunks array with fewer entries than
///    csets ("CreateDistribution"), once the axes are known to make a grid
///    (more than one shared pair returns the null identifier first);
///  - Write1DIntDistribution: count different from the size of cset, or a
///    null values pointer with a positive count ("Write1DIntDistribution").
#include <mtx/ZylSrvFindContiguousRanges.h>
#include <platform/ZylSrvPosition.h>
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

class ZylDorvTransaction;

class ZYL_EXPORT ZylSrvUtilities {
public:
    ~ZylSrvUtilities() {}

    /// Lowers the chunks in place so that a drawer of rowChunk rows across all
    /// columns, or of columnChunk columns across all rows, holds at most 2^28
    /// doubles (2 GiB):
    ///   rowChunk    = min(rowChunk,    268435456 / numColumns)
    ///   columnChunk = min(columnChunk, 268435456 / numRows)
    /// Never raises a chunk; -1 (whole side) stays -1. An empty side
    /// (numRows or numColumns below 1) is refused, see above.
    static void LimitChunkSize2GB(int& rowChunk, int& columnChunk, int numRows, int numColumns);

    ///@{
    /// One axis over cset's collection; chunk -1 makes an unchunked drawer,
    /// any other chunk the chunk array [chunk]. The first form creates in the
    /// context of cset's collection, the second through `position` inside
    /// `transaction` (typed by schema index `type` when type >= 0).
    static ZylDorvDistributionID Create1DDistribution(ZylDorvCSetID cset, int chunk);
    static ZylDorvDistributionID Create1DDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                      int type, ZylDorvCSetID cset, int chunk);
    ///@}

    ///@{
    /// Axis 0 the columns, axis 1 the rows. Unchunked when both chunks are -1;
    /// otherwise the chunk array [columnChunk, rowChunk] with each -1 replaced
    /// by the size of that CSet. The form with a transaction first turns a
    /// chunk into -1 unless its CSet has more members than the chunk.
    /// Collective in the MPI flavour. Parallel HDF5 1.10.8 allocates and fills
    /// every chunk at creation: there a zero-filled distribution costs its full
    /// size on disk and about 1 s per GiB of time on one disk (0.7 to 3.4 s
    /// per GiB measured for 2 GiB on 1 and 2 ranks, flush included), where
    /// the serial library spends neither.
    static ZylDorvDistributionID Create2DDistribution(ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet, int rowChunk,
                                                      int columnChunk);
    static ZylDorvDistributionID Create2DDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                      int type, ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet,
                                                      int rowChunk, int columnChunk);
    ///@}

    ///@{
    /// A distribution of doubles over [firstCSet's collection, secondCSet's
    /// collection], with no drawer and no initialization value. When both CSets
    /// lie in one collection, secondCSet is overwritten with the same CSet
    /// seen through the colour-1 variant, the one to bind transfers to.
    static ZylDorvDistributionID CreateSparseDistribution(ZylDorvCSetID& firstCSet, ZylDorvCSetID& secondCSet);
    static ZylDorvDistributionID CreateSparseDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                          int type, ZylDorvCSetID& firstCSet,
                                                          ZylDorvCSetID& secondCSet);
    ///@}

    /// n axes, axis k = csets[n-1-k]. Every pair of axes in one collection
    /// recolours the later one; when more than one pair shares a collection
    /// nothing is created and the null distribution identifier is returned.
    /// `temporary` makes a temporary distribution in position.Context() (the
    /// transaction is then not used), else the distribution is made through
    /// `position` inside `transaction`. An empty chunks array makes an
    /// unchunked drawer; otherwise axis k gets chunks[n-1-k] as given (no -1
    /// replacement), and chunks must hold at least n entries.
    static ZylDorvDistributionID CreateDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                    int type, ZylDorvArray<ZylDorvCSetID> csets,
                                                    ZylDorvArray<int> chunks, bool temporary);

    /// A new integer distribution over cset's collection, in its context,
    /// holding values[0 .. count-1] in the order of cset. count must equal the
    /// size of cset (checked: see above). The caller keeps `values`.
    static ZylDorvDistributionID Write1DIntDistribution(ZylDorvCSetID cset, const int* values, int count);
};

#endif
