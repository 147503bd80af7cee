#!/usr/bin/env bash
# The main job: installs, builds, prepares the demo courier database on the
# SQLite-backed stand-in driver and runs the agent in the console (-d).
# Ctrl+C ends it. Everything lives in demo/ (recreated with --fresh).
#   scripts/run.sh [--fresh] [extra CSTessaly switches...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fresh=0
if [ "${1:-}" = "--fresh" ]; then fresh=1; shift; fi

"$root/scripts/setup.sh"
"$root/scripts/build.sh" release
build="$root/build/release"
demo="$root/demo"
[ "$fresh" = 1 ] && rm -rf "$demo"
mkdir -p "$demo/odbc" "$demo/agent"

# The agent looks for its files and LOG_WC beside its program.
cp "$build/agent/host/CSTessaly" "$demo/agent/CSTessaly"

# The demo courier database (GBK texts, events inside the look-back windows).
if [ ! -f "$demo/qorvu.db" ]; then
  "$build/tools/demo_db/qorvu_demo_db" "$demo/qorvu.db" "$demo/pandel.db" --accounts 200 --consignments 2000
fi

# A private unixODBC configuration: the registry's data source name on the stand-in driver.
dsn=qorvu
cat > "$demo/odbc/odbcinst.ini" <<INI
[QorvuStandinDriver]
Description=Qorvu stand-in courier database
Driver=$build/testing/odbc/libqorvu_standin_odbc.so
Threading=0
INI
cat > "$demo/odbc/odbc.ini" <<INI
[$dsn]
Driver=QorvuStandinDriver
Description=demo courier database
Database=$demo/qorvu.db
Pandel=$demo/pandel.db
StatementLog=$demo/statements.log
INI
export ODBCSYSINI="$demo/odbc" ODBCINSTINI=odbcinst.ini ODBCINI="$demo/odbc/odbc.ini"

# The registry key, in a file of the demo's own.
export QORVU_REGISTRY="$demo/registry"
"$build/tools/regset/qorvu_regset" --dsn "$dsn" --user sa --password 8067 >/dev/null

# The demo configuration, GBK like the agent's own files.
for f in TessalyAgent.ini WeChat_Mess.txt; do
  iconv -f UTF-8 -t CP936 "$root/tools/demo_config/$f" > "$demo/agent/$f"
done

report="$build/tools/queue_report/qorvu_queue_report"
echo "run: logs in $demo/agent/LOG_WC; press Ctrl+C to stop"
echo "run: the queue at any time: ODBCSYSINI=$ODBCSYSINI ODBCINSTINI=odbcinst.ini ODBCINI=$ODBCINI $report $dsn"
# Ctrl+C goes to the agent; this script lives on to show what it queued.
trap 'true' INT
status=0
"$demo/agent/CSTessaly" -d "$@" || status=$?
trap - INT
echo "run: notifications queued in qorvu.dbo.wc_mess, by type:"
"$report" "$dsn" sa 8067 || true
exit "$status"
