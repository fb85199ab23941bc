#!/usr/bin/python3
"""Runs the agent installed on a simulated machine once, then says what the run did.

    run_agent.py MACHINE_FOLDER AGENT_FOLDER [SWITCH ...]

MACHINE_FOLDER is the machine's host folder, AGENT_FOLDER the Windows folder the agent is
installed in (C:\\Program Files\\Quarmelin\\). The agent starts there, as a shortcut of the
Start menu starts it: its own folder is the current one. Every path of the summary is either a
Windows path of the machine or a host path relative to the machine folder, and says which.
"""

import json
import os
import re
import subprocess
import sys
import termios

ARCHIVE_FOLDERS = ("Trans", "Usage", "SNMP", "Pda")
WAITING = {".GTV", ".NTV", ".DTV", ".BTV", ".RTV"}


class Machine:
    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        with open(os.path.join(self.folder, "machine.json"), encoding="utf-8") as f:
            config = json.load(f)
        self.windows = config.get("folders", {}).get("windows", "C:\\WINDOWS")
        self.drives = {}
        for drive in config.get("drives", []):
            if drive.get("folder"):
                self.drives[drive["letter"].upper()] = os.path.join(self.folder, drive["folder"])
        host = config.get("host_drive", "Z")
        if host:
            self.drives[host.upper()] = "/"

    def host_path(self, windows_path):
        """The host file of a Windows path, found without regard to case as Windows finds it;
        None when a part of it does not exist."""
        if len(windows_path) < 2 or windows_path[1] != ":":
            return None
        path = self.drives.get(windows_path[0].upper())
        if path is None:
            return None
        for part in [p for p in windows_path[2:].split("\\") if p]:
            try:
                names = os.listdir(path)
            except OSError:
                return None
            match = next((n for n in names if n == part), None) or \
                next((n for n in names if n.casefold() == part.casefold()), None)
            if match is None:
                return None
            path = os.path.join(path, match)
        return path

    def shown(self, windows_path, note="", indent="    "):
        """A Windows path, and below it the host file it stands for, relative to the machine
        folder."""
        host = self.host_path(windows_path)
        first = indent + windows_path + ("  [" + note + "]" if note else "")
        below = " " * len(indent) + "    "
        if host is None:
            return [first, below + "(not there)"]
        relative = os.path.relpath(host, self.folder)
        return [first, below + (host if relative.startswith("..") else "./" + relative)]


def join(folder, name):
    return folder.rstrip("\\") + "\\" + name


def archives(machine, agent_folder):
    found = []
    for sub in ARCHIVE_FOLDERS:
        host = machine.host_path(join(agent_folder, sub))
        if host and os.path.isdir(host):
            found += [join(join(agent_folder, sub), n) for n in sorted(os.listdir(host))]
    return found


def handheld_files(machine):
    """The handheld result files in the work folder (the Windows folder of the sample machines)
    with the time each was last written."""
    host = machine.host_path(machine.windows)
    if not host or not os.path.isdir(host):
        return {}
    return {n: os.path.getmtime(os.path.join(host, n)) for n in os.listdir(host) if n.lower().endswith(".pdz")}


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("cp1252", errors="replace")
    except OSError:
        return ""


def profile_value(text, section, key):
    """A value of an INI file's text, its section and key found without regard to case, as the
    private-profile functions find them; None when it is not there."""
    current = None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and "]" in line:
            current = line[1:line.index("]")].strip().casefold()
        elif current == section.casefold() and "=" in line:
            name, value = line.split("=", 1)
            if name.strip().casefold() == key.casefold():
                return value.strip()
    return None


def end_message(journal):
    """The text of the last "Inventory" message box in the windows' journal, or None."""
    text = None
    lines = journal.splitlines()
    for i, line in enumerate(lines):
        if re.match(r'^\S+: message box "Inventory"', line):
            body = []
            for detail in lines[i + 1:]:
                if not detail.startswith("    "):
                    break
                body.append(detail[4:])
            if body:
                body[-1] = re.sub(r" \[information\]$", "", body[-1])
            text = body
    return text


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    machine = Machine(argv[1])
    agent_folder = argv[2] if argv[2].endswith("\\") else argv[2] + "\\"
    switches = argv[3:]
    program = machine.host_path(join(agent_folder, "qmagent.exe"))
    if program is None:
        print("The agent is not installed in " + agent_folder + " of " + machine.folder, file=sys.stderr)
        return 1

    journal_file = os.path.join(machine.folder, "windows.log")
    journal_start = os.path.getsize(journal_file) if os.path.exists(journal_file) else 0
    before = set(archives(machine, agent_folder))
    handhelds_before = handheld_files(machine)

    # The machine is the one the program is installed on, not one an environment names.
    env = {k: v for k, v in os.environ.items() if not k.startswith("QM_")}
    # A run stopped by Ctrl-C at a password prompt would leave the terminal without echo.
    terminal = termios.tcgetattr(sys.stdin.fileno()) if sys.stdin.isatty() else None
    try:
        code = subprocess.run([program] + switches, cwd=os.path.dirname(program), env=env).returncode
    except KeyboardInterrupt:
        print("\nThe run was interrupted.", file=sys.stderr)
        return 130
    finally:
        if terminal is not None:
            termios.tcsetattr(sys.stdin.fileno(), termios.TCSADRAIN, terminal)

    journal = read_text(journal_file)[journal_start:]
    trace_log = join(machine.windows, "Gantrovelminds.log")
    log = read_text(machine.host_path(trace_log) or "/nonexistent") if "/LOG" in [s.upper() for s in switches] or \
        "/LOG2" in [s.upper() for s in switches] else ""

    out = []
    out.append("")
    out.append("The agent ran on the machine in " + machine.folder + " (exit code %d)." % code)
    out.append("Windows paths are the machine's; below each, where it lies in the machine folder.")

    message = end_message(journal)
    out.append("")
    if message is None:
        out.append("End message: none was shown (only \"/DLG\" without \"/HIDE\" shows one).")
    else:
        out.append("End message \"Inventory\":")
        out += ["    " + line for line in message]

    out.append("")
    scrambled = re.findall(r"\|Crypt (?:hardware|Software):([^,\r\n]*),([^\r\n]*)", log)
    if scrambled:
        out.append("Result files written, then scrambled into Results\\ and deleted:")
        for local, result in scrambled:
            out.append("    " + local + "  ->  " + result)
    else:
        local = re.findall(r"\|Local Result = ([^\r\n]*)", log)
        if local:
            software = re.sub(r"\.hrz$", ".sfz", local[-1], flags=re.I)
            out.append("Result files (left plain in the work folder when they were written):")
            for f in (local[-1], software):
                out += machine.shown(f)
        else:
            out.append("Result files: none written in this run.")
    handhelds = [n for n, t in sorted(handheld_files(machine).items()) if handhelds_before.get(n) != t]
    if handhelds:
        out.append("Handheld files written, one per synchronised handheld; they stay in the work folder:")
        for n in handhelds:
            out += machine.shown(join(machine.windows, n))
    results = machine.host_path(join(agent_folder, "Results"))
    waiting = sorted(os.listdir(results)) if results and os.path.isdir(results) else []
    if waiting:
        out.append("Waiting in Results\\ to be packed:")
        for n in waiting:
            out += machine.shown(join(join(agent_folder, "Results"), n))

    after = archives(machine, agent_folder)
    new = [a for a in after if a not in before]
    out.append("")
    out.append("Archives: %d, %d of them made or delivered in this run (marked *):" % (len(after), len(new)))
    for a in after:
        state = "delivered, renamed .Old" if a.upper().endswith(".OLD") else \
            "waiting for the next delivery" if os.path.splitext(a)[1].upper() in WAITING else "other file"
        out += machine.shown(a, state, "  * " if a in new else "    ")
    if not after:
        out.append("    none")

    copies = re.findall(r"\|copy (.+?) to (.+?)(?: succeeded |: the same file is there already)\r?$", log, re.M)
    if copies:
        out.append("Copied to the delivery folder:")
        for _, target in copies:
            out += machine.shown(target)

    out.append("")
    if log:
        out.append("Trace log:")
        out += machine.shown(trace_log)
    out.append("Identification file:")
    chk_id = join(machine.windows, "Chk_ID")
    out += machine.shown(chk_id)
    tag = profile_value(read_text(machine.host_path(chk_id) or "/nonexistent"), "Identification", "AssetTag#")
    if tag:
        out.append("Asset tag of the inventory: " + tag)
    else:
        out.append("Asset tag of the inventory: none (\"/AT\" asks for one until one is stored)")
    error_list = join(agent_folder, "qmagent.LOG")
    if machine.host_path(error_list):
        out.append("Error list (the delivery failures of every run):")
        out += machine.shown(error_list)
    out.append("What the windows showed: " + journal_file)
    out.append("")
    # ./run.sh makes the sample machine that QM_SAMPLE names, the XP workstation without it.
    sample = os.environ.get("QM_SAMPLE", "")
    again = "./run.sh" if sample in ("", "xp-workstation") else "QM_SAMPLE=" + sample + " ./run.sh"
    # The results left the machine scrambled: the front-end's report is where they can be read.
    report = "./qnlonline.exe" if sample in ("", "xp-workstation") else "QM_MACHINE=machine-98 ./qnlonline.exe"
    out.append("The inventory is read in the report, which the front-end makes from a new online run:")
    out.append("    cd build/bin && " + report + "    (then open build/bin/DONE/report.htm)")
    out.append("To start afresh, delete the machine folder; " + again + " makes it anew:")
    out.append("    rm -rf '" + machine.folder + "'")
    # Names and texts come from the machine: none may act on the terminal.
    print(re.sub(r"[\x00-\x09\x0b-\x1f\x7f-\x9f]", "?", "\n".join(out)))
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv))
