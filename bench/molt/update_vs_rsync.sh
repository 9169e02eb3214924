#!/usr/bin/env bash
# Updates OLD to NEW with the updater (molt-publish, molt-server on loopback, one update run)
# and with rsync's own delta transfer of the same two files, and compares bytes and time:
# the updater's bytes (hash list, signatures and blocks together) should stay within 1.2
# times rsync's literal data. The updater runs twice: cold, with nothing remembered, and
# warm, as an installation that has started before (a start with nothing to update left
# OLD's hash and signatures in the hash store). "time" is the warm run against rsync.
#
#   bench/molt/update_vs_rsync.sh BUILD_DIR LABEL OLD NEW [LABEL OLD NEW ...]
#
# BUILD_DIR is a release build with tools/molt-publish, tools/molt-server and
# bench/molt/molt-update. Pairs worth measuring (see README "Tests and benchmarks"):
#   a small code change: build/tessary, then change one line of code and build again;
#   a CLI version change: build/tessary built with -DTESSARY_COPILOT_FILE=<another version>.
set -euo pipefail
[ $# -ge 4 ] && [ $(( ($# - 1) % 3 )) -eq 0 ] || { sed -n '2,16p' "$0"; exit 2; }
build=$(cd "$1" && pwd)
shift
for tool in tools/molt-publish tools/molt-server bench/molt/molt-update; do
  [ -x "$build/$tool" ] || { echo "missing $build/$tool" >&2; exit 2; }
done

work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

now() { date +%s.%N; }

start_server() {
  local port
  port=$(free_port)
  "$build/tools/molt-server" "$1" --port "$port" > "$work/server.log" &
  server=$!
  for _ in $(seq 50); do
    grep -q answering "$work/server.log" 2>/dev/null && break
    sleep 0.1
  done
  endpoint="http://127.0.0.1:$port/molter/molter.php"
}

stop_server() {
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=""
}

# One update of FOLDER/tessary to NEW; sets result, bytes and seconds.
update() {
  local folder=$1 store=${2:-}
  read -r result bytes seconds < <("$build/bench/molt/molt-update" "$folder" tessary \
    "$endpoint" $store)
  if [ "$result" != 4 ] || ! cmp -s "$folder/tessary" "$new"; then
    echo "$label: the update failed (result $result)" >&2
    status=1
    return 1
  fi
}

printf '%-18s %12s %14s %7s %8s %8s %8s %6s\n' case "molt bytes" "rsync literal" ratio \
  "cold s" "warm s" "rsync s" time
status=0
while [ $# -gt 0 ]; do
  label=$1 old=$2 new=$3
  shift 3
  rm -rf "${work:?}"/*
  mkdir -p "$work/release" "$work/old-release" "$work/install" "$work/warm" "$work/rsync"
  cp "$new" "$work/release/tessary"
  cp "$old" "$work/old-release/tessary"
  for copy in install warm rsync; do cp --preserve=mode "$old" "$work/$copy/tessary"; done
  "$build/tools/molt-publish" "$work/release" "$work/publish"
  "$build/tools/molt-publish" "$work/old-release" "$work/old-publish"

  # The start before: the hash store trusts a file only a moment after it last changed.
  sleep 0.2
  start_server "$work/old-publish"
  "$build/bench/molt/molt-update" "$work/warm" tessary "$endpoint" "$work/hashes" > /dev/null
  stop_server

  start_server "$work/publish"
  update "$work/install" || { stop_server; continue; }
  cold=$seconds
  update "$work/warm" "$work/hashes" || { stop_server; continue; }
  stop_server

  start=$(now)
  literal=$(rsync --stats --no-whole-file "$new" "$work/rsync/tessary" |
            sed -n 's/^Literal data: \([0-9,]*\) bytes.*/\1/p' | tr -d ,)
  rsync_seconds=$(echo "$(now) - $start" | bc)
  cmp -s "$work/rsync/tessary" "$new" || { echo "$label: rsync failed" >&2; status=1; }

  ratio=$(echo "scale=2; $bytes / ($literal + 1)" | bc)
  times=$(echo "scale=2; $seconds / $rsync_seconds" | bc)
  printf '%-18s %12d %14d %7s %8.2f %8.2f %8.2f %6s\n' "$label" "$bytes" "$literal" "$ratio" \
    "$cold" "$seconds" "$rsync_seconds" "$times"
  if [ "$(echo "$bytes > 1.2 * $literal" | bc)" = 1 ]; then
    echo "$label: more than 1.2 times rsync's literal data" >&2
    status=1
  fi
done
exit $status
