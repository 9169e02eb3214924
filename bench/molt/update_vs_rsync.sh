#!/usr/bin/env bash
# Updates OLD to NEW with the updater (molt-publish, molt-server on loopback, one update run)
# and with rsync's own delta transfer of the same two files, and compares bytes and time:
# the updater's bytes (hash list, signatures and blocks together) should stay within 1.2
# times rsync's literal data.
#
#   bench/molt/update_vs_rsync.sh BUILD_DIR LABEL OLD NEW [LABEL OLD NEW ...]
#
# BUILD_DIR is a release build with tools/molt-publish, tools/molt-server and
# bench/molt/molt-update. Pairs worth measuring (see README "Tests and benchmarks"):
#   a small code change: build/tessary, then change one line of code and build again;
#   a CLI version change: build/tessary built with -DTESSARY_COPILOT_FILE=<another version>.
set -euo pipefail
[ $# -ge 4 ] && [ $(( ($# - 1) % 3 )) -eq 0 ] || { sed -n '2,14p' "$0"; exit 2; }
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

printf '%-18s %12s %14s %7s %9s %9s\n' case "molt bytes" "rsync literal" ratio "molt s" "rsync s"
status=0
while [ $# -gt 0 ]; do
  label=$1 old=$2 new=$3
  shift 3
  rm -rf "${work:?}"/*
  mkdir -p "$work/release" "$work/install" "$work/rsync"
  cp "$new" "$work/release/tessary"
  cp --preserve=mode "$old" "$work/install/tessary"
  cp --preserve=mode "$old" "$work/rsync/tessary"
  "$build/tools/molt-publish" "$work/release" "$work/publish"

  port=$(free_port)
  "$build/tools/molt-server" "$work/publish" --port "$port" > "$work/server.log" &
  server=$!
  for _ in $(seq 50); do
    grep -q answering "$work/server.log" 2>/dev/null && break
    sleep 0.1
  done
  read -r result bytes seconds < <("$build/bench/molt/molt-update" "$work/install" tessary \
    "http://127.0.0.1:$port/molter/molter.php")
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=""
  if [ "$result" != 4 ] || ! cmp -s "$work/install/tessary" "$new"; then
    echo "$label: the update failed (result $result)" >&2
    status=1
    continue
  fi

  start=$(now)
  literal=$(rsync --stats --no-whole-file "$new" "$work/rsync/tessary" |
            sed -n 's/^Literal data: \([0-9,]*\) bytes.*/\1/p' | tr -d ,)
  rsync_seconds=$(echo "$(now) - $start" | bc)
  cmp -s "$work/rsync/tessary" "$new" || { echo "$label: rsync failed" >&2; status=1; }

  ratio=$(echo "scale=2; $bytes / ($literal + 1)" | bc)
  printf '%-18s %12d %14d %7s %9.2f %9.2f\n' "$label" "$bytes" "$literal" "$ratio" "$seconds" \
    "$rsync_seconds"
  if [ "$(echo "$bytes > 1.2 * $literal" | bc)" = 1 ]; then
    echo "$label: more than 1.2 times rsync's literal data" >&2
    status=1
  fi
done
exit $status
