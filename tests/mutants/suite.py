#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the tests CTest knows, but each GoogleTest program once for all its
cases instead of once a case, which is what makes a planted-fault run cheap.
Tests labelled real-window are left out. Prints the names of the failed
tests, one a line; exits 1 if any failed.

    suite.py BUILD_DIR
"""
import concurrent.futures
import json
import os
import re
import subprocess
import sys

build = sys.argv[1]
listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1", "-LE", "real-window"],
                         check=True, capture_output=True, text=True).stdout
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy")
programs, others = {}, []
for test in json.loads(listing)["tests"]:
    command = test["command"]
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    if any(arg.startswith("--gtest_filter=") for arg in command):
        programs.setdefault(command[0], props.get("WORKING_DIRECTORY", build))
    else:
        others.append((test["name"], command, props.get("WORKING_DIRECTORY", build)))


def run(command, cwd, timeout):
    try:
        return subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True,
                              errors="replace", timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def gtest(program, cwd):
    done = run([program], cwd, 300)
    if done is None:
        return [os.path.basename(program) + " (timed out)"]
    failed = sorted(set(re.findall(r"^\[  FAILED  \] (\w+\.\w+)", done.stdout, re.M)))
    if done.returncode != 0 and not failed:
        failed = [os.path.basename(program) + " (crashed)"]
    return failed


def other(name, command, cwd):
    done = run(command, cwd, 60)
    return [] if done is not None and done.returncode == 0 else [name]


with concurrent.futures.ThreadPoolExecutor(2) as pool:
    jobs = [pool.submit(gtest, p, cwd) for p, cwd in programs.items()]
    jobs += [pool.submit(other, *t) for t in others]
    failed = [name for job in jobs for name in job.result()]
print("\n".join(failed))
sys.exit(1 if failed else 0)
