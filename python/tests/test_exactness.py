"""The module gives the engine's bytes: the same as the C interface and as
the vrel tool, for every conversion method of the sample database."""
import ctypes
import json
import os
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest
from PIL import Image

import vrel
from conftest import METHODS, SAMPLE_DB, SAMPLE_DIR, run_tool, settings_options


P, U16, I16, U32 = ctypes.c_void_p, ctypes.c_uint16, ctypes.c_int16, ctypes.c_uint32
SIGNATURES = {  # the exports the tests call: argument types, as in vrel.h
    "VrelInit": [ctypes.POINTER(P), P], "VrelClose": [P],
    "VrelInitColorConversion": [P, U32, P],
    "VrelBitmapColorConversion": [U32, U32, P, P, U32, I16, U16, U32, P],
    "VrelLineColorConversion": [P, U16, I16, U16, U32, P],
    "VrelBitmapColorCorrection": [U32, P, P, U16, I16, U16, P],
}


class LineRecord(ctypes.Structure):
    _fields_ = [("format", ctypes.c_uint32), ("source", ctypes.c_void_p),
                ("planes", ctypes.c_void_p * 7)]


def open_c_context(settings):
    """libvrel and a context opened through VrelInit, as a C driver opens it."""
    lib = ctypes.CDLL(os.environ["VREL_LIBRARY"])
    for name, arguments in SIGNATURES.items():
        getattr(lib, name).argtypes = arguments
        getattr(lib, name).restype = None if name == "VrelClose" else I16
    record = ctypes.create_string_buffer(190)
    fields = {"profile": 2, "key94": 94, "adjust": 48, "selector": 50}
    for name, value in settings.items():
        record[fields[name]:fields[name] + 2] = int(value).to_bytes(2, "little")
    record[28:28 + len(SAMPLE_DB.name)] = SAMPLE_DB.name.encode()
    directory = ctypes.create_string_buffer(str(SAMPLE_DIR).encode())
    ctypes.memmove(ctypes.addressof(record) + 150,
                   ctypes.byref(ctypes.c_void_p(ctypes.addressof(directory))), 8)
    context = ctypes.c_void_p()
    assert lib.VrelInit(ctypes.byref(context), record) in (0, 1)
    return lib, context


def c_interface_planes(settings, rgb):
    """The pixels through libvrel's exports, line by line into planes (the
    bitmap conversion for three channels), as a C driver calls them."""
    lib, context = open_c_context(settings)
    method = lib.VrelInitColorConversion(context, 0, None)
    height, width, _ = rgb.shape
    inks = {1: 1, 3: 3}.get(method, method)
    planes = np.zeros((7, height, width), np.uint8)
    packed = np.zeros((height, width, 3), np.uint8)
    for y in range(height):
        for x in range(0, width, vrel.PIXELS_PER_CALL):
            n = min(vrel.PIXELS_PER_CALL, width - x)
            line = np.ascontiguousarray(rgb[y, x:x + n])
            if method == 3:
                lib.VrelBitmapColorConversion(3, 3, line.ctypes.data,
                                              packed[y, x:].ctypes.data, n, 0, 0, 0, context)
                continue
            if method == 1:
                r, g, b = line.astype(int).T
                line = ((77 * r + 151 * g + 28 * b + 128) >> 8).astype(np.uint8)
            record_ = LineRecord(9 if method == 1 else 3, line.ctypes.data,
                                 (ctypes.c_void_p * 7)(*[planes[i, y, x:].ctypes.data
                                                         for i in range(7)]))
            assert lib.VrelLineColorConversion(ctypes.byref(record_), n, 0, 0, 0, context) == 0
    lib.VrelClose(context)
    if method == 3:
        return packed.transpose(2, 0, 1)
    return planes[3:4] if method == 1 else planes[:inks]


@pytest.mark.parametrize("settings, method", METHODS)
def test_convert_gives_the_c_interface_bytes(settings, method, pixels):
    expected = c_interface_planes(settings, pixels)
    with vrel.Context(SAMPLE_DB, **settings) as ctx:
        assert ctx.method == method
        np.testing.assert_array_equal(ctx.convert(pixels), np.moveaxis(expected, 0, -1))
        if method != vrel.METHOD_THREE_CHANNEL:
            np.testing.assert_array_equal(ctx.convert(pixels, planes=True), expected)


@pytest.mark.parametrize("grey, correct", [(False, False), (True, False), (False, True)])
@pytest.mark.parametrize("settings, method", METHODS)
def test_convert_gives_the_tools_bytes(settings, method, grey, correct, pixels, tmp_path):
    image = pixels[..., 0] if grey else pixels
    Image.fromarray(image).save(tmp_path / "in.png")
    run_tool("convert", "--db", SAMPLE_DB, *settings_options(settings), "--input-profile",
             "none", *(["--correct"] if correct else []), tmp_path / "in.png",
             "--planes", tmp_path / "planes")
    with vrel.Context(SAMPLE_DB, **settings) as ctx:
        # The tool's plane PNGs show each ink as it prints alone: 255 - ink.
        files = sorted((tmp_path / "planes").iterdir())
        expected = np.stack([255 - np.asarray(Image.open(f)) for f in files], axis=-1)
        assert len(files) == ctx.inks
        np.testing.assert_array_equal(ctx.convert(image, grey=grey, correct=correct), expected)


def test_threads_converting_at_once_give_the_serial_bytes(pixels):
    with vrel.Context(SAMPLE_DB, key94=1) as a, vrel.Context(SAMPLE_DB, key94=1) as b:
        expected = a.convert(pixels)
        # Two contexts, each also shared by two threads.
        with ThreadPoolExecutor(4) as pool:
            results = list(pool.map(lambda ctx: ctx.convert(pixels), [a, b, a, b]))
    for result in results:
        np.testing.assert_array_equal(result, expected)


@pytest.mark.parametrize("settings, method", METHODS)
def test_convert_pixel_gives_what_convert_gives(settings, method, pixels):
    with vrel.Context(SAMPLE_DB, **settings) as ctx:
        colours = pixels[0, 250:300]
        got = [ctx.convert_pixel(tuple(int(v) for v in c)) for c in colours]
        np.testing.assert_array_equal(np.array(got, np.uint8), ctx.convert(colours))


VIEWS = {
    "transposed": lambda a: a.transpose(1, 0, 2),
    "every-other-column": lambda a: a[:, ::2],
    "reversed": lambda a: a[::-1, ::-3],
    "channels-reversed": lambda a: a[..., ::-1],
    "fortran-order": np.asfortranarray,
    "four-dimensions": lambda a: a[:, :1200].reshape(2, 3, 400, 3)[:, :, ::7],
    "one-pixel": lambda a: a[0, 5],
    "no-pixel": lambda a: a[:0],
}


@pytest.mark.parametrize("view", VIEWS.values(), ids=VIEWS.keys())
def test_any_layout_gives_what_its_packed_copy_gives(view, pixels):
    image = view(pixels)
    with vrel.Context(SAMPLE_DB, key94=1) as ctx:
        for grey, taken in ((False, image), (True, image[..., 1])):
            got = ctx.convert(taken, grey=grey)
            assert got.shape == taken.shape[:taken.ndim - (not grey)] + (6,)
            packed = np.array(taken, order="C")
            np.testing.assert_array_equal(got, ctx.convert(packed, grey=grey))
            np.testing.assert_array_equal(ctx.correct(taken, grey=grey),
                                          ctx.correct(packed, grey=grey))


@pytest.mark.parametrize("selector", [0, 2, 3])
def test_correct_gives_the_c_interface_bytes(selector, pixels):
    lib, context = open_c_context({"adjust": 1, "selector": selector})
    line = np.ascontiguousarray(pixels[1])
    expected = np.empty_like(line)
    for x in range(0, len(line), vrel.PIXELS_PER_CALL):
        n = min(vrel.PIXELS_PER_CALL, len(line) - x)
        lib.VrelBitmapColorCorrection(3, line[x:].ctypes.data, expected[x:].ctypes.data, n, 0, 0,
                                      context)
    lib.VrelClose(context)
    with vrel.Context(SAMPLE_DB, adjust=1, selector=selector) as ctx:
        np.testing.assert_array_equal(ctx.correct(pixels[1]), expected)
    assert not np.array_equal(expected, line)


def test_build_database_writes_the_tools_bytes(tmp_path):
    run_tool("db", "build", SAMPLE_DIR / "sample.json", "-o", tmp_path / "tool.vdb")
    description = json.loads((SAMPLE_DIR / "sample.json").read_text())
    vrel.build_database(description, tmp_path / "dict.vdb", base_dir=SAMPLE_DIR)
    vrel.build_database(str(SAMPLE_DIR / "sample.json"), tmp_path / "file.vdb")
    vrel.build_database(vrel.describe_database(SAMPLE_DB), tmp_path / "described.vdb")
    tool = (tmp_path / "tool.vdb").read_bytes()
    assert tool == SAMPLE_DB.read_bytes()
    for name in ("dict.vdb", "file.vdb", "described.vdb"):
        assert (tmp_path / name).read_bytes() == tool, name


def test_describe_database_gives_the_tools_dump():
    dumped = json.loads(run_tool("db", "dump", SAMPLE_DB))
    described = vrel.describe_database(SAMPLE_DB)
    assert described == dumped
    assert list(described) == list(dumped)


def test_database_lists_profiles_and_gives_tables_as_grids():
    db = vrel.Database(SAMPLE_DB)
    assert [(p.number, p.layout, [e.method for e in p.entries]) for p in db.profiles] == [
        (0, 1, [4, 6, 3]), (1, 2, [7]), (2, 0, [1])]
    assert db.profiles[0].entries[1].name2 == "Vrel Demo Photo 6-ink"
    described = {t["id"]: t for t in vrel.describe_database(SAMPLE_DB)["tables"]}
    assert sorted(db.table_ids) == sorted(described)
    for table_id, table in described.items():
        grid, nodes = db.table(table_id)
        n = grid.shape[0]
        stored = np.array([np.frombuffer(bytes.fromhex(c), np.uint8) for c in table["data"]])
        np.testing.assert_array_equal(grid, stored.reshape(-1, n, n, n).transpose(1, 2, 3, 0))
        assert nodes.shape[-1] == n and nodes[..., 0].max() == 0 and nodes[..., -1].min() == 255


@pytest.mark.parametrize("settings, method", METHODS)
def test_profile_attributes_are_what_vrel_info_shows(settings, method):
    info = run_tool("info", "--db", SAMPLE_DB, *settings_options(settings))
    fields = dict(line.split(None, 1) for line in info.splitlines() if line.strip())
    with vrel.Context(SAMPLE_DB, **settings) as ctx:
        assert fields["method"].startswith(f"{method} ")
        assert fields["name"] == f'"{ctx.profile_name}"'
        key, pair = fields["search"].split(", pair ")
        search = ctx.search_data
        assert key == "data     key " + " ".join(f"{b:02x}" for b in search[:4])
        assert pair == f"{int.from_bytes(search[4:6], 'little')} / {int.from_bytes(search[6:], 'little')}"
        assert fields["value"] == f"0x{ctx.profile_value:08x}"
        assert len(ctx.ink_names) == ctx.inks
