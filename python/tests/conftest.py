"""Fixtures of the module's tests: the sample database, the vrel tool and the
engine's shared library, as the build tells where they are (CTest sets
PYTHONPATH, VREL_TOOL, VREL_LIBRARY and VREL_SAMPLE_DIR)."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

import vrel

SAMPLE_DIR = pathlib.Path(os.environ.get(
    "VREL_SAMPLE_DIR", pathlib.Path(__file__).resolve().parents[2] / "data" / "sample"))
SAMPLE_DB = SAMPLE_DIR / "sample.vdb"

# The five conversion methods of the sample database: settings, method.
METHODS = [
    pytest.param({}, vrel.METHOD_FOUR_COLOR, id="four-inks"),
    pytest.param({"key94": 1}, vrel.METHOD_SIX_COLOR, id="six-inks"),
    pytest.param({"key94": 2}, vrel.METHOD_THREE_CHANNEL, id="three-channel"),
    pytest.param({"profile": 1}, vrel.METHOD_SEVEN_COLOR, id="seven-inks"),
    pytest.param({"profile": 2}, vrel.METHOD_BLACK, id="black"),
]


def run_tool(*args):
    """Runs the vrel tool; returns its standard output."""
    return subprocess.run([os.environ["VREL_TOOL"], *map(str, args)], check=True,
                          capture_output=True, text=True).stdout


def settings_options(settings):
    """The tool's options for Context keyword arguments."""
    return [f"--{name.replace('_', '-')}" if value is True else f"--{name}={value}"
            for name, value in settings.items()]


@pytest.fixture(scope="session")
def pixels():
    """Test pixels: every grey level, the cube's corners and random colours,
    on a line longer than one engine call takes."""
    rng = np.random.default_rng(7)
    ramp = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 3, axis=1)
    corners = np.array([[r, g, b] for r in (0, 255) for g in (0, 255) for b in (0, 255)],
                       dtype=np.uint8)
    rest = rng.integers(0, 256, size=(2 * 40000 - 264, 3), dtype=np.uint8)
    return np.concatenate([ramp, corners, rest]).reshape(2, 40000, 3)
