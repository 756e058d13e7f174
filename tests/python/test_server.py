"""The dashboard server over real HTTP: start-up lines, port probing, the
health routes, the request layer (fallback page, cross-origin preflight,
405, body limit) and the shutdown save."""

import http.client
import json
import socket
import time

import pytest

from conftest import find_free_ports

RULE = "=" * 40


def request(port, method, path, body=None, headers=None, conn=None):
    c = conn or http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request(method, path, body=body, headers=headers or {})
    r = c.getresponse()
    data = r.read()
    if conn is None:
        c.close()
    return r, data


def get_json(port, path, conn=None):
    r, data = request(port, "GET", path, conn=conn)
    assert r.status == 200
    return json.loads(data)


def serve_lines(port):
    return [f"Starting Tavri server (port {port})...", "Press Ctrl+C to stop", ""]


def banner(port):
    return [RULE, "  Tavri Dashboard", f"  http://127.0.0.1:{port}", RULE, "  Press Ctrl+C to stop", ""]


def test_banner_health_counters_and_shutdown(start_server, free_port, tmp_home):
    srv = start_server(free_port)
    assert srv.wait_ready() == free_port
    assert srv.lines[:9] == serve_lines(free_port) + banner(free_port)

    # Uptime counts from the first health request, not from start-up.
    time.sleep(1.2)
    conn = http.client.HTTPConnection("127.0.0.1", free_port, timeout=30)  # one keep-alive connection
    first = get_json(free_port, "/api/v1/health", conn)
    assert first == {"status": "ok", "uptime_secs": 0, "requests": 1}
    assert get_json(free_port, "/api/v1/health", conn)["requests"] == 2
    status = get_json(free_port, "/api/v1/status", conn)
    assert status["requests"] == 2 and status["version"] == "0.3.0"
    assert list(status) == sorted(status)
    assert get_json(free_port, "/api/v1/health/readiness", conn) == {
        "ready": True, "store": "in_memory", "version": "0.3.0"}
    conn.close()

    assert srv.interrupt() == 0
    assert srv.lines[-3:] == ["", "Saving sessions before exit...", "Shutdown complete."]
    assert (tmp_home / ".tavri" / "sessions").is_dir()


PREFLIGHTS = [
    ("http://example.com", "PUT", "x-custom, content-type", "/api/v1/health"),
    ("null", "DELETE", None, "/api/v1/sessions/abc"),
    ("http://localhost:5173", "PATCH", "authorization", "/no/such/route"),
]


@pytest.fixture(scope="module")
def shared_server(tmp_path_factory):
    from conftest import ServerProcess
    home = tmp_path_factory.mktemp("home")
    srv = ServerProcess(find_free_ports(1), home)
    srv.wait_ready()
    yield srv
    srv.kill()


@pytest.mark.parametrize("origin,method,req_headers,path", PREFLIGHTS)
def test_preflight_is_permissive(shared_server, origin, method, req_headers, path):
    headers = {"Origin": origin, "Access-Control-Request-Method": method}
    if req_headers:
        headers["Access-Control-Request-Headers"] = req_headers
    r, _ = request(shared_server.bound_port, "OPTIONS", path, headers=headers)
    assert r.status in (200, 204)
    assert r.getheader("Access-Control-Allow-Origin") == "*"
    allowed = r.getheader("Access-Control-Allow-Methods")
    assert allowed == "*" or method in allowed
    if req_headers:
        allowed_h = r.getheader("Access-Control-Allow-Headers").lower()
        assert allowed_h == "*" or all(h.strip() in allowed_h for h in req_headers.split(","))


@pytest.mark.parametrize("method,path,status,kind", [
    ("GET", "/some/client/route", 200, "html"),
    ("POST", "/does/not/exist", 200, "html"),
    ("GET", "/", 200, "html"),
    ("POST", "/api/v1/health", 405, "json"),
    ("DELETE", "/api/v1/status", 405, "json"),
    ("PUT", "/api/v1/health/readiness", 405, "json"),
])
def test_routing_fallback_and_wrong_methods(shared_server, method, path, status, kind):
    r, data = request(shared_server.bound_port, method, path, headers={"Origin": "http://x"})
    assert r.status == status
    assert r.getheader("Access-Control-Allow-Origin") == "*"
    if kind == "html":
        assert r.getheader("Content-Type").startswith("text/html")
        assert b"<title>Tavri Dashboard</title>" in data
    else:
        assert "error" in json.loads(data)


def test_oversized_body_is_refused_with_413(shared_server):
    body = b"x" * (16 * 1024 * 1024 + 1)
    r, data = request(shared_server.bound_port, "POST", "/api/v1/health", body=body,
                      headers={"Content-Type": "application/json"})
    assert r.status == 413
    assert "error" in json.loads(data)
    # The server is still healthy afterwards.
    assert get_json(shared_server.bound_port, "/api/v1/health/readiness")["ready"] is True


def test_garbage_request_gets_400_not_a_crash(shared_server):
    with socket.create_connection(("127.0.0.1", shared_server.bound_port), timeout=10) as s:
        s.sendall(b"NOT A REQUEST\x00\x01\r\n\r\n")
        reply = s.recv(4096)
    assert reply.startswith(b"HTTP/1.1 400")
    assert get_json(shared_server.bound_port, "/api/v1/health/readiness")["ready"] is True


def test_port_in_use_moves_to_the_next_port(start_server, tmp_home):
    base = find_free_ports(2)
    blocker = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    blocker.bind(("127.0.0.1", base))
    blocker.listen(1)
    try:
        srv = start_server(base)
        assert srv.wait_ready() == base + 1
        in_use = [l for l in srv.lines if "is in use" in l]
        assert in_use == [f"Port {base} is in use, trying port {base + 1}..."]
        assert get_json(base + 1, "/api/v1/health/readiness")["ready"] is True
        port_file = tmp_home / ".tavri" / "port"
        assert port_file.read_text().strip() == str(base + 1)
        assert srv.interrupt() == 0
    finally:
        blocker.close()


def test_no_free_port_fails_after_three_lines(start_server):
    base = None
    blockers = []
    for _ in range(20):
        base = find_free_ports(101)
        try:
            for p in range(base, base + 101):
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                blockers.append(s)
                s.bind(("127.0.0.1", p))
                s.listen(1)
            break
        except OSError:
            for s in blockers:
                s.close()
            blockers = []
    assert blockers, "could not occupy 101 consecutive ports"
    try:
        srv = start_server(base)
        rc = srv.finish(timeout=60)
        assert rc != 0
        assert srv.lines[:3] == serve_lines(base)
        assert srv.lines[3] == f"Port {base} is in use, trying port {base + 1}..."
        assert len([l for l in srv.lines if "is in use" in l]) == 101
        assert not any(l.startswith("  http://") for l in srv.lines)
        message = f"No free port found between {base} and {base + 100}"
        assert any(message in l for l in srv.err_lines), srv.err_lines
    finally:
        for s in blockers:
            s.close()


def test_stored_sessions_are_loaded_and_saved_at_exit(start_server, free_port, tmp_home):
    sessions = tmp_home / ".tavri" / "sessions"
    sessions.mkdir(parents=True)
    (sessions / "one.json").write_text(json.dumps({"id": "one", "status": "cancelled", "event_count": 3}))
    (sessions / "two.json").write_text(json.dumps({"id": "two", "status": "completed"}))
    (sessions / "broken.json").write_text("{")
    (sessions / "ignored.JSON").write_text(json.dumps({"id": "ignored"}))

    srv = start_server(free_port)
    srv.wait_ready()
    assert srv.lines[3] == "Loaded 2 historical sessions"
    assert srv.interrupt() == 0

    one = json.loads((sessions / "one.json").read_text())
    assert one["status"] == "pending" and one["event_count"] == 3
    assert json.loads((sessions / "two.json").read_text())["status"] == "completed"
    assert (sessions / "one.json").read_text().startswith('{\n  "agent_type": "solo",')
    leftovers = sorted(p.name for p in sessions.iterdir())
    assert leftovers == ["broken.json", "ignored.JSON", "one.json", "two.json"]


def test_installed_hook_command_posts_to_the_running_server(start_server, free_port, tmp_home):
    """The command the server registers in Claude Code's settings, run by
    real node with a captured hook input, reaches this server."""
    import shlex
    import shutil
    import subprocess
    from pathlib import Path

    if shutil.which("node") is None:
        pytest.skip("node is not installed")
    srv = start_server(free_port)
    port = srv.wait_ready()
    settings = json.loads((tmp_home / ".claude" / "settings.json").read_text())
    commands = [h["command"] for g in settings["hooks"]["PostToolUse"] for h in g["hooks"]]
    node_cmd = next(c for c in commands if c.startswith("node "))
    assert node_cmd.endswith(f"--port {port}")
    fixtures = Path(__file__).resolve().parents[1] / "fixtures" / "claude-code-hooks.jsonl"
    line = next(l for l in fixtures.read_text().splitlines() if '"PostToolUse"' in l)
    env = {"HOME": str(tmp_home), "USERPROFILE": str(tmp_home), "PATH": "/usr/bin:/bin:/usr/local/bin"}
    done = subprocess.run(shlex.split(node_cmd), input=line, capture_output=True, text=True, env=env, timeout=30)
    assert done.returncode == 0 and done.stdout == ""
    log = (tmp_home / ".tavri" / "hook.log").read_text()
    session = json.loads(line)["session_id"]
    assert f"] OK PostToolUse session={session}" in log
    assert srv.interrupt() == 0
