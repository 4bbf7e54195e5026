#!/usr/bin/env python3
"""Writes the performance report from one run of scripts/bench.

Reads OUT_DIR as scripts/bench leaves it: roundN/*.json (Google Benchmark,
one measurement of every figure per round), password.json, the text output
of service_bench (its own paired rounds) and task_stress, and machine.txt.
Writes bench/README.md and puts the same table between the markers of the
README's Benchmarks section. Exits 1 when a figure misses its goal.

    bench_report.py OUT_DIR ROOT
"""
import glob
import json
import os
import re
import statistics
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


class Rounds:
    """The figures of every round: (file, benchmark) -> [time per round]."""

    def __init__(self, out_dir):
        self.rounds = []
        for d in sorted(glob.glob(os.path.join(out_dir, "round*")), key=lambda p: int(p.rsplit("round", 1)[1])):
            self.rounds.append({f: load_gbench(os.path.join(d, f + ".json"))
                                for f in ("db_bench", "task_bench", "signon_bench")})

    def series(self, file, name):
        return [r[file][name] for r in self.rounds if name in r.get(file, {})]

    def pairs(self, file, a, b):
        """Per-round (a, b), from rounds that measured both."""
        return [(r[file][a], r[file][b]) for r in self.rounds
                if a in r.get(file, {}) and b in r.get(file, {})]


def spread(values, fmt):
    return f"{fmt(min(values))} to {fmt(max(values))}"


class Rows:
    def __init__(self):
        self.rows = []
        self.failed = []

    def add(self, what, figure, ratio, goal, ok, spread_text):
        if ok is False:
            self.failed.append(what)
        verdict = "skipped" if ok is None else ("ok" if ok else "**over its goal**")
        self.rows.append((what, figure, ratio, spread_text, goal, verdict))

    def ratio(self, what, pairs, goal, at_most=True):
        """A figure against its peer, round by round: the median of the rounds' ratios."""
        sign = "≤" if at_most else "≥"
        if not pairs:
            self.add(what, "not measured", "", f"{sign} {goal}×", None, "")
            return
        ratios = [a / b for a, b in pairs]
        r = statistics.median(ratios)
        a = statistics.median(p[0] for p in pairs)
        b = statistics.median(p[1] for p in pairs)
        ok = r <= goal if at_most else r >= goal
        self.add(what, f"{us(a)} / {us(b)}", f"{r:.2f}", f"{sign} {goal}×", ok,
                 f"{spread(ratios, lambda v: f'{v:.2f}')} ({len(pairs)} rounds)")

    def single(self, what, values, goal, ok_if):
        if not values:
            self.add(what, "not measured", "", goal, None, "")
            return
        m = statistics.median(values)
        self.add(what, us(m), "", goal, ok_if(m), f"{spread(values, us)} ({len(values)} rounds)")

    def table(self):
        out = ["| what | median (figure / peer) | ratio | spread of the rounds | goal | |",
               "|---|---|---|---|---|---|"]
        out += ["| " + " | ".join(r) + " |" for r in self.rows]
        return "\n".join(out)


def main():
    out_dir, root = sys.argv[1], sys.argv[2]
    rounds = Rounds(out_dir)
    service = read(os.path.join(out_dir, "service_bench.txt"))
    machine = read(os.path.join(out_dir, "machine.txt")).strip().splitlines()
    dirty = any(line.strip() == "dirty: 1" for line in machine)
    machine = [line for line in machine if not line.startswith("dirty:")]

    rows = Rows()
    rows.ratio("one indexed single-row SELECT, data layer / raw sqlite3",
               rounds.pairs("db_bench", "LayerSelect/100", "RawSelect/100"), 1.1)
    rows.ratio("the same SELECT with 100,000 / 100 rows in `UA_task`",
               rounds.pairs("db_bench", "LayerSelect/100000", "LayerSelect/100"), 1.5)
    rows.ratio("register + release of a function, `TaskExec` / its statements on raw sqlite3",
               rounds.pairs("task_bench", "BM_TaskExecPair/SQLite/100", "BM_RawSqlitePair"), 1.3)
    rows.ratio("the same pair with 100,000 / 100 running tasks in other account sets",
               rounds.pairs("task_bench", "BM_TaskExecPair/SQLite/100000", "BM_TaskExecPair/SQLite/100"), 1.5)
    rows.ratio("the same pair with 10,000 / 100 running tasks in its own account set and year",
               rounds.pairs("task_bench", "BM_TaskExecPairSameAccount/SQLite/10000",
                            "BM_TaskExecPairSameAccount/SQLite/100"), 1.5)
    rows.ratio("the same pair on PostgreSQL / `pg_try_advisory_lock` + unlock on the same server",
               rounds.pairs("task_bench", "BM_TaskExecPair/PostgreSQL/100", "BM_PgAdvisoryLockPair"), 5)
    rows.single("completion of a token-built login (`ConstructLogin` then `Login`), SQLite",
                rounds.series("signon_bench", "BM_TokenLoginCompletion"), "≤ 0.5 ms", lambda m: m <= 500)
    password = load_gbench(os.path.join(out_dir, "password.json")).get("BM_PasswordCheck")
    rows.add("the login service's password check (argon2id, slow by design)", us(password), "", "≥ 20 ms",
             None if password is None else password >= 20e3, "one run")

    ratio = number(r"service/echo throughput ([\d.]+) median", service)
    if ratio is not None:
        low = number(r"median of the rounds' ratios, ([\d.]+) to", service)
        high = number(r"median of the rounds' ratios, [\d.]+ to ([\d.]+)", service)
        n = number(r"(\d+) paired rounds", service)
        svc = re.search(r"service\s+(\d+) heartbeats/s\s+p50\s+(\d+) us\s+p99\s+(\d+) us", service)
        echo = re.search(r"echo\s+(\d+) heartbeats/s\s+p50\s+(\d+) us\s+p99\s+(\d+) us", service)
        figure = (f"{int(svc.group(1)):,}/s (p50 {us(float(svc.group(2)))}, p99 {us(float(svc.group(3)))}) / "
                  f"{int(echo.group(1)):,}/s (p50 {us(float(echo.group(2)))}, p99 {us(float(echo.group(3)))})")
        rows.add("heartbeats/s from 100 clients, `tarn service` / a bare TCP echo", figure, f"{ratio:.2f}",
                 "≥ 0.9×", ratio >= 0.9 and "REPLY ERRORS" not in service,
                 f"{low:.2f} to {high:.2f} ({n:.0f} rounds)")
    else:
        rows.add("heartbeats/s from 100 clients, `tarn service` / a bare TCP echo", "not measured", "", "≥ 0.9×",
                 False, "")
    rss = re.search(r"(\d+) KiB at start, (\d+) KiB with (\d+) known", service)
    if rss:
        start, known = int(rss.group(1)) / 1024, int(rss.group(2)) / 1024
        rows.add(f"`tarn service` resident memory, at start / with {int(rss.group(3)):,} known clients",
                 f"{start:.1f} MiB / {known:.1f} MiB", "", "≤ 64 MiB", known <= 64, "one run")

    for name, label in (("task_stress_sqlite", "SQLite"), ("task_stress_postgres", "PostgreSQL")):
        text = read(os.path.join(out_dir, name + ".txt"))
        per_second = number(r"throughput (\d+) registrations/s", text)
        violations = number(r"violations (\d+)", text)
        orphans = number(r"orphan rows (\d+)", text)
        what = f"8 stations × 1,000 registrations on {label}"
        if per_second is None:
            rows.add(what, "not measured", "", "0 violations, 0 orphans", None, "")
            continue
        rows.add(what, f"{per_second:,.0f}/s, {violations:.0f} violations, {orphans:.0f} orphan rows", "",
                 "0 violations, 0 orphans", violations == 0 and orphans == 0, "one run")

    warning = []
    if dirty:
        warning = [
            r"$\color{red}{\textsf{WRITTEN FROM A TREE WITH UNCOMMITTED CHANGES: NOT THE COMMIT NAMED BELOW}}$",
            "",
            "**⚠ Written from a tree with uncommitted changes: these figures are not the commit's.**",
            "",
        ]
    table = rows.table()
    verdict = ("Every figure is within its goal." if not rows.failed else
               "**Over its goal: " + "; ".join(rows.failed) + ".**")
    report = [
        "# Performance report",
        "",
        *warning,
        "Written by `scripts/bench` from one run; do not edit by hand. Each round measures every figure and",
        "its peer back to back on the same machine; a ratio is the median of the rounds' own ratios, and",
        "its spread is the lowest and highest of them. The data layer's and task control's figures take,",
        "in each round, the median of short repetitions of each side (9 and 5), interleaved at random, so",
        "that a slow moment of the machine falls on both sides alike. The goals are the project's, not",
        "what was measured.",
        "",
        *[f"- {line}" for line in machine],
        "",
        table,
        "",
        verdict,
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
        summary = "\n".join([*warning, *[f"- {line}" for line in machine], "", table, "", verdict])
        with open(readme_path, "w") as f:
            f.write(head + BEGIN + "\n" + summary + "\n" + END + tail)
    return 1 if rows.failed else 0


if __name__ == "__main__":
    sys.exit(main())
