"""What the console looks like and what it keeps: the window title, the
overlay colours, the screen the tests run on, the calibration quads and
the 16-byte settings file."""

import os
import struct

from .checks import check

TITLE = "Lumidart  v1.01 - laser pointer console"
SETTINGS_DIALOG = "Properties"
W, H = 1024, 768
CLIENT_W, CLIENT_H = 640, 480

# Pixels as 0xRRGGBB.
CYAN, BLUE, GREEN, BLACK, WHITE = 0x00FFFF, 0x0000FF, 0x00FF00, 0x000000, 0xFFFFFF
SPOT_CORE = 0xFA7D7D  # red 250, green and blue 125


def rgb(colour):
    return colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF


# Corners in frame coordinates, rows from the bottom: P0 lower left, P1
# lower right, P2 upper left, P3 upper right. The program starts from
# DEFAULT_QUAD without a settings file; SCREEN_QUAD is the virtual camera's
# projection screen.
DEFAULT_QUAD = [(40, 40), (600, 40), (40, 440), (600, 440)]
SCREEN_QUAD = [(60, 50), (590, 30), (30, 430), (620, 460)]
SETTINGS_FILE = "Lumidart.set"


def quad_bytes(quad):
    """A quad as the settings file holds it."""
    return struct.pack("<8H", *[v for corner in quad for v in corner])


def read_corners(directory):
    with open(os.path.join(directory, SETTINGS_FILE), "rb") as f:
        data = f.read()
    check(len(data) == 16, "settings file of %d bytes" % len(data))
    v = struct.unpack("<8H", data)
    return [(v[0], v[1]), (v[2], v[3]), (v[4], v[5]), (v[6], v[7])]


def write_corners(directory, quad):
    """A settings file holding quad, as a previous run would leave it."""
    with open(os.path.join(directory, SETTINGS_FILE), "wb") as f:
        f.write(quad_bytes(quad))
