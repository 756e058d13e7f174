"""Session store benchmark: start-up with 10,000 stored sessions of 200
events each, the 30-second periodic save of that store under a stream of
health requests, and the save at shutdown.

Run after `bash scripts/install.sh` (which installs tavri_sdk):

    python bench/bench_store.py [--sessions 10000] [--events 200] [--port 0]

Everything happens in a temporary home directory (HOME and USERPROFILE are
set for the server process), removed at the end. Takes about 1-2 minutes;
it is a measurement, not a test.

Figures printed:
  load+bind      spawn of the server process until /api/v1/health answers
  periodic save  first to last session file rewritten by the 30 s save
  health stall   longest health request round trip while that save ran
                 (and over the whole run, for comparison)
  shutdown save  "Saving sessions before exit..." to "Shutdown complete."
"""

import argparse
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_events(n, sid):
    events = []
    base = 1_700_000_000
    for i in range(n):
        ts = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(base + i)) + ".250Z"
        if i % 2 == 0:
            events.append({"type": "tool_call_start", "agent_id": sid, "tool": "Read",
                           "args": {"file_path": f"/repo/src/file_{i % 37}.py"}, "timestamp": ts})
        else:
            events.append({"type": "tool_call_end", "agent_id": sid, "tool": "Read",
                           "result": {"content": "ok " * 10, "is_error": False, "duration_ms": 12,
                                      "token_count": 30}, "timestamp": ts})
    events.reverse()  # files list newest first
    return events


def generate(sessions_dir, count, events_per):
    os.makedirs(sessions_dir)
    template = make_events(events_per, "AGENT")
    text_events = json.dumps(template)
    for k in range(count):
        sid = f"bench-{k:05d}"
        doc = {"id": sid, "task": "benchmark task", "agent_type": "claude-code", "preset": "claude-code",
               "status": "running", "event_count": events_per, "total_input_tokens": 1000,
               "total_output_tokens": 500, "prompt_history": ["do the thing"], "events": "@EVENTS@"}
        text = json.dumps(doc).replace('"@EVENTS@"', text_events.replace("AGENT", sid))
        with open(os.path.join(sessions_dir, sid + ".json"), "w") as f:
            f.write(text)


class Output:
    def __init__(self, stream):
        self.lines = []  # (monotonic time, text)
        self.cv = threading.Condition()
        threading.Thread(target=self.pump, args=(stream,), daemon=True).start()

    def pump(self, stream):
        for line in stream:
            with self.cv:
                self.lines.append((time.monotonic(), line.rstrip("\n")))
                self.cv.notify_all()

    def wait(self, pred, timeout):
        end = time.monotonic() + timeout
        with self.cv:
            while True:
                for t, l in self.lines:
                    if pred(l):
                        return t, l
                if time.monotonic() > end:
                    raise TimeoutError(f"waited for output; got {[l for _, l in self.lines]}")
                self.cv.wait(0.2)


def hammer(port, stop, samples):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    while not stop.is_set():
        t0 = time.monotonic()
        conn.request("GET", "/api/v1/health")
        conn.getresponse().read()
        t1 = time.monotonic()
        samples.append((t0, t1 - t0))
        time.sleep(0.002)
    conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sessions", type=int, default=10_000)
    ap.add_argument("--events", type=int, default=200)
    ap.add_argument("--port", type=int, default=0)
    args = ap.parse_args()

    home = tempfile.mkdtemp(prefix="tavri-bench-")
    sessions_dir = os.path.join(home, ".tavri", "sessions")
    try:
        t = time.monotonic()
        generate(sessions_dir, args.sessions, args.events)
        size = sum(os.path.getsize(os.path.join(sessions_dir, n)) for n in os.listdir(sessions_dir))
        print(f"generated {args.sessions} files x {args.events} events "
              f"({size / 1e6:.0f} MB) in {time.monotonic() - t:.1f} s")

        port = args.port or free_port()
        env = dict(os.environ, HOME=home, USERPROFILE=home)
        spawn = time.monotonic()
        proc = subprocess.Popen([sys.executable, "-c", f"import tavri_sdk; tavri_sdk.serve({port})"],
                                env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        out = Output(proc.stdout)
        _, banner = out.wait(lambda l: l.startswith("  http://"), 300)
        port = int(banner.rsplit(":", 1)[1])
        # The server's start-up clock: the first request pins uptime to 0.
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        conn.request("GET", "/api/v1/health")
        conn.getresponse().read()
        conn.close()
        ready = time.monotonic()
        loaded = [l for _, l in out.lines if l.startswith("Loaded ")]
        print(f"load+bind: {ready - spawn:.2f} s from spawn to first health answer ({loaded[0] if loaded else 'none loaded'})")

        # Hammer health through the first periodic save (30 s after start).
        stop = threading.Event()
        samples = []
        workers = [threading.Thread(target=hammer, args=(port, stop, samples)) for _ in range(2)]
        for w in workers:
            w.start()
        names = [n for n in os.listdir(sessions_dir) if n.endswith(".json")]
        generated_at = max(os.path.getmtime(os.path.join(sessions_dir, n)) for n in names)
        deadline = time.monotonic() + 120
        # Wait until every file has been rewritten by the periodic save.
        while True:
            mtimes = [os.path.getmtime(os.path.join(sessions_dir, n)) for n in names]
            if min(mtimes) > generated_at or time.monotonic() > deadline:
                break
            time.sleep(0.5)
        stop.set()
        for w in workers:
            w.join()
        save_begin, save_end = min(mtimes), max(mtimes)
        save_secs = save_end - save_begin
        mono_offset = time.monotonic() - time.time()
        win0, win1 = save_begin + mono_offset, save_end + mono_offset
        during = [d for t0, d in samples if win0 - 0.05 <= t0 <= win1]
        print(f"periodic save: {len(mtimes)} files in {save_secs:.2f} s "
              f"(began {win0 - ready:.1f} s after the first health answer)")
        print(f"health stall: longest {max(during) * 1000 if during else float('nan'):.1f} ms during the save "
              f"({len(during)} requests), longest {max(d for _, d in samples) * 1000:.1f} ms overall "
              f"({len(samples)} requests)")

        proc.send_signal(signal.SIGINT)
        t_save, _ = out.wait(lambda l: l == "Saving sessions before exit...", 120)
        t_done, _ = out.wait(lambda l: l == "Shutdown complete.", 300)
        rc = proc.wait(timeout=60)
        print(f"shutdown save: {t_done - t_save:.2f} s for {args.sessions} sessions (exit code {rc})")
    finally:
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
