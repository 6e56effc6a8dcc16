"""Where the cursor should land, computed independently of the program:
the projective map solved from the quad's four corners as a linear system,
the cursor smoothing applied until a still spot comes to rest, and the
pixel an injected absolute move lands on."""

from .checks import check
from .console import SCREEN_QUAD, H, W


def solve_linear(matrix, vector):
    """Solves matrix x = vector by Gaussian elimination with partial pivoting."""
    n = len(vector)
    a = [list(row) + [vector[i]] for i, row in enumerate(matrix)]
    for col in range(n):
        pivot = max(range(col, n), key=lambda r: abs(a[r][col]))
        a[col], a[pivot] = a[pivot], a[col]
        for r in range(n):
            if r != col:
                factor = a[r][col] / a[col][col]
                for c in range(col, n + 1):
                    a[r][c] -= factor * a[col][c]
    return [a[i][n] / a[i][i] for i in range(n)]


def homography(quad, width, height):
    """The projective map sending the quad's corners (frame coordinates, rows
    from the bottom: lower left, lower right, upper left, upper right) to the
    screen corners (0, H), (W, H), (0, 0) and (W, 0). Returns a function of a
    frame point."""
    return homography_between(quad, [(0, height), (width, height), (0, 0), (width, 0)])


def homography_between(quad, targets):
    """The projective map sending four points to four others."""
    rows, rhs = [], []
    for (x, y), (u, v) in zip(quad, targets):
        rows.append([x, y, 1, 0, 0, 0, -u * x, -u * y])
        rhs.append(u)
        rows.append([0, 0, 0, x, y, 1, -v * x, -v * y])
        rhs.append(v)
    h = solve_linear(rows, rhs)

    def apply(x, y):
        d = h[6] * x + h[7] * y + 1
        return (h[0] * x + h[1] * y + h[2]) / d, (h[3] * x + h[4] * y + h[5]) / d

    return apply


def smooth(previous, target):
    """One cursor update on one axis: within 8 pixels the new position is
    blended 1:3 with the previous one (truncating toward zero)."""
    if abs(target - previous) <= 8:
        return int((target + 3 * previous) / 4)
    return target


def settle(previous, target):
    """Where repeated updates towards a still target come to rest."""
    while True:
        following = smooth(previous, target)
        if following == previous:
            return previous
        previous = following


def resting_place(start, target):
    """Where the smoothed cursor comes to rest on both axes."""
    return tuple(settle(s, t) for s, t in zip(start, target))


def screen_point(quad, spot, size=(W, H)):
    """Where a spot (frame coordinates) lands on a screen of size, clamped
    and truncated to whole pixels."""
    width, height = size
    sx, sy = homography(quad, width, height)(*spot)
    return int(min(max(sx, 0), width)), int(min(max(sy, 0), height))


def pointer_pixel(position, size):
    """The pixel an injected absolute move lands on: the position scaled to
    0..65535, then back onto the screen."""
    return (position * 65535 // size) * size // 65536


def expected_pointer(start, target, size=(W, H), origin=(0, 0)):
    """The desktop pixel where the pointer rests for a still target, the
    cursor starting at start on a monitor of size at origin."""
    return tuple(o + pointer_pixel(p, n) for o, p, n in zip(origin, resting_place(start, target), size))


def self_check_expectations():
    # Worked values of the mapping for the screen quad on a 1024 x 768 screen.
    for sums, point in (((640, 480), (534, 367)), ((200, 100), (86, 764)), ((1200, 900), (994, 14))):
        got = screen_point(SCREEN_QUAD, (sums[0] / 2, sums[1] / 2))
        check(all(abs(g - p) <= 1 for g, p in zip(got, point)), "test mapping gives %s for %s" % (got, sums))
    check([settle(100, 108), settle(108, 100)] == [105, 100], "test smoothing")
