#!/usr/bin/env python3
"""Rebrands the compose fixtures with the real program and judges each output.

    compose_cases.py --corvella PROGRAM [--fixture NAME]... [--values SET]... [--orders]
                     [--round-trips] [--known FILE] [--keep DIR]

For each fixture (tests/fixtures/compose/*.pdf) and value set: makes a package with
`corvella make-package`, rebrands it with `corvella rebrand --set ...`, and runs
scripts/check-rebrand.py on the output. With --orders it also runs scripts/check-orders.sh on the
package. With --round-trips it also checks, by comparing renders page by page, that replacing
every tag with itself renders as the original (identity), that rebranding the output back to the
tags renders as the original (there-and-back), and that replacing half of the tags in one run and
the rest in a second renders as one run that replaces all (in-two-runs). Prints one line per case with the checks that failed.

A --known file lists the checks known to fail today, one case per line:
    FIXTURE VALUESET CHECK [CHECK...]        (# starts a comment)
A case passes when every check that fails is listed for it. The exit status is 0 when every case
passes, 1 otherwise; a listed check that now passes is reported, so the list can shrink.
"""

import argparse
import functools
import importlib.util
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
FIXTURES = os.path.join(ROOT, "tests", "fixtures", "compose")
CHECKER = os.path.join(ROOT, "scripts", "check-rebrand.py")
ORDERS = os.path.join(ROOT, "scripts", "check-orders.sh")
PATTERN = r"\[\[([A-Z_]+)\]\]"

# No value of a set holds another: the way back (there-and-back) searches the output for the values.
VALUE_SETS = {
    "long": {
        "AUTHOR": "Jonathan Q. Featherstonehaugh",
        "SITE": "www.example-reseller-shop.com",
        "EMAIL": "jon@example-reseller.com",
        "PRODUCT_NAME": "Widget Pro Deluxe",
    },
    "short": {"AUTHOR": "Al", "SITE": "x.io", "EMAIL": "a@b.co", "PRODUCT_NAME": "Zo"},
    "latin1": {
        "AUTHOR": "José Müller (ß) \\ co",
        "SITE": "Café (Ünïcödé)",
        "EMAIL": "josé@café.fr",
        "PRODUCT_NAME": "Crème brûlée (n°2)",
    },
}


def fixtures():
    return sorted(f[:-4] for f in os.listdir(FIXTURES) if f.endswith(".pdf"))


def read_known(path):
    known = {}
    if path:
        with open(path, encoding="utf-8") as f:
            for line in f:
                fields = line.split("#", 1)[0].split()
                if len(fields) >= 3:
                    known.setdefault((fields[0], fields[1]), set()).update(fields[2:])
    return known


def renders(pdf, folder, name):
    """The pages of pdf rendered at 72 dpi, as bytes, in page order."""
    prefix = os.path.join(folder, name)
    subprocess.run(["pdftoppm", "-r", "72", pdf, prefix], check=True)
    files = [f for f in os.listdir(folder) if f.startswith(name + "-") and f.endswith(".ppm")]
    files.sort(key=lambda f: int(f[len(name) + 1:-4]))
    pages = []
    for f in files:
        with open(os.path.join(folder, f), "rb") as image:
            pages.append(image.read())
        os.remove(os.path.join(folder, f))
    return pages


@functools.lru_cache(maxsize=None)
def ppm_parser():
    """The judge's PPM reader, so both read renders the same way."""
    spec = importlib.util.spec_from_file_location("check_rebrand", CHECKER)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module.parse_ppm


def ppm_pixels(data):
    """Width, height and the RGB bytes of a binary PPM."""
    image = ppm_parser()(data)
    return image.width, image.height, image.pixels


def pixels_moved_beyond(first, second, limit=1, threshold=96):
    """Pixels of two renders that differ, and whose value is not found in the other render
    within `limit` pixels either way: a glyph set a fraction of a point off, as a viewer's
    rounding may place it, is the same page; a word moved or lost is not."""
    width, height, a = ppm_pixels(first)
    w2, h2, b = ppm_pixels(second)
    if (width, height) != (w2, h2):
        return width * height
    def near(x, y, value, other):
        for yy in range(max(0, y - limit), min(height, y + limit + 1)):
            for xx in range(max(0, x - limit), min(width, x + limit + 1)):
                q = (yy * width + xx) * 3
                if all(abs(value[c] - other[q + c]) <= threshold for c in range(3)):
                    return True
        return False
    moved = 0
    for p in range(0, min(len(a), len(b)) - 2, 3):
        if a[p:p + 3] == b[p:p + 3]:
            continue
        if all(abs(a[p + c] - b[p + c]) <= threshold for c in range(3)):
            continue
        x, y = (p // 3) % width, (p // 3) // width
        if not (near(x, y, a[p:p + 3], b) and near(x, y, b[p:p + 3], a)):
            moved += 1
    return moved


def same_renders(a, b, folder):
    first, second = renders(a, folder, "first"), renders(b, folder, "second")
    if len(first) != len(second):
        return f"{len(first)} pages against {len(second)}"
    differ = [str(i + 1) for i, (x, y) in enumerate(zip(first, second))
              if x != y and pixels_moved_beyond(x, y) > 0]
    return f"page {', '.join(differ)} renders differently" if differ else ""


def make_package(corvella, pdf, package, pattern):
    made = subprocess.run([corvella, "make-package", pdf, "--output", package, "--pattern", pattern],
                          capture_output=True, text=True)
    return "" if made.returncode == 0 else f"make-package {pdf}: {made.stderr.strip()}"


def rebrand(corvella, package, output, values):
    sets = [a for name, value in values.items() for a in ("--set", f"{name}={value}")]
    done = subprocess.run([corvella, "rebrand", "--package", package, "--output", output] + sets,
                          capture_output=True, text=True)
    return "" if done.returncode == 0 else f"rebrand: {done.stderr.strip().splitlines()[-1:]}"


def round_trips(corvella, fixture, set_name, folder, package, output):
    """Failed round trips and their details."""
    pdf = os.path.join(FIXTURES, fixture + ".pdf")
    values = VALUE_SETS[set_name]
    tags = {name: f"[[{name}]]" for name in values}
    work = os.path.join(folder, f"{fixture}-{set_name}-trips")
    os.makedirs(work, exist_ok=True)
    failed, details = [], []

    def verdict(check, problem):
        if problem:
            failed.append(check)
            details.append(f"{check}: {problem}")

    if set_name == sorted(VALUE_SETS)[0]:  # the same for every value set: run it once
        identity = os.path.join(work, "identity.pdf")
        verdict("identity", rebrand(corvella, package, identity, tags)
                or same_renders(pdf, identity, work))

    back_package = os.path.join(work, "back")
    pattern = "(" + "|".join(re.escape(v) for v in sorted(values.values(), key=len, reverse=True)) + ")"
    back = os.path.join(work, "back.pdf")
    verdict("there-and-back",
            make_package(corvella, output, back_package, pattern)
            or rebrand(corvella, back_package, back, {v: tags[n] for n, v in values.items()})
            or same_renders(pdf, back, work))

    names = sorted(values)
    half = names[::2]
    first, second = os.path.join(work, "half.pdf"), os.path.join(work, "rest.pdf")
    rest_package = os.path.join(work, "rest")
    verdict("in-two-runs",
            rebrand(corvella, package, first,
                    {n: (values[n] if n in half else tags[n]) for n in names})
            or make_package(corvella, first, rest_package, PATTERN)
            or rebrand(corvella, rest_package, second, {n: values[n] for n in names if n not in half})
            or same_renders(output, second, work))
    return failed, details


def run_case(corvella, fixture, set_name, folder, orders, trips=False):
    pdf = os.path.join(FIXTURES, fixture + ".pdf")
    package = os.path.join(folder, fixture)
    if not os.path.isdir(package):
        made = subprocess.run([corvella, "make-package", pdf, "--output", package, "--pattern", PATTERN],
                              capture_output=True, text=True)
        if made.returncode != 0:
            return ["make-package"], made.stderr.strip()
    values = VALUE_SETS[set_name]
    output = os.path.join(folder, f"{fixture}-{set_name}.pdf")
    sets = [a for name, value in values.items() for a in ("--set", f"{name}={value}")]
    done = subprocess.run([corvella, "rebrand", "--package", package, "--output", output] + sets,
                          capture_output=True, text=True)
    if done.returncode != 0:
        return ["rebrand"], done.stderr.strip().splitlines()[-1:]
    maps = [a for name, value in values.items() for a in ("--map", f"{name}={value}")]
    judged = subprocess.run([sys.executable, CHECKER, pdf, output, "--json"] + maps,
                            capture_output=True, text=True)
    if judged.returncode == 2:
        return ["checker"], judged.stderr.strip()
    result = json.loads(judged.stdout)
    failed = sorted({r["check"] for r in result["results"] if not r["ok"]})
    details = [f"{r['check']} p{r['page']} {r['tag'] or ''}: {r['detail']}"
               for r in result["results"] if not r["ok"]]
    if trips:
        more, why = round_trips(corvella, fixture, set_name, folder, package, output)
        failed += more
        details += why
    if orders:
        ordered = subprocess.run(["bash", ORDERS, "--corvella", corvella, package]
                                 + [f"{n}={v}" for n, v in values.items()],
                                 capture_output=True, text=True)
        if ordered.returncode != 0:
            failed.append("orders")
            details += [line for line in ordered.stdout.splitlines() if line.startswith("FAIL")]
    return failed, details


ROUND_TRIPS = {"identity", "there-and-back", "in-two-runs"}


def ran(check, set_name, orders, trips):
    """Whether this run performed check for the value set: the order check and the round trips
    run only when asked for, and identity once, with the first value set."""
    if check == "orders":
        return orders
    if check in ROUND_TRIPS:
        return trips and (check != "identity" or set_name == sorted(VALUE_SETS)[0])
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corvella", required=True)
    parser.add_argument("--fixture", action="append")
    parser.add_argument("--values", action="append", choices=sorted(VALUE_SETS))
    parser.add_argument("--orders", action="store_true")
    parser.add_argument("--round-trips", action="store_true")
    parser.add_argument("--known", help="file of the checks known to fail, per case")
    parser.add_argument("--keep", help="folder that keeps packages and outputs")
    parser.add_argument("--verbose", "-v", action="store_true", help="print every failed check")
    args = parser.parse_args()
    known = read_known(args.known)
    chosen = args.fixture or fixtures()
    unknown = [f for f in chosen if f not in fixtures()]
    if unknown:
        print(f"compose_cases.py: no fixture {', '.join(unknown)} in {FIXTURES}", file=sys.stderr)
        return 2
    counted_failures = 0
    with tempfile.TemporaryDirectory(prefix="compose-cases-") as scratch:
        folder = args.keep or scratch
        os.makedirs(folder, exist_ok=True)
        for fixture in chosen:
            for set_name in args.values or list(VALUE_SETS):
                failed, details = run_case(args.corvella, fixture, set_name, folder, args.orders,
                                           args.round_trips)
                listed = known.get((fixture, set_name), set())
                unexpected = [c for c in failed if c not in listed]
                verdict = "FAIL" if unexpected else ("known" if failed else "pass")
                if unexpected:
                    counted_failures += 1
                print(f"{verdict:5} {fixture:22} {set_name:7} {' '.join(failed)}"
                      + (f"   (unexpected: {' '.join(unexpected)})" if unexpected and listed else ""))
                mended = sorted(c for c in listed - set(failed)
                                if ran(c, set_name, args.orders, args.round_trips))
                if mended:
                    print(f"      {fixture} {set_name}: now passes {' '.join(mended)}; "
                          "take it off the known list")
                if args.verbose and failed:
                    for line in details if isinstance(details, list) else [details]:
                        print(f"        {line}")
    return 1 if counted_failures else 0


if __name__ == "__main__":
    sys.exit(main())
