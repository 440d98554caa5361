#!/usr/bin/python3
"""Prometheus text read by prometheus_client's own parser, one JSON sample a line: of FILE,
of what an exporter serves (--scrape URL, no proxy), or (--watch FILE STOP) "reads N partial M"
after parsing FILE over and over until STOP exists, a partial read being one that fails to
parse or lacks the file's last series."""
import json
import os
import sys
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

LAST = "posdip_status_duration_seconds"


def samples(text):
    return [s for f in text_string_to_metric_families(text) for s in f.samples]


def show(text):
    for s in samples(text):
        print(json.dumps([s.name, s.labels, s.value], sort_keys=True))


def watch(path, stop):
    reads = partial = 0
    while not os.path.exists(stop):
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            continue
        reads += 1
        try:
            if not any(s.name == LAST for s in samples(text)):
                partial += 1
        except Exception:  # the parser's errors have no common type
            partial += 1
    print(f"reads {reads} partial {partial}")


if sys.argv[1] == "--scrape":
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    show(opener.open(sys.argv[2], timeout=5).read().decode())
elif sys.argv[1] == "--watch":
    watch(sys.argv[2], sys.argv[3])
else:
    with open(sys.argv[1], encoding="utf-8") as f:
        show(f.read())
