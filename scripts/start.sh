#!/usr/bin/env bash
# Installs what is missing, then starts the dashboard server in the
# foreground (http://127.0.0.1:3000, or the next free port). Ctrl+C stops it
# and saves every session. PORT=4000 bash scripts/start.sh picks another
# start port.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install.sh
exec "${PYTHON:-python3}" -m tavri_sdk serve --port "${PORT:-3000}"
