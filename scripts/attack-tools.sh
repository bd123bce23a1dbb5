#!/usr/bin/env bash
# Runs attacks against the built orvane-reg, orvane-appmgr, linewright, the settings hive
# and the response-list export and prints, for each, how many times it was tried, what
# happened and whether anything was lost. Everything happens in a temporary folder;
# nothing outside it is touched.
#
#   bash scripts/attack-tools.sh [BUILD_DIR]      (default: $ORVANE_BUILD_DIR or build)
#
# Needs a build with orvane-reg, orvane-appmgr, linewright, orvane_export_tests,
# orvane_platform_tests and orvane_preferences_tests, and python3 for the attacks that damage a hive
# directly. Run as root, the read-only attacks run the tools as "nobody" (setpriv). Not
# part of the test suite.
set -uo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-${ORVANE_BUILD_DIR:-build}}")
reg=$build/tools/orvane-reg/orvane-reg
appmgr=$build/installer/orvane-appmgr
writer_test=$build/tests/export/orvane_export_tests
linewright=$build/tools/linewright/linewright
hive_test=$build/tests/platform/orvane_platform_tests
store_test=$build/tests/preferences/orvane_preferences_tests
tries=${ORVANE_ATTACK_TRIES:-3}
for t in "$reg" "$appmgr" "$writer_test" "$linewright" "$hive_test" "$store_test"; do
  [ -x "$t" ] || { echo "missing $t: build it first" >&2; exit 2; }
done

work=$(mktemp -d /tmp/orvane-attack-XXXXXX)
chmod 755 "$work"  # the read-only attacks run as another user below it
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/xdg
lost_total=0

# attack NAME FUNCTION: runs FUNCTION $tries times, each in a fresh folder ($d). The
# function prints one line of outcome and returns 0 when nothing was lost.
attack() {
  local name=$1 fn=$2 lost=0 outcome=""
  for ((i = 1; i <= tries; i++)); do
    d=$(mktemp -d "$work/try-XXXXXX")
    outcome=$("$fn" 2>&1 | tail -n 1) || lost=$((lost + 1))
  done
  printf '%s\n    tries: %d   outcome: %s\n    lost: %s\n' "$name" "$tries" "$outcome" \
    "$([ $lost = 0 ] && echo nothing || echo "something, in $lost of $tries tries")"
  lost_total=$((lost_total + lost))
}

hive_with_value() {
  "$reg" --hive "$d/h.hive" add 'HKLM\Software\Orvane' /v Name /d exported /f >/dev/null
}
exported() { grep -q '"Name"="exported"' "$1"; }

# ---- orvane-reg export (item 2) --------------------------------------------------------

a_device() {
  hive_with_value
  if ! mknod "$d/null" c 1 3 2>/dev/null; then echo "skipped: making a device node needs root"; return 0; fi
  "$reg" --hive "$d/h.hive" export 'HKLM\Software' "$d/null" /y >/dev/null
  [ -c "$d/null" ] && echo "written into the device; it is still a device" && return 0
  echo "the device node was replaced by a regular file"; return 1
}

a_fifo() {
  hive_with_value
  mkfifo "$d/pipe"
  # Held open for reading (and writing, so opening it never waits) while the tool writes.
  exec 3<>"$d/pipe"
  "$reg" --hive "$d/h.hive" export 'HKLM\Software' "$d/pipe" /y >/dev/null
  dd iflag=nonblock bs=64K count=1 <&3 >"$d/read" 2>/dev/null
  exec 3<&-
  [ -p "$d/pipe" ] && exported "$d/read" && echo "the reader got the text; the pipe is still a pipe" && return 0
  echo "the pipe was replaced"; return 1
}

a_link() {
  hive_with_value
  echo old >"$d/real.reg"
  ln -s real.reg "$d/link.reg"
  "$reg" --hive "$d/h.hive" export 'HKLM\Software' "$d/link.reg" /y >/dev/null
  [ -L "$d/link.reg" ] && exported "$d/real.reg" && echo "the link's target was written; the link is kept" && return 0
  echo "the link was replaced by a file"; return 1
}

a_loop() {
  hive_with_value
  ln -s b "$d/a"; ln -s a "$d/b"
  local msg
  msg=$("$reg" --hive "$d/h.hive" export 'HKLM\Software' "$d/a" /y 2>&1) && { echo "accepted: $msg"; return 1; }
  [ -L "$d/a" ] && [ -L "$d/b" ] && echo "refused: $msg" && return 0
  echo "a link of the loop was replaced"; return 1
}

a_planted() {
  hive_with_value
  echo precious >"$d/victim"
  # The link sits at the old temporary name, FILE.tmp-PID; exec keeps the process id.
  sh -c 'ln -s "$1" "$2.tmp-$$"; exec "$3" --hive "$4" export "HKLM\Software" "$2" /y' sh \
    "$d/victim" "$d/out.reg" "$reg" "$d/h.hive" >/dev/null
  [ "$(cat "$d/victim")" = precious ] && exported "$d/out.reg" && [ ! -L "$d/out.reg" ] &&
    echo "the victim is untouched; the export went to its own file" && return 0
  echo "the export wrote through the planted link"; return 1
}

# ---- orvane-reg walks and limits (item 3, and the listing half of item 4) ------------

damage() {  # keys only a damaged hive has, added with SQL below HKLM\Software\Damaged
  "$reg" --hive "$d/h.hive" add 'HKLM\Software\Damaged\Before' >/dev/null
  python3 - "$d/h.hive" "$@" <<'EOF'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
enc = lambda s: s.encode('utf-16-le')
parent = db.execute("SELECT k.id FROM hive_keys k JOIN hive_keys p ON k.parent = p.id "
                    "WHERE k.name = ? AND p.name = ?", (enc('Damaged'), enc('Software'))).fetchone()[0]
what = sys.argv[2]
if what == 'deep':
    for i in range(int(sys.argv[3])):
        parent = db.execute("INSERT INTO hive_keys(parent, name) VALUES (?, ?)", (parent, enc('k'))).lastrowid
else:
    for name in ['', 'x\\y', 'Before\\', 'L' * 20000, 'After']:
        db.execute("INSERT INTO hive_keys(parent, name) VALUES (?, ?)", (parent, enc(name)))
db.commit()
EOF
}

a_deep() {
  command -v python3 >/dev/null || { echo "skipped: needs python3"; return 0; }
  damage deep 5000
  # A small stack makes the point quickly: a walk that recurses once per level dies here.
  local q e
  q=$( (ulimit -s 256; "$reg" --hive "$d/h.hive" query 'HKLM\Software\Damaged' /s >/dev/null 2>&1); echo $?)
  e=$( (ulimit -s 256; "$reg" --hive "$d/h.hive" export 'HKLM\Software\Damaged' "$d/deep.reg" >/dev/null 2>&1); echo $?)
  local keys; keys=$(grep -c '^\[' "$d/deep.reg" 2>/dev/null)
  [ "$q" = 0 ] && [ "$e" = 0 ] && [ "$keys" = 5002 ] &&
    echo "query /s and export walked 5 000 levels on a 256 KiB stack; all 5 002 keys exported" && return 0
  echo "query /s ended $q, export ended $e, $keys keys exported"; return 1
}

a_damaged() {
  command -v python3 >/dev/null || { echo "skipped: needs python3"; return 0; }
  damage names
  local q qs e
  q=$("$reg" --hive "$d/h.hive" query 'HKLM\Software\Damaged' 2>&1 | grep -c 'Damaged\\After$')
  qs=$(timeout 60 "$reg" --hive "$d/h.hive" query 'HKLM\Software\Damaged' /s 2>&1); local qrc=$?
  timeout 60 "$reg" --hive "$d/h.hive" export 'HKLM\Software\Damaged' "$d/d.reg" >"$d/e.out" 2>&1; local erc=$?
  local warned; warned=$(grep -c '^WARNING' <<<"$qs")
  [ "$q" = 1 ] && [ $qrc = 1 ] && [ "$warned" = 3 ] && grep -q 'Damaged\\After' <<<"$qs" && [ $erc = 1 ] &&
    grep -q '\\After\]' "$d/d.reg" && grep -q '3 keys' "$d/e.out" &&
    echo "3 unusable subkeys reported and skipped by query /s and export (status 1); 'After' and the 20 000-character name listed" && return 0
  echo "query listed After: $q; query /s ended $qrc with $warned warnings; export ended $erc"; return 1
}

a_limits() {
  hive_with_value
  local before after deep
  before=$("$reg" --hive "$d/h.hive" export HKLM "$d/before.reg" >/dev/null && cat "$d/before.reg")
  deep=$(printf '\\k%.0s' $(seq 50000))
  printf 'Windows Registry Editor Version 5.00\n\n[HKLM\\Software\\New]\n\n[HKLM%s]\n' "$deep" >"$d/deep.reg"
  printf 'Windows Registry Editor Version 5.00\n\n[HKLM\\Software\\%s]\n' "$(printf 'n%.0s' $(seq 256))" >"$d/long.reg"
  local m1 m2 m3
  m1=$("$reg" --hive "$d/h.hive" import "$d/deep.reg" 2>&1) && { echo "50 000 levels imported"; return 1; }
  m2=$("$reg" --hive "$d/h.hive" import "$d/long.reg" 2>&1) && { echo "a 256-character name imported"; return 1; }
  m3=$("$reg" --hive "$d/h.hive" add "HKLM$deep" 2>&1) && { echo "50 000 levels added"; return 1; }
  after=$("$reg" --hive "$d/h.hive" export HKLM "$d/after.reg" >/dev/null && cat "$d/after.reg")
  [ "$before" = "$after" ] && echo "all refused, hive unchanged: ${m1#ERROR: }" && return 0
  echo "the hive changed"; return 1
}

# ---- orvane-appmgr (item 7) ------------------------------------------------------------

package() {  # package INSTALLDIR FILE...
  local dir=$1; shift
  {
    echo "[Package]"; echo "InstallDir = $dir"
    local n=1; for f in "$@"; do echo "File$n = $f"; n=$((n + 1)); done
  } >"$d/pkg/OrvanePort.pkg"
}

appmgr_setup() {
  mkdir -p "$d/pkg/bin" "$d/handheld" "$d/outside"
  printf '[CEAppManager]\nVersion = 1.0\nComponent = C\n[C]\nCabFiles = OrvanePort.pkg\n' >"$d/pkg/OrvanePortCmd.ini"
  echo "program v1" >"$d/pkg/bin/OrvanePort"; echo "help v1" >"$d/pkg/help.htm"
  echo precious >"$d/outside/victim"; echo secret >"$d/outside/secret.txt"
  "$appmgr" --register "$d/handheld" >/dev/null
  package 'Program Files\Orvane' 'bin\OrvanePort' help.htm
  "$appmgr" "$d/pkg/OrvanePortCmd.ini" >/dev/null
}
installed() { cat "$d/handheld/Program Files/Orvane/$1"; }
outside_intact() { [ "$(ls "$d/outside")" = "$(printf 'secret.txt\nvictim')" ] && [ "$(cat "$d/outside/victim")" = precious ]; }

a_half_install() {
  appmgr_setup
  echo "program v2" >"$d/pkg/bin/OrvanePort"; echo "help v2" >"$d/pkg/help.htm"
  rm "$d/handheld/Program Files/Orvane/help.htm"; mkdir -p "$d/handheld/Program Files/Orvane/help.htm/x"
  local msg; msg=$("$appmgr" "$d/pkg/OrvanePortCmd.ini" 2>&1) && { echo "succeeded?"; return 1; }
  [ "$(installed OrvanePort)" = "program v1" ] && echo "refused, OrvanePort still v1: ${msg#orvane-appmgr: }" && return 0
  echo "OrvanePort was replaced although help.htm failed"; return 1
}

a_link_out() {
  appmgr_setup
  ln -s "$d/outside" "$d/handheld/evil"
  package evil 'bin\OrvanePort'
  local msg; msg=$("$appmgr" "$d/pkg/OrvanePortCmd.ini" 2>&1)
  outside_intact && echo "refused: ${msg#orvane-appmgr: }" && return 0
  echo "wrote outside the storage folder"; return 1
}

a_sources() {
  appmgr_setup
  ln -s "$d/outside/secret.txt" "$d/pkg/linked.txt"
  local f msgs=0
  for f in '..\outside\secret.txt' /etc/hostname "$d/outside/secret.txt" linked.txt; do
    package 'Program Files\Orvane' 'bin\OrvanePort' "$f"
    "$appmgr" "$d/pkg/OrvanePortCmd.ini" >/dev/null 2>&1 || msgs=$((msgs + 1))
  done
  [ $msgs = 4 ] && [ ! -e "$d/handheld/Program Files/Orvane/secret.txt" ] && [ ! -e "$d/handheld/Program Files/Orvane/hostname" ] &&
    echo "all 4 sources outside the package's folder refused, nothing copied" && return 0
  echo "$((4 - msgs)) of 4 outside sources were copied"; return 1
}

a_duplicates() {
  appmgr_setup
  mkdir -p "$d/pkg/other"; echo "other program" >"$d/pkg/other/OrvanePort"
  package 'Program Files\Orvane' 'bin\OrvanePort' 'other\OrvanePort'
  local msg; msg=$("$appmgr" "$d/pkg/OrvanePortCmd.ini" 2>&1) && { echo "accepted"; return 1; }
  [ "$(installed OrvanePort)" = "program v1" ] && echo "refused: ${msg#orvane-appmgr: }" && return 0
  echo "one file overwrote the other"; return 1
}

# ---- the settings hive (items 1, 4, 5, 6) ----------------------------------------------

# The program's hive in this try's folder, with profile P1 (one token) and a baud rate.
handheld() {
  export XDG_DATA_HOME=$d/xdg
  hive=$XDG_DATA_HOME/orvane-port-linewright/handheld.hive
  local p='HKLM\Software\Orvane\Orvane Port Linewright\Preferences'
  "$reg" --hive "$hive" add "$p" /v Baud /t REG_DWORD /d 57600 /f >/dev/null
  "$reg" --hive "$hive" add "$p\P1" /v Prefix /d AT /f >/dev/null
  "$reg" --hive "$hive" add "$p\P1" /v Suffix /d '<0D>' /f >/dev/null
  "$reg" --hive "$hive" add "$p\P1" /v Timeout /t REG_DWORD /d 3 /f >/dev/null
  "$reg" --hive "$hive" add "$p\P1" /v TokenCount /t REG_DWORD /d 1 /f >/dev/null
  "$reg" --hive "$hive" add "$p\P1" /v 1 /d OK /f >/dev/null
}
# linewright framing with profile P1; /dev/null is no serial line, so a profile that was
# read ends in status 3 (the device), one that was not in status 2.
profile_run() { "$linewright" --profile P1 /dev/null 9600 AT 2>&1; }
# The words of a message on one line.
flat() { tr -s '\n' ' ' <<<"$*"; }
# Runs a command as a user other than root (the current one when not root).
unprivileged() {
  if [ "$(id -u)" = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi
}

a_no_folder() {
  export XDG_DATA_HOME=$d/file
  echo precious >"$XDG_DATA_HOME"
  local m1 m2 r1 r2
  m1=$(profile_run); r1=$?
  m2=$("$reg" query HKLM 2>&1); r2=$?
  [ "$(cat "$d/file")" = precious ] && [ $r1 = 2 ] && [ $r2 = 1 ] && grep -q 'Not a directory' <<<"$m1" &&
    grep -q 'Not a directory' <<<"$m2" && ! grep -q 'in memory\|no profile named' <<<"$m1" &&
    echo "both refused with the reason: ${m1#linewright: }" && return 0
  flat "linewright ended $r1: $m1 | orvane-reg ended $r2: $m2"; return 1
}

a_read_only() {
  handheld
  chmod 755 "$d" "$d/xdg" "$d/xdg/orvane-port-linewright"
  chmod 444 "$hive"
  local before q a l rq ra rl
  before=$(sha256sum <"$hive")
  q=$(unprivileged "$reg" --hive "$hive" query 'HKLM\Software\Orvane\Orvane Port Linewright\Preferences' 2>&1); rq=$?
  a=$(unprivileged "$reg" --hive "$hive" add 'HKLM\Software\Orvane' /v X /d y /f 2>&1); ra=$?
  l=$(unprivileged env XDG_DATA_HOME="$XDG_DATA_HOME" "$linewright" --profile P1 /dev/null 9600 AT 2>&1); rl=$?
  [ "$before" = "$(sha256sum <"$hive")" ] && [ $rq = 0 ] && grep -q 'Baud    REG_DWORD    0xe100' <<<"$q" &&
    [ $ra = 1 ] && grep -q 'Permission denied' <<<"$a" && [ $rl = 3 ] &&
    echo "read: query and linewright --profile work; add refused: ${a#ERROR: }" && return 0
  flat "query ended $rq, add ended $ra ($a), linewright ended $rl ($l)"; return 1
}

a_stores() {
  local out; out=$("$hive_test" --gtest_filter='HandheldHive.*:*ReadOnlyHive*' 2>&1)
  grep -q '^\[  PASSED  \] 4 tests' <<<"$out" && ! grep -q FAILED <<<"$out" &&
    echo "4 cases passed: no hive (every save fails), and a read-only hive three ways (it loads, every save fails)" && return 0
  echo "$(grep -c '^\[  FAILED  \].* ms)$' <<<"$out") of 4 cases failed"; return 1
}

a_long_names() {
  local out; out=$("$store_test" --gtest_filter='*TooLong*' 2>&1)
  grep -q '^\[  PASSED  \] 1 test' <<<"$out" && echo "profiles named with 260 and 20 000 characters skipped; the one after them listed" && return 0
  echo "the profile after a long name was not listed"; return 1
}

a_broken_profile() {
  handheld
  local p='HKLM\Software\Orvane\Orvane Port Linewright\Preferences\P1' m1 m2 r1 r2
  "$reg" --hive "$hive" add "$p" /v TokenCount /t REG_DWORD /d 5 /f >/dev/null
  m1=$(profile_run); r1=$?
  "$reg" --hive "$hive" add "$p" /v TokenCount /t REG_DWORD /d 1 /f >/dev/null
  "$reg" --hive "$hive" add "$p" /v Timeout /d thirty /f >/dev/null
  m2=$(profile_run); r2=$?
  [ $r1 = 2 ] && [ $r2 = 2 ] && grep -q "profile 'P1' in .* cannot be loaded: its TokenCount is 5, but token 2 is missing" <<<"$m1" &&
    grep -q "its Timeout is a REG_SZ value, not a REG_DWORD" <<<"$m2" &&
    echo "named with what is wrong: ...${m1##*cannot be loaded: }; ...${m2##*cannot be loaded: }" && return 0
  flat "said: $m1 | $m2"; return 1
}

victim() {
  if [ -e "$d/victim" ]; then stat -c 'mode %a, %s bytes' "$d/victim"; sha256sum <"$d/victim" | cut -c1-12; else echo missing; fi
}
# link_to KIND: handheld.hive is a link to $d/victim, which holds text, nothing or is missing.
link_to() {
  export XDG_DATA_HOME=$d/xdg
  hive=$XDG_DATA_HOME/orvane-port-linewright/handheld.hive
  mkdir -p "${hive%/*}"
  case $1 in
    text) echo precious >"$d/victim" ;;
    empty) : >"$d/victim" ;;
  esac
  [ -e "$d/victim" ] && chmod 644 "$d/victim"
  ln -s "$d/victim" "$hive"
  before=$(victim)
  m1=$(profile_run); r1=$?
  m2=$("$reg" query HKLM 2>&1); r2=$?
  local after; after=$(victim)
  [ "$before" = "$after" ] && [ -L "$hive" ] && [ "$(ls "${hive%/*}")" = handheld.hive ] && [ $r1 = 2 ] && [ $r2 = 1 ] &&
    echo "refused, the target and the link untouched: ${m2#ERROR: }" && return 0
  flat "target before: [$before] after: [$after]; link kept: $([ -L "$hive" ] && echo yes || echo no);" \
    "linewright ended $r1 ($m1), orvane-reg ended $r2 ($m2)"; return 1
}
a_link_text() { link_to text; }
a_link_empty() { link_to empty; }
a_link_nothing() { link_to nothing; }

a_link_hive() {
  handheld
  mv "$hive" "$d/elsewhere.hive"
  ln -s "$d/elsewhere.hive" "$hive"
  local m1 r1 r2
  m1=$(profile_run); r1=$?
  "$reg" add 'HKLM\Software\Orvane' /v X /d y /f >/dev/null; r2=$?
  [ $r1 = 3 ] && [ $r2 = 0 ] && [ -L "$hive" ] && "$reg" --hive "$d/elsewhere.hive" query 'HKLM\Software\Orvane' /v X >/dev/null &&
    echo "followed: the profile read, a value written into the hive behind the link, the link kept" && return 0
  echo "linewright ended $r1 ($m1), add ended $r2"; return 1
}

# ---- the response-list export (item 8): its file cases, run by the writer's tests -----

a_response_export() {
  local out; out=$("$writer_test" --gtest_filter='ExportFile.*' 2>&1)
  local passed; passed=$(grep -c '^\[       OK \]' <<<"$out")
  grep -q '^\[  PASSED  \]' <<<"$out" && ! grep -q FAILED <<<"$out" &&
    echo "$passed file cases passed (in place in a read-only folder, 248/255-character names, loop refused, devices, pipes, links)" && return 0
  echo "$(grep -c FAILED <<<"$out") cases failed"; return 1
}

echo "Attacks on $build ($tries tries each)"
echo
attack "[2] orvane-reg export into a device node" a_device
attack "[2] orvane-reg export into a named pipe" a_fifo
attack "[2] orvane-reg export through a symbolic link" a_link
attack "[2] orvane-reg export into a loop of links" a_loop
attack "[2] orvane-reg export with a link planted at FILE.tmp-PID" a_planted
attack "[3] query /s and export of a tree 5 000 levels deep" a_deep
attack "[3,4] query and export of a hive with empty, backslashed and 20 000-character key names" a_damaged
attack "[3] import 50 000 levels / a 256-character name, add 50 000 levels" a_limits
attack "[7] orvane-appmgr: the second file fails" a_half_install
attack "[7] orvane-appmgr: InstallDir through a link out of the storage folder" a_link_out
attack "[7] orvane-appmgr: files from outside the package's folder" a_sources
attack "[7] orvane-appmgr: two files bound for the same place" a_duplicates
attack "[8] response-list export where the file cannot be replaced" a_response_export
attack "[1] the hive's folder would lie below a file: linewright --profile, orvane-reg" a_no_folder
attack "[1] a hive that can be read but not written: orvane-reg query/add, linewright --profile" a_read_only
attack "[1] the stores over no hive / a read-only hive (their tests)" a_stores
attack "[4] profiles named with 260 or more characters (the store's test)" a_long_names
attack "[5] linewright --profile P1: TokenCount beyond the tokens, Timeout stored as text" a_broken_profile
attack "[6] handheld.hive a link to a text file (mode 0644)" a_link_text
attack "[6] handheld.hive a link to an empty file" a_link_empty
attack "[6] handheld.hive a link to nothing" a_link_nothing
attack "[6] handheld.hive a link to a hive" a_link_hive
echo
echo "lost in total: $([ $lost_total = 0 ] && echo nothing || echo "$lost_total tries lost something")"
[ $lost_total = 0 ]
