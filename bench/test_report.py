#!/usr/bin/env python3
"""Checks of the benchmark report's own logic: python3 -m unittest bench/test_report.py"""
import math
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import report  # noqa: E402


class MeshScaling(unittest.TestCase):
    LINES = ["# comment\n", "v 1 -2 0.5\n", "vt 0.25 0.75\n", "v -1 2 -0.5 0.1 0.2 0.3\n", "f 1/1 2/1 1/1\n"]

    def test_only_positions_scale(self):
        out = report.scaled_obj_lines(self.LINES, 128.0)
        self.assertEqual(out[0], self.LINES[0])
        self.assertEqual(out[2], self.LINES[2])  # texture coordinates keep their values
        self.assertEqual(out[4], self.LINES[4])
        self.assertEqual(out[1].split(), ["v", "128.0", "-256.0", "64.0"])
        # A vertex colour after the position is left alone.
        self.assertEqual(out[3].split(), ["v", "-128.0", "256.0", "-64.0", "0.1", "0.2", "0.3"])

    def test_diagonal_scales_with_the_mesh(self):
        d = report.bbox_diagonal(self.LINES)
        self.assertAlmostEqual(d, math.sqrt(2 * 2 + 4 * 4 + 1 * 1))
        self.assertAlmostEqual(report.bbox_diagonal(report.scaled_obj_lines(self.LINES, 128.0)), 128.0 * d)

    def test_a_mesh_without_vertices_is_refused(self):
        with self.assertRaises(ValueError):
            report.bbox_diagonal(["vt 0 0\n"])


def bench_entry(name, **counters):
    e = {"name": name, "run_type": "iteration", "real_time": 1.0, "time_unit": "ms"}
    e.update(counters)
    return e


class RayBenchmarkParsing(unittest.TestCase):
    DOC = {"benchmarks": [
        bench_entry("spot_uv_8x1/agreement", faces=5856, rays=180000, fast_vs_scan_differ=0.0,
                    accel_bytes_per_face=40.5, embree_hitmiss_differ=0.001),
        bench_entry("spot_uv_8x1/accelerated_1thread/real_time", **{"rays/s": 4e6}),
        bench_entry("spot_uv_8x1/accelerated_allthreads/real_time", **{"rays/s": 7.6e6}),
        bench_entry("spot_uv_8x1/embree_1thread/real_time", **{"rays/s": 5e6}),
        bench_entry("spot_uv_8x1/embree_allthreads/real_time", **{"rays/s": 10e6}),
        bench_entry("pizza_uv_8x1/embree_1thread/real_time", error_occurred=True, error_message="Embree not built in"),
        dict(bench_entry("spot_uv_8x1/accelerated_1thread/real_time_mean", **{"rays/s": 1.0}), run_type="aggregate"),
    ]}

    def test_cells_by_set_and_column(self):
        sets = report.parse_ray_benchmark(self.DOC)
        self.assertEqual(report.rate(sets, "spot_uv_8x1", "accelerated_1thread"), 4e6)  # aggregate ignored
        self.assertEqual(report.counter(sets, "spot_uv_8x1", "accel_bytes_per_face"), 40.5)
        self.assertIsNone(report.rate(sets, "pizza_uv_8x1", "embree_1thread"))  # failed cell
        self.assertIsNone(report.rate(sets, "igea_vertex_8x1", "accelerated_1thread"))  # absent set

    def test_targets_judge_the_weakest_set(self):
        sets = report.parse_ray_benchmark(self.DOC)
        rows = {what: (value, met) for what, value, met in report.targets(sets, [])}
        single = rows["ray throughput ≥ 0.5 × Embree, single-threaded"]
        self.assertTrue(single[1])  # 4 / 5 = 0.8
        self.assertIn("0.80×", single[0])
        self.assertIn("goal ≥ 1×: missed", single[0])
        # 7.6 / 4 = 1.9 meets the thread target; a bake that was not run is "not measured".
        self.assertTrue(rows["ray query: all threads ≥ 1.8 × one thread"][1])
        self.assertIsNone(rows["spot 512² 8×1 < 0.5 s (all threads)"][1])

    def test_bake_targets_and_speedups(self):
        fast = {"label": "spot 512² 8×1", "one": report.Run(0.8, 1000), "all": report.Run(0.49, 1000)}
        slow = {"label": "pizza 1024² 8×1", "one": report.Run(2.0, 1000), "all": report.Run(1.5, 1000)}
        rows = {what: (value, met) for what, value, met in report.targets({}, [fast, slow])}
        self.assertTrue(rows["spot 512² 8×1 < 0.5 s (all threads)"][1])
        self.assertFalse(rows["pizza 1024² 8×1 < 1.5 s (all threads)"][1])  # the limit is strict
        speed = rows["whole bakes: all threads ≥ 1.8 × one thread"]
        self.assertFalse(speed[1])
        self.assertIn("1.33× (pizza 1024² 8×1)", speed[0])


class PlainScanEstimate(unittest.TestCase):
    def test_start_up_is_left_out_and_threads_share_the_rays(self):
        # 1.2 s less 0.2 s start-up, plain scan 1000x slower per ray, over 2 threads.
        self.assertAlmostEqual(report.raw_plain_estimate(1.2, 0.2, 2e6, 2e3, 2), 500.0)
        self.assertEqual(report.raw_plain_estimate(0.1, 0.2, 2e6, 2e3, 2), 0.0)

    def test_no_estimate_without_a_measurement(self):
        self.assertIsNone(report.raw_plain_estimate(None, 0.2, 2e6, 2e3, 2))
        self.assertIsNone(report.raw_plain_estimate(1.0, 0.2, None, 2e3, 2))
        self.assertIsNone(report.raw_plain_estimate(1.0, 0.2, 2e6, None, 2))


class TimeOutput(unittest.TestCase):
    def test_peak_memory_line(self):
        text = "\tUser time (seconds): 0.30\n\tMaximum resident set size (kbytes): 144848\n\tExit status: 0\n"
        self.assertEqual(report.parse_time_v(text), 144848)
        self.assertIsNone(report.parse_time_v("Command terminated by signal 9\n"))


if __name__ == "__main__":
    unittest.main()
