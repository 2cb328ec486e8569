// The MPI flavour: each rank walks a contiguous share of the bands. A sum
// over bands is a binary tree on the band indices, fixed by the band count
// alone: node (level, i) covers bands i 2^level .. (i + 1) 2^level - 1 and is
// its left child plus its right child (its left child alone past the last
// band). A node belongs to the rank of its first band. Each rank sums the
// nodes that lie wholly in its share as their bands arrive (a binary counter:
// a stack of finished nodes); the nodes across shares are then finished
// level by level, the rank of a right child sending it to the rank of its
// left one in panels of columns, which the receiver adds as they come, and
// the root goes to every rank. Every addition is the same on every rank
// count, so the sum is the same bits.
#include <mtx/impl/internal/ZylSrvBandShare.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>
#include <platform/mem.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <mutex>
#include <utility>

namespace {

constexpr zyl_mtx::RaiseSource kRaiseSource = zyl_mtx::HelperSource(zyl_mtx::kDenseMatrixSource, __FILE__);

void Check(int code, const char* step)
{
    if (code != MPI_SUCCESS)
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, step);
}

// Values per panel of a node sent to another rank: small enough that the
// receiver adds each one while it is in its cache, large enough that a
// message costs far more than its latency.
constexpr std::size_t kPanelValues = std::size_t{1} << 18;

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

// Result-sized buffers of band sums, kept from one sum to the next: a solver
// repeats its products with the same sizes, and fresh memory of that size
// costs more than the additions of a sum (the kernel zeroes every page, and
// compacts memory for the huge pages the allocator asks for). The spares
// are the buffers of the last sum that ended, no more: those of other sizes
// are let go when it gives its own back.
class SpareBuffers {
public:
    static constexpr int kCapacity = 34;

    mem_Array<double> Take(std::size_t count)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (mem_Array<double>& spare : m_spares)
            if (spare.Get() != nullptr && spare.Count() == count)
                return std::move(spare);
        return mem_Array<double>(count);
    }

    // Keeps `buffers` (all of one size) for the next sum, in place of the
    // spares of any other size.
    void GiveBack(mem_Array<double>* buffers, int count)
    {
        std::size_t size = 0;
        for (int b = 0; b < count && size == 0; ++b)
            size = buffers[b].Count();
        if (size == 0)
            return;
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (mem_Array<double>& spare : m_spares)
            if (spare.Count() != size)
                spare = mem_Array<double>();
        for (int b = 0; b < count; ++b)
            for (mem_Array<double>& spare : m_spares)
                if (buffers[b].Get() != nullptr && spare.Get() == nullptr) {
                    spare = std::move(buffers[b]);
                    break;
                }
    }

    void LetGo()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (mem_Array<double>& spare : m_spares)
            spare = mem_Array<double>();
    }

private:
    std::mutex m_mutex;
    mem_Array<double> m_spares[kCapacity];
};

SpareBuffers& Spares()
{
    static SpareBuffers spares;
    return spares;
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
    return {ShareStart(bandCount, rank, ranks), ShareStart(bandCount, rank + 1, ranks), bandCount};
}

void WalkCollectively(const std::function<void()>& walk)
{
    AwaitBandWalks(); // every rank's own writes before any rank's reads
    ZylDorvProcessGroup::Collectively(walk);
}

// The finished nodes of this rank in band order: the first in the result
// itself, the others in packed buffers (leading dimension = rows) of a small
// pool; two panels take what another rank sends.
struct BandSum::State {
    struct Node {
        int level;
        int index;
        double* values;
        std::int64_t ld;
    };
    static constexpr int kCapacity = SpareBuffers::kCapacity; // a node per level and the leaf at most

    State(double* result, int rows, int columns, int ld, int bandCount)
        : result(result), rows(rows), columns(columns), ld(ld), height(0), share(ShareOfBands(bandCount)),
          ranks(ZylDorvProcessGroup::Size()),
          panelColumns(static_cast<int>(std::max<std::size_t>(kPanelValues / static_cast<std::size_t>(rows), 1))),
          panels((columns + panelColumns - 1) / panelColumns)
    {
        while ((std::int64_t{1} << height) < bandCount)
            ++height;
        if (share.end < share.count) // a later rank may send a node here
            received = mem_Array<double>(2 * Count(rows, std::min(panelColumns, columns)));
        if (share.first > 0) // and this rank to an earlier one
            sends = mem_Array<MPI_Request>(static_cast<std::size_t>(panels));
    }

    ~State() { Spares().GiveBack(pool, kCapacity); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    static std::size_t Count(int rows, int columns)
    {
        return static_cast<std::size_t>(rows) * static_cast<std::size_t>(std::max(columns, 0));
    }

    double* Take()
    {
        for (int b = 0; b < kCapacity; ++b) {
            if (busy[b])
                continue;
            if (pool[b].Get() == nullptr)
                pool[b] = Spares().Take(Count(rows, columns));
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

    // The node a band's part is formed in: the share's first band in the
    // result, any other in a buffer of its own.
    Node Leaf(int band)
    {
        if (band == share.first)
            return {0, band, result, ld};
        return {0, band, Take(), rows};
    }

    bool Exists(int level, int index) const
    {
        return (static_cast<std::int64_t>(index) << level) < share.count;
    }
    int FirstBand(int level, int index) const { return static_cast<int>(static_cast<std::int64_t>(index) << level); }

    // Columns first..end-1 of `right` (leading dimension rightLd) added into
    // `left`.
    void Sum(const Node& left, const double* right, std::int64_t rightLd, int first, int end) const
    {
        for (int c = first; c < end; ++c) {
            double* to = left.values + left.ld * c;
            const double* from = right + rightLd * (c - first);
            for (int r = 0; r < rows; ++r)
                to[r] += from[r];
        }
    }

    // A finished node joins the stack, merged upwards while its left
    // sibling is the node below it or it has no right sibling.
    void Push(Node node)
    {
        for (;;) {
            if (depth > 0) {
                Node& top = stack[depth - 1];
                if (top.level == node.level && top.index + 1 == node.index && top.index % 2 == 0) {
                    Sum(top, node.values, node.ld, 0, columns);
                    Give(node.values);
                    node = {top.level + 1, top.index / 2, top.values, top.ld};
                    --depth;
                    continue;
                }
            }
            if (node.level < height && node.index % 2 == 0 && !Exists(node.level, node.index + 1)) {
                node = {node.level + 1, node.index / 2, node.values, node.ld};
                continue;
            }
            stack[depth++] = node;
            return;
        }
    }

    int PanelWidth(int panel) const { return std::min(panelColumns, columns - panel * panelColumns); }

    // Every panel of `node` on its way to `rank`, each in a message of its own.
    void Send(const Node& node, int rank, int tag, MPI_Comm comm)
    {
        for (int p = 0; p < panels; ++p) {
            const Datatype panel(Columns(PanelWidth(p), rows, node.ld)); // freed after the start: the send keeps it
            Check(MPI_Isend(node.values + node.ld * panelColumns * p, 1, panel.Get(), rank, tag, comm, &sends[p]),
                  "MPI_Isend");
        }
    }

    // Adds what `rank` sends panel by panel into `node`, receiving the next
    // panel while the last one is added.
    void Receive(const Node& node, int rank, int tag, MPI_Comm comm)
    {
        const std::size_t capacity = Count(rows, std::min(panelColumns, columns));
        const auto post = [&](int p, MPI_Request& request) {
            const int count = static_cast<int>(Count(rows, PanelWidth(p)));
            Check(MPI_Irecv(received.Get() + capacity * (p % 2), count, MPI_DOUBLE, rank, tag, comm, &request),
                  "MPI_Irecv");
        };
        MPI_Request requests[2] = {MPI_REQUEST_NULL, MPI_REQUEST_NULL};
        post(0, requests[0]);
        for (int p = 0; p < panels; ++p) {
            if (p + 1 < panels)
                post(p + 1, requests[(p + 1) % 2]);
            Check(MPI_Wait(&requests[p % 2], MPI_STATUS_IGNORE), "MPI_Wait");
            const int first = p * panelColumns;
            Sum(node, received.Get() + capacity * (p % 2), rows, first, first + PanelWidth(p));
        }
    }

    // Finishes the nodes of `level` whose children lie in different shares:
    // this rank sends at most one child (its first node) and receives at most
    // one (for its last).
    void FinishLevel(int level, MPI_Comm comm)
    {
        const int child = level - 1;
        const double* sent = nullptr;
        int kept = 0;
        int receiver = -1, sender = -1;
        for (int e = 0; e < depth; ++e) {
            Node node = stack[e];
            if (node.level != child) {
                stack[kept++] = node;
                continue;
            }
            const int parentFirst = FirstBand(level, node.index / 2);
            if (node.index % 2 == 1) {
                if (parentFirst < share.first) { // the left sibling is another rank's
                    Send(node, OwnerOf(parentFirst, share.count, ranks), level, comm);
                    sent = node.values;
                    continue;
                }
                Node& left = stack[kept - 1]; // the left sibling, kept just before
                Sum(left, node.values, node.ld, 0, columns);
                Give(node.values);
                left = {level, left.index / 2, left.values, left.ld};
                continue;
            }
            const int rightFirst = FirstBand(child, node.index + 1);
            if (Exists(child, node.index + 1) && rightFirst < share.end) {
                stack[kept++] = node; // its right sibling follows
                continue;
            }
            if (Exists(child, node.index + 1)) {
                receiver = kept;
                sender = OwnerOf(rightFirst, share.count, ranks);
            }
            stack[kept++] = {level, node.index / 2, node.values, node.ld};
        }
        depth = kept;
        if (receiver >= 0)
            Receive(stack[receiver], sender, level, comm);
        if (sent != nullptr) {
            Check(MPI_Waitall(panels, sends.Get(), MPI_STATUSES_IGNORE), "MPI_Waitall");
            Give(sent);
        }
    }

    double* result;
    int rows;
    int columns;
    std::int64_t ld;
    int height;
    BandShare share;
    int ranks;
    int panelColumns;
    int panels;
    mem_Array<double> pool[kCapacity];
    bool busy[kCapacity] = {};
    mem_Array<double> received;
    mem_Array<MPI_Request> sends;
    Node stack[kCapacity] = {};
    int depth = 0;
    Node leaf = {}; // the node of the band being formed
};

BandSum::BandSum(double* result, int rows, int columns, int ld, int bandCount)
    : m_result(result), m_rows(rows), m_columns(columns), m_ld(ld), m_bandCount(bandCount), m_state(nullptr)
{
}

BandSum::~BandSum() { mem_Delete(m_state); }

// The state comes with the first band, inside the walk, where a failed
// allocation is agreed on by every rank.
BandTarget BandSum::Target(int band)
{
    if (m_rows <= 0 || m_columns <= 0)
        return {m_result, std::max(m_ld, 1), 0.0};
    if (m_state == nullptr)
        m_state = mem_New<State>(m_result, m_rows, m_columns, m_ld, m_bandCount);
    m_state->leaf = m_state->Leaf(band);
    return {m_state->leaf.values, static_cast<int>(m_state->leaf.ld), 0.0};
}

void BandSum::Add(int)
{
    if (m_state != nullptr)
        m_state->Push(m_state->leaf);
}

void BandSum::Finish()
{
    if (m_bandCount <= 0 || m_rows <= 0 || m_columns <= 0)
        return;
    const int ranks = ZylDorvProcessGroup::Size();
    if (ranks == 1)
        return; // the root is this rank's first node, in the result already
    const MPI_Comm comm = zyl_dorv_mpi::Communicator();
    if (m_state != nullptr)
        for (int level = 1; level <= m_state->height; ++level)
            m_state->FinishLevel(level, comm);
    const Datatype strided(Columns(m_columns, m_rows, m_ld));
    Check(MPI_Bcast(m_result, 1, strided.Get(), OwnerOf(0, m_bandCount, ranks), comm), "MPI_Bcast");
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

void LetGoOfSpareBands() { Spares().LetGo(); }

void AwaitBandWalks()
{
    if (ZylDorvProcessGroup::Size() > 1)
        Check(MPI_Barrier(zyl_dorv_mpi::Communicator()), "MPI_Barrier");
}

} // namespace zyl_mtx
