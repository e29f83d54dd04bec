# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the benchmark results into docs/benchmarks.md, between its two benchmark markers.

Usage: report.py <docs/benchmarks.md> <machine file> <run file>...  (files of "<key> <value>" lines)
"""
import re
import sys

BEGIN, END = "<!-- benchmarks: begin -->", "<!-- benchmarks: end -->"


def load(path):
    values = {}
    with open(path) as f:
        for line in f:
            parts = line.split(None, 1)
            if len(parts) == 2 and not line.startswith("#"):
                values[parts[0]] = parts[1].strip()
    return values


def num(run, key):
    return float(run[key])


def latency(kind, floor):
    def cell(r):
        a, f = num(r, kind + ".median_ms"), num(r, floor + ".median_ms")
        p99 = num(r, kind + ".p99_ms")
        met = a <= f + 1 and p99 < 5
        return "%.2f / %.2f (%.1f×), p99 %.2f / %.2f" % (
            a, f, a / f, p99, num(r, floor + ".p99_ms")), met
    return cell


def stream(kind):
    def cell(r):
        cpu, floor = num(r, kind + ".cpu_percent"), num(r, "stream.floor.cpu_percent")
        missing = max(abs(num(r, kind + ".missing_x")), abs(num(r, kind + ".missing_y")))
        lost = "none lost" if missing <= 0.5 else "%.1f px missing" % missing
        return "%.1f %% / %.1f %% (%.1f×), %s" % (cpu, floor, cpu / floor, lost), \
            cpu < 25 and missing <= 0.5
    return cell


def clients(r):
    p99, floor = num(r, "clients.agent.p99_ms"), num(r, "clients.floor.p99_ms")
    missing = max(abs(num(r, "clients.agent.missing_x")), abs(num(r, "clients.agent.missing_y")))
    lost = int(num(r, "clients.agent.lost_replies"))
    ok = missing <= 0.5 and lost == 0
    return "p99 %.2f / %.2f ms (%.1f×), median %.2f / %.2f, %s" % (
        p99, floor, p99 / floor, num(r, "clients.agent.median_ms"),
        num(r, "clients.floor.median_ms"),
        "none lost" if ok else "%d replies and %.1f px lost" % (lost, missing)), p99 < 8 and ok


def idle(r):
    cpu, floor = num(r, "idle.agent_cpu_ms"), num(r, "idle.floor_cpu_ms")
    wakeups = int(num(r, "idle.input_thread_wakeups"))
    ratio = "%.1f×" % (cpu / floor) if floor > 0.05 else "—"
    return "%.1f / %.1f ms (%s), input thread woke %d times" % (cpu, floor, ratio, wakeups), \
        cpu < 50 and wakeups == 0


def memory(r):
    mb = lambda k: num(r, k) / 1024
    one, five, ten = (mb("memory.agent_rss_%s_kb" % n) for n in ("1m", "5m", "10m"))
    return "%.1f → %.1f → %.1f → %.1f MB; floor %.1f → %.1f MB" % (
        mb("memory.agent_rss_start_kb"), one, five, ten, mb("memory.floor_rss_start_kb"),
        mb("memory.floor_rss_1m_kb")), ten - one < 40


def start(r):
    a, f = num(r, "start.agent.median_ms"), num(r, "start.floor.median_ms")
    return "%.0f / %.0f ms (%.1f×), slowest %.0f" % (a, f, a / f, num(r, "start.agent.max_ms")), \
        a < 300


def typing(r):
    kinds = ("layout", "lent", "relent")
    layout, lent, relent = (num(r, "typing.%s.chars_per_s" % k) for k in kinds)
    wrong = sum(int(num(r, "typing.%s.wrong_texts" % k)) for k in kinds)
    return "%.0f / %.0f / %.0f, %s" % (
        layout, lent, relent, "none lost" if wrong == 0 else "%d texts wrong" % wrong), \
        layout >= 500 and lent >= 200 and relent >= 200 and wrong == 0


def desktops(r):
    rates = [r["typing.layout.chars_per_s"]] + [
        r["typing.%s.chars_per_s" % d] for d in ("gnome", "kde", "sway")]
    return " / ".join(rates), all(rate.isdigit() for rate in rates)


def xtest(r):
    return "motion %s µs, smoothing step %s µs, wheel click %s µs" % (
        r["xtest.motion_us"], r["xtest.step_us"], r["xtest.wheel_us"]), None


ROWS = [
    ("`mv` to the first raw motion, single moves 300 ms apart, JSON: median / floor",
     "median ≤ floor + 1 ms, p99 < 5 ms", latency("latency.single.json", "latency.floor.single")),
    ("the same, binary message", "the same", latency("latency.single.binary", "latency.floor.single")),
    ("`mv` right after a volume key, sound server stopped, moves 300 ms apart, JSON",
     "the same as single moves", latency("latency.volume_key", "latency.floor.single")),
    ("`mv` to the first raw motion inside a 60 Hz stream, JSON",
     "median ≤ floor + 1 ms, p99 < 5 ms", latency("latency.stream.json", "latency.floor.stream")),
    ("the same, binary message", "the same", latency("latency.stream.binary", "latency.floor.stream")),
    ("one client, 10,000 `mv`/s for 10 s, JSON: agent CPU / floor",
     "< 25 % of a core, none lost", stream("stream.json")),
    ("the same, binary messages", "the same", stream("stream.binary")),
    ("50 clients × 60 messages/s for 10 s: ping round trip",
     "p99 < 8 ms, nothing lost", clients),
    ("a connected phone idle for 30 s: agent CPU / floor",
     "< 50 ms, smoothing timer stopped", idle),
    ("resident memory: start → 1 M → 5 M → 10 M messages",
     "levels off: 1 M → 10 M adds < 40 MB (queued messages would add 2 GB)", memory),
    ("start to the port accepting connections: median / floor", "< 300 ms", start),
    ("characters per second typed into a GTK 3 entry: layout text / text of 16 other "
     "characters, each lent a spare key once / of 57, more than there are spare keys",
     "≥ 500 / ≥ 200 / ≥ 200, nothing lost", typing),
    ("characters per second of layout text, one text of 600: X11 / GNOME / KDE / sway (GTK 3 "
     "entry; wev on sway)", "none lost; GNOME and KDE at their pace (≈ 75 and 85)", desktops),
    ("cost of posting through XTEST (flushed, server included)", "—", xtest),
]


def table(machine, runs):
    head = "| Measure | Goal | " + " | ".join("Run %d" % (i + 1) for i in range(len(runs)))
    lines = [head + " |", "|---|---|" + "---|" * len(runs)]
    for name, goal, cell in ROWS:
        cells = []
        for r in runs:
            try:
                text, met = cell(r)
            except (KeyError, ValueError, ZeroDivisionError):
                text, met = "not measured", False
            cells.append(text + ("" if met is None else " ✓" if met else " ✗"))
        lines.append("| %s | %s | %s |" % (name, goal, " | ".join(cells)))
    leaks = runs[0].get("leaks.reports")
    lines.append("")
    lines.append("Measured %s on %s (%s, %s). Times in ms unless marked; each figure is the "
                 "agent's, then its floor's, then their ratio. LeakSanitizer, sanitized agent "
                 "after 200,000 messages: %s (exit status %s)." % (
                     machine["when"], machine["machine"], machine["software"], "release build",
                     "no leak" if leaks == "0" else "%s reports" % leaks,
                     runs[0].get("leaks.exit_status")))
    return "\n".join(lines)


def main():
    readme, machine_file, run_files = sys.argv[1], sys.argv[2], sys.argv[3:]
    machine = load(machine_file)
    text = table(machine, [load(p) for p in run_files])
    with open(readme) as f:
        content = f.read()
    if BEGIN not in content or END not in content:
        sys.exit("%s has no benchmark markers" % readme)
    content = re.sub(re.escape(BEGIN) + ".*?" + re.escape(END),
                     lambda _: BEGIN + "\n" + text + "\n" + END, content, flags=re.S)
    with open(readme, "w") as f:
        f.write(content)
    print(text)


if __name__ == "__main__":
    main()
