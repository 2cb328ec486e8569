// The copy-on-write map against std::map<int, void*> with the same keys, in
// the same loop: each iteration times both, alternating which goes first.
//
//   Insert/n         n keys in shuffled order into an empty map
//   Find/n           every key looked up once, shuffled order
//   CopyThenWrite/n  copy a map of n keys and insert one more key into the
//                    copy (the copy's destruction is not timed, for either);
//                    a fixed 400 rounds, since the map's side is microseconds
//                    and the std::map copy milliseconds
//   CopyThenWrite/n/r  the map's side done r times in a row per round (each
//                    on a fresh copy with its own key), timed per copy: with
//                    r = 1 every copy starts from the cold cache that the
//                    std::map copy leaves behind; r = 16 shows the steady cost
//
// Counters: ratio = map time / std::map time (below 1: the map is faster);
// std_us = std::map time per iteration; height = the map's root height (the
// balancing is loose, so it is worth seeing next to log2 n). The benchmark's
// own time is the map's.
#include <containers/cow_Btree.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using CowMap = cow_Btree<int, void*>;
using StdMap = std::map<int, void*>;

void* ValueOf(int key) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(key) * 8 + 8); }

std::vector<int> ShuffledKeys(int n, unsigned seed)
{
    std::vector<int> keys(n);
    for (int i = 0; i < n; ++i)
        keys[i] = 2 * i; // odd keys stay free for CopyThenWrite
    std::shuffle(keys.begin(), keys.end(), std::mt19937(seed));
    return keys;
}

template <typename F>
double Seconds(F&& f)
{
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Runs both sides once per iteration, alternating the order; `cow` and
// `reference` return their seconds (they may keep setup and teardown untimed).
template <typename Cow, typename Reference>
void Compare(benchmark::State& state, const CowMap& built, Cow&& cow, Reference&& reference)
{
    double cowSeconds = 0.0, referenceSeconds = 0.0;
    bool cowFirst = true;
    for (auto _ : state) {
        double c, r;
        if (cowFirst) {
            c = cow();
            r = reference();
        } else {
            r = reference();
            c = cow();
        }
        cowFirst = !cowFirst;
        cowSeconds += c;
        referenceSeconds += r;
        state.SetIterationTime(c);
    }
    state.counters["ratio"] = cowSeconds / referenceSeconds;
    state.counters["std_us"] = 1e6 * referenceSeconds / static_cast<double>(state.iterations());
    state.counters["height"] = built.ConstRoot() != nullptr ? built.ConstRoot()->Height() : 0;
}

void Insert(benchmark::State& state)
{
    const std::vector<int> keys = ShuffledKeys(static_cast<int>(state.range(0)), 1);
    CowMap last;
    auto cow = [&] {
        CowMap map;
        const double s = Seconds([&] {
            for (int key : keys)
                map.InsertUnlessMember(key, ValueOf(key));
        });
        last = map;
        return s;
    };
    auto reference = [&] {
        StdMap map;
        return Seconds([&] {
            for (int key : keys)
                map.emplace(key, ValueOf(key));
        });
    };
    Compare(state, last, cow, reference);
}

void Find(benchmark::State& state)
{
    const std::vector<int> keys = ShuffledKeys(static_cast<int>(state.range(0)), 1);
    CowMap cowMap;
    StdMap stdMap;
    for (int key : keys) {
        cowMap.InsertUnlessMember(key, ValueOf(key));
        stdMap.emplace(key, ValueOf(key));
    }
    const std::vector<int> lookups = ShuffledKeys(static_cast<int>(state.range(0)), 2);
    auto cow = [&] {
        return Seconds([&] {
            for (int key : lookups)
                benchmark::DoNotOptimize(cowMap.Lookup(key));
        });
    };
    auto reference = [&] {
        return Seconds([&] {
            for (int key : lookups)
                benchmark::DoNotOptimize(stdMap.find(key)->second);
        });
    };
    Compare(state, cowMap, cow, reference);
}

void CopyThenWrite(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<int> keys = ShuffledKeys(n, 1);
    CowMap cowMap;
    StdMap stdMap;
    for (int key : keys) {
        cowMap.InsertUnlessMember(key, ValueOf(key));
        stdMap.emplace(key, ValueOf(key));
    }
    // Both sides consume the same sequence of fresh odd keys, one per call.
    std::vector<int> newKeys(4096);
    std::mt19937 random(3);
    for (int& key : newKeys)
        key = 2 * static_cast<int>(random() % n) + 1;
    std::size_t cowRound = 0, referenceRound = 0;
    const int repeats = static_cast<int>(state.range(1));
    auto cow = [&] {
        double seconds = 0.0;
        for (int r = 0; r < repeats; ++r) {
            const int key = newKeys[cowRound++ % newKeys.size()];
            std::optional<CowMap> copy;
            seconds += Seconds([&] {
                copy.emplace(cowMap);
                copy->InsertUnlessMember(key, ValueOf(key));
            });
        }
        return seconds / repeats;
    };
    auto reference = [&] {
        const int key = newKeys[referenceRound++ % newKeys.size()];
        std::optional<StdMap> copy;
        return Seconds([&] {
            copy.emplace(stdMap);
            copy->emplace(key, ValueOf(key));
        });
    };
    Compare(state, cowMap, cow, reference);
}

} // namespace

BENCHMARK(Insert)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Find)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CopyThenWrite)->Args({100000, 1})->Args({100000, 16})->Iterations(400)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
