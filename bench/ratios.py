#!/usr/bin/env python3
"""One table of the benchmark ratios from the JSON files of bench/run.sh.

  ratios.py RESULTS_DIR
Medians of the repetitions.  Exit 1 when a bounded ratio is over its bound or
a benchmark it needs is missing."""

import json
import os
import sys

PER_BYTE_BOUND = 2.0   # time per byte may not grow with the reply: a flat line
FETCH_BOUND = 20.0     # 16 MiB may cost at most 20 times 1 MiB
BALANCE_BOUND = 1.0    # the Balance command may not be slower than two curl calls
TRAY_RSS_BOUND = 1.3   # the tray program's memory against a bare GTK 3 program on the bus
TRAY_WAKE_BOUND = 1.5  # idle: one wake-up per 2-s tooltip check, nothing beside it
TRAY_FRESH_BOUND = 2.5 # seconds from a new address to the tooltip's change signal
TRAY_CHECKS = 30       # 2-s checks in the 60 s of idle


def load(directory):
    times = {}
    for name in sorted(os.listdir(directory)):
        if not name.endswith(".json"):
            continue
        with open(os.path.join(directory, name)) as f:
            try:
                data = json.load(f)
            except ValueError:
                continue
        for b in data.get("benchmarks", []):
            if b.get("error_occurred"):
                continue
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            run = b.get("run_name", b["name"])
            if run.endswith("/real_time"):
                run = run[:-len("/real_time")]
            times[run] = b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    return times


def main(directory):
    times = load(directory)
    rows = []   # (measure, ratio, beside, bound)
    failed = False

    def ratio(a, b):
        return times[a] / times[b] if a in times and b in times else None

    for func in ("tag_value", "expand_template"):
        for size, label in ((64 << 10, "64 KiB"), (1 << 20, "1 MiB")):
            r = ratio("BM_%s/%d" % (func, size), "BM_%s/1024" % func)
            per_byte = r * 1024 / size if r is not None else None
            rows.append(("%s time per byte, %s / 1 KiB" % (func, label), per_byte, None, PER_BYTE_BOUND))
    for scheme in ("http", "https"):
        for mode in ("length", "no-length"):
            key = "%s/{}MiB/%s" % (scheme, mode)
            ours = ratio("http_get/" + key.format(16), "http_get/" + key.format(1))
            curl = ratio("curl/" + key.format(16), "curl/" + key.format(1))
            rows.append(("http_get %s %s, 16 MiB / 1 MiB (curl beside)" % (scheme, mode), ours, curl, FETCH_BOUND))
    for scheme in ("http", "https"):
        for mode in ("length", "no-length"):
            for size in (1, 16):
                key = "%s/%dMiB/%s" % (scheme, size, mode)
                rows.append(("http_get / curl time, %s %s, %d MiB" % (scheme, mode, size),
                             ratio("http_get/" + key, "curl/" + key), None, None))
    for count in (1, 16, 64):
        r = ratio("status_text/addresses:%d" % count, "raw_table_dump/addresses:%d" % count)
        rows.append(("status_text / raw dump of both tables, %d addresses" % count, r, None, None))

    for scheme, bound in (("http", BALANCE_BOUND), ("https", None)):
        rows.append(("Balance command (release) / two curl calls, %s" % scheme,
                     ratio("balance/" + scheme, "curl_pair/" + scheme), None, bound))

    rows.append(("tarvelon-tray RSS / bare GTK 3 program on the session bus",
                 ratio("tray/rss_kib", "bare/rss_kib"), None, TRAY_RSS_BOUND))
    per_check = lambda name: times[name] / TRAY_CHECKS if name in times else None
    rows.append(("tarvelon-tray idle 60 s: context switches per 2-s check (bare beside)",
                 per_check("tray/idle_switches"), per_check("bare/idle_switches"), TRAY_WAKE_BOUND))
    rows.append(("tarvelon-tray idle 60 s: CPU ms per 2-s check (bare beside)",
                 per_check("tray/idle_cpu_ms"), per_check("bare/idle_cpu_ms"), None))
    rows.append(("tarvelon-tray new address to NewToolTip, worst of 6, s (median beside)",
                 times.get("tray/freshness_worst_s"), times.get("tray/freshness_median_s"), TRAY_FRESH_BOUND))

    width = max(len(r[0]) for r in rows)
    print("%-*s  %8s  %8s  %6s  %s" % (width, "measure", "ratio", "beside", "bound", ""))
    for measure, value, beside, bound in rows:
        verdict = ""
        if value is None:
            verdict = "missing" if bound is not None else ""
            failed = failed or bound is not None
        elif bound is not None:
            verdict = "ok" if value <= bound else "OVER"
            failed = failed or value > bound
        show = lambda v: "%8.2f" % v if v is not None else "%8s" % "-"
        print("%-*s  %s  %s  %6s  %s" % (width, measure, show(value), show(beside),
                                          "%g" % bound if bound else "-", verdict))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
