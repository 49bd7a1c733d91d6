#!/usr/bin/env python3
"""scripts/tidy.py on programs it combines into one unit: every source's findings, the static
analyser's and those on each one's main among them, are reported at the source's own file and
line, and fail the check."""

import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Three programs compiled alike, so checked as one unit; each divides by zero in a function of
# its own, which only the analyser's path-sensitive checks see, and lets an exception escape
# its main.
SOURCE = ("int Ratio%d(int value) {\n    int zero = value - value;\n    return value / zero;\n}\n"
          "int main(int argc, char**) {\n    if (argc > 3) throw argc;\n    return 0;\n}\n")

with tempfile.TemporaryDirectory() as folder:
    with open(os.path.join(folder, ".clang-tidy"), "w", encoding="utf-8") as text:
        text.write("Checks: '-*,clang-analyzer-core.*,bugprone-exception-escape'\nWarningsAsErrors: '*'\n")
    sources = [os.path.join(folder, "part%d.cpp" % n) for n in range(3)]
    for n, path in enumerate(sources):
        with open(path, "w", encoding="utf-8") as text:
            text.write("\n" * n + SOURCE % n)  # each fault a line lower than the last
    with open(os.path.join(folder, "compile_commands.json"), "w", encoding="utf-8") as text:
        json.dump([{"directory": folder, "file": path, "arguments": ["clang++", "-std=c++20", "-c", path]}
                   for path in sources], text)
    done = subprocess.run([os.path.join(ROOT, "scripts", "tidy.py"), folder] + sources,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
    expected = [line for n, path in enumerate(sources) for line in (
        "%s:%d:18: error: Division by zero" % (path, n + 3),
        "%s:%d:5: error: an exception may be thrown in function" % (path, n + 5))]
    missing = [line for line in expected if line not in done.stdout]
    if done.returncode == 0 or missing or "in 1 units" not in done.stdout:
        sys.exit("tidy.py exited %d; missing %s in:\n%s" % (done.returncode, missing, done.stdout))
