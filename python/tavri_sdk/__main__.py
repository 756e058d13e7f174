"""Command line: ``python -m tavri_sdk`` (or ``tavri``).

    tavri serve [--port 3000]          start the dashboard server
    tavri run TASK [--preset P] [--turns N]   run a task through the simulated agent
    tavri presets                      list the presets
"""

import argparse
import sys

from . import _tavri_sdk as sdk


def main(argv=None):
    parser = argparse.ArgumentParser(prog="tavri", description="Tavri agent harness")
    sub = parser.add_subparsers(dest="command")
    p_serve = sub.add_parser("serve", help="start the dashboard server")
    p_serve.add_argument("--port", type=int, default=3000)
    p_run = sub.add_parser("run", help="run a task through the simulated agent")
    p_run.add_argument("task")
    p_run.add_argument("--preset", default="solo")
    p_run.add_argument("--turns", type=int, default=4)
    sub.add_parser("presets", help="list the presets")
    args = parser.parse_args(argv)

    if args.command == "run":
        result = sdk.quick_run(args.task, args.preset, args.turns)
        print(result)
        for key, value in result.to_dict().items():
            print(f"  {key}: {value}")
        return 0
    if args.command == "presets":
        print("\n".join(sdk.list_presets()))
        return 0
    port = args.port if args.command == "serve" else 3000
    try:
        sdk.serve(port)
    except RuntimeError:
        return 1  # the failure text is already on standard error
    return 0


if __name__ == "__main__":
    sys.exit(main())
