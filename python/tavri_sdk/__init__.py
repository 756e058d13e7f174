"""tavri_sdk: an agent harness that observes AI agents, detects failure
patterns and chooses interventions, plus a local dashboard server.

Everything is implemented in the compiled module ``tavri_sdk._tavri_sdk``;
this package re-exports its names.
"""

from . import _tavri_sdk
from ._tavri_sdk import *  # noqa: F401,F403

__version__ = "0.3.0"
__all__ = [name for name in dir(_tavri_sdk) if not name.startswith("_")]
