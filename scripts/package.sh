#!/usr/bin/env bash
# The release archive a DBA installs from:
#
#   bash scripts/package.sh
#
# writes dist/mailvane-<version>-windows.zip with the x64 and x86
# mailvane.dll of build/win64 and build/win32, as scripts/test.sh built and
# checked them (it runs this script after its Windows trees), the T-SQL
# scripts of sql/, the README, docs/reference.md and docs/microsoft365.md
# and SHA256SUMS; see scripts/package.py. It
# builds nothing, and prints the archive's path.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exec python3 "$repo/scripts/package.py"
