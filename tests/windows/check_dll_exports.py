#!/usr/bin/env python3
"""Checks the export table of vrel.dll from its PE headers and disassembly.

  check_dll_exports.py --objdump i686-w64-mingw32-objdump --dll build/windows-x86/src/vrel.dll --stdcall

* exactly the fourteen engine functions are exported, by these names, at
  ordinals 1 to 14, and nothing else (no unnamed ordinal, no decorated alias);
* the DLL imports nothing but system DLLs (the C++ runtime is linked in);
* with --stdcall (32-bit): every `ret` reachable from each export's entry,
  following direct jumps (tail calls included), pops exactly the export's
  argument bytes, as a stdcall callee must.

Prints one line per check and a closing "N passed, N failed" line; exits 1
on any failure.
"""
import argparse
import re
import subprocess
import sys

# name -> (ordinal, bytes of arguments popped by the callee on 32-bit)
EXPORTS = {
    "VrelInit": (1, 8),
    "VrelReset": (2, 8),
    "VrelClose": (3, 4),
    "VrelBitmapColorConversion": (4, 36),
    "VrelPixelColorConversion": (5, 20),
    "VrelOnDotBlack": (6, 36),
    "VrelLineColorConversion": (7, 24),
    "VrelInitColorConversion": (8, 12),
    "VrelBitmapColorCorrection": (9, 28),
    "VrelPixelColorCorrection": (10, 16),
    "VrelGetSearchData": (11, 12),
    "VrelGetProfileName": (12, 12),
    "VrelGetSearchDataC": (13, 12),
    "VrelGetProfileNameC": (14, 12),
}

# DLLs that every Windows installation has; anything else would have to be
# shipped beside vrel.dll.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll"}


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what):
        if ok:
            self.passed += 1
            print(f"ok   {what}")
        else:
            self.failed += 1
            print(f"FAIL {what}")
        return ok


def run(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def parse_headers(text):
    """Image base, {ordinal: rva}, {name: ordinal}, [imported dll names]."""
    base = re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M)
    image_base = int(base.group(1), 16) if base else None
    rvas = {}
    m = re.search(r"Export Address Table -- Ordinal Base (\d+)\n(.*?)\n\s*\n", text, re.S)
    ordinal_base = int(m.group(1)) if m else 1
    if m:
        for line in m.group(2).splitlines():
            e = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)", line)
            if e:
                rvas[int(e.group(2))] = int(e.group(3), 16)
    names = {}
    m = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\s*\n|\Z)", text, re.S)
    if m:
        for line in m.group(1).splitlines():
            e = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
            if e:
                names[e.group(2)] = int(e.group(1)) + ordinal_base
    imports = [d.strip() for d in re.findall(r"^\s*DLL Name: (.*)$", text, re.M)]
    return image_base, rvas, names, imports


def parse_disassembly(text):
    """Sorted label addresses, {address: label}, [(address, mnemonic, operands)]."""
    labels = {}
    instructions = []
    for line in text.splitlines():
        lab = re.match(r"^([0-9a-f]+) <(.*)>:$", line)
        if lab:
            labels[int(lab.group(1), 16)] = lab.group(2)
            continue
        ins = re.match(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$", line)
        if ins:
            instructions.append((int(ins.group(1), 16), ins.group(2), ins.group(3).strip()))
    return sorted(labels), labels, instructions


def reachable_returns(entry, label_addresses, instructions):
    """Pop counts of the `ret`s reachable from entry: the body runs from its
    label to the next one; direct jumps leaving it are followed to the
    function that contains their target. None when entry is not a label."""
    import bisect

    index = {addr: i for i, (addr, _, _) in enumerate(instructions)}

    def body_of(address):
        k = bisect.bisect_right(label_addresses, address) - 1
        if k < 0:
            return None
        start = label_addresses[k]
        end = label_addresses[k + 1] if k + 1 < len(label_addresses) else float("inf")
        return start, end

    if body_of(entry) is None or body_of(entry)[0] != entry:
        return None
    pops = []
    seen = set()
    pending = [entry]
    while pending:
        start, end = body_of(pending.pop())
        if start in seen:
            continue
        seen.add(start)
        i = index.get(start)
        while i is not None and i < len(instructions) and instructions[i][0] < end:
            _, mnemonic, operands = instructions[i]
            if mnemonic in ("repz", "rep") and operands.startswith("ret"):
                mnemonic, operands = "ret", operands[3:].strip()
            if mnemonic in ("ret", "retl"):
                imm = re.search(r"\$0x([0-9a-f]+)", operands)
                pops.append(int(imm.group(1), 16) if imm else 0)
            elif mnemonic.startswith("j"):
                target = re.match(r"([0-9a-f]+)\s", operands + " ")
                if target and not operands.startswith("*"):
                    where = int(target.group(1), 16)
                    if not (start <= where < end) and body_of(where) is not None:
                        pending.append(where)
            i += 1
    return pops


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--stdcall", action="store_true")
    args = parser.parse_args()

    report = Report()
    image_base, rvas, names, imports = parse_headers(run(args.objdump, "-p", args.dll))

    expected_names = set(EXPORTS)
    report.check(set(names) == expected_names,
                 f"exported names are exactly the fourteen engine functions "
                 f"(extra: {sorted(set(names) - expected_names)}, "
                 f"missing: {sorted(expected_names - set(names))})")
    report.check(sorted(rvas) == list(range(1, 15)),
                 f"export address table holds ordinals 1 to 14 only (has {sorted(rvas)})")
    for name, (ordinal, _) in EXPORTS.items():
        report.check(names.get(name) == ordinal,
                     f"{name} is exported at ordinal {ordinal} (found {names.get(name)})")

    foreign = [d for d in imports if d.lower() not in SYSTEM_DLLS]
    report.check(imports and not foreign,
                 f"imports only system DLLs (imports: {imports})")

    if args.stdcall:
        labels, _, instructions = parse_disassembly(
            run(args.objdump, "-d", "--no-show-raw-insn", args.dll))
        for name, (ordinal, argument_bytes) in EXPORTS.items():
            if ordinal not in rvas or image_base is None:
                report.check(False, f"{name} pops {argument_bytes} bytes (no export address)")
                continue
            pops = reachable_returns(image_base + rvas[ordinal], labels, instructions)
            report.check(bool(pops) and all(p == argument_bytes for p in pops),
                         f"{name} returns with ret {argument_bytes} on every path "
                         f"(found {pops if pops is not None else 'no symbol at the entry'})")

    print(f"{report.passed} passed, {report.failed} failed")
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
