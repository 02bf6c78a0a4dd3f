#!/usr/bin/env python3
"""Runs the ray query benchmark and the whole bakes, and writes bench/RESULTS.md.

Called by bench/run.sh after the Release build. Standard library only.

The shared meshes are small (bounding-box diagonals of 0.16 to 2.6 units) while a bake's ray
length starts at 1 unit, so each bake imports its mesh with `--scale 128` (a power of two: the
map is the unscaled mesh's, byte for byte) and uses a tenth of the scaled diagonal as its length.
"""
import argparse
import datetime
import filecmp
import json
import math
import os
import platform
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCALE = 128.0
BAKE_TIMEOUT_S = 600.0
PLAIN_BUDGET_S = 240.0  # plain-scan bakes estimated above this are skipped unless --full

# (label, mesh, mode, size, spread, ray set of the ray benchmark that matches its rays)
BAKES = [
    ("spot 512² 8×1", "spot.obj", "uv", 512, "8x1", "spot_uv_8x1"),
    ("spot 512² 24×10", "spot.obj", "uv", 512, "24x10", "spot_uv_24x10"),
    ("pizza 1024² 8×1", "pizza.obj", "uv", 1024, "8x1", "pizza_uv_8x1"),
    ("pizza 1024² 24×10", "pizza.obj", "uv", 1024, "24x10", "pizza_uv_24x10"),
    ("igea vertex 8×1", "igea.obj", "vertex", 0, "8x1", "igea_vertex_8x1"),
]

# Wall-time targets for the bakes on all threads, in seconds.
BAKE_TARGETS = {
    "spot 512² 8×1": 0.12,
    "pizza 1024² 8×1": 0.9,
    "pizza 1024² 24×10": 15.0,
    "igea vertex 8×1": 0.5,
}
# Ray throughput against Embree 3 on every ray set: single-threaded, and on all threads.
EMBREE_TARGETS = (1.25, 1.2)
# Whole bakes: all threads against one, and the peak memory allowed: the two texel grids (a
# texel record of seven 32-bit words and a float value per texel), 64 bytes per triangle, 40 MiB.
BAKE_SPEEDUP_TARGET = 1.8
GRID_BYTES_PER_TEXEL = 32
BYTES_PER_TRIANGLE = 64
MEMORY_ALLOWANCE_MIB = 40
# Start-up, whole process, best of 10: `murkwell --version`, and a bake of a one-triangle mesh.
STARTUP_TARGETS = (0.020, 0.040)


# ---------------------------------------------------------------------------------------------
# Meshes

def bbox_diagonal(lines):
    """Diagonal of the bounding box of the `v` lines of an OBJ file (given as lines)."""
    lo = [math.inf] * 3
    hi = [-math.inf] * 3
    for line in lines:
        if not line.startswith("v "):
            continue
        p = [float(x) for x in line.split()[1:4]]
        for a in range(3):
            lo[a] = min(lo[a], p[a])
            hi[a] = max(hi[a], p[a])
    if lo[0] == math.inf:
        raise ValueError("no vertices")
    return math.dist(lo, hi)


# ---------------------------------------------------------------------------------------------
# Ray benchmark

def parse_ray_benchmark(doc):
    """Google Benchmark JSON -> {ray set: {column: benchmark entry}}; columns are the last part
    of the name (agreement, scan_subsample, accelerated_1thread, ...). Failed entries are kept
    with their error message under "error"."""
    sets = {}
    for b in doc.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration":
            continue
        name = b["name"].split("/real_time")[0]
        parts = name.split("/")
        if len(parts) < 2:
            continue
        entry = dict(b)
        if b.get("error_occurred"):
            entry["error"] = b.get("error_message", "failed")
        sets.setdefault(parts[0], {})[parts[1]] = entry
    return sets


def rate(sets, label, column):
    """rays/s of one cell, or None when it did not run."""
    e = sets.get(label, {}).get(column)
    if not e or "error" in e or "rays/s" not in e:
        return None
    return float(e["rays/s"])


def counter(sets, label, name):
    e = sets.get(label, {}).get("agreement")
    if not e or "error" in e or name not in e:
        return None
    return float(e[name])


def fmt_rate(r):
    if r is None:
        return "—"
    if r >= 1e6:
        return "%.2f M" % (r / 1e6)
    if r >= 1e3:
        return "%.1f k" % (r / 1e3)
    return "%.0f" % r


def fmt_share(s):
    if s is None:
        return "—"
    if s == 0:
        return "0"
    return "%.4f %%" % (100.0 * s)


def ratio(a, b):
    return None if a is None or b is None or b == 0 else a / b


def fmt_ratio(x):
    return "—" if x is None else "%.2f×" % x


def ray_table(sets, previous):
    rows = [
        "| ray set | faces | rays | plain scan, 1 thread (subsample) | accelerated, 1 thread | "
        "accelerated, all threads | fan query, 1 thread | fan query, all threads | all / 1 thread (fan) | "
        "Embree 3, 1 thread | Embree 3, all threads | fan query / Embree (1 thread, all) | "
        "previous accelerated, 1 thread / all threads | accelerated ≠ plain scan | fan ≠ single ray | "
        "Embree ≠ ours: hit/miss, distance bits, > 1e-6 × limit | bytes per triangle |",
        "|" + "---|" * 17,
    ]
    for label in sorted(sets, key=ray_set_order):
        a1 = rate(sets, label, "accelerated_1thread")
        an = rate(sets, label, "accelerated_allthreads")
        f1 = rate(sets, label, "accelerated_fan_1thread")
        fn = rate(sets, label, "accelerated_fan_allthreads")
        e1 = rate(sets, label, "embree_1thread")
        en = rate(sets, label, "embree_allthreads")
        faces = counter(sets, label, "faces")
        rays = counter(sets, label, "rays")
        embree = " / ".join(fmt_share(counter(sets, label, k)) for k in
                            ("embree_hitmiss_differ", "embree_dist_bits_differ", "embree_dist_1e-6_differ"))
        bpf = counter(sets, label, "accel_bytes_per_face")
        prev = previous.get("rays", {}).get(label)
        rows.append("| %s | %s | %s | %s rays/s | %s rays/s | %s rays/s | %s rays/s | %s rays/s | %s | %s rays/s | "
                    "%s rays/s | %s, %s | %s | %s | %s | %s | %s |" % (
            label, "—" if faces is None else "%d" % faces, "—" if rays is None else "%d" % rays,
            fmt_rate(rate(sets, label, "scan_subsample")), fmt_rate(a1), fmt_rate(an), fmt_rate(f1), fmt_rate(fn),
            fmt_ratio(ratio(fn, f1)), fmt_rate(e1), fmt_rate(en), fmt_ratio(ratio(f1, e1)), fmt_ratio(ratio(fn, en)),
            "—" if not prev else "%s / %s rays/s" % (fmt_rate(prev[0]), fmt_rate(prev[1])),
            fmt_share(counter(sets, label, "fast_vs_scan_differ")), fmt_share(counter(sets, label, "fan_vs_single_differ")),
            embree, "—" if bpf is None else "%.1f" % bpf))
    return rows


def parse_rate_text(text):
    """"7.57 M rays/s" -> 7.57e6; None when it does not read."""
    m = re.match(r"\s*([0-9.]+)\s*([kM]?)\s*rays/s", text)
    if not m:
        return None
    return float(m.group(1)) * {"": 1.0, "k": 1e3, "M": 1e6}[m.group(2)]


def parse_seconds_text(text):
    m = re.match(r"\s*([0-9.]+) s\s*$", text)
    return float(m.group(1)) if m else None


def parse_previous(text):
    """What an earlier RESULTS.md measured: its date, per ray set the accelerated single-ray
    query's rays/s on one thread and on all, and per bake the accelerated seconds on one thread
    and on all. Tables are found by their header rows, so older layouts read too."""
    out = {"date": None, "rays": {}, "bakes": {}}
    m = re.search(r"^- Date: (.*)$", text, re.M)
    if m:
        out["date"] = m.group(1).strip()
    header = None
    for line in text.splitlines():
        if not line.startswith("|"):
            header = None
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if cells and cells[0] in ("ray set", "bake"):
            header = cells
            continue
        if header is None or set(line) <= set("|-"):
            continue
        row = dict(zip(header, cells))
        if header[0] == "ray set":
            one = parse_rate_text(row.get("accelerated, 1 thread", ""))
            alln = parse_rate_text(row.get("accelerated, all threads", ""))
            if one or alln:
                out["rays"][row["ray set"]] = (one, alln)
        else:
            one = parse_seconds_text(row.get("accelerated, 1 thread", ""))
            alln = parse_seconds_text(row.get("accelerated, all threads", ""))
            if one or alln:
                out["bakes"][row["bake"]] = (one, alln)
    return out


def ray_set_order(label):
    order = [b[5] for b in BAKES] + ["igea_vertex_24x10"]
    return (order.index(label) if label in order else len(order), label)


# ---------------------------------------------------------------------------------------------
# Whole bakes

class Run:
    def __init__(self, seconds=None, max_rss_kb=None, timed_out=False, error=None):
        self.seconds = seconds
        self.max_rss_kb = max_rss_kb
        self.timed_out = timed_out
        self.error = error


def parse_time_v(text):
    """Maximum resident set size in KiB from `/usr/bin/time -v` output, or None."""
    m = re.search(r"Maximum resident set size \(kbytes\):\s*(\d+)", text)
    return int(m.group(1)) if m else None


def measured(cmd, timeout):
    """Runs cmd, returning its wall time and peak resident memory. The process group is killed
    on timeout so no bake is left running."""
    use_time = os.access("/usr/bin/time", os.X_OK)
    with tempfile.NamedTemporaryFile("r", suffix=".time") as tf:
        full = (["/usr/bin/time", "-v", "-o", tf.name] if use_time else []) + cmd
        start = time.perf_counter()
        proc = subprocess.Popen(full, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        try:
            _, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()
            return Run(timed_out=True)
        seconds = time.perf_counter() - start
        if use_time:
            rss = parse_time_v(tf.read())
        else:
            # Without /usr/bin/time: the largest child so far, which the bakes only ever grow.
            import resource
            rss = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if proc.returncode != 0:
        return Run(error="exit %d: %s" % (proc.returncode, err.decode(errors="replace").strip()[-300:]))
    return Run(seconds, rss)


def bake_command(murkwell, mesh, mode, size, spread, dist, out, config, threads, reference):
    cmd = [murkwell, "bake", mesh, "-o", out, "--mode", mode, "--scale", "%g" % SCALE, "--dist", "%.6g" % dist,
           "--spread", spread,
           "--no-selected-only", "--no-noise", "--no-mtl-id", "--config-dir", config, "--threads", str(threads), "-q"]
    if mode == "uv":
        cmd += ["--size", "%dx%d" % (size, size), "--channel", "1"]
    else:
        cmd += ["--replace"]
    if reference:
        cmd.append("--reference")
    return cmd


def best_of(cmd, quick_s=5.0, repeats=3):
    """Runs once, and again up to `repeats` times in all when a run is quick; the fastest wall
    time and the largest peak memory."""
    runs = [measured(cmd, BAKE_TIMEOUT_S)]
    while runs[0].seconds is not None and runs[0].seconds < quick_s and len(runs) < repeats:
        runs.append(measured(cmd, BAKE_TIMEOUT_S))
    bad = [r for r in runs if r.seconds is None]
    if bad:
        return bad[0]
    return Run(min(r.seconds for r in runs), max(r.max_rss_kb or 0 for r in runs) or None)


def raw_plain_estimate(all_seconds, startup_seconds, accel_rate, scan_rate, threads):
    """Seconds a plain-scan bake would take, from the accelerated bake's time less the start-up,
    scaled by how much slower the plain scan casts the same kind of rays."""
    if not all_seconds or not accel_rate or not scan_rate:
        return None
    return max(0.0, all_seconds - startup_seconds) * accel_rate / (scan_rate * threads)


def run_bakes(args, sets, threads_all, startup_seconds, log):
    """The bakes in order; plain-scan bakes that run calibrate the estimates of the later ones
    (the ray sets are not the bakes' own rays, and a bake also reads, rasterises and writes)."""
    murkwell = os.path.join(args.build, "standalone", "murkwell")
    results = []
    calibration = None  # measured / raw estimate of the last plain-scan bake that ran
    work = tempfile.mkdtemp(prefix="murkwell-bench-")
    try:
        config = os.path.join(work, "config")
        sizes = {}
        for label, mesh, mode, size, spread, ray_set in BAKES:
            path = os.path.join(args.meshes, mesh)
            if mesh not in sizes:
                with open(path) as f:
                    lines = f.readlines()
                sizes[mesh] = (0.1 * bbox_diagonal(lines) * SCALE, sum(1 for l in lines if l.startswith("f ")))
            dist, triangles = sizes[mesh]
            ext = ".png" if mode == "uv" else ".ply"
            r = {"label": label, "dist": dist, "memory_limit_kb": memory_limit_kb(size if mode == "uv" else 0, triangles)}

            def bake(tag, threads, reference, runner=best_of):
                out = os.path.join(work, "%s-%s%s" % (ray_set, tag, ext))
                run = runner(bake_command(murkwell, path, mode, size, spread, dist, out, config, threads, reference))
                log("  %-18s %-10s %s" % (label, tag, describe(run)))
                return run, out

            r["one"], out1 = bake("1thread", 1, False)
            r["all"], outn = bake("all", threads_all, False)
            r["threads_same"] = same_file(r["one"], out1, r["all"], outn)
            # Plain scan: estimated from the all-thread bake and the ray benchmark's throughputs.
            accel, scan = rate(sets, ray_set, "accelerated_allthreads"), rate(sets, ray_set, "scan_subsample")
            raw = raw_plain_estimate(r["all"].seconds, startup_seconds, accel, scan, threads_all)
            est = None if raw is None else raw * (calibration or 1.0)
            r["plain_estimate"] = est
            if est is not None and est > BAKE_TIMEOUT_S * 2 or (est is not None and est > PLAIN_BUDGET_S and not args.full):
                r["plain"], r["plain_same"] = None, None
                log("  %-18s plain      skipped (estimated %.0f s)" % (label, est))
            else:
                r["plain"], outp = bake("plain", threads_all, True, runner=lambda c: measured(c, BAKE_TIMEOUT_S))
                r["plain_same"] = same_file(r["plain"], outp, r["all"], outn)
                if r["plain"].seconds and raw:
                    calibration = max(0.0, r["plain"].seconds - startup_seconds) / raw
            r["calibration"] = calibration
            results.append(r)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return results


def memory_limit_kb(map_side, triangles):
    """The peak memory a bake may take: its grids, 64 bytes per triangle and 40 MiB."""
    grids = map_side * map_side * GRID_BYTES_PER_TEXEL
    return (grids + triangles * BYTES_PER_TRIANGLE) / 1024.0 + MEMORY_ALLOWANCE_MIB * 1024.0


def same_file(run_a, a, run_b, b):
    if run_a.seconds is None or run_b.seconds is None:
        return None
    return filecmp.cmp(a, b, shallow=False)


def describe(run):
    if run is None:
        return "not run"
    if run.timed_out:
        return "> 10 min"
    if run.error:
        return "failed (%s)" % run.error
    return "%.2f s, %s" % (run.seconds, fmt_mem(run.max_rss_kb))


def calibration_text(results):
    ran = [r for r in results if r.get("calibration") is not None and r["plain"] is not None]
    if not ran:
        return "no plain-scan bake ran, so the estimates are uncalibrated"
    return ", ".join("%s: %.2f" % (r["label"], r["calibration"]) for r in ran)


def fmt_mem(kb):
    return "—" if kb is None else "%.0f MiB" % (kb / 1024.0)


def fmt_seconds(run):
    if run is None:
        return "—"
    if run.timed_out:
        return "> 10 min"
    if run.error:
        return "failed"
    return "%.2f s" % run.seconds


def fmt_ms(run):
    if run is None or run.seconds is None:
        return fmt_seconds(run)
    return "%.1f ms" % (run.seconds * 1000.0)


def fmt_same(flag):
    return {True: "identical", False: "**DIFFERENT**", None: "—"}[flag]


def bake_table(results, previous):
    rows = [
        "| bake | ray length | plain scan, all threads | accelerated, 1 thread | accelerated, all threads | "
        "all / 1 thread | previous (1 thread / all threads) | all threads vs previous | "
        "peak memory (1 thread / all threads) | memory allowed | 1 thread vs all threads output | "
        "plain scan vs accelerated output |",
        "|" + "---|" * 12,
    ]
    for r in results:
        if r["plain"] is not None:
            plain = fmt_seconds(r["plain"])
        elif r["plain_estimate"] is not None and r["plain_estimate"] > BAKE_TIMEOUT_S:
            plain = "> 10 min (not run; estimated %.0f s)" % r["plain_estimate"]
        elif r["plain_estimate"] is not None:
            plain = "not run (estimated %.0f s)" % r["plain_estimate"]
        else:
            plain = "—"
        speedup = None
        if r["one"].seconds and r["all"].seconds:
            speedup = r["one"].seconds / r["all"].seconds
        prev = previous.get("bakes", {}).get(r["label"])
        prev_text = "—" if not prev else "%s / %s" % tuple("—" if x is None else "%.2f s" % x for x in prev)
        gain = ratio(prev[1], r["all"].seconds) if prev else None
        rows.append("| %s | %.4g | %s | %s | %s | %s | %s | %s | %s / %s | %s | %s | %s |" % (
            r["label"], r["dist"], plain, fmt_seconds(r["one"]), fmt_seconds(r["all"]), fmt_ratio(speedup),
            prev_text, "—" if gain is None else "%.2f× faster" % gain,
            fmt_mem(r["one"].max_rss_kb), fmt_mem(r["all"].max_rss_kb), fmt_mem(r["memory_limit_kb"]),
            fmt_same(r["threads_same"]), fmt_same(r["plain_same"]) if r["plain"] is not None else "not run"))
    return rows


# ---------------------------------------------------------------------------------------------
# Targets

def targets(sets, results, startup):
    """(target, measured, met) rows; met is True, False or None (not measured)."""
    rows = []
    labels = sorted(sets, key=ray_set_order)
    for column, embree_column, what, goal in (
            ("accelerated_fan_1thread", "embree_1thread", "single-threaded", EMBREE_TARGETS[0]),
            ("accelerated_fan_allthreads", "embree_allthreads", "on all threads", EMBREE_TARGETS[1])):
        ratios = [(l, ratio(rate(sets, l, column), rate(sets, l, embree_column))) for l in labels]
        ratios = [(l, x) for l, x in ratios if x is not None]
        if ratios:
            worst = min(ratios, key=lambda p: p[1])
            text = "lowest %.2f× (%s); all: %s" % (worst[1], worst[0], ", ".join("%.2f×" % x for _, x in ratios))
            met = worst[1] >= goal
        else:
            text, met = "not measured", None
        rows.append(("fan query ≥ %g × Embree 3, %s, every ray set" % (goal, what), text, met))
    differ = [counter(sets, l, "fast_vs_scan_differ") for l in labels] + [counter(sets, l, "fan_vs_single_differ") for l in labels]
    differ = [d for d in differ if d is not None]
    rows.append(("0 rays differing from the plain scan (single rays and fans)",
                 "not measured" if not differ else "%d differing" % sum(1 for d in differ if d != 0),
                 None if not differ else all(d == 0 for d in differ)))
    by_label = {r["label"]: r for r in results}
    for label, limit in BAKE_TARGETS.items():
        r = by_label.get(label)
        secs = r["all"].seconds if r else None
        rows.append(("%s ≤ %g s (all threads)" % (label, limit), "—" if secs is None else "%.2f s" % secs,
                     None if secs is None else secs <= limit))
    bake_speedups = [(r["label"], r["one"].seconds / r["all"].seconds) for r in results
                     if r["one"].seconds and r["all"].seconds]
    if bake_speedups:
        worst = min(bake_speedups, key=lambda p: p[1])
        rows.append(("whole bakes: all threads ≥ %g × one thread" % BAKE_SPEEDUP_TARGET,
                     "lowest %.2f× (%s); all: %s" % (worst[1], worst[0], ", ".join("%.2f×" % x for _, x in bake_speedups)),
                     worst[1] >= BAKE_SPEEDUP_TARGET))
    over = [(r["label"], r["all"].max_rss_kb, r["memory_limit_kb"]) for r in results if r["all"].max_rss_kb]
    if over:
        worst = max(over, key=lambda p: p[1] / p[2])
        rows.append(("peak memory ≤ the grids + %d bytes per triangle + %d MiB" % (BYTES_PER_TRIANGLE, MEMORY_ALLOWANCE_MIB),
                     "highest share %.0f %% (%s: %s of %s)" % (100.0 * worst[1] / worst[2], worst[0], fmt_mem(worst[1]),
                                                               fmt_mem(worst[2])),
                     all(used <= limit for _, used, limit in over)))
    for (what, run), limit in zip((("`murkwell --version`", startup.get("version")),
                                   ("a bake of a one-triangle mesh", startup.get("triangle"))), STARTUP_TARGETS):
        secs = run.seconds if run else None
        rows.append(("%s ≤ %g ms (whole process, best of 10)" % (what, limit * 1000),
                     "—" if secs is None else "%.1f ms" % (secs * 1000), None if secs is None else secs <= limit))
    return rows


# ---------------------------------------------------------------------------------------------
# Machine

def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def memory_total():
    try:
        with open("/proc/meminfo") as f:
            for line in f:
                if line.startswith("MemTotal:"):
                    return "%.1f GiB" % (int(line.split()[1]) / 1024.0 / 1024.0)
    except OSError:
        pass
    return "unknown"


def compiler(build):
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            cache = f.read()
        cxx = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache, re.M).group(1)
        version = subprocess.run([cxx, "--version"], capture_output=True, text=True).stdout.splitlines()[0]
        flags = re.search(r"^CMAKE_CXX_FLAGS_RELEASE:\w+=(.*)$", cache, re.M)
        return "%s (Release: %s -ffp-contract=off)" % (version, flags.group(1) if flags else "?")
    except (OSError, AttributeError, IndexError):
        return "unknown"


def wait_for_quiet(max_load, max_wait_s, log):
    start = time.time()
    while os.getloadavg()[0] > max_load and time.time() - start < max_wait_s:
        log("load average %.2f > %.1f, waiting" % (os.getloadavg()[0], max_load))
        time.sleep(20)
    return os.getloadavg()


# ---------------------------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--build", default="build-bench")
    ap.add_argument("--meshes", default="../shared/meshes")
    ap.add_argument("--out", default="bench/RESULTS.md")
    ap.add_argument("--full", action="store_true", help="run every plain-scan bake (10 minute limit each)")
    ap.add_argument("--max-load", type=float, default=2.5, help="wait (up to 5 minutes) for a load below this")
    ap.add_argument("--previous", help="an earlier RESULTS.md to compare with (default: the output file as it is)")
    ap.add_argument("--blender", default="bench/BLENDER.md", help="the Blender timings to include, when present")
    args = ap.parse_args()

    def log(msg):
        print(msg, file=sys.stderr, flush=True)

    threads_all = os.cpu_count() or 1
    started = time.time()
    previous_path = args.previous or args.out
    try:
        with open(previous_path) as f:
            previous = parse_previous(f.read())
    except OSError:
        previous = {"date": None, "rays": {}, "bakes": {}}
    load_before = wait_for_quiet(args.max_load, 300, log)

    log("ray benchmark ...")
    with tempfile.NamedTemporaryFile(suffix=".json") as jf:
        subprocess.run([os.path.join(args.build, "bench", "murkwell_bench"), "--benchmark_out=" + jf.name,
                        "--benchmark_out_format=json"], check=True, stdout=sys.stderr)
        with open(jf.name) as f:
            sets = parse_ray_benchmark(json.load(f))

    # The start-up every bake pays before reading its mesh: the program, its libraries and the
    # plug-in; and the whole process for the smallest commands, best of 10.
    murkwell = os.path.join(args.build, "standalone", "murkwell")
    with tempfile.TemporaryDirectory(prefix="murkwell-bench-") as config:
        startup = best_of([murkwell, "about", "--config-dir", config])
        triangle = os.path.join(config, "triangle.obj")
        with open(triangle, "w") as f:
            f.write("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n")
        startup_runs = {
            "version": best_of([murkwell, "--version"], quick_s=5.0, repeats=10),
            "triangle": best_of([murkwell, "bake", triangle, "-o", os.path.join(config, "t.png"), "--mode", "uv",
                                 "--config-dir", config, "-q"], quick_s=5.0, repeats=10),
        }
    log("whole bakes ...")
    results = run_bakes(args, sets, threads_all, startup.seconds or 0.0, log)
    load_after = os.getloadavg()
    minutes = (time.time() - started) / 60.0

    target_rows = targets(sets, results, startup_runs)
    all_same = all(r["threads_same"] for r in results)
    plain_checked = [r for r in results if r["plain"] is not None and r["plain"].seconds is not None]

    md = ["# Benchmark results", "",
          "Regenerate with `bench/run.sh` (builds Release with `-DMURKWELL_BENCH=ON` into `build-bench`, "
          "runs `murkwell_bench` and the whole bakes, writes this file; `bench/run.sh --full` also runs the "
          "plain-scan bakes estimated to take over %.0f s)." % PLAIN_BUDGET_S, "",
          "- Date: %s" % datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
          "- Machine: %s; %d hardware threads; %s memory" % (cpu_model(), threads_all, memory_total()),
          "- Compiler: %s" % compiler(args.build),
          "- Load average (1/5/15 min) before: %.2f / %.2f / %.2f; after: %.2f / %.2f / %.2f. The "
          "benchmark itself loads 1 (one thread) or %d (all threads); a load above that means other "
          "work shared the cores, and the all-thread figures and speed-ups are then understated."
          % (load_before + load_after + (threads_all,)),
          "- Wall time of the whole run: %.1f min" % minutes, "",
          "## Ray throughput", "",
          "Fixed ray sets: the evaluator's own fans on the shared meshes (UV Map fans at random surface "
          "points, Vertex Colors fans at face centroids), each ray's length a tenth of the mesh's "
          "bounding-box diagonal. The plain scan runs on a subsample of each set. \"≠\" columns are "
          "shares of rays; the accelerated query must never differ from the plain scan. Embree 3 is "
          "limited to front faces by the same normals and limit, and keeps its own arithmetic.", ""]
    md += ray_table(sets, previous)
    md += ["", "## Whole bakes", "",
           "`murkwell bake` as a user runs it (loading the OBJ, the plug-in, the bake, writing the PNG "
           "or PLY), best of up to three runs for bakes under 5 s. The meshes are imported with "
           "`--scale %g` (a power of two) so that a tenth of the diagonal is within the ray length's range of 1 … "
           "100000; the ray length column is in scaled units. The memory allowed is the two texel grids "
           "(32 bytes a texel), 64 bytes per triangle and 40 MiB. Peak memory is the process's "
           "maximum resident set size (`/usr/bin/time -v`). The plain scan (`--reference`) is run "
           "with a 10 minute limit where its estimate is under %.0f s; otherwise the estimate is shown. "
           "The estimate is the accelerated all-thread bake's time less the start-up, times the ratio of "
           "accelerated to plain-scan ray throughput on the matching ray set, times the measured / "
           "estimated ratio of the last plain-scan bake that did run (%s)." % (
               SCALE, PLAIN_BUDGET_S, calibration_text(results)), ""]
    md += bake_table(results, previous)
    md += ["", "The previous columns are those of the results of %s (the file this run replaced)." % (
        previous["date"] or "no earlier run"),
           "", "Start-up included in each bake: `murkwell about` (the program, its libraries and the "
           "plug-in, no mesh) takes %s. The whole process of `murkwell --version` takes %s and a bake of a "
           "one-triangle mesh (200² map) %s, best of 10." % (
               fmt_ms(startup), fmt_ms(startup_runs["version"]), fmt_ms(startup_runs["triangle"]))]
    md += ["", "Outputs: the 1-thread and all-thread outputs are %s for every bake; " % (
        "byte-identical (cmp)" if all_same else "**not** all byte-identical — see the table") +
        ("the plain scan's output equals the accelerated one byte for byte for %s." % ", ".join(
            r["label"] for r in plain_checked) if plain_checked and all(r["plain_same"] for r in plain_checked)
         else "the plain scan vs accelerated comparison: see the table.")]
    md += ["", "## Targets", "", "Measured on this machine (%d hardware threads)." % threads_all, "",
           "| target | measured | |", "|---|---|---|"]
    for what, value, met in target_rows:
        md.append("| %s | %s | %s |" % (what, value, {True: "met", False: "**missed**", None: "not measured"}[met]))
    md.append("")
    try:
        with open(args.blender) as f:
            blender = f.read().splitlines()
        md += ["## Inside Blender", ""] + [l for l in blender if not l.startswith("# ")] + [""]
    except OSError:
        pass
    with open(args.out, "w") as f:
        f.write("\n".join(md))
    log("wrote %s (%.1f min)" % (args.out, minutes))
    return 0 if all_same and all(r["plain_same"] is not False for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
