#!/usr/bin/env bash
# The console harness's whole upgrade with the i686 build and simulated engine in the 32-bit
# environment, against the same run of the x86_64 build under wine64, both in one folder so that the
# paths the log holds agree: the same hooks, progress and close answers, the same log bytes apart
# from the clock, and in both the phone's storage equal to the package's payload.
#
#   harness_upgrade.sh <i686 bin folder> <x86_64 bin folder> <scratch folder>
set -euo pipefail
"$(dirname "${BASH_SOURCE[0]}")/../../scripts/host-runs-i386.sh" >&2 || exit $? # 77: skipped
i686_bin="$1" x64_bin="$2" scratch="$3"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
for bin in "$i686_bin" "$x64_bin"; do
    [ -f "$bin/tarnvel_harness.exe" ] || {
        echo "no harness in $bin: build both presets first (scripts/build.sh)"
        exit 1
    }
done
rm -rf "$scratch"
mkdir -p "$scratch"
folder="$scratch/run"
/usr/bin/python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(7).randbytes(700000))' >"$scratch/payload.bin"

source "$root/scripts/env.sh"
"$root/scripts/wine-prefix.sh"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 # code page 936 in both runs
(cd "$scratch" && "$TARNVEL_WINE" "$x64_bin/rzbpack.exe" make p.rzb --format 17 --model 5512Q --version V2.1.0 \
    --payload payload.bin >/dev/null)

export TARNVEL_SIM_SCENARIO="trace=trace.txt;arrival_ms=100;verify_ms=20;speed_kbps=0;chunk_kb=128"
steps=("path=Z:${folder//\//\\}\\p.rzb" verify until=OnUpgradeStarted 'close?' until=OnUpgradeSucceeded 'close?'
    shutdown)

# run <name> <bin folder> <runner...>: one run in the folder, kept as <scratch>/<name>.
run() {
    local name="$1" bin="$2" status=0
    shift 2
    mkdir -p "$folder/MTK_Log"
    cp "$scratch/p.rzb" "$bin/tarnvel_harness.exe" "$bin/TarnVel Engine Host.exe" "$folder/"
    cp "$bin/tarnvel_sim_engine.dll" "$folder/dVarnok.dll"
    "$@" tarnvel_harness.exe "${steps[@]}" >"$scratch/$name.out" 2>"$scratch/$name.err" || status=$?
    echo "$status" >"$scratch/$name.status"
    mv "$folder" "$scratch/$name"
}
wine64_in_folder() { (cd "$folder" && "$TARNVEL_WINE" "$@"); }
run x86_64 "$x64_bin" wine64_in_folder
"$TARNVEL_WINESERVER" -w || true
run i686 "$i686_bin" "$root/scripts/wine32-run.sh" "$folder"

exec /usr/bin/python3 - "$scratch" <<'PY'
import re, sys
from pathlib import Path

scratch = Path(sys.argv[1])
payload = (scratch / "payload.bin").read_bytes()
failures = []


def check(ok, what):
    print(("ok:     " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def result(name):
    folder = scratch / name
    events = [re.sub(r"^\[\+\d+ ms\] ", "", line) for line in (scratch / (name + ".out")).read_text().splitlines()]
    logs = sorted((folder / "TextLog").glob("*")) if (folder / "TextLog").is_dir() else []
    log = logs[0].read_bytes() if len(logs) == 1 else b""
    unstamped = re.sub(rb"(?m)^[0-2]\d:[0-5]\d:[0-5]\d:\d{3}\t", b"", log)
    phone = folder / "phone0.bin"
    return {
        "status": int((scratch / (name + ".status")).read_text()),
        "hooks": [e.split(" ")[0] for e in events if e.startswith("On") and not e.startswith("OnProgress")],
        "progress": [e for e in events if e.startswith("OnProgress")],
        "close": [e for e in events if e.startswith("IsCloseAllowed")],
        "end": "end" in events,
        "logs": len(logs),
        "log": unstamped,
        "stamped": len(re.findall(rb"(?m)^[0-2]\d:[0-5]\d:[0-5]\d:\d{3}\t", log)),
        "lines": log.count(b"\r\n"),
        "phone": phone.read_bytes() if phone.exists() else None,
    }


x64, i686 = result("x86_64"), result("i686")
for name, run in (("x86_64", x64), ("i686", i686)):
    check(run["status"] == 0 and run["end"], "%s harness ran to its end with exit code 0 (got %d)" % (name, run["status"]))
    check(run["hooks"] == ["OnVerifyPassed", "OnUpgradeBegin", "OnUpgradeStarted", "OnUpgradeSucceeded"],
          "%s hooks: %s" % (name, " ".join(run["hooks"])))
    check(run["logs"] == 1 and run["lines"] > 0 and run["stamped"] == run["lines"],
          "%s wrote one log of %d time-stamped lines" % (name, run["lines"]))
    check(run["phone"] == payload, "%s phone storage equals the payload (%d bytes)" % (name, len(payload)))
for key in ("hooks", "progress", "close"):
    check(i686[key] == x64[key], "i686 %s as x86_64: %s" % (key, " | ".join(i686[key])))
check(i686["log"] == x64["log"] and i686["log"], "i686 log bytes equal the x86_64 log's apart from the clock (%d bytes)"
      % len(i686["log"]))
if failures:
    for name in ("x86_64", "i686"):
        print("--- %s output\n%s%s" % (name, (scratch / (name + ".out")).read_text(), (scratch / (name + ".err")).read_text()))
    sys.exit(1)
PY
