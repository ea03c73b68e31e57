#!/usr/bin/env python3
"""Counts the results of one `make test` from the JUnit files CTest wrote (--output-junit).

Usage: test-summary.py RUN...
Each RUN is one ctest run's JUnit file, followed, after a comma, by the JUnit file of its
second attempt (ctest --rerun-failed) when it had one: FIRST.xml[,SECOND.xml]. A file that
is missing (the run never started) counts nothing; the caller's exit status covers that.

Prints two lines: "PASSED FAILED", and the names of the tests that passed only on their
second attempt, separated by spaces (an empty line when there are none). A test that failed
the first time and was not tried again, or failed again, counts as failed; one that was
skipped (its SKIP_RETURN_CODE) or disabled counts as neither.
"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def outcomes(path):
    """Maps each test case of a JUnit file to 'passed', 'failed' or 'skipped'."""
    result = {}
    if not path or not os.path.exists(path):
        return result
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        status = case.get("status")
        if status == "run":
            outcome = "passed"
        elif status == "notrun":
            # Skipped by its own choice (SKIP_RETURN_CODE, SKIP_REGULAR_EXPRESSION), or not
            # run because CTest could not start it (a missing program), which is a failure.
            skipped = case.find("skipped")
            message = skipped.get("message", "") if skipped is not None else ""
            outcome = "skipped" if message.startswith("SKIP_") else "failed"
        elif status == "disabled":
            outcome = "skipped"
        else:
            outcome = "failed"
        result[case.get("name")] = outcome
    return result


def main(runs):
    passed = failed = 0
    second_attempt = []
    for run in runs:
        first_path, _, second_path = run.partition(",")
        second = outcomes(second_path)
        for name, outcome in outcomes(first_path).items():
            if outcome == "passed":
                passed += 1
            elif outcome == "failed" and second.get(name) == "passed":
                passed += 1
                second_attempt.append(name)
            elif outcome == "failed":
                failed += 1
    print(passed, failed)
    print(" ".join(second_attempt))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
