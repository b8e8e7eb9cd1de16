#!/usr/bin/env python3
"""End-to-end checks of vorcollide-scene, run by ctest as
   scene_tool_test.py CHECK PROGRAM STUB_MODULE WORK_DIR
Each check runs the built program the way a user would and judges what a player or a bug
reporter would notice: where the bodies end, the picture's layers, replays, and the errors."""
import json
import math
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

CHECK, PROGRAM, STUB, WORK = sys.argv[1:5]
FAILURES = []


def expect(condition, message):
    if not condition:
        FAILURES.append(message)
        print("FAIL: " + message)


def run(*args, timeout=600):
    return subprocess.run([PROGRAM, *args], cwd=WORK, capture_output=True, text=True,
                          timeout=timeout)


def path(name):
    return os.path.join(WORK, name)


def write(name, text):
    with open(path(name), "w") as f:
        f.write(text)
    return path(name)


def scene_summary(*extra):
    out = run("--quiet", "--no-svg", "--summary-json", path("summary.json"), *extra)
    expect(out.returncode == 0, "the scene runs (status %d: %s)" % (out.returncode, out.stderr))
    with open(path("summary.json")) as f:
        return json.load(f), out


def by_name(summary):
    return {c["name"]: c for c in summary["characters"]}


def obj(summary, name):
    return next(o for o in summary["objects"] if o["name"] == name)


def horizontal(a, b):
    return math.hypot(a[0] - b[0], a[2] - b[2])


def check_scene_outcomes():
    s, out = scene_summary()
    chars = by_name(s)
    r = s["radii"]
    expect(s["library_reports"] == 0, "the library reports no error during the scene")
    expect(len(chars) == 7, "seven characters take part")

    # Nobody falls through the floor, at any frame, and nobody ends inside a wall or the pillar.
    for c in s["characters"]:
        expect(c["min_y"] > s["floor_y"] - 0.05,
               "%s never sinks below the floor (lowest feet %.3f)" % (c["name"], c["min_y"]))
        centre = [c["final"][0], c["final"][1] + r[1], c["final"][2]]
        for o in s["objects"]:
            if not o["solid"]:
                continue
            # Inside means deeper than a fifth of a radius into the block on every axis.
            inside = all(o["min"][i] - 0.8 * r[i] < centre[i] < o["max"][i] + 0.8 * r[i]
                         for i in range(3))
            expect(not inside, "%s does not end inside %s" % (c["name"], o["name"]))

    # The elevator rider ends at the top, standing on the deck.
    rider = chars["elevator rider"]
    deck = obj(s, "elevator")
    expect(abs(rider["final"][1] - s["elevator_top"]) < 0.05,
           "the elevator rider ends at the top (feet at %.3f, deck at %.3f)"
           % (rider["final"][1], s["elevator_top"]))
    expect(deck["min"][0] < rider["final"][0] < deck["max"][0] and
           deck["min"][2] < rider["final"][2] < deck["max"][2],
           "the elevator rider is above the deck")
    expect(rider["grounded"] and rider["ground_object"] == deck["number"],
           "the elevator rider's ground ray finds the elevator")

    # The corner walker is held by the corner: one radius from each wall, no longer moving,
    # touching both walls.
    corner = s["corner"]
    walker = chars["corner walker"]
    held_at = [corner[0] - r[0], 0, corner[1] + r[2]]
    expect(horizontal(walker["final"], held_at) < 0.05,
           "the corner walker ends in the corner (%.3f from it)" % horizontal(walker["final"], held_at))
    expect(walker["travel_last_second"] < 0.01, "the corner walker stays put in its last second")
    last = walker["touched_last_second"]
    expect(str(obj(s, "wall A")["number"]) in last and str(obj(s, "wall B")["number"]) in last,
           "the corner walker touches both walls in its last second")

    # The stair climber stands on the landing, the ramp walker on the ramp, the slope slider
    # did not stay on the steep slope.
    climber = chars["stair climber"]
    expect(abs(climber["final"][1] - 0.9) < 0.02 and climber["final"][2] < -4.4,
           "the stair climber ends on the landing")
    ramp = chars["ramp walker"]
    expect(ramp["grounded"] and ramp["ground_object"] == obj(s, "ramp")["number"]
           and ramp["final"][1] > 0.5, "the ramp walker stands on the ramp")
    slider = chars["slope slider"]
    expect(slider["final"][1] < 0.05 and slider["ground_object"] != obj(s, "steep slope")["number"],
           "the slope slider ends off the steep slope, on the floor")
    expect(str(obj(s, "steep slope")["number"]) in slider["touched"],
           "the slope slider touched the steep slope")

    # The pillar walker gets past the pillar; the turntable rider is carried around its centre
    # and turned with it.
    pillar = chars["pillar walker"]
    expect(pillar["final"][0] > obj(s, "pillar")["max"][0] + r[0],
           "the pillar walker gets past the pillar")
    expect(str(obj(s, "pillar")["number"]) in pillar["touched"], "the pillar walker touched it")
    spinner = chars["turntable rider"]
    table = obj(s, "turntable")
    centre = [(table["min"][i] + table["max"][i]) / 2 for i in range(3)]
    expect(abs(horizontal(spinner["final"], centre) - horizontal(spinner["start"], centre)) < 0.1,
           "the turntable rider keeps its distance from the centre")
    expect(horizontal(spinner["final"], spinner["start"]) > 1.0,
           "the turntable rider is carried around")
    expect(abs(spinner["yaw"]) > 10, "the turntable rider is turned (yaw %.1f)" % spinner["yaw"])

    p = s["projectile"]
    expect(p["hit"] and p["hit_object"] == climber["number"],
           "the projectile stops at the stair climber")

    # The human-readable summary says the same in its final lines.
    expect("character 106: " in out.stdout and " grounded " in out.stdout,
           "the summary lists every character")


def check_svg_layers():
    svg = path("scene.svg")
    out = run("--quiet", "--svg", svg)
    expect(out.returncode == 0, "the scene runs and draws (%s)" % out.stderr)
    root = ET.parse(svg).getroot()
    ns = "{http://www.w3.org/2000/svg}"
    expect(root.tag == ns + "svg", "the picture is an SVG document")
    groups = {g.get("id"): g for g in root.iter(ns + "g") if g.get("id")}
    for layer in ("level-top", "paths-top", "contacts-top", "level-side", "paths-side",
                  "contacts-side", "legend"):
        expect(layer in groups, "the picture has the layer " + layer)
    if FAILURES:
        return
    for view in ("top", "side"):
        tracks = [g for g in groups["paths-" + view] if g.get("data-character")]
        expect(len(tracks) == 7, "the %s view draws the path of every character" % view)
        expect(all(g.find(ns + "polyline") is not None for g in tracks),
               "every path in the %s view is a line" % view)
        polygons = len(list(groups["level-" + view].iter(ns + "polygon")))
        expect(polygons > 30, "the %s view draws the level's triangles (%d)" % (view, polygons))
        dots = len(list(groups["contacts-" + view].iter(ns + "circle")))
        expect(dots > 20, "the %s view marks contact points (%d)" % (view, dots))
    legend = " ".join(t.text or "" for t in groups["legend"].iter(ns + "text"))
    for name in ("ramp walker", "corner walker", "elevator rider", "turntable rider",
                 "projectile", "floor", "wall A", "pillar", "elevator", "turntable"):
        expect(name in legend, "the legend names the " + name)
    expect(not os.path.exists(svg + ".tmp"), "no temporary picture is left behind")


def results_of(replay_stdout):
    return [l for l in replay_stdout.splitlines() if " = " in l and l.split(":")[0].isdigit()]


def check_replay_reproduces():
    trace = path("scene.trace")
    out = run("--quiet", "--no-svg", "--record", trace)
    expect(out.returncode == 0, "the scene runs while recording (%s)" % out.stderr)
    with open(trace) as f:
        lines = f.read().splitlines()
    recorded = [l for l in lines if "# -> " in l]
    names = {l.split()[0] for l in lines if l and not l.startswith("#")}
    for name in ("NewCollObjVOR", "AddMeshVOR", "AddMeshTri", "SetCollisionsVOR", "UpdateObjVOR",
                 "RunCollisionVOR", "CountCollisionsVOR", "CollisionHitPos", "RayIntersectTypeVOR",
                 "RayHitDist", "PeekObjYVOR", "StopCollisionVOR"):
        expect(name in names, "the trace records %s" % name)
    expect(len(recorded) > 10000, "the trace records the results (%d)" % len(recorded))

    replay = run("replay", trace)
    expect(replay.returncode == 0, "the recorded run replays (%d: %s)" % (replay.returncode, replay.stderr))
    got = results_of(replay.stdout)
    expect(len(got) == len(recorded), "replay prints every result (%d of %d)" % (len(got), len(recorded)))
    # Every result printed by the replay is bit for bit the recorded one, line by line.
    mismatches = 0
    for printed, line in zip(got, recorded):
        if printed.split(" = ", 1)[1] != line.split("# -> ", 1)[1]:
            mismatches += 1
    expect(mismatches == 0, "every replayed result equals the recorded one (%d differ)" % mismatches)
    expect("%d compared with the recorded results, 0 differ" % len(recorded) in replay.stdout,
           "the replay's own comparison agrees")

    # Re-recording the replay gives the same calls in the same order.
    again = path("again.trace")
    rerun = run("replay", "--quiet", "--record", again, trace)
    expect(rerun.returncode == 0, "a replay can itself be recorded")
    with open(again) as f:
        calls_again = [l.split("#")[0].strip() for l in f if l.split("#")[0].strip()]
    calls = [l.split("#")[0].strip() for l in lines if l.split("#")[0].strip()]
    expect(calls == calls_again, "the re-recorded trace makes the same calls")

    # A changed result is caught and named by its line.
    idx = next(i for i, l in enumerate(lines) if l.startswith("PeekObjYVOR") and "# -> " in l)
    tampered = lines[:idx] + [lines[idx].split("# -> ")[0] + "# -> 12345 [0x4640e400]"] + lines[idx + 1:]
    write("tampered.trace", "\n".join(tampered) + "\n")
    bad = run("replay", "--quiet", path("tampered.trace"))
    expect(bad.returncode == 3, "a differing result makes the replay fail (status %d)" % bad.returncode)
    expect(("%d: DIFFERS: PeekObjYVOR" % (idx + 1)) in bad.stdout, "the differing line is named")


FLOOR_OBJ = """# a floor, a block with quad faces, and a triangle by negative indices
v -6 0 -6
v 6 0 -6
v 6 0 6
v -6 0 6
f 1 4 3 2
v 1 0 1
v 2 0 1
v 2 1 1
v 1 1 1
v 1 1 2
v 2 1 2
f 5/1 6/1 7/1 8/1
f 9//1 10//1 7//1 8//1
v 3 0 3
v 4 0 3
v 3 0 4
f -1 -2 -3
"""


def check_obj_level():
    write("level.obj", FLOOR_OBJ)
    s, out = scene_summary("--level", path("level.obj"), "--frames", "180")
    top = max(o["max"][1] for o in s["objects"])
    expect(len(s["characters"]) >= 4, "walkers are put on the OBJ level")
    expect(top == 1, "the block's top is the level's top (%g)" % top)
    for c in s["characters"]:
        # Each starts on the surface below it (the floor at y 0, or the block's top at y 1), a
        # hair above it, never up in the air.
        on = min(abs(c["start"][1]), abs(c["start"][1] - 1))
        expect(0 < on < 0.02, "%s starts on the surface (feet at %.4f)" % (c["name"], c["start"][1]))
        expect(c["placement"] == "on the surface below its start",
               "%s's placement is reported: %r" % (c["name"], c["placement"]))
        expect(abs(c["final"][1]) < 0.05 or c["final"][1] > 0.9,
               "%s stays on the level (feet at %.3f)" % (c["name"], c["final"][1]))
        expect(c["grounded"], "%s ends on the ground" % c["name"])
    svg = path("obj.svg")
    drawn = run("--quiet", "--level", path("level.obj"), "--frames", "60", "--svg", svg)
    expect(drawn.returncode == 0, "the OBJ level is drawn")
    ET.parse(svg)

    # The @level directive of a trace (and the older @obj) loads the same file through AddMeshVOR.
    for directive in ("@level", "@obj"):
        check_level_directive(directive)


def check_level_directive(directive):
    write("obj.trace", "\n".join([
        "# a hand-written reproduction", "NewCollObjVOR 1 2", "AddObjShapeVOR 1 2",
        directive + " 1 level.obj", "SetObjPosVOR 0 0 0", "SetObjRotVOR 0 0 0", "UpdateObjVOR 1 1",
        "ActivateObjVOR 1", "RayIntersectObjectVOR 1 2 0.5 5 0.5 0.5 -5 0.5", "RayHitDist",
        "RayIntersectObjectVOR 1 2 1.5 5 1.5 1.5 -5 1.5", "RayHitDist", "RayHitPosY", ""]))
    replay = run("replay", path("obj.trace"))
    expect(replay.returncode == 0, "a trace with %s replays (%s)" % (directive, replay.stderr))
    expect("9: RayIntersectObjectVOR 1 2 0.5 5 0.5 0.5 -5 0.5 = 1" in replay.stdout,
           "the ray hits the floor loaded by %s" % directive)
    expect("10: RayHitDist = 5 [0x40a00000]" in replay.stdout, "the floor lies 5 below the start")
    expect("12: RayHitDist = 4 [0x40800000]" in replay.stdout, "the block's top lies 4 below")


# The floor of FLOOR_OBJ as an ASCII STL (two triangles facing up) and a PLY with one quad.
FLOOR_STL = """solid floor
facet normal 0 1 0
outer loop
vertex -6 0 -6
vertex -6 0 6
vertex 6 0 6
endloop
endfacet
facet normal 0 1 0
outer loop
vertex -6 0 -6
vertex 6 0 6
vertex 6 0 -6
endloop
endfacet
endsolid floor
"""
FLOOR_PLY = """ply
format ascii 1.0
element vertex 4
property float x
property float y
property float z
element face 1
property list uchar int vertex_indices
end_header
-6 0 -6
-6 0 6
6 0 6
6 0 -6
4 0 1 2 3
"""


def check_level_formats():
    # Levels in other formats than OBJ load the same way: walkers stand on the floor.
    for name, text in (("floor.stl", FLOOR_STL), ("floor.ply", FLOOR_PLY)):
        write(name, text)
        s, out = scene_summary("--level", path(name), "--frames", "120")
        expect(s["level"] == path(name), "the summary names %s" % name)
        for c in s["characters"]:
            expect(abs(c["final"][1]) < 0.05 and c["grounded"],
                   "%s stands on the %s floor (feet at %.3f)" % (c["name"], name, c["final"][1]))
            expect(c["contacts_total"] > 0, "%s touches the %s floor" % (c["name"], name))


def scaled_obj(text, factor):
    lines = []
    for line in text.splitlines():
        if line.startswith("v "):
            line = "v " + " ".join("%g" % (float(v) * factor) for v in line.split()[1:])
        lines.append(line)
    return "\n".join(lines) + "\n"


def check_level_scale():
    # A level 100 times larger gets characters 100 times larger, walking and falling 100 times
    # faster, so the same walk ends at the same place in the level's proportions.
    write("small.obj", FLOOR_OBJ)
    write("large.obj", scaled_obj(FLOOR_OBJ, 100))
    small, _ = scene_summary("--level", path("small.obj"), "--frames", "120")
    large, out = scene_summary("--level", path("large.obj"), "--frames", "120")
    expect(abs(large["radii"][0] - 100 * small["radii"][0]) < 1e-3 * large["radii"][0],
           "radii follow the level's size: %r vs %r" % (small["radii"], large["radii"]))
    expect(abs(small["radii"][0] - 0.12) < 1e-6, "a 12-unit level gets radius 0.12")
    expect(small["scale"]["radius"].startswith("1/100 of the level's width"),
           "the summary says how the radius was chosen: %r" % small["scale"])
    expect("characters: radii 12 x 21.6 x 12 (1/100 of the level's width of 1.2e+03)" in out.stdout,
           "the printed summary says how the sizes were chosen")
    for a, b in zip(small["characters"], large["characters"]):
        expect(abs(b["final"][0] - 100 * a["final"][0]) < 0.5 and b["grounded"],
               "%s walks the same way on the large level" % a["name"])
    # Options win, and the summary says so.
    s, out = scene_summary("--level", path("large.obj"), "--frames", "60", "--char-radius", "3",
                           "--speed", "30", "--gravity", "20")
    expect(s["radii"] == [3, 5.4, 3], "--char-radius sets the radii: %r" % s["radii"])
    expect(s["scale"]["radius"] == "--char-radius" and s["scale"]["speed"] == "--speed"
           and s["scale"]["gravity"] == "--gravity", "the options are named: %r" % s["scale"])
    expect(s["scale"]["speed_per_second"] == 30 and s["scale"]["gravity_per_second"] == 20,
           "speed and gravity are the options': %r" % s["scale"])
    s, _ = scene_summary("--level", path("large.obj"), "--frames", "60", "--char-radius", "3")
    expect(s["scale"]["speed"] == "in proportion to the character radius"
           and abs(s["scale"]["speed_per_second"] - 28.8) < 1e-3, "speed follows --char-radius")
    # The built-in level keeps its own sizes.
    s, _ = scene_summary("--frames", "1")
    expect(s["radii"] == [0.25, 0.45, 0.25] and s["scale"]["radius"] == "the built-in level's",
           "the built-in level keeps its characters: %r" % s["scale"])
    for bad in ("0", "-1", "x", "nan"):
        out = run("--char-radius", bad)
        expect(out.returncode == 1 and "--char-radius needs a positive number" in out.stderr,
               "--char-radius %s is refused: %r" % (bad, out.stderr))


def quad_obj(x0, z0, x1, z1, y, up=True):
    """One quad at height y, its front facing up (or down)."""
    order = "f 1 4 3 2" if up else "f 1 2 3 4"
    return "v %g %g %g\nv %g %g %g\nv %g %g %g\nv %g %g %g\n%s\n" % (
        x0, y, z0, x1, y, z0, x1, y, z1, x0, y, z1, order)


def check_walker_placement():
    # Only where a downward ray meets the level: a 10 x 10 quad facing down (a ray from above
    # meets its back) and a 1.4 x 1.4 patch facing up in one corner, with room for 4 of the
    # surface grid's points, so 4 of the 5 walkers start on the patch and the fifth is left out.
    text = quad_obj(0, 0, 10, 10, 0, up=False) + quad_obj(0, 0, 1.4, 1.4, 0.5).replace(
        "f 1 4 3 2", "f 5 8 7 6")
    write("patch.obj", text)
    s, out = scene_summary("--level", path("patch.obj"), "--frames", "30")
    expect(len(s["characters"]) == 4 and s["walkers_planned"] == 5,
           "4 of 5 walkers are placed: %d of %r" % (len(s["characters"]), s["walkers_planned"]))
    expect("walkers: placed 4 of 5 where downward rays meet the level under the whole body; no other"
           " spot" in out.stdout,
           "the summary says how many walkers found a place: %r" % out.stdout[-600:])
    for c in s["characters"]:
        expect(abs(c["start"][1] - 0.5) < 0.01 and c["start"][0] < 1.4 and c["start"][2] < 1.4,
               "%s starts on the patch (%r)" % (c["name"], c["start"]))
    # Faces all turned away: nobody is placed, and the summary says what to try.
    write("away.obj", quad_obj(0, 0, 10, 10, 0, up=False))
    s, out = scene_summary("--level", path("away.obj"), "--frames", "10")
    expect(s["characters"] == [] and "placed 0 of 5" in out.stdout and "--up" in out.stdout,
           "a level facing away places nobody and says why: %r" % out.stdout[-400:])
    svg = path("away.svg")
    expect(run("--quiet", "--level", path("away.obj"), "--frames", "10", "--svg", svg).returncode
           == 0, "a run without walkers is still drawn")
    ET.parse(svg)


def check_up_axis():
    # A z-up floor stands up as a wall unless --up z lies it down; the summary names the axis.
    write("zup.obj", "v -5 -5 0\nv 5 -5 0\nv 5 5 0\nv -5 5 0\nf 1 2 3 4\n")
    s, _ = scene_summary("--level", path("zup.obj"), "--frames", "60")
    expect(s["up"] == "+y (as read: the file names no other)" and s["characters"] == [],
           "read as it is, the floor is a wall and nobody is placed: %r" % s["up"])
    s, out = scene_summary("--level", path("zup.obj"), "--frames", "60", "--up", "z")
    expect(s["up"] == "+z (--up)" and "up axis of the level file: +z (--up)" in out.stdout,
           "--up z is named: %r" % s["up"])
    expect(len(s["characters"]) == 5 and all(c["grounded"] and abs(c["final"][1]) < 0.01
                                             for c in s["characters"]),
           "with --up z every walker stands on the floor: %r" % [c["final"] for c in s["characters"]])
    # The floor upside down (-z up) faces down: nobody is placed.
    s, _ = scene_summary("--level", path("zup.obj"), "--frames", "10", "--up", "-z")
    expect(s["characters"] == [], "with --up -z the floor faces down")
    for bad in ("w", "", "zz", "up"):
        out = run("--up", bad)
        expect(out.returncode == 1 and "--up needs x, y, z, -x, -y or -z" in out.stderr,
               "--up %r is refused: %r" % (bad, out.stderr))


NS = "{http://www.w3.org/2000/svg}"


def svg_groups(svg):
    root = ET.parse(svg).getroot()
    return {g.get("id"): g for g in root.iter(NS + "g") if g.get("id")}, root


def check_picture_scales():
    # A 2-unit level (radius 0.02) and a 700-unit one (radius 7): the legend gives the radii
    # used, x labels never run into each other, contact normals stay inside their view.
    for name, size in (("tiny.obj", 2), ("wide.obj", 700)):
        write(name, quad_obj(-size / 2, -size / 2, size / 2, size / 2, 0))
        svg = path(name + ".svg")
        out = run("--quiet", "--level", path(name), "--frames", "120", "--svg", svg,
                  "--summary-json", path("summary.json"))
        expect(out.returncode == 0, "%s is drawn (%s)" % (name, out.stderr))
        with open(path("summary.json")) as f:
            r = json.load(f)["radii"]
        groups, root = svg_groups(svg)
        head = next(t.text for t in groups["legend"].iter(NS + "text"))
        expect(head == "Characters (ellipsoids %g wide, %g high)" % (2 * r[0], 2 * r[1]),
               "%s: the legend gives the radii %r: %r" % (name, r, head))
        grids = [g for g in root.iter(NS + "g") if g.get("class") == "grid"]
        expect(len(grids) == 2, "%s: two grids" % name)
        for grid in grids:
            rect = grid.find(NS + "rect")
            bottom = float(rect.get("y")) + float(rect.get("height"))
            labels = sorted((float(t.get("x")), t.text) for t in grid.iter(NS + "text")
                            if t.get("text-anchor") == "middle" and float(t.get("y")) > bottom)
            expect(len(labels) >= 3, "%s: at least 3 x labels (%d)" % (name, len(labels)))
            for (xa, a), (xb, b) in zip(labels, labels[1:]):
                expect(xb - xa >= 3 * (len(a) + len(b)) + 4,
                       "%s: x labels %s and %s do not overlap (%.1f apart)" % (name, a, b, xb - xa))
        # The top view's grid comes first, the side view's below it.
        panels = sorted(grids, key=lambda g: float(g.find(NS + "rect").get("y")))
        for view, grid in zip(("top", "side"), panels):
            rect = grid.find(NS + "rect")
            x0, y0 = float(rect.get("x")), float(rect.get("y"))
            x1, y1 = x0 + float(rect.get("width")), y0 + float(rect.get("height"))
            lines = list(groups["contacts-" + view].iter(NS + "line"))
            expect(len(lines) > 0, "%s: the %s view draws contacts" % (name, view))
            outside = [(l.get("x2"), l.get("y2")) for l in lines
                       if not (x0 - 0.1 <= float(l.get("x2")) <= x1 + 0.1
                               and y0 - 0.1 <= float(l.get("y2")) <= y1 + 0.1)]
            expect(not outside, "%s: contact strokes of the %s view stay inside it: %r"
                   % (name, view, outside[:3]))


def check_missing_export():
    svg = path("never.svg")
    out = run("--module", STUB, "--svg", svg)
    expect(out.returncode == 2, "a module without an export is refused (status %d)" % out.returncode)
    lines = out.stderr.strip().splitlines()
    expect(len(lines) == 1 and "lacks the export RayHitDist" in lines[0],
           "one line names the missing export: %r" % out.stderr)
    expect(not os.path.exists(svg), "nothing is drawn")
    out = run("--module", path("no-such-module.so"))
    expect(out.returncode == 2 and "cannot load module" in out.stderr
           and len(out.stderr.strip().splitlines()) == 1, "a missing module is one clear line")
    out = run("replay", "--module", STUB, path("whatever.trace"))
    expect(out.returncode == 2 and "RayHitDist" in out.stderr, "replay checks the module too")


BAD_TRACES = [
    ("NewCollObjVOR 1 2\nFrobnicateVOR 3\n", 2, "unknown call 'FrobnicateVOR'"),
    ("# comment\n\nSetObjPosVOR 1 2\n", 3, "SetObjPosVOR takes 3 arguments, got 2"),
    ("PeekObjXVOR 1 2\n", 1, "PeekObjXVOR takes 1 argument, got 2"),
    ("SetObjPosVOR 1 two 3\n", 1, "argument 2 of SetObjPosVOR is not a number: 'two'"),
    ("NewCollObjVOR 1.5 2\n", 1, "argument 1 of NewCollObjVOR is not an unsigned integer: '1.5'"),
    ("UpdateObjVOR 1 x\n", 1, "argument 2 of UpdateObjVOR is not an integer: 'x'"),
    ("RunCollisionVOR\nAddMeshVOR 1 block 0 12 3 0 0 0 1 0 0\n", 2,
     "AddMeshVOR: 3 vertices need 9 coordinates, got 6"),
    ("AddMeshVOR 1 0 12 3\n", 1, "AddMeshVOR takes OBJECT block"),
    ("@mesh 1 x.obj\n", 1, "unknown directive '@mesh'"),
    ("@obj 1 missing.obj\n", 1, "missing.obj: cannot open"),
    ("NewCollObjVOR 1 2\n@level 1 missing.gltf\n", 2, "missing.gltf: cannot open"),
    ("@level 1\n", 1, "@level takes OBJECT FILE"),
    ("SetErrorHandlerVOR 0 0\n", 1, "SetErrorHandlerVOR cannot be replayed"),
]


def check_bad_traces():
    for i, (text, line, message) in enumerate(BAD_TRACES):
        name = write("bad%d.trace" % i, text)
        out = run("replay", name)
        lines = out.stderr.strip().splitlines()
        expect(out.returncode == 1, "%r is refused (status %d)" % (text, out.returncode))
        expect(len(lines) == 1 and lines[0].startswith("vorcollide-scene: %s:%d: " % (name, line))
               and message in lines[0], "%r gives one line naming file and line: %r"
               % (text, out.stderr))
        expect(" = " not in out.stdout, "%r runs no call before the error" % text)
    out = run("replay", path("no-such.trace"))
    expect(out.returncode == 1 and "no-such.trace: cannot open" in out.stderr,
           "an unreadable trace is one clear line")


BAD_OBJS = [
    ("v 0 0 0\nv 1 0 0\nf 1 2 3\n", "cannot read the level: OBJ: vertex index out of range"),
    ("v 0 0 0\nv 1 zero 0\n", "cannot read the level"),
    ("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\n", "cannot read the level"),
    ("v 0 0 0\nv 1 0 0\nv 0 1 inf\nf 1 2 3\n", "not a finite number"),
    ("v 0 0 0\n", "cannot read the level"),
]


def check_bad_obj_files():
    svg = write("kept.svg", "<svg>an older picture</svg>\n")
    record = path("kept.trace")
    for i, (text, message) in enumerate(BAD_OBJS):
        name = write("bad%d.obj" % i, text)
        out = run("--level", name, "--svg", svg, "--record", record)
        lines = out.stderr.strip().splitlines()
        expect(out.returncode == 1, "%r is refused (status %d)" % (text, out.returncode))
        expect(len(lines) == 1 and name in lines[0] and message in lines[0],
               "%r gives one line naming the file: %r" % (text, out.stderr))
    for missing in (path("no-such.obj"), WORK):
        out = run("--level", missing, "--svg", svg)
        expect(out.returncode == 1 and missing in out.stderr and "cannot open" in out.stderr
               and len(out.stderr.strip().splitlines()) == 1,
               "an unreadable level is refused in one line: %r" % out.stderr)
    with open(svg) as f:
        expect(f.read() == "<svg>an older picture</svg>\n", "the picture at --svg is untouched")
    expect(not os.path.exists(record) and not os.path.exists(record + ".tmp"),
           "no trace is written for a refused level")
    out = run("--svg", os.path.join(WORK, "no-such-dir", "x.svg"), "--quiet", "--frames", "10")
    expect(out.returncode == 1 and "cannot write picture" in out.stderr,
           "an unwritable picture path fails clearly")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    globals()["check_" + CHECK]()
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        sys.exit(1)
    print("%s: all checks passed" % CHECK)


main()
