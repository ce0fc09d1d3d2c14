#!/usr/bin/env python3
"""The man page names every command and every option of every usage text, as
the program itself prints them (`velmora help COMMAND`, so options added later
are caught), and every VELMORA_ variable the code reads; groff reads it
without a warning. Help comes without the editor library: a copy of the
program alone in a folder prints every usage.

    tests/package/manpage.py VELMORA MAN_PAGE SOURCE_DIR
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile


def run(*args):
    return subprocess.run(args, capture_output=True, text=True)


def section(page, name):
    match = re.search(r'^\.SH "?%s"?\n(.*?)(?=^\.SH )' % re.escape(name), page, re.S | re.M)
    return match.group(1) if match else ""


def plain(roff):
    """The words of the roff source: escapes and font changes out."""
    text = re.sub(r"\\f[BIRP]", "", roff).replace("\\-", "-").replace("\\(dq", '"')
    return re.sub(r"^\.[A-Za-z]+ ?", "", text, flags=re.M)


def main():
    velmora, page_path, source = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    page = page_path.read_text()
    faults = []

    with tempfile.TemporaryDirectory() as folder:
        alone = shutil.copy(velmora, folder)  # no editor library beside it
        everything = run(alone, "help")
        if everything.returncode != 0:
            sys.exit(f"velmora help failed: {everything.stderr}")
        commands = re.findall(r"^  velmora (\w+)", everything.stdout, re.M)
        usages = {}
        for command in commands:
            for args in (["help", command], [command, "--help"]):
                result = run(alone, *args)
                if result.returncode != 0 or not result.stdout.startswith("usage: velmora " + command):
                    faults.append(f"velmora {' '.join(args)}: status {result.returncode}: {result.stderr.strip()}")
            usages[command] = run(alone, "help", command).stdout
        if run(alone, "edit").returncode == 0:
            faults.append("the copy ran `velmora edit` without the editor library: the check proves nothing")

    text = plain(page)
    items = plain(section(page, "COMMANDS"))
    for command in commands:
        if not re.search(r"^\"?%s\b" % command, items, re.M):
            faults.append(f"COMMANDS has no entry for '{command}'")
    options = {o for usage in usages.values() for o in re.findall(r"--[a-z][a-z0-9-]*", usage)}
    options |= set(re.findall(r"--[a-z][a-z0-9-]*", everything.stdout))
    for option in sorted(options):
        if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(option), text):
            faults.append(f"the page does not name {option}")

    environment = plain(section(page, "ENVIRONMENT"))
    code = [p for folder in ("src", "apps", "plugins") for p in (source / folder).rglob("*") if p.suffix in (".cpp", ".h")]
    variables = {v for p in code for v in re.findall(r'getenv\("(VELMORA_\w+)"\)', p.read_text())}
    for variable in sorted(variables):
        if not re.search(r"^%s$" % variable, environment, re.M):
            faults.append(f"ENVIRONMENT does not describe {variable}, which the code reads")
    for heading in ("EXIT STATUS", "FILE FORMATS", "FILES"):
        if not section(page, heading):
            faults.append(f"no {heading} section")

    groff = run("groff", "-man", "-ww", "-z", "-Tutf8", str(page_path))
    if groff.returncode != 0 or groff.stderr:
        faults.append("groff warns: " + groff.stderr.strip())

    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"{len(commands)} commands, {len(options)} options and {len(variables)} variables in the man page")
    return 0


if __name__ == "__main__":
    sys.exit(main())
