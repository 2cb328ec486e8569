// A profiling library (LD_PRELOAD) that counts the MPI calls made between
// MPI_Pcontrol(1) and MPI_Pcontrol(0, "label"), by the library and by HDF5
// alike, with the bytes each kind of call moves, and prints them per rank at
// MPI_Pcontrol(0, ...):
//
//   calls slot 14 rank 1 of 2: MPI_Barrier 2 calls 0 bytes
//
// Bytes are the payload one rank gives (sends, broadcast from the root,
// reductions) or takes (receives, gathers: every rank's part), by the
// datatype's size, not its extent. mpi_product_timing brackets the warm run
// of each product this way; without this library MPI_Pcontrol does nothing.
//
//   LD_PRELOAD=build-bench/bench/mpi/libmpi_call_counts.so mpirun -np 2 ...
// (compare.sh --counts does it.)
#define OMPI_SKIP_MPICXX 1 // the C interface is all this needs
#include <mpi.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace {

enum Kind { kBarrier, kBcast, kAllreduce, kReduce, kAllgather, kAllgatherv, kIsend, kSend, kIrecv, kRecv, kKinds };
const char* const kNames[kKinds] = {"MPI_Barrier", "MPI_Bcast",  "MPI_Allreduce", "MPI_Reduce", "MPI_Allgather",
                                    "MPI_Allgatherv", "MPI_Isend", "MPI_Send",      "MPI_Irecv",  "MPI_Recv"};

bool counting = false;
std::int64_t calls[kKinds] = {};
std::int64_t bytes[kKinds] = {};

std::int64_t Bytes(int count, MPI_Datatype type)
{
    if (type == MPI_DATATYPE_NULL)
        return 0;
    int size = 0;
    PMPI_Type_size(type, &size);
    return static_cast<std::int64_t>(count) * size;
}

void Count(Kind kind, std::int64_t moved)
{
    if (!counting)
        return;
    ++calls[kind];
    bytes[kind] += moved;
}

void Report(const char* label)
{
    int rank = 0, ranks = 1;
    PMPI_Comm_rank(MPI_COMM_WORLD, &rank);
    PMPI_Comm_size(MPI_COMM_WORLD, &ranks);
    for (int k = 0; k < kKinds; ++k)
        if (calls[k] > 0)
            std::printf("calls %s rank %d of %d: %s %lld calls %lld bytes\n", label, rank, ranks, kNames[k],
                        static_cast<long long>(calls[k]), static_cast<long long>(bytes[k]));
    std::fflush(stdout);
}

} // namespace

extern "C" {

int MPI_Pcontrol(const int level, ...)
{
    if (level == 1) {
        for (int k = 0; k < kKinds; ++k)
            calls[k] = bytes[k] = 0;
        counting = true;
    } else if (level == 0 && counting) {
        counting = false;
        va_list rest;
        va_start(rest, level);
        Report(va_arg(rest, const char*));
        va_end(rest);
    }
    return MPI_SUCCESS;
}

int MPI_Barrier(MPI_Comm comm)
{
    Count(kBarrier, 0);
    return PMPI_Barrier(comm);
}

int MPI_Bcast(void* buffer, int count, MPI_Datatype type, int root, MPI_Comm comm)
{
    Count(kBcast, Bytes(count, type));
    return PMPI_Bcast(buffer, count, type, root, comm);
}

int MPI_Allreduce(const void* in, void* out, int count, MPI_Datatype type, MPI_Op op, MPI_Comm comm)
{
    Count(kAllreduce, Bytes(count, type));
    return PMPI_Allreduce(in, out, count, type, op, comm);
}

int MPI_Reduce(const void* in, void* out, int count, MPI_Datatype type, MPI_Op op, int root, MPI_Comm comm)
{
    Count(kReduce, Bytes(count, type));
    return PMPI_Reduce(in, out, count, type, op, root, comm);
}

int MPI_Allgather(const void* in, int inCount, MPI_Datatype inType, void* out, int outCount, MPI_Datatype outType,
                  MPI_Comm comm)
{
    int ranks = 1;
    PMPI_Comm_size(comm, &ranks);
    Count(kAllgather, Bytes(outCount, outType) * ranks);
    return PMPI_Allgather(in, inCount, inType, out, outCount, outType, comm);
}

int MPI_Allgatherv(const void* in, int inCount, MPI_Datatype inType, void* out, const int outCounts[],
                   const int starts[], MPI_Datatype outType, MPI_Comm comm)
{
    int ranks = 1;
    PMPI_Comm_size(comm, &ranks);
    std::int64_t moved = 0;
    for (int r = 0; r < ranks; ++r)
        moved += Bytes(outCounts[r], outType);
    Count(kAllgatherv, moved);
    return PMPI_Allgatherv(in, inCount, inType, out, outCounts, starts, outType, comm);
}

int MPI_Isend(const void* buffer, int count, MPI_Datatype type, int to, int tag, MPI_Comm comm, MPI_Request* request)
{
    Count(kIsend, Bytes(count, type));
    return PMPI_Isend(buffer, count, type, to, tag, comm, request);
}

int MPI_Send(const void* buffer, int count, MPI_Datatype type, int to, int tag, MPI_Comm comm)
{
    Count(kSend, Bytes(count, type));
    return PMPI_Send(buffer, count, type, to, tag, comm);
}

int MPI_Irecv(void* buffer, int count, MPI_Datatype type, int from, int tag, MPI_Comm comm, MPI_Request* request)
{
    Count(kIrecv, Bytes(count, type));
    return PMPI_Irecv(buffer, count, type, from, tag, comm, request);
}

int MPI_Recv(void* buffer, int count, MPI_Datatype type, int from, int tag, MPI_Comm comm, MPI_Status* status)
{
    Count(kRecv, Bytes(count, type));
    return PMPI_Recv(buffer, count, type, from, tag, comm, status);
}

} // extern "C"
