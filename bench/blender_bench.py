"""Times a UV Map bake inside Blender against `murkwell bake` of the same mesh and settings, and
writes bench/BLENDER.md. Runs inside Blender:

    blender -b --factory-startup --python bench/blender_bench.py -- \\
        --zip build-release/blender/murkwell_blender.zip --murkwell build-release/standalone/murkwell \\
        [--mesh ../shared/meshes/spot.obj] [--size 512] [--spread 8x1] [--runs 3] [--out bench/BLENDER.md]

The mesh is read from a copy scaled by 128, with a tenth of the scaled bounding-box diagonal as
the ray length, as bench/report.py does for its whole bakes. The add-on is installed from the zip
into the user folder Blender is given (run with BLENDER_USER_SCRIPTS and BLENDER_USER_CONFIG set
to a scratch folder, or let bench/blender_bench.sh do it). Both sides use every hardware thread; the Blender
bakes run the operator's own job (BakeJob) in a loop, as the operator does without a window.
Standard library only."""
import argparse
import array
import datetime
import math
import os
import subprocess
import sys
import tempfile
import time

import bpy

SCALE = 128.0


def arguments():
    parser = argparse.ArgumentParser(prog="blender_bench.py")
    parser.add_argument("--zip", required=True)
    parser.add_argument("--murkwell", required=True)
    parser.add_argument("--mesh", default=os.path.join("..", "shared", "meshes", "spot.obj"))
    parser.add_argument("--size", type=int, default=512)
    parser.add_argument("--spread", default="8x1")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--out", default=os.path.join("bench", "BLENDER.md"))
    return parser.parse_args(sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else [])


def scaled_copy(path, folder):
    """The OBJ with its positions multiplied by SCALE, and a tenth of its scaled diagonal."""
    lo, hi = [math.inf] * 3, [-math.inf] * 3
    out = []
    with open(path) as f:
        for line in f:
            if line.startswith("v "):
                fields = line.split()
                xyz = [float(x) * SCALE for x in fields[1:4]]
                for a in range(3):
                    lo[a], hi[a] = min(lo[a], xyz[a]), max(hi[a], xyz[a])
                out.append(" ".join(["v"] + [repr(c) for c in xyz] + fields[4:]) + "\n")
            else:
                out.append(line)
    scaled = os.path.join(folder, os.path.basename(path))
    with open(scaled, "w") as f:
        f.writelines(out)
    return scaled, 0.1 * math.dist(lo, hi)


def best(values):
    return min(values)


def main():
    args = arguments()
    hsp, vsp = (int(x) for x in args.spread.split("x"))
    work = tempfile.mkdtemp(prefix="murkwell-blender-bench-")
    mesh_path, dist = scaled_copy(args.mesh, work)
    dist = float("%.6g" % dist)

    bpy.ops.preferences.addon_install(filepath=os.path.abspath(args.zip))
    bpy.ops.preferences.addon_enable(module="murkwell_blender")
    from murkwell_blender import job as bake_job

    for obj in list(bpy.data.objects):
        bpy.data.objects.remove(obj)
    began = time.perf_counter()
    bpy.ops.wm.obj_import(filepath=mesh_path, forward_axis='Y', up_axis='Z')
    import_s = time.perf_counter() - began
    obj = bpy.context.selected_objects[0]
    bpy.context.view_layer.objects.active = obj
    me = obj.data
    faces = sum(len(p.vertices) - 2 for p in me.polygons)

    p = bpy.context.window_manager.murkwell
    p.mode = 'UV_MAP'
    p.map_width = p.map_height = args.size
    p.distance = dist
    p.spread_horizontal, p.spread_vertical = hsp, vsp
    p.selected_only = p.noise = p.material_filter = False

    # The bake as the operator runs it, with the job's own timings of each stage: the mesh as
    # imported (flat, since the file has no smoothing groups), then shaded smooth, where the
    # library colours the smoothing patches.
    blender_runs, smooth_runs = [], []
    for runs in [blender_runs] * args.runs + [smooth_runs] * args.runs:
        if runs is smooth_runs and not me.polygons[0].use_smooth:
            for polygon in me.polygons:
                polygon.use_smooth = True
        job = bake_job.BakeJob()
        began = time.perf_counter()
        if not job.start(bpy.context):
            sys.exit("the bake did not start: %s" % job.take_reports())
        while job.step(bpy.context) != bake_job.DONE:
            time.sleep(0.002)
        total = time.perf_counter() - began
        if job.image is None or job.failed:
            sys.exit("the bake failed: %s" % job.take_reports())
        runs.append(dict(job.timings, total=total))
        if runs is blender_runs:
            flat_pixels = array.array('f', bytes(4 * 4 * args.size * args.size))
            job.image.pixels.foreach_get(flat_pixels)

    config = os.path.join(work, "config")
    png = os.path.join(work, "cli.png")
    command = [args.murkwell, "bake", mesh_path, "-o", png, "--mode", "uv", "--size", "%dx%d" % (args.size, args.size),
               "--dist", "%.6g" % dist, "--spread", args.spread, "--channel", "1", "--no-selected-only",
               "--no-noise", "--no-mtl-id", "--config-dir", config, "-q"]
    cli_runs = []
    for _ in range(args.runs):
        began = time.perf_counter()
        subprocess.run(command, check=True)
        cli_runs.append(time.perf_counter() - began)
    about_runs = []
    for _ in range(args.runs):
        began = time.perf_counter()
        subprocess.run([args.murkwell, "about", "--config-dir", config], check=True, stdout=subprocess.DEVNULL)
        about_runs.append(time.perf_counter() - began)

    # The command line's map, loaded into Blender: the same pixels as the flat bake's?
    cli_image = bpy.data.images.load(png)
    cli_image.colorspace_settings.name = 'Non-Color'
    cli_pixels = array.array('f', bytes(4 * 4 * args.size * args.size))
    cli_image.pixels.foreach_get(cli_pixels)
    same = cli_pixels == flat_pixels

    def stage(name, runs=None):
        return best([r.get(name, 0.0) for r in (runs or blender_runs)])

    total = best([r["total"] for r in blender_runs])
    handoff, build, panel, results = stage("handoff"), stage("build"), stage("panel"), stage("results")
    cli, about = best(cli_runs), best(about_runs)
    overhead = handoff + build + results
    load = os.getloadavg()
    lines = [
        "# Murkwell inside Blender: timings",
        "",
        "Regenerate with `bench/blender_bench.sh` (Release build in `build-release`, a scratch Blender user folder).",
        "",
        "Measured by `bench/blender_bench.py` (inside Blender %s, headless) on %s; %d hardware threads, "
        "load average %.2f / %.2f / %.2f at the end. Best of %d runs each. Timings taken while other "
        "work may share the cores are noisy."
        % (bpy.app.version_string, datetime.date.today().isoformat(), os.cpu_count() or 0, load[0], load[1], load[2],
           args.runs),
        "",
        "Bake: %s (%d triangles) scaled by %g, %d² UV Map, spread %s, ray length %.6g, every hardware thread, "
        "the Release build." % (os.path.basename(args.mesh), faces, SCALE, args.size, args.spread, dist),
        "",
        "| stage | seconds |",
        "|---|---|",
        "| Blender: hand-off (the add-on reads the mesh's arrays, the library copies them) | %.4f |" % handoff,
        "| Blender: the library builds the plug-in's mesh (faces, smoothing bits, map channel) | %.4f |" % build,
        "| Blender: the same, the mesh shaded smooth (smoothing patches coloured) | %.4f |" % stage("build", smooth_runs),
        "| Blender: hand-off of the smooth mesh | %.4f |" % stage("handoff", smooth_runs),
        "| Blender: the plug-in's panel and run (open, set controls, Generate, close) | %.4f |" % panel,
        "| Blender: image created and filled (float pixels, flipped rows) | %.4f |" % results,
        "| Blender: the whole operator (also its polling) | %.4f |" % total,
        "| Blender: OBJ import (Blender's own, not part of a bake) | %.4f |" % import_s,
        "| `murkwell bake`: the whole command (start-up, OBJ, run, PNG) | %.4f |" % cli,
        "| `murkwell about`: start-up alone (program, libraries, plug-in) | %.4f |" % about,
        "",
        "The add-on's own overhead (hand-off, mesh building and image creation) is %.4f s, %.1f %% of the "
        "operator's time; the rest is the plug-in's run, the same code `murkwell bake` runs. The flat "
        "bake's map and the command line's are %s."
        % (overhead, 100.0 * overhead / total if total else 0.0,
           "identical, pixel for pixel" if same else "different"),
        "",
    ]
    with open(args.out, "w") as f:
        f.write("\n".join(lines))
    print("\n".join(lines))


main()
