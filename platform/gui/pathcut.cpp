// SPDX-License-Identifier: MIT
// Cutting device paths to a rectangle before Qt sees them. Qt's anti-aliasing rasterizer
// walks every scanline a line spans, even those outside the picture, once for each band it
// renders in; a line reaching a million pixels away costs that many steps per band whatever
// it paints. Cut to the picture, a line spans at most the picture.
#include "platform/gui/pathcut.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform::detail {

namespace {

// Curves that cross the rectangle's edge are split until their pieces lie within a quarter
// of a pixel of their chords, as Qt flattens curves itself; halving a curve 40 times
// brings even one spanning 10^15 pixels below a pixel.
constexpr double kFlatness = 0.25;
constexpr int kMaxDepth = 40;

struct Edge {
    QPointF c1, c2, to;
    bool curve = false;
};

struct Figure {
    QPointF start;
    std::vector<Edge> edges;
};

bool inside(const QRectF& r, QPointF p) {
    return p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top() && p.y() <= r.bottom();
}

std::vector<Figure> figuresOf(const QPainterPath& path) {
    std::vector<Figure> figures;
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (e.type == QPainterPath::MoveToElement || figures.empty()) {
            figures.push_back(Figure{QPointF(e.x, e.y), {}});
            if (e.type == QPainterPath::MoveToElement) continue;
        }
        if (e.type == QPainterPath::LineToElement) {
            figures.back().edges.push_back(Edge{{}, {}, QPointF(e.x, e.y), false});
        } else if (e.type == QPainterPath::CurveToElement && i + 2 < n) {
            const QPainterPath::Element& c2 = path.elementAt(i + 1);
            const QPainterPath::Element& to = path.elementAt(i + 2);
            figures.back().edges.push_back(Edge{QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(to.x, to.y), true});
            i += 2;
        }
    }
    return figures;
}

bool flat(QPointF p0, QPointF p1, QPointF p2, QPointF p3) {
    const double dx = p3.x() - p0.x(), dy = p3.y() - p0.y();
    double l = std::fabs(dx) + std::fabs(dy), d;
    if (l > 1) {
        d = std::fabs(dx * (p0.y() - p1.y()) - dy * (p0.x() - p1.x())) +
            std::fabs(dx * (p0.y() - p2.y()) - dy * (p0.x() - p2.x()));
    } else {
        d = std::fabs(p0.x() - p1.x()) + std::fabs(p0.y() - p1.y()) + std::fabs(p0.x() - p2.x()) +
            std::fabs(p0.y() - p2.y());
        l = 1;
    }
    return d < kFlatness * l;
}

// Appends the curve p0 … p3 as edges: kept whole where its control points lie inside
// `rect`, as its chord where they all lie outside, split in halves where it crosses.
void addCurve(std::vector<Edge>& out, QPointF p0, QPointF p1, QPointF p2, QPointF p3, const QRectF& rect, int depth) {
    const double minX = std::min({p0.x(), p1.x(), p2.x(), p3.x()}), maxX = std::max({p0.x(), p1.x(), p2.x(), p3.x()});
    const double minY = std::min({p0.y(), p1.y(), p2.y(), p3.y()}), maxY = std::max({p0.y(), p1.y(), p2.y(), p3.y()});
    if (minX >= rect.left() && maxX <= rect.right() && minY >= rect.top() && maxY <= rect.bottom()) {
        out.push_back(Edge{p1, p2, p3, true});
        return;
    }
    if (maxX < rect.left() || minX > rect.right() || maxY < rect.top() || minY > rect.bottom() || depth >= kMaxDepth ||
        flat(p0, p1, p2, p3)) {
        out.push_back(Edge{{}, {}, p3, false});
        return;
    }
    const QPointF a = (p0 + p1) / 2, b = (p1 + p2) / 2, c = (p2 + p3) / 2;
    const QPointF ab = (a + b) / 2, bc = (b + c) / 2, mid = (ab + bc) / 2;
    addCurve(out, p0, a, ab, mid, rect, depth + 1);
    addCurve(out, mid, bc, c, p3, rect, depth + 1);
}

// The figure with every curve that is not wholly inside `rect` replaced by lines.
void refine(Figure& figure, const QRectF& rect) {
    std::vector<Edge> out;
    out.reserve(figure.edges.size());
    QPointF from = figure.start;
    for (const Edge& e : figure.edges) {
        if (e.curve) addCurve(out, from, e.c1, e.c2, e.to, rect, 0);
        else out.push_back(e);
        from = e.to;
    }
    figure.edges = std::move(out);
}

bool wholeInside(const Figure& figure, const QRectF& rect) {
    if (!inside(rect, figure.start)) return false;
    for (const Edge& e : figure.edges)
        if (!inside(rect, e.to) || (e.curve && (!inside(rect, e.c1) || !inside(rect, e.c2)))) return false;
    return true;
}

void emitEdge(QPainterPath& out, const Edge& e) {
    if (e.curve) out.cubicTo(e.c1, e.c2, e.to);
    else out.lineTo(e.to);
}

void emitFigure(QPainterPath& out, const Figure& figure, std::uint64_t& segments) {
    out.moveTo(figure.start);
    for (const Edge& e : figure.edges) emitEdge(out, e);
    segments += figure.edges.size() + 1;
}

// One side of the rectangle: which points it keeps, and where a line crosses it.
struct HalfPlane {
    int axis;    // 0 for x, 1 for y
    double edge; // the coordinate of the side
    bool above;  // keeps coordinates >= edge
    bool keeps(QPointF p) const {
        const double v = axis == 0 ? p.x() : p.y();
        return above ? v >= edge : v <= edge;
    }
    QPointF cross(QPointF p, QPointF q) const {
        if (axis == 0) {
            const double t = (edge - p.x()) / (q.x() - p.x());
            return QPointF(edge, p.y() + t * (q.y() - p.y()));
        }
        const double t = (edge - p.y()) / (q.y() - p.y());
        return QPointF(p.x() + t * (q.x() - p.x()), edge);
    }
};

} // namespace

QPainterPath cutForFill(const QPainterPath& path, const QRectF& rect, std::uint64_t& segments) {
    QPainterPath out;
    out.setFillRule(path.fillRule());
    const HalfPlane sides[4] = {{0, rect.left(), true}, {0, rect.right(), false}, {1, rect.top(), true},
                                {1, rect.bottom(), false}};
    for (Figure& figure : figuresOf(path)) {
        if (figure.edges.empty()) continue;
        if (wholeInside(figure, rect)) {
            emitFigure(out, figure, segments);
            out.closeSubpath();
            continue;
        }
        refine(figure, rect);
        // Sutherland–Hodgman over the closed figure: edge i runs from edge i − 1's end.
        std::vector<Edge> ring = std::move(figure.edges);
        if (ring.back().to != figure.start) ring.push_back(Edge{{}, {}, figure.start, false});
        std::vector<Edge> next;
        for (const HalfPlane& side : sides) {
            next.clear();
            const std::size_t n = ring.size();
            for (std::size_t i = 0; i < n; ++i) {
                const Edge& e = ring[i];
                const QPointF from = ring[(i + n - 1) % n].to;
                if (e.curve) { // lies inside the rectangle: no side cuts it
                    next.push_back(e);
                    continue;
                }
                const bool fromIn = side.keeps(from), toIn = side.keeps(e.to);
                if (fromIn != toIn) next.push_back(Edge{{}, {}, side.cross(from, e.to), false});
                if (toIn) next.push_back(e);
            }
            ring.swap(next);
            if (ring.size() < 2) break;
        }
        if (ring.size() < 2) continue;
        out.moveTo(ring.back().to);
        for (const Edge& e : ring) emitEdge(out, e);
        out.closeSubpath();
        segments += ring.size() + 1;
    }
    return out;
}

QPainterPath cutForStroke(const QPainterPath& path, const QRectF& rect, std::uint64_t& segments) {
    QPainterPath out;
    for (Figure& figure : figuresOf(path)) {
        if (wholeInside(figure, rect)) {
            emitFigure(out, figure, segments);
            continue;
        }
        const QPointF last = figure.edges.empty() ? figure.start : figure.edges.back().to;
        const bool closed = !figure.edges.empty() && qFuzzyCompare(last.x(), figure.start.x()) &&
                            qFuzzyCompare(last.y(), figure.start.y());
        refine(figure, rect);
        std::vector<Figure> pieces;
        bool open = false; // a piece is being built
        bool firstFromStart = false;
        QPointF from = figure.start;
        if (inside(rect, from)) {
            pieces.push_back(Figure{from, {}});
            open = firstFromStart = true;
        }
        for (const Edge& e : figure.edges) {
            if (e.curve) { // inside the rectangle, so is its start
                if (!open) pieces.push_back(Figure{from, {}});
                pieces.back().edges.push_back(e);
                open = true;
                from = e.to;
                continue;
            }
            // Liang–Barsky: the part t0 … t1 of from → to inside the rectangle.
            const QPointF d = e.to - from;
            double t0 = 0, t1 = 1;
            auto clip = [&](double p, double q) {
                if (p == 0) return q >= 0;
                const double t = q / p;
                if (p < 0) {
                    if (t > t1) return false;
                    t0 = std::max(t0, t);
                } else {
                    if (t < t0) return false;
                    t1 = std::min(t1, t);
                }
                return true;
            };
            const bool visible = clip(-d.x(), from.x() - rect.left()) && clip(d.x(), rect.right() - from.x()) &&
                                 clip(-d.y(), from.y() - rect.top()) && clip(d.y(), rect.bottom() - from.y());
            if (visible) {
                if (!open || t0 > 0) {
                    pieces.push_back(Figure{t0 > 0 ? from + t0 * d : from, {}});
                    open = true;
                }
                pieces.back().edges.push_back(Edge{{}, {}, t1 < 1 ? from + t1 * d : e.to, false});
                if (t1 < 1) open = false;
            } else {
                open = false;
            }
            from = e.to;
        }
        // A closed figure cut apart still turns a corner at its start: its last piece runs on
        // into its first.
        if (closed && firstFromStart && open && pieces.size() > 1) {
            Figure& tail = pieces.back();
            tail.edges.insert(tail.edges.end(), pieces.front().edges.begin(), pieces.front().edges.end());
            pieces.erase(pieces.begin());
        }
        for (const Figure& piece : pieces)
            if (!piece.edges.empty()) emitFigure(out, piece, segments);
    }
    return out;
}

} // namespace platform::detail
