"""Makes the one Wine prefix every other scenario under Wine uses, with the
virtual camera registered in it.

Usage: python3 -m e2e.wine.prefix_e2e --program EXE --camera DLL --driver EXE
       --prefix DIR --work DIR prefix
"""

import os
import shutil
import sys

from ..harness.checks import check
from ..harness.wine_session import Session, main


def scenario_prefix(args):
    shutil.rmtree(args.prefix, ignore_errors=True)
    os.makedirs(args.prefix)
    with Session(args, "prefix") as s:
        check(s.wine("wineboot", "--init", timeout=240) == 0, "wineboot --init failed")
        s.register_camera()


if __name__ == "__main__":
    sys.exit(main(__doc__, {"prefix": scenario_prefix}))
