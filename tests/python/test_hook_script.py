"""The Node.js hook script, run with real `node` against a recording HTTP server.

Every run gets its own temporary home directory (HOME set, USERPROFILE
removed), so the real ~/.tavri and ~/.claude are never touched.
"""

import json
import os
import pathlib
import re
import shutil
import socket
import subprocess
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = REPO / "src" / "tavri" / "server" / "assets" / "observe_hook.mjs"
# Hook inputs captured from real Claude Code sessions (paths rewritten).
FIXTURES = REPO / "tests" / "fixtures" / "claude-code-hooks.jsonl"
INGEST = "/api/v1/ingest/event"
LOG_LINE = re.compile(r"^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] (.*)$")

# Variables the script reads; cleared so the caller's environment cannot leak in.
SCRIPT_VARS = [
    "USERPROFILE", "TAVRI_SERVER_URL", "TAVRI_SERVER_PORT", "CLAUDE_SESSION_ID",
    "CLAUDE_MODEL", "ANTHROPIC_MODEL", "ANTHROPIC_DEFAULT_MODEL", "OPENAI_MODEL",
    "DEEPSEEK_MODEL", "GEMINI_MODEL",
]

pytestmark = pytest.mark.skipif(shutil.which("node") is None, reason="node is not installed")


def fixture_lines():
    return [json.loads(l) for l in FIXTURES.read_text().splitlines() if l.strip()]


class Recorder:
    """A loopback HTTP server that records every request and answers as told."""

    def __init__(self, port=0, status=200, body=b'{"ok":true}'):
        self.requests = []
        self.status = status
        self.body = body
        recorder = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                length = int(self.headers.get("Content-Length", "0"))
                raw = self.rfile.read(length)
                recorder.requests.append(
                    {"path": self.path, "headers": dict(self.headers), "raw": raw,
                     "port": self.server.server_address[1]})
                self.send_response(recorder.status)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(recorder.body)))
                self.end_headers()
                self.wfile.write(recorder.body)

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def envelopes(self):
        return [json.loads(r["raw"]) for r in self.requests]

    def close(self):
        self.server.shutdown()
        self.server.server_close()


@pytest.fixture
def recorder():
    r = Recorder()
    yield r
    r.close()


@pytest.fixture
def home(tmp_path):
    h = tmp_path / "home"
    (h / ".tavri").mkdir(parents=True)
    shutil.copyfile(SCRIPT, h / ".tavri" / "observe_hook.mjs")
    return h


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_hook(home, payload, args=(), env=None, cwd=None):
    """Runs the installed script once; returns the completed process."""
    e = {k: v for k, v in os.environ.items() if k not in SCRIPT_VARS}
    e["HOME"] = str(home)
    e.update(env or {})
    text = payload if isinstance(payload, str) else json.dumps(payload)
    return subprocess.run(
        ["node", str(home / ".tavri" / "observe_hook.mjs"), *args],
        input=text.encode(), capture_output=True, env=e, timeout=30,
        cwd=cwd or str(home))


def log_messages(home):
    path = home / ".tavri" / "hook.log"
    if not path.exists():
        return []
    out = []
    for line in path.read_text().splitlines():
        m = LOG_LINE.match(line)
        assert m, f"malformed log line: {line!r}"
        out.append(m.group(1))
    return out


def assert_quiet(proc):
    assert proc.returncode == 0
    assert proc.stdout == b""


EXPECTED_FLAGS = {
    "SessionStart": {"startsSession": True, "clearsNotification": True},
    "SessionEnd": {"stopsSession": True},
    "Stop": {"stopsSession": True},
}


@pytest.mark.parametrize("hook_input", fixture_lines(),
                         ids=lambda h: f"{h['hook_event_name']}-{h.get('tool_name', '')}")
def test_fixture_inputs_become_envelopes(home, recorder, hook_input):
    before = int(time.time() * 1000)
    proc = run_hook(home, hook_input, ["--port", str(recorder.port)])
    after = int(time.time() * 1000)
    assert_quiet(proc)

    assert len(recorder.requests) == 1
    req = recorder.requests[0]
    assert req["path"] == INGEST
    assert req["headers"]["Content-Type"] == "application/json"
    assert req["headers"]["User-Agent"] == "Tavri-Observe/0.3.0"
    assert int(req["headers"]["Content-Length"]) == len(req["raw"])

    env = json.loads(req["raw"])
    assert list(env) == ["agentClass", "sessionId", "agentId", "hookName", "toolName",
                         "payload", "cwd", "timestamp", "flags"]
    assert env["agentClass"] == "claude-code"
    assert env["sessionId"] == hook_input["session_id"]
    assert env["agentId"] == "root"
    assert env["hookName"] == hook_input["hook_event_name"]
    assert env["toolName"] == hook_input.get("tool_name", "")
    assert env["payload"] == hook_input
    assert env["cwd"] == hook_input["cwd"]
    assert isinstance(env["timestamp"], int) and before <= env["timestamp"] <= after
    assert env["flags"] == EXPECTED_FLAGS.get(hook_input["hook_event_name"], {})

    assert log_messages(home) == [
        f"OK {hook_input['hook_event_name']} session={hook_input['session_id']}"]


@pytest.mark.parametrize("case", [
    {"id": "session id from env", "input": {"agent_id": "a1"}, "env": {"CLAUDE_SESSION_ID": "env-s"},
     "sessionId": "env-s", "agentId": "a1"},
    {"id": "input session id wins", "input": {"session_id": "s1"}, "env": {"CLAUDE_SESSION_ID": "env-s"},
     "sessionId": "s1", "agentId": "root"},
    {"id": "subagent id fallback", "input": {"subagent_id": "sub-7"}, "env": {},
     "sessionId": "unknown", "agentId": "sub-7"},
], ids=lambda c: c["id"])
def test_identity_fallbacks(home, recorder, case):
    hook_input = {"hook_event_name": "Notification", **case["input"]}
    assert_quiet(run_hook(home, hook_input, ["--port", str(recorder.port)], env=case["env"]))
    (env,) = recorder.envelopes()
    assert (env["sessionId"], env["agentId"]) == (case["sessionId"], case["agentId"])
    assert env["cwd"] == str(home)  # no cwd in the input: the script's own directory


@pytest.mark.parametrize("model_in, env, expected", [
    (None, {"CLAUDE_MODEL": "claude-x", "OPENAI_MODEL": "gpt"}, "claude-x"),
    (None, {"ANTHROPIC_MODEL": "", "OPENAI_MODEL": "gpt"}, "gpt"),
    (None, {"GEMINI_MODEL": "gemini-2"}, "gemini-2"),
    ("", {"DEEPSEEK_MODEL": "ds"}, "ds"),
    ("sonnet", {"CLAUDE_MODEL": "claude-x"}, "sonnet"),
    (None, {}, None),
])
def test_model_variable_is_copied_when_input_has_none(home, recorder, model_in, env, expected):
    hook_input = {"hook_event_name": "UserPromptSubmit", "session_id": "s", "prompt": "hi"}
    if model_in is not None:
        hook_input["model"] = model_in
    assert_quiet(run_hook(home, hook_input, ["--port", str(recorder.port)], env=env))
    (sent,) = recorder.envelopes()
    assert sent["payload"].get("model") == expected


def test_large_base64_images_are_redacted(home, recorder):
    big, edge = "A" * 150000, "B" * 100000
    hook_input = {
        "hook_event_name": "PostToolUse", "session_id": "s", "tool_name": "Read",
        "tool_response": [
            {"type": "image", "source": {"type": "base64", "data": big}},
            {"type": "image", "source": {"type": "base64", "data": edge}},
            {"type": "image", "source": {"type": "url", "data": big}},
            {"type": "text", "text": "caption"},
        ],
    }
    assert_quiet(run_hook(home, hook_input, ["--port", str(recorder.port)]))
    (sent,) = recorder.envelopes()
    resp = sent["payload"]["tool_response"]
    assert resp[0]["source"]["data"] == "[REDACTED]"
    assert resp[1]["source"]["data"] == edge
    assert resp[2]["source"]["data"] == big
    assert resp[3] == {"type": "text", "text": "caption"}


@pytest.mark.parametrize("case", [
    {"id": "--port beats port file", "args": ["--port", "{P}"], "port_file": "1", "env": {}},
    {"id": "port file", "args": [], "port_file": " {P}\n", "env": {"TAVRI_SERVER_PORT": "1"}},
    {"id": "--port 0 falls back to port file", "args": ["--port", "0"], "port_file": "{P}", "env": {}},
    {"id": "env port without port file", "args": [], "port_file": None,
     "env": {"TAVRI_SERVER_PORT": "{P}"}},
    {"id": "--url with trailing slashes", "args": ["--url", "http://127.0.0.1:{P}//"],
     "port_file": "1", "env": {}},
    {"id": "TAVRI_SERVER_URL", "args": [], "port_file": "1",
     "env": {"TAVRI_SERVER_URL": "http://127.0.0.1:{P}/"}},
], ids=lambda c: c["id"])
def test_target_selection(home, recorder, case):
    fill = lambda s: s.replace("{P}", str(recorder.port))
    if case["port_file"] is not None:
        (home / ".tavri" / "port").write_text(fill(case["port_file"]))
    proc = run_hook(home, {"hook_event_name": "Stop", "session_id": "s"},
                    [fill(a) for a in case["args"]],
                    env={k: fill(v) for k, v in case["env"].items()})
    assert_quiet(proc)
    assert [r["path"] for r in recorder.requests] == [INGEST]
    assert log_messages(home) == ["OK Stop session=s"]


def test_non_number_port_file_means_3000_even_with_env_port(home):
    try:
        r3000 = Recorder(port=3000)
    except OSError:
        pytest.skip("port 3000 is in use on this machine")
    other = Recorder()
    try:
        (home / ".tavri" / "port").write_text("not-a-port")
        proc = run_hook(home, {"hook_event_name": "Stop", "session_id": "s"},
                        env={"TAVRI_SERVER_PORT": str(other.port)})
        assert_quiet(proc)
        assert len(r3000.requests) == 1 and other.requests == []
    finally:
        r3000.close()
        other.close()


def test_server_error_status_is_logged_with_body_prefix(home):
    body = ("x" * 150 + "é" * 100).encode()
    r = Recorder(status=500, body=body)
    try:
        proc = run_hook(home, {"hook_event_name": "PostToolUse", "session_id": "s",
                               "tool_name": "Bash"}, ["--port", str(r.port)])
    finally:
        r.close()
    assert_quiet(proc)
    assert log_messages(home) == ["HTTP 500 PostToolUse: " + "x" * 150 + "é" * 50]


def test_unreachable_server_logs_err_and_stays_quiet(home):
    port = closed_port()
    proc = run_hook(home, {"hook_event_name": "PostToolUse", "session_id": "s"},
                    ["--port", str(port)])
    assert_quiet(proc)
    (msg,) = log_messages(home)
    assert msg.startswith("ERR PostToolUse: ")
    assert str(port) in msg


@pytest.mark.parametrize("raw, expected_log", [
    ('{"session_id": "s", "tool_name": "Bash"}',
     ['PARSE_FAIL: {"session_id": "s", "tool_name": "Bash"}']),
    ("[1, 2]", ["PARSE_FAIL: [1, 2]"]),
    ('{"hook_event_name": "Stop", ' + '"pad": "' + "p" * 300 + '"}',
     None),  # valid: sent, not a parse failure
    ("{not json " + "z" * 300, "BUILD_ERR"),
    ("   \n\t ", []),
    ("", []),
])
def test_unusable_input_sends_nothing(home, recorder, raw, expected_log):
    proc = run_hook(home, raw, ["--port", str(recorder.port)])
    assert_quiet(proc)
    msgs = log_messages(home)
    if expected_log is None:
        assert len(recorder.requests) == 1
        return
    assert recorder.requests == []
    if expected_log == "BUILD_ERR":
        assert len(msgs) == 2
        assert msgs[0].startswith("BUILD_ERR: ")
        assert msgs[1] == "PARSE_FAIL: " + raw[:200]
    else:
        assert msgs == expected_log
