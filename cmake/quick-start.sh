#!/usr/bin/env bash
# Builds the tool for Linux and registers a sample service in a sandbox copy
# of a services file: nothing on the machine is changed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash cmake/install-deps.sh native
cmake --preset linux >/dev/null
cmake --build --preset linux --target register-service
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
cp tool/sample-services "$sandbox/services"
tool=build/linux/bin/register-service
args=(-service -name vorndex-demo -port 7070 -protocol tcp -comment "demo service")
echo "services file: $sandbox/services (a copy of tool/sample-services)"
echo "running: register-service ${args[*]}"
VORNDEX_WINDIR="$sandbox" "$tool" "${args[@]}"
echo "appended:"
{ diff tool/sample-services "$sandbox/services" || true; } | sed -n "s/^> //p"
cp "$sandbox/services" "$sandbox/after-first-run"
VORNDEX_WINDIR="$sandbox" "$tool" "${args[@]}"
if cmp -s "$sandbox/services" "$sandbox/after-first-run"; then
  echo "second run: entry already present, file unchanged"
else
  echo "second run changed the file" >&2
  exit 1
fi
