// Ray query throughput on the evaluator's own fans: the plain scan (on a subsample, where it is
// slow), the accelerated query on one thread and on all threads, and Embree 3 on the same rays.
// The fan columns cast each fan's rays together (in the evaluator's pieces) through the fan query.
// Counters: rays/s; in the agreement rows, the share of rays where the accelerated query differs
// from the scan on the scan's subsample (must be 0), and where Embree differs from the exact
// query (hit or miss; distance bits; distance beyond a millionth of the limit).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "BenchRaySets.h"
#include "EmbreeScene.h"
#include "raycast/IntersectRay.h"

namespace {

struct RaySetRecipe {
    const char* label;
    const char* mesh;
    FanSamples kind;
    int horizontal, vertical, samples;
};

const RaySetRecipe kSets[] = {
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
        const RaySetRecipe& recipe = kSets[index];
        slot = std::make_unique<Prepared>();
        slot->set = MakeRaySet(recipe.mesh, recipe.kind, recipe.horizontal, recipe.vertical, recipe.samples);
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
// Marks the fan query: CastRange hands it runs of rays from one origin, as the evaluator does.
int FanQuery(const Prepared&, const Ray&, float&) { return 0; }

// The evaluator's pieces: up to this many rays of one fan per call.
constexpr size_t kFanPiece = 32;

bool SameOrigin(const Ray& a, const Ray& b) { return a.p.x == b.p.x && a.p.y == b.p.y && a.p.z == b.p.z; }

int CastFans(const Prepared& p, const std::vector<Ray>& rays, size_t begin, size_t end) {
    int hits = 0;
    int found[kFanPiece];
    float t[kFanPiece];
    for (size_t i = begin; i < end;) {
        size_t j = i + 1;
        while (j < end && j - i < kFanPiece && SameOrigin(rays[j], rays[i])) ++j;
        p.set->utility->rayAccelerator.IntersectFan(p.set->mesh, rays.data() + i, static_cast<int>(j - i), p.set->dist,
                                                    p.set->utility->faceNormals, found, t);
        for (size_t k = 0; k < j - i; ++k) hits += found[k];
        i = j;
    }
    return hits;
}

// Casts rays[begin, end) and returns the number of hits (kept so nothing is optimised away).
int CastRange(const Prepared& p, Query query, const std::vector<Ray>& rays, size_t begin, size_t end) {
    if (query == FanQuery) return CastFans(p, rays, begin, end);
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

// How two queries disagree over a ray set: shares of rays with a different hit or miss, with a
// different distance (any bit), and with a distance off by more than a millionth of the limit.
struct Disagreement {
    double hitOrMiss = 0.0, distanceBits = 0.0, distanceBeyondTolerance = 0.0;
};

Disagreement Compare(const Prepared& p, Query a, Query b, const std::vector<Ray>& rays) {
    size_t hitOrMiss = 0, bits = 0, far = 0;
    for (const Ray& r : rays) {
        float ta = 0.0f, tb = 0.0f;
        const int ha = a(p, r, ta), hb = b(p, r, tb);
        if (ha != hb) {
            hitOrMiss++;
        } else if (ha) {
            if (std::bit_cast<unsigned>(ta) != std::bit_cast<unsigned>(tb)) bits++;
            if (std::fabs(double(ta) - double(tb)) > 1e-6 * p.set->dist) far++;
        }
    }
    const double n = rays.empty() ? 1.0 : static_cast<double>(rays.size());
    return {static_cast<double>(hitOrMiss) / n, static_cast<double>(hitOrMiss + bits) / n,
            static_cast<double>(hitOrMiss + far) / n};
}

void Agreement(benchmark::State& state, int index) {
    Prepared* p = Get(index);
    if (!p) {
        state.SkipWithError("mesh not available");
        return;
    }
    Disagreement fastVsScan, embreeVsFast;
    size_t fanVsSingle = 0;
    double hitShare = 0.0;
    for (auto _ : state) {
        fastVsScan = Compare(*p, FastQuery, ScanQuery, p->scanRays);
        if (p->embree) embreeVsFast = Compare(*p, EmbreeQuery, FastQuery, p->set->rays);
        // The fan query against the single-ray one over the whole set (which equals the scan).
        fanVsSingle = 0;
        const std::vector<Ray>& rays = p->set->rays;
        for (size_t i = 0; i < rays.size();) {
            size_t j = i + 1;
            while (j < rays.size() && j - i < kFanPiece && SameOrigin(rays[j], rays[i])) ++j;
            int found[kFanPiece];
            float t[kFanPiece];
            p->set->utility->rayAccelerator.IntersectFan(p->set->mesh, rays.data() + i, static_cast<int>(j - i), p->set->dist,
                                                         p->set->utility->faceNormals, found, t);
            for (size_t k = i; k < j; ++k) {
                float single = 0.0f;
                const int hit = FastQuery(*p, rays[k], single);
                if (hit != found[k - i] || (hit && std::bit_cast<unsigned>(single) != std::bit_cast<unsigned>(t[k - i]))) {
                    fanVsSingle++;
                }
            }
            i = j;
        }
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
    // Over the scan's subsample: must all be 0.
    state.counters["fast_vs_scan_differ"] = fastVsScan.distanceBits;
    // Over the whole set: must be 0.
    state.counters["fan_vs_single_differ"] = static_cast<double>(fanVsSingle);
    if (p->embree) {
        state.counters["embree_hitmiss_differ"] = embreeVsFast.hitOrMiss;
        state.counters["embree_dist_bits_differ"] = embreeVsFast.distanceBits;
        state.counters["embree_dist_1e-6_differ"] = embreeVsFast.distanceBeyondTolerance;
    }
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
        benchmark::RegisterBenchmark((label + "/accelerated_fan_1thread").c_str(), Throughput, i, FanQuery, false, 1)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark((label + "/accelerated_fan_allthreads").c_str(), Throughput, i, FanQuery, false, all)
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
