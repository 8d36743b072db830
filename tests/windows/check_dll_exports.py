#!/usr/bin/env python3
"""Checks the export table of vrel.dll: exactly the fourteen engine functions
at ordinals 1 to 14, imports from system DLLs only, and with --stdcall (32-bit)
every `ret` reachable from an export (following direct jumps) pops exactly
the export's argument bytes. Exits 1 on any failure.

  check_dll_exports.py --objdump i686-w64-mingw32-objdump --dll vrel.dll --stdcall
"""
import argparse, bisect, re, subprocess, sys

NAMES = ["VrelInit", "VrelReset", "VrelClose", "VrelBitmapColorConversion",
         "VrelPixelColorConversion", "VrelOnDotBlack", "VrelLineColorConversion",
         "VrelInitColorConversion", "VrelBitmapColorCorrection", "VrelPixelColorCorrection",
         "VrelGetSearchData", "VrelGetProfileName", "VrelGetSearchDataC", "VrelGetProfileNameC"]
ARGUMENT_BYTES = [8, 8, 4, 36, 20, 36, 24, 12, 28, 16, 12, 12, 12, 12]
failed = 0


def check(ok, what):
    global failed
    failed += not ok
    print(("ok   " if ok else "FAIL ") + what)


def run(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def returns_from(entry, text):
    """Pop counts of the `ret`s reachable from entry; a function runs from its
    label to the next one."""
    labels = sorted(int(a, 16) for a in re.findall(r"^([0-9a-f]+) <.*>:$", text, re.M))
    code = [(int(a, 16), m, o.strip()) for a, m, o in
            re.findall(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$", text, re.M)]
    where = {a: i for i, (a, _, _) in enumerate(code)}
    if entry not in labels:
        return []
    pops, seen, pending = [], set(), [entry]
    while pending:
        k = bisect.bisect_right(labels, pending.pop()) - 1
        start = labels[k]
        end = labels[k + 1] if k + 1 < len(labels) else float("inf")
        if start in seen or start not in where:
            continue
        seen.add(start)
        for address, mnemonic, operands in code[where[start]:]:
            if address >= end:
                break
            if mnemonic in ("repz", "rep") and operands.startswith("ret"):
                mnemonic, operands = "ret", operands[3:]
            if mnemonic in ("ret", "retl"):
                imm = re.search(r"\$0x([0-9a-f]+)", operands)
                pops.append(int(imm.group(1), 16) if imm else 0)
            elif mnemonic.startswith("j") and re.match(r"[0-9a-f]+\s", operands + " "):
                target = int(operands.split()[0], 16)
                if not start <= target < end and target >= labels[0]:
                    pending.append(target)
    return pops


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--stdcall", action="store_true")
    args = parser.parse_args()
    headers = run(args.objdump, "-p", args.dll)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    table = re.search(r"Export Address Table -- Ordinal Base (\d+)\n(.*?)\n\s*\n", headers, re.S)
    rvas = {int(o): int(r, 16) for o, r in
            re.findall(r"\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)", table.group(2))}
    check(sorted(rvas) == list(range(1, 15)), f"ordinals are 1 to 14 only: {sorted(rvas)}")
    names = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\s*\n|\Z)", headers, re.S)
    named = {n: int(o) + int(table.group(1)) for o, n in
             re.findall(r"\[\s*(\d+)\]\s+(\S+)", names.group(1))}
    check(named == {n: i + 1 for i, n in enumerate(NAMES)}, f"names at their ordinals: {named}")
    imports = re.findall(r"^\s*DLL Name: (.*)$", headers, re.M)
    check(imports and all(d.strip().lower() in ("kernel32.dll", "msvcrt.dll") for d in imports),
          f"imports only system DLLs: {imports}")
    if args.stdcall:
        text = run(args.objdump, "-d", "--no-show-raw-insn", args.dll)
        for ordinal, (name, size) in enumerate(zip(NAMES, ARGUMENT_BYTES), 1):
            pops = returns_from(base + rvas.get(ordinal, 0), text)
            check(bool(pops) and set(pops) == {size}, f"{name} returns with ret {size}: {pops}")
    print("export table " + ("FAILED" if failed else "ok"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
