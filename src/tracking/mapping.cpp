// Built with -ffp-contract=off: the order of every double operation below is
// part of the result (coefficients agree to the last bit across builds).
#include "tracking/mapping.h"

namespace {

// Clamped to [0, limit]; a NaN, which fails both comparisons, stays NaN.
double Clamp(double value, int32_t limit) {
    if (value < 0.0) return 0.0;
    if (value > static_cast<double>(limit)) return static_cast<double>(limit);
    return value;
}

// Truncation of a value already inside [0, limit]; NaN becomes 0. Never
// converts anything outside int32 range, so it is defined behaviour.
int32_t Truncate(double value) {
    if (!(value == value)) return 0;
    return static_cast<int32_t>(value);
}

// Corner a minus corner b, exact. In 64 bits: corners are any 32-bit
// values to this code, and their difference may not fit 32 bits.
double Difference(int a, int b) { return static_cast<double>(int64_t{Corner(a)} - Corner(b)); }

}  // namespace

void SolveMapping() {
    const double W = g_tracker.screenWidth.load(std::memory_order_relaxed);
    const double H = g_tracker.screenHeight.load(std::memory_order_relaxed);

    const double dx1 = Difference(kLowerRightX, kLowerLeftX);
    double dy1 = Difference(kLowerRightY, kLowerLeftY);
    const double dx2 = Difference(kUpperLeftX, kLowerLeftX);
    const double dy2 = Difference(kUpperLeftY, kLowerLeftY);
    const double dx3 = Difference(kUpperRightX, kLowerLeftX);
    const double dy3 = Difference(kUpperRightY, kLowerLeftY);

    // A level bottom side would make b infinite: tilt it by a tenth of a row.
    if (dy1 == 0.0) dy1 = 0.1;

    const double a = -(dx2 / dy2);
    const double b = -(dx1 / dy1);
    const double c = a * dy3 + dx3;
    const double k = ((H * c) / (b * dy3 + dx3)) / W;
    const double m = (a * dy1 + dx1) / W;
    const double n = ((b * dy2 + dx2) / H) * k;
    const double r = 1.0 / m;
    const double rx = (-dx1) * r;
    const double ry = (-dy1) * r;
    const double cw = c / W;

    const double alpha3 = -dx3 - cw * rx;
    const double beta3 = -dy3 - cw * ry;
    const double gamma3 = 1.0 - cw * r;
    const double alpha2 = -dx2 - n * rx;
    const double beta2 = -dy2 - n * ry;
    const double gamma2 = 1.0 - n * r;

    const double D = alpha3 * beta2 - alpha2 * beta3;
    const double wv = (alpha3 * gamma2 - alpha2 * gamma3) / D;
    const double wu = (gamma3 * beta2 - beta3 * gamma2) / D;
    const double e = (r - wv * ry) - rx * wu;

    g_tracker.xu = e;
    g_tracker.xv = e * a;
    g_tracker.yu = e * k;
    g_tracker.yv = (e * k) * b;
    g_tracker.wu = wu;
    g_tracker.wv = wv;
}

ScreenPoint MapSpot(SpotSums sums) {
    const int32_t W = g_tracker.screenWidth.load(std::memory_order_relaxed);
    const int32_t H = g_tracker.screenHeight.load(std::memory_order_relaxed);

    const double u = sums.x * 0.5 - Corner(kLowerLeftX);
    const double v = sums.y * 0.5 - Corner(kLowerLeftY);
    const double q = 1.0 / ((g_tracker.wv * v + g_tracker.wu * u) + 1.0);
    const double sx = Clamp((g_tracker.xv * v + g_tracker.xu * u) * q, W);
    const double sy = Clamp((g_tracker.yv * v + g_tracker.yu * u) * q, H);

    return {Truncate(sx), Truncate(static_cast<double>(H) - sy)};
}
