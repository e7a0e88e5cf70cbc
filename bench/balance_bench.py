#!/usr/bin/env python3
"""The Balance command of the release build against two sequential curl calls
making the same two requests (login, then getDynamicInfo), both against one
billing simulator on 127.0.0.1 (ports 80 and 443) inside a network and mount
namespace of its own (root): the test CA is trusted there only.

  balance_bench.py HTTPS_TARVELON HTTP_TARVELON [--benchmark_repetitions=N]
                   [--benchmark_out=FILE] [other --benchmark_* ignored]
Each repetition times 20 runs of each; the JSON has Google Benchmark's shape
(medians as aggregates) for ratios.py."""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SIM = os.path.join(ROOT, "tools/billing_sim/sim.sh")
CONTRACT = "1234567"
PASS_HASH = "7afwCGJtkS3CAYfsrGrdlTrl2zk%3D"   # "пароль" in Windows-1251
TOKEN = "7f3a9c2e51b04d68"
RUNS = 20


def timed(commands):
    start = time.perf_counter()
    for _ in range(RUNS):
        for command in commands:
            subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    return (time.perf_counter() - start) / RUNS


def main(args):
    tools = [a for a in args if not a.startswith("--")]
    options = dict(a[2:].split("=", 1) for a in args if a.startswith("--") and "=" in a)
    repetitions = int(options.get("benchmark_repetitions", "3"))
    if os.environ.get("TARVELON_BENCH_NETNS") != "1":
        os.execvp("unshare", ["unshare", "--net", "--mount", "--propagation", "private",
                              "env", "TARVELON_BENCH_NETNS=1", sys.executable] + sys.argv)
    certs = os.path.join(ROOT, "build/testca")
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    subprocess.run([os.path.join(ROOT, "tools/billing_sim/make_certs.sh"), certs], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["mount", "--bind", os.path.join(certs, "trusted-bundle.pem"),
                    "/etc/ssl/certs/ca-certificates.crt"], check=True)
    work = tempfile.mkdtemp()
    settings = os.path.join(work, "Tarvelon.ini")
    with open(settings, "w") as f:
        f.write("[General]\nusername=%s\npasshash=%s\n" % (CONTRACT, PASS_HASH))
    subprocess.run([SIM, "start", work + "/sim", "--address", "127.0.0.1",
                    "--account", "%s:%s" % (CONTRACT, PASS_HASH)], check=True)
    results = []
    try:
        for scheme, tool in zip(("https", "http"), tools):
            base = "%s://127.0.0.1/user/v1/" % scheme
            curl = [["curl", "-s", "-o", "/dev/null", "-f", base + "login?userName=%s&password=%s" % (CONTRACT, PASS_HASH)],
                    ["curl", "-s", "-o", "/dev/null", "-f", base + "getDynamicInfo?token=" + TOKEN]]
            for name, commands in (("balance", [[tool, "balance", "--settings", settings]]), ("curl_pair", curl)):
                times = [timed(commands) for _ in range(repetitions)]
                results.append({"name": "%s/%s" % (name, scheme), "run_name": "%s/%s" % (name, scheme),
                                "run_type": "aggregate", "aggregate_name": "median",
                                "real_time": statistics.median(times) * 1e3, "time_unit": "ms"})
                print("%-20s %8.2f ms" % (results[-1]["name"], results[-1]["real_time"]))
    finally:
        subprocess.run([SIM, "stop", work + "/sim"])
        subprocess.run(["rm", "-rf", work])
    if "benchmark_out" in options:
        with open(options["benchmark_out"], "w") as f:
            json.dump({"benchmarks": results}, f, indent=1)


if __name__ == "__main__":
    main(sys.argv[1:])
