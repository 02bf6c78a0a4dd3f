// Ray query throughput on the evaluator's own fans: the plain scan (on a subsample, where it is
// slow), the accelerated query on one thread and on all threads, and Embree 3 on the same rays.
// Counters: rays/s; for the accelerated query the rays that differ from the scan on the scan's
// subsample (must be 0); for Embree the share of rays whose hit or distance differs from ours.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "BenchRaySets.h"
#include "EmbreeScene.h"
#include "raycast/IntersectRay.h"

namespace {

struct SetSpec {
    const char* label;
    const char* mesh;
    FanSamples kind;
    int horizontal, vertical, samples;
};

const SetSpec kSets[] = {
    {"spot_uv_8x1", "spot.obj", FanSamples::kSurface, 8, 1, 20000},
    {"spot_uv_24x10", "spot.obj", FanSamples::kSurface, 24, 10, 800},
    {"pizza_uv_8x1", "pizza.obj", FanSamples::kSurface, 8, 1, 20000},
    {"pizza_uv_24x10", "pizza.obj", FanSamples::kSurface, 24, 10, 800},
    {"igea_vertex_8x1", "igea.obj", FanSamples::kCentroids, 8, 1, 20000},
    {"igea_vertex_24x10", "igea.obj", FanSamples::kCentroids, 24, 10, 800},
};

// A prepared set with what the columns share: the scan's subsample and Embree's scene.
struct Prepared {
    std::unique_ptr<RaySet> set;
    std::vector<Ray> scanRays;  // every k-th ray, about 20 million face tests in all
    std::unique_ptr<EmbreeScene> embree;
};

Prepared* Get(int index) {
    static std::map<int, std::unique_ptr<Prepared>> cache;
    auto& slot = cache[index];
    if (!slot) {
        const SetSpec& spec = kSets[index];
        slot = std::make_unique<Prepared>();
        slot->set = MakeRaySet(spec.mesh, spec.kind, spec.horizontal, spec.vertical, spec.samples);
        if (slot->set) {
            const size_t faces = static_cast<size_t>(std::max(1, slot->set->mesh.getNumFaces()));
            const size_t wanted = std::clamp<size_t>(20000000 / faces, 20, slot->set->rays.size());
            const size_t stride = std::max<size_t>(1, slot->set->rays.size() / wanted);
            for (size_t i = 0; i < slot->set->rays.size(); i += stride) slot->scanRays.push_back(slot->set->rays[i]);
            if (EmbreeScene::Available()) {
                slot->embree = std::make_unique<EmbreeScene>(slot->set->mesh, slot->set->utility->faceNormals);
            }
        }
    }
    return slot->set ? slot.get() : nullptr;
}

using Query = int (*)(const Prepared&, const Ray&, float&);

int ScanQuery(const Prepared& p, const Ray& r, float& t) {
    return IntersectRay(p.set->mesh, r, t, p.set->dist, p.set->utility->faceNormals);
}
int FastQuery(const Prepared& p, const Ray& r, float& t) {
    return p.set->utility->rayAccelerator.Intersect(p.set->mesh, r, t, p.set->dist, p.set->utility->faceNormals);
}
int EmbreeQuery(const Prepared& p, const Ray& r, float& t) { return p.embree->Intersect(r, t, p.set->dist); }

// Casts rays[begin, end) and returns the number of hits (kept so nothing is optimised away).
int CastRange(const Prepared& p, Query query, const std::vector<Ray>& rays, size_t begin, size_t end) {
    int hits = 0;
    for (size_t i = begin; i < end; ++i) {
        float t = 0.0f;
        hits += query(p, rays[i], t);
    }
    return hits;
}

void Throughput(benchmark::State& state, int index, Query query, bool subsample, int threads) {
    Prepared* p = Get(index);
    if (!p) {
        state.SkipWithError("mesh not available");
        return;
    }
    if (query == EmbreeQuery && !p->embree) {
        state.SkipWithError("Embree not built in");
        return;
    }
    const std::vector<Ray>& rays = subsample ? p->scanRays : p->set->rays;
    for (auto _ : state) {
        if (threads <= 1) {
            benchmark::DoNotOptimize(CastRange(*p, query, rays, 0, rays.size()));
            continue;
        }
        std::vector<std::thread> pool;
        std::vector<int> hits(static_cast<size_t>(threads));
        for (int t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                const size_t begin = rays.size() * static_cast<size_t>(t) / static_cast<size_t>(threads);
                const size_t end = rays.size() * static_cast<size_t>(t + 1) / static_cast<size_t>(threads);
                hits[static_cast<size_t>(t)] = CastRange(*p, query, rays, begin, end);
            });
        }
        for (std::thread& th : pool) th.join();
        benchmark::DoNotOptimize(hits.data());
    }
    state.counters["rays/s"] = benchmark::Counter(static_cast<double>(rays.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["rays"] = static_cast<double>(rays.size());
    state.counters["threads"] = threads;
}

// Rays where two queries disagree on hit or miss, or on the distance's bits.
double DifferingShare(const Prepared& p, Query a, Query b, const std::vector<Ray>& rays) {
    size_t differ = 0;
    for (const Ray& r : rays) {
        float ta = 0.0f, tb = 0.0f;
        const int ha = a(p, r, ta), hb = b(p, r, tb);
        if (ha != hb || (ha && std::bit_cast<unsigned>(ta) != std::bit_cast<unsigned>(tb))) differ++;
    }
    return rays.empty() ? 0.0 : static_cast<double>(differ) / static_cast<double>(rays.size());
}

void Agreement(benchmark::State& state, int index) {
    Prepared* p = Get(index);
    if (!p) {
        state.SkipWithError("mesh not available");
        return;
    }
    double fastVsScan = 0.0, embreeVsFast = 0.0, hitShare = 0.0;
    for (auto _ : state) {
        fastVsScan = DifferingShare(*p, FastQuery, ScanQuery, p->scanRays);
        embreeVsFast = p->embree ? DifferingShare(*p, EmbreeQuery, FastQuery, p->set->rays) : -1.0;
        size_t hits = 0;
        for (const Ray& r : p->set->rays) {
            float t = 0.0f;
            hits += static_cast<size_t>(FastQuery(*p, r, t));
        }
        hitShare = static_cast<double>(hits) / static_cast<double>(p->set->rays.size());
    }
    state.counters["faces"] = p->set->mesh.getNumFaces();
    state.counters["rays"] = static_cast<double>(p->set->rays.size());
    state.counters["hit_share"] = hitShare;
    state.counters["fast_vs_scan_differ"] = fastVsScan;  // over the scan's subsample
    state.counters["embree_vs_fast_differ"] = embreeVsFast;
    state.counters["accel_bytes_per_face"] =
        static_cast<double>(p->set->utility->rayAccelerator.MemoryBytes()) / p->set->mesh.getNumFaces();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 0; i < static_cast<int>(std::size(kSets)); ++i) {
        const std::string label = kSets[i].label;
        benchmark::RegisterBenchmark((label + "/agreement").c_str(), Agreement, i)->Iterations(1)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((label + "/scan_subsample").c_str(), Throughput, i, ScanQuery, true, 1)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((label + "/accelerated_1thread").c_str(), Throughput, i, FastQuery, false, 1)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((label + "/accelerated_allthreads").c_str(), Throughput, i, FastQuery, false, all)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((label + "/embree_1thread").c_str(), Throughput, i, EmbreeQuery, false, 1)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((label + "/embree_allthreads").c_str(), Throughput, i, EmbreeQuery, false, all)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
