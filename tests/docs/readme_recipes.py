#!/usr/bin/env python3
"""Runs the README's recipes so that the README cannot drift from the program.

Every ```sh block runs in order, in one scratch folder holding the example
inputs, with vellumark-cli on the PATH. Beside the blocks, hidden comments
say what a reader must see in the results:

    <!-- check: FILE shows "TEXT" -->    pdftotext of FILE holds TEXT
    <!-- check: FILE lacks "TEXT" -->    ... and does not hold TEXT
    <!-- check: FILE pages N -->         FILE has N pages
    <!-- check: FILE differs from OTHER -->    every page renders otherwise
    <!-- check: FILE looks like OTHER -->      every page renders the same
    <!-- picture: FILE PAGE NAME -->     docs/recipes/NAME.png shows that page

With --pictures, the pictures are drawn again (pdftoppm) instead of checked
for presence.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

CHECK = re.compile(r'<!-- check: (\S+) (shows|lacks) "(.*)" -->')
PAGES = re.compile(r'<!-- check: (\S+) pages (\d+) -->')
LOOKS = re.compile(r'<!-- check: (\S+) (differs from|looks like) (\S+) -->')
PICTURE = re.compile(r'<!-- picture: (\S+) (\d+) (\S+) -->')


def text_of(path):
    out = subprocess.run(["pdftotext", "-q", path, "-"], capture_output=True, check=True)
    return " ".join(out.stdout.decode("utf-8", "replace").split())


def renders(path, scratch):
    """The pages of path drawn small in grey, as bytes, page by page."""
    prefix = os.path.join(scratch, "page")
    for old in os.listdir(scratch):
        os.remove(os.path.join(scratch, old))
    subprocess.run(["pdftoppm", "-r", "36", "-gray", path, prefix], check=True)
    pages = []
    for name in sorted(os.listdir(scratch)):
        with open(os.path.join(scratch, name), "rb") as f:
            pages.append(f.read())
    return pages


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("readme")
    parser.add_argument("cli_dir")
    parser.add_argument("examples")
    parser.add_argument("--pictures")
    args = parser.parse_args()
    root = os.path.dirname(os.path.abspath(args.readme))
    work = tempfile.mkdtemp(prefix="vx_readme_")
    shutil.copytree(args.examples, work, dirs_exist_ok=True)
    env = dict(os.environ, PATH=os.path.abspath(args.cli_dir) + os.pathsep + os.environ["PATH"])
    failures = []
    blocks = checks = 0
    lines = open(args.readme, encoding="utf-8").read().splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.strip() == "```sh":
            end = i + 1
            while end < len(lines) and lines[end].strip() != "```":
                end += 1
            script = "\n".join(lines[i + 1:end])
            blocks += 1
            run = subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=work, env=env,
                                 capture_output=True, text=True)
            if run.returncode != 0:
                failures.append("block at line %d failed (%d):\n%s\n%s" %
                                (i + 1, run.returncode, script, run.stderr))
            i = end + 1
            continue
        for m in CHECK.finditer(line):
            checks += 1
            path, kind, wanted = m.group(1), m.group(2), m.group(3)
            full = os.path.join(work, path)
            if not os.path.exists(full):
                failures.append("line %d: %s was not made" % (i + 1, path))
                continue
            shown = wanted in text_of(full)
            if shown != (kind == "shows"):
                failures.append('line %d: %s %s "%s"; it reads: %s' %
                                (i + 1, path, "lacks" if kind == "shows" else "shows", wanted,
                                 text_of(full)[:300]))
        for m in PAGES.finditer(line):
            checks += 1
            full = os.path.join(work, m.group(1))
            info = subprocess.run(["qpdf", "--show-npages", full], capture_output=True,
                                  text=True)
            if info.stdout.strip() != m.group(2):
                failures.append("line %d: %s has %s pages, not %s" %
                                (i + 1, m.group(1), info.stdout.strip() or "no", m.group(2)))
        for m in LOOKS.finditer(line):
            checks += 1
            scratch = tempfile.mkdtemp(prefix="vx_readme_pages_")
            mine = renders(os.path.join(work, m.group(1)), scratch)
            other = renders(os.path.join(work, m.group(3)), scratch)
            shutil.rmtree(scratch, ignore_errors=True)
            if m.group(2) == "looks like" and mine != other:
                failures.append("line %d: %s does not look like %s" %
                                (i + 1, m.group(1), m.group(3)))
            if m.group(2) == "differs from" and (
                    len(mine) != len(other) or any(a == b for a, b in zip(mine, other))):
                failures.append("line %d: some page of %s looks as in %s" %
                                (i + 1, m.group(1), m.group(3)))
        for m in PICTURE.finditer(line):
            path, page, name = m.group(1), m.group(2), m.group(3)
            picture = os.path.join(root, "docs", "recipes", name + ".png")
            if args.pictures:
                os.makedirs(args.pictures, exist_ok=True)
                subprocess.run(["pdftoppm", "-r", "50", "-f", page, "-l", page, "-png",
                                "-singlefile", os.path.join(work, path),
                                os.path.join(args.pictures, name)], check=True)
            elif not os.path.exists(picture):
                failures.append("line %d: picture %s is missing" % (i + 1, picture))
        i += 1
    shutil.rmtree(work, ignore_errors=True)
    print("%d recipes run, %d checks" % (blocks, checks))
    if blocks == 0 or checks == 0:
        failures.append("the README holds no recipe or no check")
    for f in failures:
        print("FAILED: " + f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
