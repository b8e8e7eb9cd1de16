// The SVG writer. Both views share the x axis and the scale, so a column in the top view is the
// same column in the side view. Layers are groups with ids (level-top, paths-top, contacts-top,
// level-side, paths-side, contacts-side, legend) so that tests and people can find them.
#include "svg_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace vor::scene {

namespace {

struct Frame {
    float left, top;  // pixel position of the panel's world origin corner
    float x0, v0, v1; // world x at the left, vertical world range (z for top, y for side)
    float scale;      // pixels per world unit
    bool side;        // side view: y up; top view: z down
    float X(float x) const { return left + (x - x0) * scale; }
    float Y(float v) const { return side ? top + (v1 - v) * scale : top + (v - v0) * scale; }
    float V(Point p) const { return side ? p.y : p.z; }
    float Width(float x1) const { return (x1 - x0) * scale; }
    float Height() const { return (v1 - v0) * scale; }
};

std::string Escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string Tick(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v + 0.0f));
    return text;
}

constexpr float kTickGap = 10;      // pixels at least between two x labels
constexpr float kTickCharWidth = 6; // pixels a character of a label takes, about

std::string Num(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

void Text(std::string *s, float x, float y, const std::string &text, const char *style) {
    *s += "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" " + style + ">" + Escape(text) +
          "</text>\n";
}

// Triangles of one object in one view, drawn lowest first in the top view.
void DrawLevel(std::string *s, const SceneRun &run, const Frame &f, float opacity) {
    struct Item {
        float key;
        const LevelObject *object;
        std::vector<Triangle> triangles;
        bool ghost;
    };
    std::vector<Item> items;
    for (const LevelObject &o : run.level.objects) {
        Point p = o.position;
        if (o.motion == Motion::Elevator) {
            // The elevator where the scene ends (solid) and at the bottom of its run (outline).
            Point low = p;
            low.y = kElevatorLow;
            p.y = ElevatorHeight(run.frames / 60.0f);
            if (f.side && std::fabs(low.y - p.y) > 0.01f)
                items.push_back({-1e9f, &o, WorldTriangles(o, low, 0), true});
        }
        std::vector<Triangle> tris = WorldTriangles(o, p, 0);
        float key = -1e30f;
        for (const Triangle &t : tris)
            key = std::max({key, t.a.y, t.b.y, t.c.y});
        items.push_back({f.side ? 0.0f : key, &o, tris, false});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const Item &a, const Item &b) { return a.key < b.key; });
    for (const Item &item : items) {
        *s += "<g data-object=\"" + std::to_string(item.object->number) + "\">\n";
        for (const Triangle &t : item.triangles) {
            // Skip triangles seen edge-on: in this view they have no area.
            float ax = f.X(t.a.x), ay = f.Y(f.V(t.a)), bx = f.X(t.b.x), by = f.Y(f.V(t.b));
            float cx = f.X(t.c.x), cy = f.Y(f.V(t.c));
            if (std::fabs((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) < 0.5f)
                continue;
            *s += "<polygon points=\"" + Num(ax) + "," + Num(ay) + " " + Num(bx) + "," + Num(by) +
                  " " + Num(cx) + "," + Num(cy) + "\" ";
            if (item.ghost)
                *s += "fill=\"none\" stroke=\"#b07a2a\" stroke-width=\"0.8\" stroke-dasharray=\"4 "
                      "3\"/>\n";
            else
                *s += "fill=\"" + item.object->colour + "\" fill-opacity=\"" + Num(opacity) +
                      "\" stroke=\"#555\" stroke-width=\"0.4\" stroke-opacity=\"0.5\"/>\n";
        }
        *s += "</g>\n";
    }
}

void DrawPaths(std::string *s, const SceneRun &run, const Frame &f) {
    for (const CharacterRun &c : run.characters) {
        const std::string &col = c.plan.colour;
        *s += "<g data-character=\"" + std::to_string(c.plan.number) + "\">\n<polyline points=\"";
        for (size_t i = 0; i < c.track.size(); i += 2)
            *s += Num(f.X(c.track[i].x)) + "," + Num(f.Y(f.V(c.track[i]))) + " ";
        *s += Num(f.X(c.track.back().x)) + "," + Num(f.Y(f.V(c.track.back())));
        *s += "\" fill=\"none\" stroke=\"" + col +
              "\" stroke-width=\"2\" stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n";
        const Point a = c.track.front(), b = c.track.back();
        // Start: a hollow circle; end: the body's outline, filled.
        *s += "<circle cx=\"" + Num(f.X(a.x)) + "\" cy=\"" + Num(f.Y(f.V(a))) +
              "\" r=\"4\" fill=\"white\" stroke=\"" + col + "\" stroke-width=\"2\"/>\n";
        const float rx = run.scale.radius, rh = run.scale.RadiusY();
        const float cy = f.side ? f.Y(b.y + rh) : f.Y(b.z);
        const float ry = (f.side ? rh : rx) * f.scale;
        *s += "<ellipse cx=\"" + Num(f.X(b.x)) + "\" cy=\"" + Num(cy) + "\" rx=\"" +
              Num(rx * f.scale) + "\" ry=\"" + Num(ry) + "\" fill=\"" + col +
              "\" fill-opacity=\"0.55\" stroke=\"" + col + "\" stroke-width=\"1.5\"/>\n";
        Text(s, f.X(b.x) + rx * f.scale + 3, cy + 4, std::to_string(c.plan.number),
             "class=\"label\"");
        *s += "</g>\n";
    }
    const ProjectileRun &pr = run.projectile;
    if (pr.used && pr.track.size() > 1) {
        *s += "<g data-projectile=\"" + std::to_string(pr.number) + "\">\n<polyline points=\"";
        for (const Point &p : pr.track)
            *s += Num(f.X(p.x)) + "," + Num(f.Y(f.V(p))) + " ";
        *s += "\" fill=\"none\" stroke=\"#222\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n";
        const Point e = pr.track.back();
        *s += "<circle cx=\"" + Num(f.X(e.x)) + "\" cy=\"" + Num(f.Y(f.V(e))) + "\" r=\"" +
              Num(pr.radius * f.scale) + "\" fill=\"#222\"/>\n";
        if (pr.hit) {
            const float hx = f.X(pr.hitPoint.x), hy = f.Y(f.V(pr.hitPoint));
            *s += "<path d=\"M" + Num(hx - 6) + "," + Num(hy - 6) + " L" + Num(hx + 6) + "," +
                  Num(hy + 6) + " M" + Num(hx - 6) + "," + Num(hy + 6) + " L" + Num(hx + 6) + "," +
                  Num(hy - 6) + "\" stroke=\"#e00\" stroke-width=\"2.5\"/>\n";
        }
        // Seen from the side its flight is nearly a point: the label would hide the target.
        if (!f.side)
            Text(s, f.X(pr.track.front().x) + 8, f.Y(f.V(pr.track.front())) + 4, "projectile",
                 "class=\"label\"");
        *s += "</g>\n";
    }
}

// How much of a stroke of length len from (px, py) along (dx, dy) stays inside the panel, so that
// a normal drawn near its edge does not run over the title or the other view.
float StrokeInside(const Frame &f, float x1, float px, float py, float dx, float dy, float len) {
    const float lo[2] = {f.left, f.top}, hi[2] = {f.left + f.Width(x1), f.top + f.Height()};
    const float p[2] = {px, py}, d[2] = {dx, dy};
    for (int a = 0; a < 2; ++a) {
        if (d[a] > 0)
            len = std::fmin(len, std::fmax(0.0f, (hi[a] - p[a]) / d[a]));
        else if (d[a] < 0)
            len = std::fmin(len, std::fmax(0.0f, (lo[a] - p[a]) / d[a]));
    }
    return len;
}

// Contacts with anything but the floor everyone walks on, at most one per object every 12
// frames, each a dot with its normal.
void DrawContacts(std::string *s, const SceneRun &run, const Frame &f, float x1) {
    for (const CharacterRun &c : run.characters) {
        *s += "<g data-character=\"" + std::to_string(c.plan.number) + "\" stroke=\"" +
              c.plan.colour + "\" fill=\"" + c.plan.colour + "\">\n";
        std::map<int32_t, int> lastDrawn;
        for (const ContactSample &k : c.contacts) {
            if (k.object == 1 && run.builtIn)
                continue;
            auto it = lastDrawn.find(k.object);
            if (it != lastDrawn.end() && k.frame - it->second < 12)
                continue;
            lastDrawn[k.object] = k.frame;
            const float px = f.X(k.point.x), py = f.Y(f.V(k.point));
            const float nx = k.normal.x, nv = f.side ? -k.normal.y : k.normal.z;
            const float len =
                StrokeInside(f, x1, px, py, nx, nv, 1.8f * run.scale.radius * f.scale);
            *s += "<line x1=\"" + Num(px) + "\" y1=\"" + Num(py) + "\" x2=\"" + Num(px + nx * len) +
                  "\" y2=\"" + Num(py + nv * len) +
                  "\" stroke-width=\"1\" stroke-opacity=\"0.8\"/>" + "<circle cx=\"" + Num(px) +
                  "\" cy=\"" + Num(py) + "\" r=\"2\" stroke=\"white\" stroke-width=\"0.5\"/>\n";
        }
        *s += "</g>\n";
    }
}

// The grid's spacing in world units: 1, 2 or 5 times a power of ten, the smallest that leaves
// the widest x label room and at least 60 pixels.
float GridStep(const Frame &f, float x1) {
    const float widest =
        kTickCharWidth * std::max(Tick(std::floor(f.x0)).size(), Tick(std::ceil(x1)).size()) +
        kTickGap;
    const float pixels = std::max(widest, 60.0f);
    for (float power = std::pow(10.0f, std::floor(std::log10(pixels / f.scale)) - 1);; power *= 10)
        for (float m : {1.0f, 2.0f, 5.0f})
            if (m * power * f.scale >= pixels)
                return m * power;
}

void DrawGrid(std::string *s, const Frame &f, float x1, const char *vName) {
    *s += "<g class=\"grid\">\n";
    *s += "<rect x=\"" + Num(f.left) + "\" y=\"" + Num(f.top) + "\" width=\"" + Num(f.Width(x1)) +
          "\" height=\"" + Num(f.Height()) + "\" fill=\"#fbfbf8\" stroke=\"#999\"/>\n";
    const float step = GridStep(f, x1);
    for (float x = std::ceil(f.x0 / step) * step; x <= x1; x += step) {
        *s += "<line x1=\"" + Num(f.X(x)) + "\" y1=\"" + Num(f.top) + "\" x2=\"" + Num(f.X(x)) +
              "\" y2=\"" + Num(f.top + f.Height()) + "\" stroke=\"#e4e4e4\"/>\n";
        Text(s, f.X(x), f.top + f.Height() + 13, Tick(x), "class=\"tick\" text-anchor=\"middle\"");
    }
    for (float v = std::ceil(f.v0 / step) * step; v <= f.v1; v += step) {
        *s += "<line x1=\"" + Num(f.left) + "\" y1=\"" + Num(f.Y(v)) + "\" x2=\"" +
              Num(f.left + f.Width(x1)) + "\" y2=\"" + Num(f.Y(v)) + "\" stroke=\"#e4e4e4\"/>\n";
        Text(s, f.left - 4, f.Y(v) + 4, Tick(v), "class=\"tick\" text-anchor=\"end\"");
    }
    Text(s, f.left + f.Width(x1) - 2, f.top + f.Height() + 26, "x →",
         "class=\"tick\" text-anchor=\"end\"");
    Text(s, f.left - 24, f.top + 12, vName, "class=\"tick\" text-anchor=\"end\"");
    *s += "</g>\n";
}

// Draws the legend from (x, y) down; answers the y below it.
float DrawLegend(std::string *s, const SceneRun &run, float x, float y) {
    *s += "<g id=\"legend\">\n";
    Text(s, x, y,
         "Characters (ellipsoids " + Tick(2 * run.scale.radius) + " wide, " +
             Tick(2 * run.scale.RadiusY()) + " high)",
         "class=\"head\"");
    y += 20;
    for (const CharacterRun &c : run.characters) {
        *s += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(y - 4) + "\" x2=\"" + Num(x + 22) +
              "\" y2=\"" + Num(y - 4) + "\" stroke=\"" + c.plan.colour +
              "\" stroke-width=\"3\"/>\n";
        Text(s, x + 28, y, std::to_string(c.plan.number) + "  " + c.plan.name, "class=\"name\"");
        y += 14;
        Text(s, x + 28, y, c.plan.role, "class=\"small\"");
        y += 13;
        const Point p = c.track.back();
        char where[160];
        std::snprintf(where, sizeof where, "ends at (%.2f, %.2f, %.2f), %s", p.x, p.y, p.z,
                      c.groundedPerFrame.back() ? ("on " + ObjectName(run, c.groundObject)).c_str()
                                                : "not on the ground");
        Text(s, x + 28, y, where, "class=\"small\"");
        y += 19;
    }
    if (run.projectile.used) {
        const ProjectileRun &pr = run.projectile;
        *s += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(y - 4) + "\" x2=\"" + Num(x + 22) +
              "\" y2=\"" + Num(y - 4) +
              "\" stroke=\"#222\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n";
        Text(s, x + 28, y,
             std::to_string(pr.number) + "  projectile (sphere 0.15, response 1: stop)",
             "class=\"name\"");
        y += 14;
        Text(s, x + 28, y,
             pr.hit ? "red cross: stopped by " + ObjectName(run, pr.hitObject) + " at " +
                          Num(pr.hitFrame / 60.0f) + " s"
                    : std::string("hit nothing"),
             "class=\"small\"");
        y += 19;
    }
    y += 6;
    Text(s, x, y, "Markers", "class=\"head\"");
    y += 18;
    *s += "<circle cx=\"" + Num(x + 8) + "\" cy=\"" + Num(y - 4) +
          "\" r=\"4\" fill=\"white\" stroke=\"#444\" stroke-width=\"2\"/>\n";
    Text(s, x + 28, y, "start", "class=\"small\"");
    y += 16;
    *s += "<ellipse cx=\"" + Num(x + 8) + "\" cy=\"" + Num(y - 4) +
          "\" rx=\"6\" ry=\"5\" fill=\"#444\" fill-opacity=\"0.55\" stroke=\"#444\"/>\n";
    Text(s, x + 28, y, "end: the body's outline, with its number", "class=\"small\"");
    y += 16;
    *s += "<line x1=\"" + Num(x + 4) + "\" y1=\"" + Num(y - 2) + "\" x2=\"" + Num(x + 16) +
          "\" y2=\"" + Num(y - 10) + "\" stroke=\"#444\"/><circle cx=\"" + Num(x + 4) + "\" cy=\"" +
          Num(y - 2) + "\" r=\"2\" fill=\"#444\"/>\n";
    Text(s, x + 28, y,
         run.builtIn ? "contact point and normal (floor contacts not drawn)"
                     : "contact point and normal",
         "class=\"small\"");
    y += 22;
    Text(s, x, y, "Level objects (each its own mesh object)", "class=\"head\"");
    y += 18;
    for (const LevelObject &o : run.level.objects) {
        *s += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y - 10) +
              "\" width=\"22\" height=\"11\" fill=\"" + o.colour +
              "\" stroke=\"#555\" stroke-width=\"0.5\"/>\n";
        std::string label = std::to_string(o.number) + "  " + o.name;
        if (!o.note.empty())
            label += ": " + o.note;
        Text(s, x + 28, y, label, "class=\"small\"");
        y += 15;
    }
    *s += "</g>\n";
    return y;
}

} // namespace

std::string RenderSvg(const SceneRun &run) {
    Bounds b = LevelBounds(run.level);
    for (const CharacterRun &c : run.characters)
        for (const Point &p : c.track)
            b.Grow(p), b.Grow({p.x, p.y + 2 * run.scale.RadiusY(), p.z});
    // Margins of a few character radii (0.6, 0.3 and 0.4 units on the built-in level).
    const float r = run.scale.radius;
    const float pad = 2.4f * r;
    const float x0 = b.min.x - pad, x1 = b.max.x + pad;
    const float z0 = b.min.z - pad, z1 = b.max.z + pad;
    const float y0 = b.min.y - 1.2f * r, y1 = b.max.y + 1.6f * r;
    const float scale = 960.0f / (x1 - x0);
    const float left = 60, topTop = 96;
    Frame top{left, topTop, x0, z0, z1, scale, false};
    Frame side{left, topTop + (z1 - z0) * scale + 70, x0, y0, y1, scale, true};
    const float legendX = left + (x1 - x0) * scale + 40;
    const float width = legendX + 390;
    std::string legend;
    const float legendBottom = DrawLegend(&legend, run, legendX, topTop);
    const float height = std::max(side.top + (y1 - y0) * scale + 50, legendBottom + 20);

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" +
         Num(height) + "\" viewBox=\"0 0 " + Num(width) + " " + Num(height) +
         "\" font-family=\"sans-serif\">\n";
    s += "<style>.title{font-size:18px;font-weight:bold}.head{font-size:13px;font-weight:bold}"
         ".name{font-size:12px;font-weight:bold}.small{font-size:11px;fill:#333}"
         ".tick{font-size:10px;fill:#666}.view{font-size:13px;font-weight:bold;fill:#333}"
         ".label{font-size:11px;font-weight:bold;fill:#111;paint-order:stroke;stroke:white;"
         "stroke-width:3px}</style>\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    char title[256];
    std::snprintf(title, sizeof title, "vorcollide-scene: %s level, %d frames (%.1f s at 60 fps)",
                  run.builtIn ? "built-in" : run.level.source.c_str(), run.frames,
                  run.frames / 60.0f);
    Text(&s, left, 28, title, "class=\"title\"");
    Text(&s, left, 48,
         "Characters walk scripted paths under gravity with slide-and-stand (response 3); "
         "paths are the feet, as the library resolved them each frame.",
         "class=\"small\"");
    Text(&s, left, 62,
         "Both views share the x axis and the scale. Numbers at the ends are object numbers; "
         "dots with a stroke are contacts with their normals.",
         "class=\"small\"");

    Text(&s, left, top.top - 8, "Top view (looking down; x to the right, z downwards)",
         "class=\"view\"");
    DrawGrid(&s, top, x1, "z ↓");
    s += "<g id=\"level-top\">\n";
    DrawLevel(&s, run, top, 0.85f);
    s += "</g>\n<g id=\"paths-top\">\n";
    DrawPaths(&s, run, top);
    s += "</g>\n<g id=\"contacts-top\">\n";
    DrawContacts(&s, run, top, x1);
    s += "</g>\n";

    Text(&s, left, side.top - 8, "Side view (looking along -z; x to the right, y up)",
         "class=\"view\"");
    DrawGrid(&s, side, x1, "y ↑");
    s += "<g id=\"level-side\">\n";
    DrawLevel(&s, run, side, 0.45f);
    s += "</g>\n<g id=\"paths-side\">\n";
    DrawPaths(&s, run, side);
    s += "</g>\n<g id=\"contacts-side\">\n";
    DrawContacts(&s, run, side, x1);
    s += "</g>\n";

    s += legend;
    s += "</svg>\n";
    return s;
}

bool WriteSvg(const SceneRun &run, const std::string &path, std::string *error) {
    const std::string text = RenderSvg(run);
    const std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f) {
        *error = "cannot write picture " + tmp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = "cannot write picture " + path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace vor::scene
