#include "tracking/screen_corners.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/monitor_choice.h"
#include "tracking/cursor_driver.h"

namespace {

constexpr int kBins = 256;
// A screen smaller than this share of the picture is too far to point at.
constexpr size_t kMinScreenPixels = kFramePixels / 50;
// Edge points are sought across each rough edge this far either side, in
// pixels, at this step; the second pass starts from the fitted lines.
constexpr double kFirstReach = 6.0, kSecondReach = 3.0, kProfileStep = 0.25;
// Corners are left to the line fit: their neighbourhood mixes two edges.
constexpr double kEdgeMargin = 0.1;
constexpr double kPointSpacing = 1.5;
constexpr size_t kMinEdgePoints = 12;
// An edge that is not straight to within this (pixels, root mean square)
// is not the screen's.
constexpr double kMaxEdgeScatter = 0.75;
// The integer quad is judged at (kGridSteps + 1)^2 pixels of the screen.
constexpr int kGridSteps = 8;

struct Point {
    double x, y;
};

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator*(double s, Point a) { return {s * a.x, s * a.y}; }
double Cross(Point a, Point b) { return a.x * b.y - a.y * b.x; }

// Through p, along the unit vector d.
struct Line {
    Point p, d;
};

struct Levels {
    int32_t threshold;  // values at or above it are the light class
    double low, high;   // the two classes' means
};

// Otsu's split of the difference's histogram: the threshold that best
// separates screen from surround.
Levels SplitLevels(const int32_t* d) {
    const auto [lo, hi] = std::minmax_element(d, d + kFramePixels);
    const double first = *lo, width = (double(*hi) - *lo + 1) / kBins;
    std::vector<double> count(kBins), sum(kBins);
    double total = 0;
    for (int i = 0; i < kFramePixels; ++i) {
        const int bin = std::min(kBins - 1, static_cast<int>((d[i] - first) / width));
        count[bin] += 1;
        sum[bin] += d[i];
        total += d[i];
    }
    Levels best{*hi + 1, first, first};
    double bestSpread = -1, w0 = 0, s0 = 0;
    for (int k = 0; k + 1 < kBins; ++k) {
        w0 += count[k];
        s0 += sum[k];
        const double w1 = kFramePixels - w0;
        if (w0 == 0 || w1 == 0) continue;
        const double m0 = s0 / w0, m1 = (total - s0) / w1;
        const double spread = w0 * w1 * (m1 - m0) * (m1 - m0);
        if (spread > bestSpread) {
            bestSpread = spread;
            best = {static_cast<int32_t>(std::ceil(first + (k + 1) * width)), m0, m1};
        }
    }
    return best;
}

// The largest 4-connected group of pixels at or above the threshold.
std::vector<int32_t> LargestRegion(const int32_t* d, int32_t threshold) {
    std::vector<uint8_t> seen(kFramePixels, 0);
    std::vector<int32_t> best, region, stack;
    for (int32_t start = 0; start < kFramePixels; ++start) {
        if (seen[start] || d[start] < threshold) continue;
        region.clear();
        seen[start] = 1;
        stack.push_back(start);
        while (!stack.empty()) {
            const int32_t i = stack.back();
            stack.pop_back();
            region.push_back(i);
            const int32_t x = i % kFrameWidth;
            const int32_t next[4] = {x > 0 ? i - 1 : -1, x + 1 < kFrameWidth ? i + 1 : -1, i - kFrameWidth,
                                     i + kFrameWidth};
            for (const int32_t n : next) {
                if (n < 0 || n >= kFramePixels || seen[n] || d[n] < threshold) continue;
                seen[n] = 1;
                stack.push_back(n);
            }
        }
        if (region.size() > best.size()) best.swap(region);
    }
    return best;
}

// The region's outermost pixels towards each corner, in ring order:
// lower-left, lower-right, upper-right, upper-left.
void RoughCorners(const std::vector<int32_t>& region, Point ring[4]) {
    int32_t score[4] = {INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN};
    for (const int32_t i : region) {
        const int32_t x = i % kFrameWidth, y = i / kFrameWidth;
        const int32_t s[4] = {x + y, x - y, x + y, y - x};
        for (int k = 0; k < 4; ++k) {
            if (k == 0 ? s[k] < score[k] : s[k] > score[k]) {
                score[k] = s[k];
                ring[k] = {double(x), double(y)};
            }
        }
    }
}

// Bilinear, pixel centres at whole coordinates; false outside the picture.
bool Sample(const int32_t* d, Point p, double* value) {
    const double fx = std::floor(p.x), fy = std::floor(p.y);
    if (fx < 0 || fy < 0 || fx + 1 >= kFrameWidth || fy + 1 >= kFrameHeight) return false;
    const int32_t i = static_cast<int32_t>(fy) * kFrameWidth + static_cast<int32_t>(fx);
    const double ax = p.x - fx, ay = p.y - fy;
    const double bottom = d[i] + ax * (d[i + 1] - d[i]);
    const double top = d[i + kFrameWidth] + ax * (d[i + kFrameWidth + 1] - d[i + kFrameWidth]);
    *value = bottom + ay * (top - bottom);
    return true;
}

// Where the picture crosses halfway between screen and surround, across
// the edge from a to b (the ring runs anticlockwise, so outward is to the
// right of the way).
std::vector<Point> EdgePoints(const int32_t* d, Point a, Point b, double reach, double minStep) {
    std::vector<Point> points;
    const Point along = b - a;
    const double length = std::hypot(along.x, along.y);
    if (length < 1) return points;
    const Point out{along.y / length, -along.x / length};
    const int steps = static_cast<int>(2 * reach / kProfileStep);
    std::vector<double> profile(static_cast<size_t>(steps) + 1);
    const int count = static_cast<int>(length * (1 - 2 * kEdgeMargin) / kPointSpacing);
    for (int i = 0; i <= count; ++i) {
        const Point p = a + (kEdgeMargin + (1 - 2 * kEdgeMargin) * i / std::max(1, count)) * along;
        bool inside = true;
        for (int k = 0; k <= steps && inside; ++k)
            inside = Sample(d, p + (k * kProfileStep - reach) * out, &profile[k]);
        if (!inside) continue;
        // The ends' levels, a pixel's worth each: local, so uneven light
        // across the screen does not move the edge.
        const int end = static_cast<int>(1 / kProfileStep);
        double screen = 0, surround = 0;
        for (int k = 0; k < end; ++k) {
            screen += profile[k] / end;
            surround += profile[steps - k] / end;
        }
        if (screen - surround < minStep) continue;
        const double half = (screen + surround) / 2;
        double best = reach + 1;
        for (int k = 0; k < steps; ++k) {
            if (profile[k] < half || profile[k + 1] >= half) continue;
            const double s =
                k * kProfileStep - reach + kProfileStep * (profile[k] - half) / (profile[k] - profile[k + 1]);
            if (std::fabs(s) < std::fabs(best)) best = s;
        }
        if (best <= reach) points.push_back(p + best * out);
    }
    return points;
}

// Total least squares, twice more without the points far off the line.
bool FitLine(std::vector<Point> points, Line* line) {
    for (int round = 0;; ++round) {
        if (points.size() < kMinEdgePoints) return false;
        Point c{0, 0};
        for (const Point& p : points) c = c + (1.0 / points.size()) * p;
        double sxx = 0, sxy = 0, syy = 0;
        for (const Point& p : points) {
            sxx += (p.x - c.x) * (p.x - c.x);
            sxy += (p.x - c.x) * (p.y - c.y);
            syy += (p.y - c.y) * (p.y - c.y);
        }
        const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
        *line = {c, {std::cos(angle), std::sin(angle)}};
        std::vector<double> off;
        for (const Point& p : points) off.push_back(std::fabs(Cross(line->d, p - c)));
        if (round == 2) {
            double squares = 0;
            for (const double r : off) squares += r * r;
            return std::sqrt(squares / off.size()) <= kMaxEdgeScatter;
        }
        std::vector<double> sorted = off;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double limit = std::max(0.3, 3 * 1.4826 * sorted[sorted.size() / 2]);
        std::vector<Point> kept;
        for (size_t i = 0; i < points.size(); ++i) {
            if (off[i] <= limit) kept.push_back(points[i]);
        }
        points.swap(kept);
    }
}

bool Meet(const Line& a, const Line& b, Point* p) {
    const double det = Cross(a.d, b.d);
    if (std::fabs(det) < 1e-6) return false;
    *p = a.p + (Cross(b.p - a.p, b.d) / det) * a.d;
    return true;
}

double RingArea(const Point ring[4]) {
    double twice = 0;
    for (int k = 0; k < 4; ++k) twice += Cross(ring[k], ring[(k + 1) % 4]);
    return twice / 2;
}

bool Convex(const Point ring[4]) {
    for (int k = 0; k < 4; ++k) {
        if (Cross(ring[(k + 1) % 4] - ring[k], ring[(k + 2) % 4] - ring[(k + 1) % 4]) <= 0) return false;
    }
    return true;
}

// The perspective sending from[k] to to[k]: (u, v) = ((h0 x + h1 y + h2),
// (h3 x + h4 y + h5)) / (h6 x + h7 y + 1).
bool SolvePerspective(const double from[4][2], const double to[4][2], double h[8]) {
    double a[8][9];
    for (int k = 0; k < 4; ++k) {
        const double x = from[k][0], y = from[k][1], u = to[k][0], v = to[k][1];
        const double rowU[9] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
        const double rowV[9] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
        std::copy(rowU, rowU + 9, a[2 * k]);
        std::copy(rowV, rowV + 9, a[2 * k + 1]);
    }
    for (int col = 0; col < 8; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 8; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        }
        if (std::fabs(a[pivot][col]) < 1e-12) return false;
        std::swap(a[col], a[pivot]);
        for (int r = 0; r < 8; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 9; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int i = 0; i < 8; ++i) h[i] = a[i][8] / a[i][i];
    return true;
}

Point Apply(const double h[8], double x, double y) {
    const double d = h[6] * x + h[7] * y + 1;
    return {(h[0] * x + h[1] * y + h[2]) / d, (h[3] * x + h[4] * y + h[5]) / d};
}

// Where the pointer lands for a mapped coordinate: clamped, truncated, and
// through the absolute move's 0..65535 scale and back.
int32_t PointerPixel(double s, int32_t size) {
    const int32_t pixel = static_cast<int32_t>(std::clamp(s, 0.0, double(size)));
    return AbsoluteToPixel(ScaleToAbsolute(pixel, size), 0, size);
}

}  // namespace

bool EstimateScreenCorners(const int32_t* difference, int frames, ScreenCorners* corners) {
    if (frames < 1) return false;
    const Levels levels = SplitLevels(difference);
    if (levels.high - levels.low < double(kMinScreenContrast) * frames) return false;
    const std::vector<int32_t> region = LargestRegion(difference, levels.threshold);
    if (region.size() < kMinScreenPixels) return false;
    Point ring[4];
    RoughCorners(region, ring);
    const double minStep = (levels.high - levels.low) / 3;
    for (const double reach : {kFirstReach, kSecondReach}) {
        Line edges[4];
        for (int e = 0; e < 4; ++e) {
            if (!FitLine(EdgePoints(difference, ring[e], ring[(e + 1) % 4], reach, minStep), &edges[e])) return false;
        }
        for (int k = 0; k < 4; ++k) {
            if (!Meet(edges[(k + 3) % 4], edges[k], &ring[k])) return false;
        }
    }
    // The lit pixels must fill the quad: a region that is not one four-sided
    // screen (a window, two screens, a bright lamp) fits no such lines.
    const double area = RingArea(ring);
    if (!Convex(ring) || std::fabs(area - double(region.size())) > 0.1 * area) return false;
    const int order[4] = {0, 1, 3, 2};
    for (int k = 0; k < 4; ++k) {
        corners->x[k] = ring[order[k]].x;
        corners->y[k] = ring[order[k]].y;
    }
    return true;
}

bool QuadFromScreenCorners(const ScreenCorners& corners, int32_t screenWidth, int32_t screenHeight,
                           int32_t quad[kCornerValues]) {
    if (screenWidth < 1 || screenHeight < 1) return false;
    const double w = screenWidth, h = screenHeight;
    const double screen[4][2] = {{0, h}, {w, h}, {0, 0}, {w, 0}};
    double exact[4][2];
    for (int k = 0; k < 4; ++k) exact[k][0] = corners.x[k], exact[k][1] = corners.y[k];
    double toFrame[8];
    if (!SolvePerspective(screen, exact, toFrame)) return false;
    // The grid's pixels and the frame points their centres appear at.
    std::vector<ScreenPoint> pixels;
    std::vector<Point> seen;
    for (int j = 0; j <= kGridSteps; ++j) {
        for (int i = 0; i <= kGridSteps; ++i) {
            const ScreenPoint p{(screenWidth - 1) * i / kGridSteps, (screenHeight - 1) * j / kGridSteps};
            pixels.push_back(p);
            seen.push_back(Apply(toFrame, p.x + 0.5, p.y + 0.5));
        }
    }
    double best = -1;
    // Each value rounded down or up: 256 quads.
    for (int choice = 0; choice < 256; ++choice) {
        double candidate[4][2];
        bool valid = true;
        for (int k = 0; k < 4; ++k) {
            const double x = std::floor(corners.x[k]) + ((choice >> (2 * k)) & 1);
            const double y = std::floor(corners.y[k]) + ((choice >> (2 * k + 1)) & 1);
            const bool right = x >= kFrameWidth / 2, upper = y >= kFrameHeight / 2;
            valid = valid && x >= 0 && x < kFrameWidth && y >= 0 && y < kFrameHeight && right == ((k & 1) != 0) &&
                    upper == ((k & 2) != 0);
            candidate[k][0] = x;
            candidate[k][1] = y;
        }
        double toScreen[8];
        if (!valid || !SolvePerspective(candidate, screen, toScreen)) continue;
        double worst = 0, total = 0;
        for (size_t n = 0; n < pixels.size(); ++n) {
            const Point s = Apply(toScreen, seen[n].x, seen[n].y);
            const double dx = PointerPixel(s.x, screenWidth) - pixels[n].x;
            const double dy = PointerPixel(s.y, screenHeight) - pixels[n].y;
            worst = std::max(worst, dx * dx + dy * dy);
            total += dx * dx + dy * dy;
        }
        // The worst place first, then the rest.
        const double score = worst * static_cast<double>(pixels.size()) + total;
        if (best >= 0 && score >= best) continue;
        best = score;
        for (int k = 0; k < 4; ++k) {
            quad[2 * k] = static_cast<int32_t>(candidate[k][0]);
            quad[2 * k + 1] = static_cast<int32_t>(candidate[k][1]);
        }
    }
    return best >= 0;
}
