#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds the agent and the front-end, installs the
# agent on a sample machine and runs it there once ("/DLG /LOG" and the switches given), then
# says what the run did.
# QM_SAMPLE=win98-desktop runs it on the Windows 98 desktop instead of the XP workstation.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
ensure_packages
case "${QM_SAMPLE:-xp-workstation}" in
    xp-workstation) target=sample_machine machine=build/bin/machine agent='C:\Program Files\Quarmelin\' ;;
    win98-desktop) target=sample_machine_98 machine=build/bin/machine-98 agent='C:\QMAGENT\' ;;
    *) echo "QM_SAMPLE is xp-workstation (the default) or win98-desktop" >&2; exit 2 ;;
esac
cmake --preset default >/dev/null
# The front-end and its own files too, so that the report can be made right after the run.
cmake --build --preset default -j "$(nproc)" --target "$target" qnlonline frontend_files
# An interactive run: the inventory with the wait dialog, then delivery and the end message.
exec /usr/bin/python3 tools/run_agent.py "$machine" "$agent" /DLG /LOG "$@"
