#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds the agent and runs it once on the bundled
# sample machine (build/bin/machine, made from machines/xp-workstation the first time).
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
ensure_packages
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target qmagent qmbios qmcmd sample_machine
cd build/bin
# An interactive run: the inventory with the wait dialog, then delivery and the end message.
./qmagent.exe /DLG /LOG "$@"
machine=machine
echo "Agent run done on $(pwd)/$machine (delete that folder for a fresh machine)."
echo "  trace log:   $machine/drive_c/WINDOWS/Gantrovelminds.log"
echo "  Chk_ID:      $machine/drive_c/WINDOWS/Chk_ID"
for folder in Results Trans Usage SNMP Pda; do
    [ -d "$folder" ] && ls "$folder" | sed "s|^|  $folder/|"
done
if [ -d "$machine/drive_c/Inventory/Outbox" ]; then
    ls "$machine/drive_c/Inventory/Outbox" | sed "s|^|  delivered to C:\\\\Inventory\\\\Outbox\\\\|"
fi
