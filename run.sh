#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and starts one of the programs:
#   ./run.sh aircask     or     ./run.sh discwell
set -euo pipefail
cd "$(dirname "$0")"

app="${1:-}"
case "$app" in
  aircask|discwell) ;;
  *) echo "usage: $0 aircask|discwell" >&2; exit 2 ;;
esac

./scripts/install-deps.sh
./scripts/build.sh build >/dev/null

binary="build/bin/$app"
if [ ! -x "$binary" ]; then
  echo "$app is not built yet: its window is still to come." >&2
  exit 1
fi
exec "$binary"
