#!/usr/bin/env python3
"""A scrape of /metrics from a host holding three calls with statistics of
every kind must pass `promtool check metrics` and hold every call's
counters and every kind's fields. Exits 77 (skipped) without promtool."""
import argparse
import os
import shutil
import subprocess
import sys
import urllib.request

SKIP = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    promtool = shutil.which("promtool")
    if not promtool:
        print("skipped: needs promtool (Debian package prometheus)")
        return SKIP
    os.makedirs(args.out, exist_ok=True)
    host = subprocess.Popen([args.host], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    try:
        line = host.stdout.readline().split()
        assert line and line[0] == "URL", "the host printed no URL"
        with urllib.request.urlopen(line[1] + "metrics", timeout=10) as answer:
            assert answer.status == 200
            content_type = answer.headers["Content-Type"]
            assert content_type.startswith("text/plain; version=0.0.4"), content_type
            text = answer.read().decode("utf-8")
    finally:
        host.stdin.close()
        host.wait(timeout=30)
    scrape = os.path.join(args.out, "metrics.txt")
    with open(scrape, "w", encoding="utf-8") as f:
        f.write(text)
    check = subprocess.run([promtool, "check", "metrics"], input=text,
                           capture_output=True, text=True)
    print(check.stdout + check.stderr)
    if check.returncode != 0:
        print("promtool refused the scrape in", scrape)
        return 1
    for call in ("101", "102", "103"):
        assert f'ostrel_config_sets_total{{call_id="{call}",result="ok"}}' in text \
            or f'ostrel_config_sets_total{{call_id="{call}",result="no_observer"}}' in text, call
        for kind in ("audio", "video", "contentVideo", "contentAudio"):
            needle = f'ostrel_statistic{{call_id="{call}",kind="{kind}"'
            assert needle in text, needle
    print("promtool accepted", len(text.splitlines()), "lines:", scrape)
    return 0


if __name__ == "__main__":
    sys.exit(main())
