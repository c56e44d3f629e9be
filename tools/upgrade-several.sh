#!/usr/bin/env bash
# Upgrades several units at once from one machine: one tool process per port directory.
#
#   tools/upgrade-several.sh [--tool PROGRAM] PORT_DIR...
#
# --tool names the upgrade tool to run (default: build/KestraneFwUpgrade of this checkout).
# Each PORT_DIR holds the link(s) COMn of one unit (for instance COM1 -> /dev/serial/by-id/...
# of that unit's adapter), so that each tool's port search sees only its own unit. Every
# argument is checked before the first upgrade starts. The tools run side by side with no
# terminal; each one's console goes to PORT_DIR/upgrade.log as the tool wrote it, and a
# readable copy without the progress overwrites to PORT_DIR/upgrade.txt.
#
# While they run, one line per unit shows its state: searching, identifying, FPGA image n%,
# firmware n%, rebooting n%, then its verdict. On a terminal the lines change in place;
# otherwise a line is printed whenever a unit's state changes.
#
# Ctrl-C, SIGTERM or SIGHUP (or any early end of this script) stops every upgrade still
# running and reports where each unit was.
#
# Exit status: 0 when every unit was upgraded and came back with its prompt; 1 when one
# was not; 2 for a usage error (no upgrade started); 130, 143 or 129 when interrupted.
set -u
export LC_ALL=C  # the logs are bytes: match and cut them byte by byte

program=upgrade-several
tool="$(dirname "$0")/../build/KestraneFwUpgrade"

show_help() {
  awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"
}

usage_error() {
  echo "$program: $1 (try --help)" >&2
  exit 2
}

dirs=()
while [ $# -gt 0 ]; do
  case $1 in
    -h | --help) show_help; exit 0 ;;
    --tool)
      if [ $# -lt 2 ] || [ -z "$2" ]; then usage_error "--tool needs a program"; fi
      tool=$2
      shift 2
      ;;
    --tool=*)
      tool=${1#--tool=}
      [ -n "$tool" ] || usage_error "--tool needs a program"
      shift
      ;;
    --) shift; dirs+=("$@"); break ;;
    -*) usage_error "unknown option $1" ;;
    *) dirs+=("$1"); shift ;;
  esac
done

# ---- every argument is checked before anything starts ----
[ ${#dirs[@]} -gt 0 ] || usage_error "no PORT_DIR given"
if [ ! -f "$tool" ] || [ ! -x "$tool" ]; then
  usage_error "the tool $tool is not an executable program (build it first, or name it with --tool)"
fi
declare -A seen=()
for dir in "${dirs[@]}"; do
  [ -d "$dir" ] || usage_error "$dir is not a directory"
  real=$(cd "$dir" 2>/dev/null && pwd -P) || usage_error "$dir cannot be entered"
  [ -z "${seen[$real]:-}" ] || usage_error "$dir and ${seen[$real]} are the same directory: one per unit"
  seen[$real]=$dir
  [ -w "$dir" ] || usage_error "$dir is not writable: its upgrade.log could not be written"
  for file in upgrade.log upgrade.txt; do
    if [ -e "$dir/$file" ] && { [ ! -f "$dir/$file" ] || [ ! -w "$dir/$file" ]; }; then
      usage_error "$dir/$file cannot be replaced"
    fi
  done
  ports=0
  for link in "$dir"/COM[0-9]*; do
    [ -e "$link" ] && ports=$((ports + 1))
  done
  [ "$ports" -gt 0 ] || usage_error "$dir holds no COMn port (a link such as $dir/COM1 to the unit's serial device)"
done

# ---- what a unit's console says about it ----
# The stages of a run in their order, each with the console text that begins it.
stage_names=("starting" "searching" "identifying" "FPGA image" "firmware" "rebooting")
stage_during=("the start" "the search" "identification" "the FPGA image" "the firmware" "the reboot")
stage_marks=("" "Detecting COM port and Baud Rate" "COM PORT Number" "Preparing to Upload Programmable Logic"
  "Preparing to Upload Firmware" "Please wait while the unit is rebooting")
# Where each stage's percentage is written.
stage_progress=("" "" "" "Sending Programmable Logic data" "Sending data " "Please wait while the unit is rebooting")

# Sets stage (index) and percent ("" when none shown yet) from the console log $1.
read_stage() {
  local text after before k
  text=$(tr -d '\000' 2>/dev/null <"$1")
  stage=0
  percent=""
  for ((k = ${#stage_marks[@]} - 1; k > 0; k--)); do
    case $text in *"${stage_marks[$k]}"*) stage=$k; break ;; esac
  done
  local mark=${stage_progress[$stage]}
  [ -n "$mark" ] || return 0
  after=${text##*"$mark"}
  [ "$after" != "$text" ] || return 0
  before=${after%\%*}
  [ "$before" != "$after" ] || return 0
  percent=${before##*[!0-9]}
}

# The state as a status line shows it: "FPGA image 42%".
stage_text() {
  if [ -n "$percent" ]; then echo "${stage_names[$stage]} $percent%"; else echo "${stage_names[$stage]}"; fi
}
during_text() {
  if [ -n "$percent" ]; then echo "${stage_during[$stage]} ($percent%)"; else echo "${stage_during[$stage]}"; fi
}

# The console as a terminal shows it: a backspace steps back, a carriage return goes to
# the start of the line, and what follows overwrites.
write_readable_copy() {
  tr -d '\000' 2>/dev/null <"$1/upgrade.log" | awk '
    {
      line = ""; col = 0; n = length($0)
      for (i = 1; i <= n; i++) {
        c = substr($0, i, 1)
        if (c == "\r") col = 0
        else if (c == "\b") { if (col > 0) col-- }
        else { line = substr(line, 1, col) c substr(line, col + 2); col++ }
      }
      print line
    }' >"$1/upgrade.txt"
}

# Sets verdict[i] and ok[i] for unit i that ended with exit status $2.
judge() {
  local i=$1 status=$2 dir=${dirs[$1]}
  read_stage "$dir/upgrade.log"
  ok[i]=0
  case $status in
    0)
      if grep -q "The update was successful" "$dir/upgrade.log"; then
        verdict[i]="upgraded"
        ok[i]=1
      else
        verdict[i]="uploaded, but the unit's prompt was not seen after the reboot"
      fi
      ;;
    1) verdict[i]="upgrade failed during $(during_text), see $dir/upgrade.txt" ;;
    2) verdict[i]="not enough memory for the tool's buffers" ;;
    255) verdict[i]="no usable port: no unit answered the search, see $dir/upgrade.txt for why" ;;
    129 | 130 | 143)
      case $stage in
        0 | 1 | 2) verdict[i]="stopped during $(during_text): nothing was uploaded" ;;
        3 | 4) verdict[i]="stopped during $(during_text): the upload was cut off, upgrade this unit again" ;;
        *) verdict[i]="stopped during the reboot: both images were sent, the unit's return was not checked" ;;
      esac
      ;;
    *) verdict[i]="ended abnormally" ;;
  esac
  verdict[i]+=" (exit status $status)"
  write_readable_copy "$dir"
}

# ---- the status display ----
on_terminal=0
[ -t 1 ] && on_terminal=1
width=80
if [ "$on_terminal" -eq 1 ] && size=$(stty size 2>/dev/null </dev/tty); then
  width=${size#* }
fi
drawn=""

show() {
  local i line lines=()
  for i in "${!dirs[@]}"; do
    if [ -n "${verdict[$i]}" ]; then
      line="${dirs[$i]}: ${verdict[$i]}"
    else
      line="${dirs[$i]}: ${status_text[$i]}"
    fi
    lines+=("$line")
  done
  if [ "$on_terminal" -eq 1 ]; then
    local all
    all=$(printf '%s\n' "${lines[@]}")
    [ "$all" != "$drawn" ] || return 0
    # Back to the first status line (clearing what a key press may have echoed below).
    printf '\r\033[K'
    [ -z "$drawn" ] || printf '\033[%dA' "${#lines[@]}"
    for line in "${lines[@]}"; do
      printf '\r\033[K%s\n' "${line:0:$((width > 1 ? width - 1 : 79))}"
    done
    drawn=$all
  fi
}

# A plain line for each stage unit i has reached since the last one printed.
report_plain() {
  local i=$1 k
  [ "$on_terminal" -eq 0 ] || return 0
  for ((k = printed[i] + 1; k <= stage; k++)); do
    echo "${dirs[$i]}: ${stage_names[$k]}"
  done
  [ "$stage" -le "${printed[$i]}" ] || printed[i]=$stage
}

# ---- the upgrades ----
pids=()
verdict=()
ok=()
status_text=()
printed=()
running=()

# Collects unit i, which has ended: its verdict, its readable copy, its line.
collect() {
  local i=$1 status=0
  wait "${pids[$i]}" || status=$?
  running[i]=0
  judge "$i" "$status"
  report_plain "$i"
  [ "$on_terminal" -eq 1 ] || echo "${dirs[$i]}: ${verdict[$i]}"
}

# Stops every upgrade still running, so that none goes on unseen, and reports each.
# shellcheck disable=SC2317  # this and the two below run from traps
stop_running() {
  local i waited
  for i in "${!dirs[@]}"; do
    [ "${running[$i]:-0}" -eq 1 ] && kill -TERM "${pids[$i]}" 2>/dev/null
  done
  # The tool gives its port back and ends at once on SIGTERM; one that does not is killed.
  for ((waited = 0; waited < 50; waited++)); do
    local alive=0
    for i in "${!dirs[@]}"; do
      [ "${running[$i]:-0}" -eq 1 ] && kill -0 "${pids[$i]}" 2>/dev/null && alive=1
    done
    [ "$alive" -eq 1 ] || break
    sleep 0.1
  done
  for i in "${!dirs[@]}"; do
    if [ "${running[$i]:-0}" -eq 1 ]; then
      kill -KILL "${pids[$i]}" 2>/dev/null
      collect "$i"
    fi
  done
  show
}

# shellcheck disable=SC2317
on_signal() {
  trap '' INT TERM HUP PIPE
  stop_running
  # After the status lines, so that a terminal's drawing stays in place.
  echo "$program: interrupted: the upgrades still running were stopped" >&2
  trap - EXIT
  exit "$1"
}

# shellcheck disable=SC2317
on_exit() {
  # Only an unexpected end gets here with upgrades running: never leave one unseen.
  local i
  for i in "${!dirs[@]}"; do
    if [ "${running[$i]:-0}" -eq 1 ]; then
      stop_running
      echo "$program: ended early: the upgrades still running were stopped" >&2
      break
    fi
  done
}

trap 'on_signal 130' INT
trap 'on_signal 143' TERM
trap 'on_signal 129' HUP
trap 'on_signal 141' PIPE
trap on_exit EXIT

for i in "${!dirs[@]}"; do
  dir=${dirs[$i]}
  verdict[i]=""
  ok[i]=0
  status_text[i]="starting"
  printed[i]=0
  COM_PORT_DIR="$dir" "$tool" </dev/null >"$dir/upgrade.log" 2>&1 &
  pids[i]=$!
  running[i]=1
done

while :; do
  active=0
  for i in "${!dirs[@]}"; do
    [ "${running[$i]}" -eq 1 ] || continue
    if kill -0 "${pids[$i]}" 2>/dev/null; then
      active=1
      read_stage "${dirs[$i]}/upgrade.log"
      status_text[i]=$(stage_text)
      report_plain "$i"
    else
      collect "$i"
    fi
  done
  show
  [ "$active" -eq 1 ] || break
  sleep 0.25
done

trap - EXIT
failed=0
for i in "${!dirs[@]}"; do
  [ "${ok[$i]}" -eq 1 ] || failed=1
done
exit "$failed"
