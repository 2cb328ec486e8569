// The MPI flavour: each rank walks a contiguous share of the bands. A sum
// over bands is a binary tree on the band indices, fixed by the band count
// alone: node (level, i) covers bands i 2^level .. (i + 1) 2^level - 1 and is
// its left child plus its right child (its left child alone past the last
// band). A node belongs to the rank of its first band. Each rank sums the
// nodes that lie wholly in its share as their bands arrive (a binary counter:
// a stack of finished nodes); the nodes across shares are then finished
// level by level, the rank of a right child sending it to the rank of its
// left one, and the root goes to every rank. Every addition is the same on
// every rank count, so the sum is the same bits.
#include <mtx/impl/internal/ZylSrvBandShare.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>
#include <platform/mem.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

namespace {

constexpr zyl_mtx::RaiseSource kRaiseSource = zyl_mtx::HelperSource(zyl_mtx::kDenseMatrixSource, __FILE__);

void Check(int code, const char* step)
{
    if (code != MPI_SUCCESS)
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, step);
}

int ShareStart(int bandCount, int rank, int ranks)
{
    return static_cast<int>(static_cast<std::int64_t>(bandCount) * rank / ranks);
}

// The rank whose share holds `band` (ranks with empty shares hold none).
int OwnerOf(int band, int bandCount, int ranks)
{
    int rank = ranks - 1;
    while (rank > 0 && ShareStart(bandCount, rank, ranks) > band)
        --rank;
    return rank;
}

// A committed MPI datatype, freed on every path.
class Datatype {
public:
    explicit Datatype(MPI_Datatype type) : m_type(type) { Check(MPI_Type_commit(&m_type), "MPI_Type_commit"); }
    ~Datatype() { MPI_Type_free(&m_type); }
    Datatype(const Datatype&) = delete;
    Datatype& operator=(const Datatype&) = delete;
    MPI_Datatype Get() const { return m_type; }

private:
    MPI_Datatype m_type;
};

MPI_Datatype Columns(int columns, int rows, std::int64_t ld)
{
    if (ld > INT_MAX)
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, "BandSum (leading dimension past int)");
    MPI_Datatype type = MPI_DATATYPE_NULL;
    Check(MPI_Type_vector(columns, rows, static_cast<int>(ld), MPI_DOUBLE, &type), "MPI_Type_vector");
    return type;
}

} // namespace

namespace zyl_mtx {

BandShare ShareOfBands(int bandCount)
{
    const int ranks = ZylDorvProcessGroup::Size();
    const int rank = ZylDorvProcessGroup::Rank();
    AwaitBandWalks(); // every rank's own writes before any rank's reads
    return {ShareStart(bandCount, rank, ranks), ShareStart(bandCount, rank + 1, ranks), bandCount};
}

// The finished nodes of this rank in band order, in packed buffers (leading
// dimension = rows) from a small pool; one more buffer takes a received node.
struct BandSum::State {
    struct Node {
        int level;
        int index;
        double* values;
    };
    static constexpr int kCapacity = 2 * 32 + 4; // two nodes per level at most, the leaf, the received one

    State(int rows, int columns, int bandCount)
        : size(Count(rows, columns)), height(0), share(ShareOfBands(bandCount)), ranks(ZylDorvProcessGroup::Size())
    {
        while ((std::int64_t{1} << height) < bandCount)
            ++height;
    }

    static std::size_t Count(int rows, int columns)
    {
        return static_cast<std::size_t>(rows) * static_cast<std::size_t>(std::max(columns, 0));
    }

    // A buffer of the pool: zero when new, so that a part formed on one
    // triangle only leaves the other at zero in every node.
    double* Take()
    {
        for (int b = 0; b < kCapacity; ++b) {
            if (busy[b])
                continue;
            if (pool[b].Get() == nullptr) {
                pool[b] = mem_Array<double>(size);
                std::fill(pool[b].Get(), pool[b].Get() + size, 0.0);
            }
            busy[b] = true;
            return pool[b].Get();
        }
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, "BandSum (pool exhausted)");
    }

    void Give(const double* values)
    {
        for (int b = 0; b < kCapacity; ++b)
            if (pool[b].Get() == values)
                busy[b] = false;
    }

    bool Exists(int level, int index) const
    {
        return (static_cast<std::int64_t>(index) << level) < share.count;
    }
    int FirstBand(int level, int index) const { return static_cast<int>(static_cast<std::int64_t>(index) << level); }

    void Sum(double* left, const double* right) const
    {
        for (std::size_t k = 0; k < size; ++k)
            left[k] += right[k];
    }

    // A finished node joins the stack, merged upwards while its left
    // sibling is the node below it or it has no right sibling.
    void Push(Node node)
    {
        for (;;) {
            if (depth > 0) {
                Node& top = stack[depth - 1];
                if (top.level == node.level && top.index + 1 == node.index && top.index % 2 == 0) {
                    Sum(top.values, node.values);
                    Give(node.values);
                    node = {top.level + 1, top.index / 2, top.values};
                    --depth;
                    continue;
                }
            }
            if (node.level < height && node.index % 2 == 0 && !Exists(node.level, node.index + 1)) {
                node = {node.level + 1, node.index / 2, node.values};
                continue;
            }
            stack[depth++] = node;
            return;
        }
    }

    // Finishes the nodes of `level` whose children lie in different shares.
    void FinishLevel(int level, MPI_Datatype type, MPI_Comm comm)
    {
        const int child = level - 1;
        MPI_Request requests[2] = {MPI_REQUEST_NULL, MPI_REQUEST_NULL};
        double* received = nullptr;
        Node* receiver = nullptr;
        const double* sent = nullptr;
        int kept = 0;
        for (int e = 0; e < depth; ++e) {
            Node node = stack[e];
            if (node.level != child) {
                stack[kept++] = node;
                continue;
            }
            const int parentFirst = FirstBand(level, node.index / 2);
            if (node.index % 2 == 1) {
                if (parentFirst < share.first) { // the left sibling is another rank's
                    Check(MPI_Isend(node.values, 1, type, OwnerOf(parentFirst, share.count, ranks), level, comm,
                                    &requests[0]),
                          "MPI_Isend");
                    sent = node.values;
                    continue;
                }
                Node& left = stack[kept - 1]; // the left sibling, kept just before
                Sum(left.values, node.values);
                Give(node.values);
                left = {level, left.index / 2, left.values};
                continue;
            }
            const int rightFirst = FirstBand(child, node.index + 1);
            if (Exists(child, node.index + 1) && rightFirst < share.end) {
                stack[kept++] = node; // its right sibling follows
                continue;
            }
            if (Exists(child, node.index + 1)) {
                received = Take();
                Check(MPI_Irecv(received, 1, type, OwnerOf(rightFirst, share.count, ranks), level, comm,
                                &requests[1]),
                      "MPI_Irecv");
            }
            stack[kept] = {level, node.index / 2, node.values};
            if (received != nullptr && receiver == nullptr)
                receiver = &stack[kept];
            ++kept;
        }
        depth = kept;
        Check(MPI_Waitall(2, requests, MPI_STATUSES_IGNORE), "MPI_Waitall");
        if (sent != nullptr)
            Give(sent);
        if (received != nullptr) {
            Sum(receiver->values, received);
            Give(received);
        }
    }

    std::size_t size;
    int height;
    BandShare share;
    int ranks;
    mem_Array<double> pool[kCapacity];
    bool busy[kCapacity] = {};
    Node stack[kCapacity] = {};
    int depth = 0;
    double* leaf = nullptr; // the buffer of the band being formed
};

BandSum::BandSum(double* result, int rows, int columns, int ld, int bandCount)
    : m_result(result), m_rows(rows), m_columns(columns), m_ld(ld), m_bandCount(bandCount), m_state(nullptr)
{
    m_state = mem_New<State>(rows, columns, bandCount);
}

BandSum::~BandSum() { mem_Delete(m_state); }

BandTarget BandSum::Target(int)
{
    m_state->leaf = m_state->Take();
    return {m_state->leaf, std::max(m_rows, 1), 0.0};
}

void BandSum::Add(int band) { m_state->Push({0, band, m_state->leaf}); }

void BandSum::Finish()
{
    State& s = *m_state;
    if (m_bandCount <= 0 || s.size == 0)
        return;
    const bool shared = s.ranks > 1;
    const MPI_Comm comm = shared ? zyl_dorv_mpi::Communicator() : MPI_COMM_NULL;
    if (shared) {
        const Datatype packed(Columns(m_columns, m_rows, m_rows));
        for (int level = 1; level <= s.height; ++level)
            s.FinishLevel(level, packed.Get(), comm);
    }
    const int root = OwnerOf(0, m_bandCount, s.ranks);
    if (ZylDorvProcessGroup::Rank() == root) {
        const double* sum = s.stack[0].values;
        for (int c = 0; c < m_columns; ++c)
            std::memcpy(m_result + static_cast<std::size_t>(m_ld) * c, sum + static_cast<std::size_t>(m_rows) * c,
                        sizeof(double) * static_cast<std::size_t>(m_rows));
    }
    if (shared) {
        const Datatype strided(Columns(m_columns, m_rows, m_ld));
        Check(MPI_Bcast(m_result, 1, strided.Get(), root, comm), "MPI_Bcast");
    }
}

void GatherBandRows(double* values, std::int64_t ld, int columns, std::int64_t firstRow, std::int64_t endRow)
{
    const int ranks = ZylDorvProcessGroup::Size();
    if (ranks == 1)
        return;
    const MPI_Comm comm = zyl_dorv_mpi::Communicator();
    mem_Array<std::int64_t> bounds(2 * static_cast<std::size_t>(ranks));
    const std::int64_t mine[2] = {firstRow, endRow};
    Check(MPI_Allgather(mine, 2, MPI_INT64_T, bounds.Get(), 2, MPI_INT64_T, comm), "MPI_Allgather");
    mem_Array<int> counts(static_cast<std::size_t>(ranks));
    mem_Array<int> starts(static_cast<std::size_t>(ranks));
    for (int r = 0; r < ranks; ++r) {
        const std::int64_t first = bounds[2 * static_cast<std::size_t>(r)];
        const std::int64_t end = bounds[2 * static_cast<std::size_t>(r) + 1];
        if (end > INT_MAX)
            zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, "GatherBandRows (rows past int)");
        starts[r] = static_cast<int>(first);
        counts[r] = static_cast<int>(std::max<std::int64_t>(end - first, 0));
    }
    // One row across all columns, spaced one value apart, so that counts and
    // starts are in rows and every rank's rows arrive in place.
    MPI_Datatype row = MPI_DATATYPE_NULL;
    MPI_Datatype spaced = MPI_DATATYPE_NULL;
    if (columns > 1 && ld > INT_MAX)
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, "GatherBandRows (leading dimension past int)");
    Check(MPI_Type_vector(columns, 1, columns > 1 ? static_cast<int>(ld) : 1, MPI_DOUBLE, &row), "MPI_Type_vector");
    const int resized = MPI_Type_create_resized(row, 0, sizeof(double), &spaced);
    MPI_Type_free(&row);
    Check(resized, "MPI_Type_create_resized");
    const Datatype rowType(spaced);
    Check(MPI_Allgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, values, counts.Get(), starts.Get(), rowType.Get(),
                         comm),
          "MPI_Allgatherv");
}

void AwaitBandWalks()
{
    if (ZylDorvProcessGroup::Size() > 1)
        Check(MPI_Barrier(zyl_dorv_mpi::Communicator()), "MPI_Barrier");
}

} // namespace zyl_mtx
