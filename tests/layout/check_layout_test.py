#!/usr/bin/env python3
"""scripts/check-layout finds each kind of breach: every case plants files (or allowance lines)
in a copy of the tree and expects the check's verdict and the line that names the breach.

Usage: check_layout_test.py SOURCE_DIR"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

source = pathlib.Path(sys.argv[1])

# (what, files planted under the copy's library/, allowance lines added, exit code, expected line)
CASES = [
    ("a subsystem includes a higher one",
     {"runtime/planted.cpp": '#include "movies/movie_services.h"\n'}, [], 1,
     "runtime/planted.cpp: includes movies/movie_services.h, but movies (rank 6) is not below runtime (rank 1)"),
    ("a subsystem includes one of its own rank",
     {"network/planted.cpp": '#include "input/input_services.h"\n'}, [], 1,
     "network/planted.cpp: includes input/input_services.h, but input (rank 4) is not below network (rank 4)"),
    ("a file in a nested folder includes a higher subsystem",
     {"media/framework/planted.cpp": '#include "sound/sound_services.h"\n'}, [], 1,
     "media/framework/planted.cpp: includes sound/sound_services.h, but sound (rank 5) is not below media (rank 4)"),
    ("a subsystem includes a higher one's public header",
     {"files/planted.cpp": '#include "zyvel/sound.h"\n'}, [], 1,
     "files/planted.cpp: includes zyvel/sound.h, but sound (rank 5) is not below files (rank 2)"),
    ("a subsystem includes the whole interface",
     {"sound/planted.cpp": '#include "zyvel/zyvel.h"\n'}, [], 1,
     "sound/planted.cpp: includes zyvel/zyvel.h, the whole interface, which is above every subsystem"),
    ("a lower subsystem is reached past its services header, in a nested folder",
     {"movies/planted.cpp": '#include "graphics/graphs/screens.h"\n'}, [], 1,
     "movies/planted.cpp: includes graphics/graphs/screens.h, not graphics's services header"),
    ("a services header is only one at the top of its subsystem",
     {"movies/planted.cpp": '#include "graphics/graphs/graph_services.h"\n'}, [], 1,
     "movies/planted.cpp: includes graphics/graphs/graph_services.h, not graphics's services header"),
    ("a public header includes an inner header",
     {"include/zyvel/planted.h": '#include "window/window_services.h"\n'}, [], 1,
     "include/zyvel/planted.h: includes window/window_services.h; a public header includes only public and "
     "platform headers"),
    ("a public header includes a higher one",
     {"include/zyvel/files.h": '#include "zyvel/graphics.h"\n'}, [], 1,
     "include/zyvel/files.h: includes zyvel/graphics.h, which is not below it"),
    ("a folder of library/ has no rank",
     {"pixels/pixels.cpp": "\n"}, [], 1,
     "library/pixels/ has no rank in the order"),
    ("the build lets a subsystem use one of its own rank",
     {"CMakeLists.txt": "zyvel_subsystem(memimg USES runtime files PACKAGES PkgConfig::PNG)\n"}, [], 1,
     "library/CMakeLists.txt: memimg uses files, which is not a subsystem below it"),
    ("a function is declared twice",
     {"network/planted.h": "int InitializeLibrary();\n"}, [], 1,
     "InitializeLibrary is declared in include/zyvel/window.h, network/planted.h"),
    ("an allowed edge is reported, not failed",
     {"network/planted.cpp": '#include "sound/sound_services.h"\n'}, ["network -> sound: planted"], 0,
     "allowed network -> sound: network/planted.cpp (sound/sound_services.h)"),
    ("an allowed reach past a services header is reported, not failed",
     {"movies/planted.cpp": '#include "graphics/graphs/screens.h"\n'}, ["movies/planted.cpp -> graphics: planted"], 0,
     "allowed movies/planted.cpp -> graphics: graphics/graphs/screens.h"),
    ("an allowance nothing needs fails, so the list only shrinks",
     {}, ["input -> sound: planted"], 1,
     "scripts/layout-allowance allows input -> sound, which nothing needs any more: remove the line"),
    ("an allowance for an edge down the order fails",
     {}, ["movies -> graphics: planted"], 1,
     "movies -> graphics runs down the order and needs no allowance"),
]

failures = 0
for what, files, allowances, code, expected in CASES:
    with tempfile.TemporaryDirectory() as work:
        tree = pathlib.Path(work)
        shutil.copytree(source / "library", tree / "library")
        (tree / "scripts").mkdir()
        for name in ("check-layout", "layout-allowance"):
            shutil.copy(source / "scripts" / name, tree / "scripts" / name)
        for path, text in files.items():
            (tree / "library" / path).parent.mkdir(parents=True, exist_ok=True)
            with open(tree / "library" / path, "a", encoding="utf-8") as planted:
                planted.write(text)
        with open(tree / "scripts" / "layout-allowance", "a", encoding="utf-8") as allowance:
            allowance.writelines(line + "\n" for line in allowances)
        run = subprocess.run([sys.executable, tree / "scripts" / "check-layout"], capture_output=True, text=True)
        if run.returncode != code or not any(expected in line for line in run.stdout.splitlines()):
            failures += 1
            print(f"FAILED: {what}: exit {run.returncode} (expected {code}), expected the line\n  {expected}\n"
                  f"in\n{run.stdout}{run.stderr}")
print(f"{len(CASES) - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
