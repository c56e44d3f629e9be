#!/usr/bin/env bash
# The whole `fwimage FILE -o OUT` process on the TX FPGA sample text, side by side with
# GNU binutils' `objcopy -I ihex -O binary` and srecord's `srec_cat` on the same file.
# Prints the median wall time of each and its ratio to objcopy's; all from this one run.
#
#   bench/fwimage_vs_objcopy.sh [BUILD_DIR] [RUNS]     (defaults: build, 21)
#
# A tool that is not installed is skipped, not failed: objcopy comes with binutils,
# srec_cat with Debian's srecord package (apt-get install -y srecord).
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

# Median wall time, in milliseconds, of `runs` runs of the command given.
median_ms() {
    local times=() start end
    "$@" >/dev/null 2>&1 || return 1  # warms the page cache, and shows the command works
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.2f", m / 1000 }'
}

printf 'Intel HEX to flat binary, whole process, median of %d runs\n' "$runs"
printf 'input: %s (%d bytes)\n' "$input" "$(stat -c %s "$input")"

ours=$(median_ms "$fwimage" "$input" -o "$work/fwimage.bin") || { echo "fwimage failed on $input" >&2; exit 0; }

objcopy_ms=""
if command -v objcopy >/dev/null; then
    objcopy_ms=$(median_ms objcopy -I ihex -O binary "$input" "$work/objcopy.bin") || objcopy_ms=""
else
    echo "objcopy: not installed (GNU binutils): skipped"
fi
srec_ms=""
if command -v srec_cat >/dev/null; then
    srec_ms=$(median_ms srec_cat "$input" -Intel -o "$work/srec.bin" -Binary) || srec_ms=""
else
    echo "srec_cat: not installed (apt-get install -y srecord): skipped"
fi

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
