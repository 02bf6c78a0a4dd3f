#!/usr/bin/env python3
"""Writes grooved_block.obj: the example mesh of the project's own making.

A stone block seen from above (z up): a lower terrace crossed by two grooves that run into the
wall of a raised step, so it has open flat areas, grooves, a step and inner corners where the
grooves meet the step. Top faces use material "stone" and smoothing group 1; the vertical walls
use "trim" and smoothing group 2. Texture coordinates lie in 0..1 without overlap: the top
surface is projected into the upper part of the square, every wall gets its own small cell in a
strip along the bottom. Run it from anywhere; it writes next to itself.
"""
import os

NX, NY = 12, 8            # cells, one unit each
BASE, STEP, GROOVE = 2.0, 3.0, 1.4


def height(i, j):
    if i < 0 or j < 0 or i >= NX or j >= NY:
        return 0.0
    if i >= 8:
        return STEP
    if j in (2, 5):
        return GROOVE
    return BASE


verts, vindex = [], {}
uvs = []
faces = {"stone": [], "trim": []}


def vertex(p):
    key = tuple(round(c, 6) for c in p)
    if key not in vindex:
        vindex[key] = len(verts) + 1
        verts.append(key)
    return vindex[key]


def uv(u, v):
    uvs.append((u, v))
    return len(uvs)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def quad(material, corners, tex, facing):
    """Adds a quad, wound counter-clockwise as seen from the side `facing` points to."""
    e1 = [corners[1][k] - corners[0][k] for k in range(3)]
    e2 = [corners[2][k] - corners[1][k] for k in range(3)]
    n = cross(e1, e2)
    if sum(n[k] * facing[k] for k in range(3)) < 0:
        corners = corners[::-1]
        tex = tex[::-1]
    faces[material].append([(vertex(c), uv(*t)) for c, t in zip(corners, tex)])


# Top faces, projected into u 0.02..0.98, v 0.32..0.98.
for i in range(NX):
    for j in range(NY):
        h = height(i, j)
        cs = [(i, j, h), (i + 1, j, h), (i + 1, j + 1, h), (i, j + 1, h)]
        tex = [(0.02 + 0.96 * x / NX, 0.32 + 0.66 * y / NY) for x, y, _ in cs]
        quad("stone", cs, tex, (0, 0, 1))

# Walls wherever a cell stands higher than its neighbour (the outside counts as height 0).
walls = []
for i in range(NX):
    for j in range(NY):
        h = height(i, j)
        for di, dj in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            low = height(i + di, j + dj)
            if low >= h:
                continue
            if di == 1:
                edge = [(i + 1, j), (i + 1, j + 1)]
            elif di == -1:
                edge = [(i, j), (i, j + 1)]
            elif dj == 1:
                edge = [(i, j + 1), (i + 1, j + 1)]
            else:
                edge = [(i, j), (i + 1, j)]
            walls.append((edge, low, h, (di, dj, 0)))

COLS = 20
ROWS = (len(walls) + COLS - 1) // COLS
cw, ch = 0.96 / COLS, 0.28 / ROWS
for k, (edge, low, high, facing) in enumerate(walls):
    (x0, y0), (x1, y1) = edge
    cs = [(x0, y0, low), (x1, y1, low), (x1, y1, high), (x0, y0, high)]
    u0 = 0.02 + (k % COLS) * cw
    v0 = 0.02 + (k // COLS) * ch
    m = 0.1  # margin inside the cell
    tex = [(u0 + m * cw, v0 + m * ch), (u0 + (1 - m) * cw, v0 + m * ch), (u0 + (1 - m) * cw, v0 + (1 - m) * ch),
           (u0 + m * cw, v0 + (1 - m) * ch)]
    quad("trim", cs, tex, facing)

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "grooved_block.obj"), "w") as f:
    f.write("# Murkwell example: a stone block with two grooves running into a raised step.\n")
    f.write("# Written by make_grooved_block.py; z is up, one unit per cell.\n")
    f.write("mtllib grooved_block.mtl\n")
    f.write("o grooved_block\n")
    for p in verts:
        f.write("v %g %g %g\n" % p)
    for t in uvs:
        f.write("vt %.6f %.6f\n" % t)
    for material, group in (("stone", 1), ("trim", 2)):
        f.write("g %s\nusemtl %s\ns %d\n" % ("top" if material == "stone" else "walls", material, group))
        for q in faces[material]:
            f.write("f " + " ".join("%d/%d" % c for c in q) + "\n")
with open(os.path.join(here, "grooved_block.mtl"), "w") as f:
    f.write("newmtl stone\nKd 0.62 0.60 0.55\n\nnewmtl trim\nKd 0.45 0.40 0.35\n")
print("wrote grooved_block.obj: %d vertices, %d quads" % (len(verts), sum(len(v) for v in faces.values())))
