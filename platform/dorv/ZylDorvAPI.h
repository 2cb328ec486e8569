#ifndef PLATFORM_DORV_ZYLDORVAPI_H
#define PLATFORM_DORV_ZYLDORVAPI_H
// The embedded database (DORV) on HDF5 1.10: everything in one include.
//
// Mapping onto HDF5 (inspect a file with `h5dump -H file.dorv`):
//   /                                   attributes format = "ZylDorv", version
//   /context<c>                         a context (attributes: namespace, counters, schema)
//   /context<c>/collection<m>           a collection (attributes count, type)
//   /context<c>/collection<m>/cset<k>   a CSet: dataset "labels" (int32), or a
//                                       run/strided form in attributes
//   /context<c>/distribution<d>         a distribution (attributes axes, range_type, type)
//   /context<c>/distribution<d>/drawer<i>
//       dense: one dataset of dimensions [size of axis 0][size of axis 1]...
//              (the last axis varies fastest: a matrix's column-major values);
//              its fill value is the initialization value, storage chunked
//              with unlimited maximum dimensions;
//       sparse: a group with datasets values, column_indices, row_offsets
//              (and diagonal for the symmetric kind).
// Temporary CSets live in memory; temporary distributions live under
// /context<c>/temporary and are removed when the database is closed.
//
// Usage: a file, a context, a transaction, two collections with CSets, a
// chunked 2-D distribution of doubles filled with 0.0, and a rectangle
// written and read back.
//
//   ZylDorvDatabase db;
//   db.CreateFile(ZylDroviUnicodeString("matrix.dorv"), ZylDorvDatabase::CreateExclusive, -1);
//   ZylDorvContextID contextID = db.CreateContext(ZylDorvNamespaceID::AllBits());
//
//   ZylDorvContext context(contextID);
//   ZylDorvTransaction transaction(contextID);
//   ZylDorvCollectionID rowsID = context.CreateCollection(1000, ZylDorvTypeID());   // null type
//   ZylDorvCollectionID colsID = context.CreateCollection(300, ZylDorvTypeID());
//   ZylDorvCSetID rowCSet = ZylDorvCollection(rowsID).BiggestCSetID();          // 0..999 in order
//   std::vector<int> labels = ...;                                              // any order
//   ZylDorvCSetID colCSet = ZylDorvCollection(colsID).CreateOrderedCSet(labels.data(), 300);
//
//   // Axis 0 = columns, axis 1 = rows.
//   ZylDorvDistributionID distID = context.CreateDistribution(
//       ZylDorvGrid{colsID, rowsID}, ZylDorvRangeType(ZylDorvTypeKey(2)), ZylDorvTypeID());
//   ZylDorvDistribution dist(distID);
//   {
//       ZylDorvTransfer make(dist);
//       make.SetMakeNewDrawerChunked(ZylDorvArray<int>{100, 250});  // [column chunk, row chunk]
//       make.SetWrite();
//       make.SetDim(0, colCSet);
//       make.SetDim(1, rowCSet);
//       make.SetInitializationValue(ZylDorvRangeValue(0.0));
//       make.CheckView();
//       make.InitializePersistentDrawer();                           // writes no zeros
//   }
//   transaction.Commit();                                            // permanent, flushed
//
//   ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
//   dist.QueryDrawers(drawers);
//   int numRows = drawers[0].DimSize(1), rowChunk = drawers[0].ChunkSize(1);
//   ZylDorvCollectionID colColl = drawers[0].DimCSetID(0).CollectionID();
//   ZylDorvCollectionID rowColl = drawers[0].DimCSetID(1).CollectionID();
//
//   ZylDorvTransfer prepared(dist);                  // once per matrix
//   prepared.SetRead();
//   prepared.SetWrite();
//   prepared.SetBufferPadding(false);
//
//   // rows 10..19, columns 5..7: 10 x 3 values, column-major, ld 10
//   std::vector<double> block(30, 1.5);
//   {
//       ZylDorvTransfer t(prepared);                 // a copy per use
//       t.SetDimOrdinalRange(0, colColl, 5, 7);
//       t.SetDimOrdinalRange(1, rowColl, 10, 19);
//       t.CheckView();
//       t.SetBuffer(0, block.data(), 30 * sizeof(double));
//       t.ExecWrite();                               // error 70 if writing fails
//       t.RelinquishBuffers();
//   }
//   {
//       ZylDorvTransfer t(prepared);
//       t.SetDimOrdinalRange(0, colColl, 5, 7);
//       t.SetDimOrdinalRange(1, rowColl, 10, 19);
//       t.CheckView();
//       t.SetBuffer(0, block.data(), 30 * sizeof(double));
//       t.ExecRead();
//       t.RelinquishBuffers();
//   }
//   db.Close();
//
// Errors are ZylDorvException (numbers in ZylDorvException.h). Objects are
// used by one thread at a time; the database takes no locks.
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvAssert.h>
#include <platform/dorv/ZylDorvCSet.h>
#include <platform/dorv/ZylDorvCollection.h>
#include <platform/dorv/ZylDorvContext.h>
#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvReadAhead.h>
#include <platform/dorv/ZylDorvTransaction.h>
#include <platform/dorv/ZylDorvTransfer.h>
#include <platform/dorv/ZylDorvTypes.h>

#endif
