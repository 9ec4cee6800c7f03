#!/usr/bin/env python3
"""Adds up a test run: every CTest entry of every build (its GoogleTest cases when the executable wrote
its XML report, else the entry itself), and every hook of script/test.d. Prints a table per build and
the closing line 'N passed, N failed'."""
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path


def gtest_counts(report):
    tree = ElementTree.parse(report)
    passed = failed = skipped = 0
    failures = []
    for case in tree.iter("testcase"):
        if case.find("failure") is not None:
            failed += 1
            failures.append(f"{case.get('classname')}.{case.get('name')}")
        elif case.get("result") == "skipped" or case.find("skipped") is not None or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped, failures


def ctest_entries(junit):
    tree = ElementTree.parse(junit)
    for case in tree.iter("testcase"):
        status = case.get("status", "")
        ok = status == "run" and case.find("failure") is None
        yield case.get("name"), ok, status


def main(results_dir, build_root, builds):
    total_passed = total_failed = total_skipped = 0
    failures = []
    for build in builds:
        junit = Path(results_dir) / f"{build}-ctest.xml"
        passed = failed = skipped = 0
        if not junit.exists():
            failed += 1
            failures.append(f"{build}: no test run (build failed?)")
        else:
            for name, ok, status in ctest_entries(junit):
                report = Path(build_root) / build / "test-results" / f"{name}.xml"
                if report.exists():
                    p, f, s, names = gtest_counts(report)
                    passed, failed, skipped = passed + p, failed + f, skipped + s
                    failures += [f"{build}: {name}: {n}" for n in names]
                    if not ok and f == 0:
                        failed += 1
                        failures.append(f"{build}: {name}: exited with failure ({status})")
                elif ok:
                    passed += 1
                elif status == "disabled" or status == "notrun":
                    failed += 1
                    failures.append(f"{build}: {name}: did not run")
                else:
                    failed += 1
                    failures.append(f"{build}: {name}: failed without a report")
        print(f"  {build:10s} {passed:5d} passed {failed:4d} failed {skipped:4d} skipped")
        total_passed, total_failed, total_skipped = total_passed + passed, total_failed + failed, total_skipped + skipped

    hooks_passed = hooks_failed = 0
    for status_file in sorted(Path(results_dir).glob("hook-*.status")):
        hook = status_file.stem[len("hook-"):]
        code = status_file.read_text().strip()
        counts = Path(results_dir) / f"{hook}.counts"
        if counts.exists():
            p, f = (int(x) for x in counts.read_text().split()[:2])
        else:
            p, f = (1, 0) if code == "0" else (0, 1)
        if code != "0" and f == 0:
            f = 1
        if f:
            failures.append(f"hook {hook}: exit {code}")
        hooks_passed, hooks_failed = hooks_passed + p, hooks_failed + f
    if hooks_passed or hooks_failed:
        print(f"  {'hooks':10s} {hooks_passed:5d} passed {hooks_failed:4d} failed")
    total_passed += hooks_passed
    total_failed += hooks_failed

    for failure in failures:
        print(f"FAILED {failure}")
    line = f"{total_passed} passed, {total_failed} failed"
    if total_skipped:
        line += f", {total_skipped} skipped"
    print(line)
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
