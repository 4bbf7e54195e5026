#!/usr/bin/env python3
"""Writes the performance report from one run of every benchmark.

Reads the Google Benchmark JSON files and the text output of service_bench
and task_stress from OUT_DIR (as scripts/bench leaves them), writes
bench/README.md, and puts the same table between the markers of the
README's Benchmarks section, so that both always show one run.

    bench_report.py OUT_DIR ROOT
"""
import json
import os
import re
import sys

BEGIN = "<!-- bench:begin -->"
END = "<!-- bench:end -->"


def load_gbench(path):
    """name -> real time in microseconds (the median when repeated)."""
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    times, medians = {}, {}
    for b in data.get("benchmarks", []):
        if b.get("error_occurred"):
            continue
        t = b["real_time"] * scale[b.get("time_unit", "ns")]
        name = re.sub(r"/repeats:\d+$", "", b.get("run_name", b["name"]))
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[name] = t
        else:
            times.setdefault(name, t)
    times.update(medians)
    return times


def read(path):
    return open(path).read() if os.path.exists(path) else ""


def number(pattern, text, group=1):
    m = re.search(pattern, text)
    return float(m.group(group)) if m else None


def us(v):
    if v is None:
        return "not measured"
    if v >= 1e5:
        return f"{v / 1e3:,.0f} ms"
    if v >= 1e3:
        return f"{v / 1e3:,.2f} ms"
    return f"{v:,.1f} µs"


class Rows:
    def __init__(self):
        self.rows = []
        self.failed = []

    def ratio(self, what, a, b, limit, at_most=True, names=("", "")):
        """One figure against its peer: the ratio a / b and the limit it must keep."""
        if a is None or b is None:
            self.rows.append((what, "not measured", "", f"{'≤' if at_most else '≥'} {limit}", "skipped"))
            return
        r = a / b
        ok = r <= limit if at_most else r >= limit
        if not ok:
            self.failed.append(what)
        self.rows.append((what, f"{names[0]}{us(a)} / {names[1]}{us(b)}", f"{r:.2f}",
                          f"{'≤' if at_most else '≥'} {limit}", "ok" if ok else "**over**"))

    def figure(self, what, text, limit="", ok=True):
        if not ok:
            self.failed.append(what)
        self.rows.append((what, text, "", limit, "ok" if ok else "**over**"))

    def table(self):
        out = ["| what | figure | ratio | limit | |", "|---|---|---|---|---|"]
        out += ["| " + " | ".join(r) + " |" for r in self.rows]
        return "\n".join(out)


def main():
    out_dir, root = sys.argv[1], sys.argv[2]
    db = load_gbench(os.path.join(out_dir, "db_bench.json"))
    signon = load_gbench(os.path.join(out_dir, "signon_bench.json"))
    task = load_gbench(os.path.join(out_dir, "task_bench.json"))
    service = read(os.path.join(out_dir, "service_bench.txt"))
    machine = read(os.path.join(out_dir, "machine.txt")).strip().splitlines()

    rows = Rows()
    rows.ratio("one indexed single-row SELECT, data layer / raw sqlite3", db.get("LayerSelect/100"),
               db.get("RawSelect/100"), 1.5)
    rows.ratio("the same SELECT with 100,000 / 100 rows in `UA_task`", db.get("LayerSelect/100000"),
               db.get("LayerSelect/100"), 1.5)
    rows.ratio("register + release of a function, `TaskExec` / its statements on raw sqlite3",
               task.get("BM_TaskExecPair/SQLite/100"), task.get("BM_RawSqlitePair"), 1.5)
    rows.ratio("the same pair with 100,000 / 100 other running tasks",
               task.get("BM_TaskExecPair/SQLite/100000"), task.get("BM_TaskExecPair/SQLite/100"), 1.5)
    rows.ratio("the same pair on PostgreSQL / an advisory lock and unlock on the same server",
               task.get("BM_TaskExecPair/PostgreSQL/100"), task.get("BM_PgAdvisoryLockPair"), 20)
    completion = signon.get("BM_TokenLoginCompletion")
    rows.figure("completion of a token-built login (`ConstructLogin` then `Login`)", us(completion), "≤ 10 ms",
                completion is None or completion <= 10e3)
    password = signon.get("BM_PasswordCheck")
    rows.figure("the login service's password check (argon2id, slow by design)", us(password), "≥ 20 ms",
                password is None or password >= 20e3)

    echo = number(r"echo\s+(\d+) heartbeats/s", service)
    svc = number(r"service\s+(\d+) heartbeats/s", service)
    if echo and svc:
        r = svc / echo
        ok = r >= 0.5
        if not ok:
            rows.failed.append("heartbeats")
        p50 = number(r"service\s+\d+ heartbeats/s\s+p50\s+(\d+) us", service)
        p99 = number(r"service\s+\d+ heartbeats/s.*p99\s+(\d+) us", service)
        rows.rows.append(("heartbeats/s from 100 clients, `tarn service` / bare TCP echo",
                          f"{svc:,.0f} / {echo:,.0f} (p50 {us(p50)}, p99 {us(p99)})", f"{r:.2f}", "≥ 0.5",
                          "ok" if ok else "**over**"))
    rss = re.search(r"(\d+) KiB at start, (\d+) KiB with (\d+) known", service)
    if rss:
        start, known = int(rss.group(1)) / 1024, int(rss.group(2)) / 1024
        rows.figure(f"`tarn service` resident memory, at start / with {int(rss.group(3)):,} known clients",
                    f"{start:.1f} MiB / {known:.1f} MiB", "≤ 64 MiB", known <= 64)

    for name, label in (("task_stress_sqlite", "SQLite"), ("task_stress_postgres", "PostgreSQL")):
        text = read(os.path.join(out_dir, name + ".txt"))
        per_second = number(r"throughput (\d+) registrations/s", text)
        violations = number(r"violations (\d+)", text)
        orphans = number(r"orphan rows (\d+)", text)
        if per_second is None:
            rows.figure(f"8 stations × 1,000 registrations on {label}", "not measured", "0 violations, 0 orphans")
            continue
        rows.figure(f"8 stations × 1,000 registrations on {label}",
                    f"{per_second:,.0f}/s, {violations:.0f} violations, {orphans:.0f} orphan rows",
                    "0 violations, 0 orphans", violations == 0 and orphans == 0)

    table = rows.table()
    report = [
        "# Performance report",
        "",
        "Written by `scripts/bench` from one run of every benchmark; do not edit by hand. Each figure is",
        "the median of its repetitions; a ratio compares two figures measured side by side in the same run,",
        "against the limit it must keep.",
        "",
        *[f"- {line}" for line in machine],
        "",
        table,
        "",
        "Over the limit: " + (", ".join(rows.failed) if rows.failed else "nothing") + ".",
        "",
        "`scripts/bench` prints where it keeps the raw output of each program.",
        "",
    ]
    with open(os.path.join(root, "bench", "README.md"), "w") as f:
        f.write("\n".join(report))

    readme_path = os.path.join(root, "README.md")
    readme = open(readme_path).read()
    if BEGIN in readme and END in readme:
        head, rest = readme.split(BEGIN, 1)
        _, tail = rest.split(END, 1)
        summary = "\n".join([*[f"- {line}" for line in machine], "", table])
        with open(readme_path, "w") as f:
            f.write(head + BEGIN + "\n" + summary + "\n" + END + tail)
    return 1 if rows.failed else 0


if __name__ == "__main__":
    sys.exit(main())
