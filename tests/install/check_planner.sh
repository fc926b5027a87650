#!/usr/bin/env bash
# The example partner program end to end, as the demo runs it: an installation made by
# lumora-admin, the demo authority's root trusted, the product's common.FirstName, the
# dialogs answered from a script (the first one switching a row to Private, the fourth
# denied). Checks what the program read and what the store then holds.
#   check_planner.sh LUMORA_ADMIN PARTNER_PLANNER DEMO_ROOT
set -euo pipefail
admin_program=$1 planner=$2 demo_root=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-planner-XXXXXX")
trap 'rm -rf "$work"' EXIT
home=$work/state
admin() { "$admin_program" --home "$home" "$@"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

admin init >/dev/null
admin trust add "$demo_root" >/dev/null
admin create common.FirstName Ann --field "First name" >/dev/null
cat >"$work/answers.jsonl" <<'ANSWERS'
{"actions":[{"select":[3],"press":"private"}],"answer":"allow"}
{"answer":"allow"}
{"answer":"allow"}
{"answer":"deny"}
{"answer":"allow"}
ANSWERS
admin consent set "script:$work/answers.jsonl" >/dev/null
LC_ALL=C LUMORA_HOME=$home "$planner" >"$work/out.txt" 2>&1 || fail "partner-planner exited with $?"

expect() { grep -qE "$1" "$work/out.txt" || fail "partner-planner did not print /$1/"; }
expect '^  GrantSectionAccess com_example_planner +0x00000000'
expect '^  4 of 4 saved'
expect '^  read com_example_planner\.Travellers +3$'
expect '^  read com_example_planner\.Departure +05/15/2027$'
expect '^  read common\.FirstName +Ann$'
expect '^  ExecuteWriteRequests \(write dialog\) +0x800704C7'
expect '^  Count = 3$'
expect '^  read com_example_planner\.NeedsVisa +no$'
[ "$(grep -c '"answer"' "$work/answers.jsonl.shown")" = 5 ] || fail "not five dialogs shown"
admin show com_example_planner >"$work/show.txt"
grep -A3 '^com_example_planner.NeedsVisa' "$work/show.txt" | grep -q 'privacy: *private' ||
  fail "the user's switch to Private was not stored: $(cat "$work/show.txt")"
grep -A8 '^com_example_planner.TripName' "$work/show.txt" | grep -q '"Lake Bled weekend"' ||
  fail "the denied change was stored"

if [ "$failures" -ne 0 ]; then
  cat "$work/out.txt"
  exit 1
fi
echo "partner-planner checked"
