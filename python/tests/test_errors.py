"""Bad arguments and refusals raise, with the tool's wording where the tool
has one and the engine's result code where the engine refused."""
import os

import numpy as np
import pytest

import vrel
from conftest import SAMPLE_DB

RGB = np.zeros((2, 3), np.uint8)


def closed_context():
    ctx = vrel.Context(SAMPLE_DB)
    ctx.close()
    return ctx


def fifo(tmp_path):
    os.mkfifo(tmp_path / "pipe.vdb")
    return tmp_path / "pipe.vdb"


# what is called, the exception, words of its message, the engine's result
CASES = {
    "float-pixels": (lambda t: vrel.Context(SAMPLE_DB).convert(RGB.astype(np.float32)),
                     TypeError, "takes a uint8 array, not float32", None),
    "int16-pixels": (lambda t: vrel.Context(SAMPLE_DB).correct(RGB.astype(np.int16)),
                     TypeError, "uint8", None),
    "list-of-ints": (lambda t: vrel.Context(SAMPLE_DB).convert([[1, 2, 3]]), TypeError,
                     "takes a uint8 array, not int64", None),
    "four-channels": (lambda t: vrel.Context(SAMPLE_DB).convert(np.zeros((2, 4), np.uint8)),
                      ValueError, "the last dimension must be 3, not 4", None),
    "scalar-as-rgb": (lambda t: vrel.Context(SAMPLE_DB).convert(np.uint8(3)),
                      ValueError, "the last dimension must be 3", None),
    "closed-convert": (lambda t: closed_context().convert(RGB), ValueError, "closed", None),
    "closed-query": (lambda t: closed_context().profile_name, ValueError, "closed", None),
    "missing-database": (lambda t: vrel.Context(t / "none.vdb"), FileNotFoundError,
                         "cannot open database", None),
    "fifo-database": (lambda t: vrel.Context(fifo(t)), vrel.Error,
                      "it is a FIFO (named pipe), not a regular file", None),
    "fifo-read": (lambda t: vrel.Database(fifo(t)), vrel.Error, "FIFO", None),
    "missing-read": (lambda t: vrel.describe_database(t / "none.vdb"), FileNotFoundError,
                     "none.vdb", None),
    "no-profile-record": (lambda t: vrel.Context(SAMPLE_DB, profile=9), vrel.Error,
                          "cannot read profile number 9", -138),
    "no-matching-entry": (lambda t: vrel.Context(SAMPLE_DB, key94=9), vrel.Error,
                          "unknown profile", -128),
    "planes-of-rgb-output": (lambda t: vrel.Context(SAMPLE_DB, key94=2).convert(RGB, planes=True),
                             vrel.Error, "refused the line conversion (result -128)", -128),
    "key-out-of-range": (lambda t: vrel.Context(SAMPLE_DB, key14=70000), ValueError,
                         "key14 must be from 0 to 65535, not 70000", None),
    "density-out-of-range": (lambda t: vrel.Context(SAMPLE_DB, density=51), ValueError,
                             "--density must be from -50 to 50, not 51", None),
    "density-beyond-16-bits": (lambda t: vrel.Context(SAMPLE_DB, density=-70000), ValueError,
                               "not -70000", None),
    "balance-of-three": (lambda t: vrel.Context(SAMPLE_DB, balance=(1, 2, 3)), ValueError,
                         "--balance takes four values from -50 to 50", None),
    "balance-out-of-range": (lambda t: vrel.Context(SAMPLE_DB, balance=(0, 60, 0, 0)),
                             ValueError, "not '0,60,0,0'", None),
    "unknown-setting": (lambda t: vrel.Context(SAMPLE_DB, key15=1), TypeError, "key15", None),
    "pixel-of-two": (lambda t: vrel.Context(SAMPLE_DB).convert_pixel((1, 2)), ValueError,
                     "not 2 values", None),
    "pixel-out-of-range": (lambda t: vrel.Context(SAMPLE_DB).convert_pixel((0, 0, 256)),
                           ValueError, "not 256", None),
    "missing-table": (lambda t: vrel.Database(SAMPLE_DB).table(999), KeyError, "999", None),
    "bad-description": (lambda t: vrel.build_database({"profiles": [{"layout": 1}]},
                                                      t / "x.vdb"),
                        vrel.Error, "description: /profiles/0", None),
    "description-of-a-set": (lambda t: vrel.build_database({"tables": {1, 2}}, t / "x.vdb"),
                             TypeError, "description/tables: JSON has no form for a set", None),
}


@pytest.mark.parametrize("call, error, words, result", CASES.values(), ids=CASES.keys())
def test_each_problem_raises_its_error(call, error, words, result, tmp_path):
    with pytest.raises(error) as raised:
        call(tmp_path)
    assert words in str(raised.value)
    if error is vrel.Error:
        assert raised.value.result == result
    assert not (tmp_path / "x.vdb").exists()


def test_ineffective_settings_warn_as_the_tool_does():
    with pytest.warns(UserWarning, match="no effect without the adjustment switch"):
        vrel.Context(SAMPLE_DB, balance=(5, 0, 0, 0)).close()
