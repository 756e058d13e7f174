"""The module frame, catalogue functions and harness objects, from Python."""

import inspect

import pytest

import tavri_sdk
from tavri_sdk import _tavri_sdk as m

PRESETS = [
    "solo", "langgraph", "crewai", "autogen", "langchain", "openai-swarm", "semantic-kernel", "haystack",
    "dspy", "llamaindex", "taskweaver", "agno", "atomic-agents", "bee-agent", "pydantic-ai", "claude-code",
    "aider", "cline", "continue", "vercel-ai", "copilot", "cursor", "windsurf", "devin", "amazon-q",
    "replit-agent", "pearai", "bolt-new", "lovable", "v0", "custom",
]


def test_registration_order_version_and_reexports():
    names = [n for n in vars(m) if not n.startswith("__")]
    assert names == [
        "HarnessRunResult", "PyHarness", "create_harness", "quick_run", "list_presets", "list_detectors",
        "list_strategies", "list_observers", "get_version", "serve",
    ]
    assert m.__doc__ == ""
    assert m.get_version() == "0.3.0"
    assert tavri_sdk.__version__ == "0.3.0"
    assert tavri_sdk.quick_run is m.quick_run


def test_catalogues():
    assert m.list_presets() == PRESETS
    assert m.list_detectors() == [
        "loop", "stale_context", "cost_anomaly", "deadlock", "hallucination", "prompt_injection", "secret_leak",
        "variety_collapse", "conversation_stall", "goal_drift", "model_mismatch", "accuracy_risk", "runaway_cost",
        "resource_exhaustion", "output_degradation", "compliance_gap",
    ]
    assert m.list_strategies() == [
        "nudge", "degrade", "fork", "compact", "diversify", "reroute", "escalate", "rollback", "pause",
        "interject", "quarantine", "replace", "isolate", "circuit_break",
    ]
    assert m.list_observers() == [
        "token", "latency", "cost", "accuracy", "security", "reliability", "context_quality", "orch", "comm",
        "compliance", "memory", "diversity",
    ]
    first, second = m.list_presets(), m.list_presets()
    assert first == second and first is not second


@pytest.mark.parametrize(
    "obj, text",
    [
        (m.create_harness, '(preset="solo")'),
        (m.quick_run, '(task, preset="solo", turns=4)'),
        (m.list_presets, "()"),
        (m.list_detectors, "()"),
        (m.list_strategies, "()"),
        (m.list_observers, "()"),
        (m.get_version, "()"),
        (m.serve, "(port=3000)"),
        (m.PyHarness, '(preset="solo")'),
        (m.PyHarness.run, "($self, task)"),
        (m.PyHarness.run_with, '($self, task, preset="solo", turns=4)'),
        (m.PyHarness.dry_run, "($self, task)"),
        (m.HarnessRunResult.to_dict, "($self)"),
    ],
)
def test_text_signatures(obj, text):
    assert obj.__text_signature__ == text


def test_inspect_signature_and_docstrings():
    sig = inspect.signature(m.create_harness)
    assert str(sig) == "(preset='solo')"
    assert sig.parameters["preset"].default == "solo"
    assert list(inspect.signature(m.quick_run).parameters) == ["task", "preset", "turns"]
    assert inspect.signature(m.quick_run).parameters["turns"].default == 4
    assert m.serve.__doc__ == (
        "Start the Tavri dashboard server.\nTries port 3000, then 3001, 3002... until it finds a free one."
    )
    assert m.quick_run.__doc__ in ("", None)


@pytest.mark.parametrize("preset", PRESETS)
def test_worked_figures_for_every_preset(preset):
    assert m.quick_run("do it", preset, 4).observation_count == 9
    assert m.quick_run("do it", preset, 0).observation_count == 1
    assert m.quick_run("do it", preset, 1).observation_count == 3
    assert m.create_harness(preset).dry_run("do it").intervention_count == 0


def test_result_object():
    r = m.quick_run("any task")
    assert r.to_dict() == {
        "agent_id": "py-agent", "success": True, "observation_count": 9,
        "detection_count": r.detection_count, "intervention_count": r.intervention_count,
    }
    assert list(r.to_dict()) == ["agent_id", "success", "observation_count", "detection_count", "intervention_count"]
    assert r.success is True
    assert repr(r) == (
        f"HarnessRunResult(agent_id='py-agent', success=true, obs=9, det={r.detection_count}, "
        f"int={r.intervention_count})"
    )
    with pytest.raises(AttributeError):
        r.agent_id = "x"
    with pytest.raises(TypeError):
        m.HarnessRunResult()
    assert r.to_dict() is not r.to_dict()


def test_harness_objects():
    assert repr(m.create_harness()) == "PyHarness(preset='solo')"
    assert repr(m.create_harness("Claude")) == "PyHarness(preset='Claude')"
    assert repr(m.PyHarness()) == "PyHarness(preset='solo')"
    assert repr(m.PyHarness(preset="custom")) == "PyHarness(preset='custom')"
    h = m.create_harness("custom")
    assert not hasattr(h, "preset")
    assert h.run("t").observation_count == 9
    # run_with ignores the stored preset: without one it runs solo.
    assert h.run_with("t").to_dict() == m.quick_run("t", "solo").to_dict()
    assert h.run_with("t", turns=0).observation_count == 1
    assert m.quick_run("", "no-such-preset", 2).agent_id == "py-agent"


@pytest.mark.parametrize(
    "call, exc, word",
    [
        (lambda: m.quick_run("t", "solo", -1), OverflowError, "turns"),
        (lambda: m.quick_run("t", "solo", 4294967296), OverflowError, "turns"),
        (lambda: m.quick_run(5), TypeError, "task"),
        (lambda: m.quick_run(), TypeError, "task"),
        (lambda: m.quick_run("t", 3), TypeError, "preset"),
        (lambda: m.quick_run("t", "solo", 2.0), TypeError, "turns"),
        (lambda: m.quick_run("t", turns="4"), TypeError, "turns"),
        (lambda: m.quick_run("t", bogus=1), TypeError, "bogus"),
        (lambda: m.create_harness(1), TypeError, "preset"),
        (lambda: m.create_harness().run(), TypeError, "task"),
        (lambda: m.create_harness().run(b"bytes"), TypeError, "task"),
        (lambda: m.create_harness().dry_run(None), TypeError, "task"),
        (lambda: m.create_harness().run_with("t", "solo", -5), OverflowError, "turns"),
        (lambda: m.PyHarness(7), TypeError, "preset"),
        (lambda: m.serve("3000"), TypeError, "port"),
        (lambda: m.serve(70000), OverflowError, "port"),
        (lambda: m.serve(-1), OverflowError, "port"),
        (lambda: m.get_version(1), TypeError, ""),
    ],
)
def test_argument_errors(call, exc, word, capfd):
    with pytest.raises(exc) as info:
        call()
    assert word in str(info.value)
    out, _ = capfd.readouterr()
    assert out == ""  # serve raises before printing anything


def test_large_turns_return():
    # Capped: a huge count behaves like the cap and still returns.
    big = m.quick_run("t", "solo", 4294967295)
    assert big.observation_count == m.quick_run("t", "solo", 100000).observation_count
    assert big.observation_count > 9
