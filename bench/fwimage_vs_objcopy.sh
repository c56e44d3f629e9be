#!/usr/bin/env bash
# The whole `fwimage FILE -o OUT` process on the TX FPGA sample text, side by side with
# GNU binutils' `objcopy -I ihex -O binary` and srecord's `srec_cat` on the same file.
# Prints the median wall time of each and its ratio to objcopy's; all from this one run.
#
#   bench/fwimage_vs_objcopy.sh [BUILD_DIR] [RUNS]     (defaults: build, 21)
#
# A tool that is not installed is skipped, not failed: objcopy comes with binutils,
# srec_cat with Debian's srecord package (apt-get install -y srecord). The times are
# taken by hyperfine where it is installed (apt-get install -y hyperfine), else by bash
# itself, whose own start of each program then adds a few milliseconds to every figure.
set -u

build_dir=${1:-build}
runs=${2:-21}
fwimage="$build_dir/fwimage"
input="$build_dir/sample_image_set/T284619_TX_XC7A35_1_06.mcs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [[ ! -x $fwimage ]]; then
    echo "fwimage_vs_objcopy: no $fwimage: build first" >&2
    exit 0
fi
if [[ ! -r $input ]]; then
    echo "fwimage_vs_objcopy: no $input (a build with real images has no sample set)" >&2
    exit 0
fi

# Wall time of one run of the command given, in microseconds, into last_us. Bash's own
# clock, and no subshell: a `date` process or a fork around each run would be timed too.
time_run() {
    local start=${EPOCHREALTIME/[.,]/}
    "$@" >/dev/null 2>&1
    last_us=$((${EPOCHREALTIME/[.,]/} - start))
}

median_ms() {
    printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.2f", m / 1000 }'
}

printf 'Intel HEX to flat binary, whole process, medians of one run\n'
printf 'input: %s (%d bytes)\n' "$input" "$(stat -c %s "$input")"

ours_cmd=("$fwimage" "$input" -o "$work/fwimage.bin")
objcopy_cmd=(objcopy -I ihex -O binary "$input" "$work/objcopy.bin")
srec_cmd=(srec_cat "$input" -Intel -o "$work/srec.bin" -Binary)
have_objcopy=0
have_srec=0
"${ours_cmd[@]}" >/dev/null 2>&1 || { echo "fwimage failed on $input" >&2; exit 0; }
if command -v objcopy >/dev/null && "${objcopy_cmd[@]}" >/dev/null 2>&1; then
    have_objcopy=1
else
    echo "objcopy: not installed (GNU binutils): skipped"
fi
if command -v srec_cat >/dev/null && "${srec_cmd[@]}" >/dev/null 2>&1; then
    have_srec=1
else
    echo "srec_cat: not installed (apt-get install -y srecord): skipped"
fi

objcopy_ms=""
srec_ms=""
if command -v hyperfine >/dev/null; then
    # hyperfine starts each program itself, without a shell, and warms up first.
    timer="hyperfine -N, $runs runs each after 3 warm-up runs"
    commands=("${ours_cmd[*]}")
    ((have_objcopy)) && commands+=("${objcopy_cmd[*]}")
    ((have_srec)) && commands+=("${srec_cmd[*]}")
    hyperfine -N --warmup 3 --runs "$runs" --export-csv "$work/times.csv" "${commands[@]}" >/dev/null 2>&1
    medians=($(awk -F, 'NR > 1 { printf "%.2f\n", $4 * 1000 }' "$work/times.csv"))
    ours=${medians[0]}
    next=1
    if ((have_objcopy)); then objcopy_ms=${medians[$next]}; next=$((next + 1)); fi
    ((have_srec)) && srec_ms=${medians[$next]}
else
    # The commands take turns, so that whatever else the machine does weighs on all alike.
    timer="bash's clock, $runs rounds in turn (hyperfine is not installed: apt-get install -y hyperfine)"
    ours_times=()
    objcopy_times=()
    srec_times=()
    for ((i = 0; i < runs; i++)); do
        time_run "${ours_cmd[@]}" && ours_times+=("$last_us")
        if ((have_objcopy)); then time_run "${objcopy_cmd[@]}" && objcopy_times+=("$last_us"); fi
        if ((have_srec)); then time_run "${srec_cmd[@]}" && srec_times+=("$last_us"); fi
    done
    ours=$(median_ms "${ours_times[@]}")
    ((have_objcopy)) && objcopy_ms=$(median_ms "${objcopy_times[@]}")
    ((have_srec)) && srec_ms=$(median_ms "${srec_times[@]}")
fi
echo "timer: $timer"

printf '%-34s %10s %14s\n' "command" "median ms" "vs objcopy"
row() {
    local name=$1 ms=$2
    if [[ -n $objcopy_ms ]]; then
        printf '%-34s %10s %14s\n' "$name" "$ms" "$(awk -v a="$ms" -v b="$objcopy_ms" 'BEGIN { printf "%.3f", a / b }')"
    else
        printf '%-34s %10s %14s\n' "$name" "$ms" "-"
    fi
}
row "fwimage FILE -o OUT" "$ours"
[[ -n $objcopy_ms ]] && row "objcopy -I ihex -O binary" "$objcopy_ms"
[[ -n $srec_ms ]] && row "srec_cat -Intel -o OUT -Binary" "$srec_ms"
if [[ -n $objcopy_ms ]]; then
    awk -v a="$ours" -v b="$objcopy_ms" 'BEGIN {
        printf "goal: fwimage at most 0.5 of objcopy'"'"'s time: %s (%.3f)\n", (a <= b / 2) ? "met" : "NOT met", a / b }'
fi
exit 0
