#!/usr/bin/env bash
# Runs the libFuzzer targets of the parsers of outside bytes, each for a given time, and fails
# on any finding (a crash, a leak, undefined behaviour, a broken property, a time-out).
#
#   tools/fuzz.sh [seconds] [target ...]      fuzz each target (default 60 s, every target)
#   tools/fuzz.sh --coverage [target ...]     line coverage of each parser's file by its corpus
#
# FUZZ_PARALLEL targets run at once (default 2), each in one process: the machine's cores are
# shared. The corpus of each target grows in build-fuzz/corpus/<target>, from seeds taken
# from the sample machines, the front-end's files and the tests; findings are written to
# build-fuzz/findings/<target>/. Installs clang with libFuzzer when it is missing.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/tools/packages.sh"
ensure_packages QM_PACKAGES
ensure_packages QM_FUZZ_PACKAGES
BUILD=$ROOT/build-fuzz
ALL="registry_file ini version_resource shell_link result_list settings machine_json jpeg message_table edid template catalogues
    smart_sectors handheld_database event_records usb_descriptors"
PARALLEL=${FUZZ_PARALLEL:-2}

# The files each target parses, for the coverage report.
parser_files() {
    case $1 in
        registry_file) echo src/platform/sim/registry_tree.cpp ;;
        ini) echo src/platform/ini_image.cpp src/platform/sim/sim_profile.cpp ;;
        version_resource) echo src/platform/sim/pe_resources.cpp src/platform/sim/sim_versions.cpp ;;
        shell_link) echo src/platform/sim/sim_shell_links.cpp ;;
        result_list) echo src/core/result_list.cpp src/delivery/result_check.cpp ;;
        settings) echo src/delivery/scrambling.cpp ;;
        machine_json) echo src/platform/sim/machine_config.cpp src/platform/sim/sim_usb.cpp src/platform/sim/sim_wmi.cpp \
            src/platform/sim/sim_event_log.cpp ;;
        jpeg) echo src/core/jpeg_picture.cpp ;;
        message_table) echo src/platform/sim/message_table.cpp ;;
        edid) echo src/collectors/video_monitor.cpp ;;
        template) echo src/online/template_engine.cpp src/online/report_tables.cpp ;;
        catalogues) echo src/online/report_data.cpp ;;
        smart_sectors) echo src/collectors/smart_disks.cpp ;;
        handheld_database) echo src/collectors/palm/palm.cpp ;;
        event_records) echo src/collectors/event_logs.cpp ;;
        usb_descriptors) echo src/collectors/usb_devices.cpp ;;
        *) echo "unknown target $1" >&2; return 1 ;;
    esac
}

# Copies each file into the seed folder, with the bytes of the prefix in front.
seed_files() {
    local dir=$1 prefix=$2
    shift 2
    mkdir -p "$dir"
    local f
    for f in "$@"; do
        [ -f "$f" ] || continue
        { printf "$prefix"; cat "$f"; } > "$dir/$(basename "$f" | tr ' ' _).$(cksum < "$f" | cut -d' ' -f1)"
    done
}

make_seeds() {
    local seeds=$1
    rm -rf "$seeds"
    mkdir -p "$seeds"
    # A coverage build of the seed maker writes its profile beside itself, not in the source folder.
    LLVM_PROFILE_FILE="$2/make_seeds.profraw" "$2/bin/fuzz_make_seeds" "$seeds"
    cd "$ROOT"
    shopt -s globstar nullglob nocaseglob
    seed_files "$seeds/registry_file" "" machines/*/registry.reg tests/fixtures/**/*.reg
    seed_files "$seeds/ini" "" machines/**/*.ini machines/**/*.lic frontend/qnlonline.ini
    seed_files "$seeds/version_resource" '\000' machines/**/*.exe machines/**/*.dll
    seed_files "$seeds/shell_link" "" machines/**/*.lnk
    seed_files "$seeds/result_list" "" tests/fixtures/golden/*.hrz tests/fixtures/golden/*.sfz
    seed_files "$seeds/machine_json" "" machines/**/*.json tests/fixtures/**/*.json
    seed_files "$seeds/jpeg" "" machines/**/*.jpg frontend/*.jpg
    seed_files "$seeds/message_table" '\001\000\000\000' machines/**/*.dll
    seed_files "$seeds/template" "" frontend/HTML/*.htm frontend/*.HTM tests/fixtures/golden/*.htm
    seed_files "$seeds/catalogues" '\000' frontend/data.dta
    seed_files "$seeds/catalogues" '\001' frontend/datap.dta
    seed_files "$seeds/settings" "" machines/**/*.lic
    seed_files "$seeds/handheld_database" "" machines/**/*.PDB
    shopt -u globstar nullglob nocaseglob
    local t
    for t in $ALL; do mkdir -p "$seeds/$t"; done
}

build() {
    local preset=$1 dir=$2
    # The presets are read from the current folder, which may be any.
    cd "$ROOT"
    [ -f "$dir/CMakeCache.txt" ] || cmake --preset "$preset" > /dev/null
    cmake --build --preset "$preset" -j3 > "$dir/build.log" 2>&1 || { tail -30 "$dir/build.log" >&2; exit 1; }
}

fuzz_one() {
    local target=$1 seconds=$2
    local corpus=$BUILD/corpus/$target findings=$BUILD/findings/$target
    mkdir -p "$corpus" "$findings"
    local log=$BUILD/logs/$target.log
    mkdir -p "$BUILD/logs"
    local rc=0
    "$BUILD/bin/fuzz_$target" "$corpus" "$BUILD/seeds/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -artifact_prefix="$findings/" -print_final_stats=1 > "$log" 2>&1 || rc=$?
    local runs
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        echo "$target: FINDING after ${runs:-?} executions (exit $rc), see $log and $findings"
        return 1
    fi
    echo "$target: ${runs:-?} executions, no finding"
}

coverage() {
    local dir=$ROOT/build-fuzz-coverage
    build fuzz-coverage "$dir"
    local t failed=0
    for t in "$@"; do
        local corpus=$BUILD/corpus/$t
        mkdir -p "$corpus"
        [ -d "$BUILD/seeds/$t" ] || make_seeds "$BUILD/seeds" "$dir"
        rm -f "$dir/$t".profraw
        LLVM_PROFILE_FILE="$dir/$t.profraw" "$dir/bin/fuzz_$t" -runs=0 "$corpus" "$BUILD/seeds/$t" > "$dir/$t.run.log" 2>&1 || failed=1
        llvm-profdata merge -sparse "$dir/$t.profraw" -o "$dir/$t.profdata"
        # The report names the files as they were compiled, which a compiler cache with a base
        # folder makes relative to the build folder: each parser's row is found by its path's end.
        local report f
        report=$(llvm-cov report "$dir/bin/fuzz_$t" -instr-profile="$dir/$t.profdata")
        for f in $(parser_files "$t"); do
            awk -v t="$t" -v f="$f" '$1 == f || substr($1, length($1) - length(f)) == "/" f {
                print t ": " f ": " $(NF-3) " of " $(NF-5) " lines" }' <<< "$report"
        done
    done
    return $failed
}

if [ "${1:-}" = "--coverage" ]; then
    shift
    coverage ${@:-$ALL}
    exit $?
fi

SECONDS_EACH=60
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    SECONDS_EACH=$1
    shift
fi
TARGETS=${*:-$ALL}
for t in $TARGETS; do parser_files "$t" > /dev/null; done
build fuzz "$BUILD"
make_seeds "$BUILD/seeds" "$BUILD"
export -f fuzz_one
export BUILD
printf '%s\n' $TARGETS | xargs -P "$PARALLEL" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$SECONDS_EACH"
