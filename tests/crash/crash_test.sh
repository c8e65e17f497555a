#!/usr/bin/env bash
# Kills kov-cli with SIGKILL at random moments and checks that nothing is lost: every list and
# settings file still loads, no item is lost or doubled, a partial file is the start of its
# source, and a last uninterrupted run completes every file.
#   crash_test.sh KOV_CLI CASE ROUNDS [SEED]     CASE: files | add | rip | mail | segmented
# The kill delays come from SEED (printed), so a failing run can be repeated.
cli="$1" case="$2" rounds="$3" seed="${4:-$RANDOM}"
source "$(dirname "$0")/../cli/common.bash"
source "$(dirname "$0")/crash_checks.bash"
echo "crash case $case: $rounds rounds, seed $seed"
RANDOM=$seed

case "$case" in
    files) setup_files 20 ;;
    add) setup_add ;;
    rip) setup_rip 12 ;;
    mail) setup_mail 8 ;;
    segmented) setup_segmented ;;
    *) fail "unknown case $case" ;;
esac

# One uninterrupted run in a copy of the home tells how long the work takes: the kills fall
# anywhere inside that time.
calibrate
for round in $(seq "$rounds"); do
    before_round
    delay=$(( (RANDOM * 32768 + RANDOM) % span ))
    run_and_kill "$delay" "$round"
    check_round "$round" || fail "round $round (seed $seed, kill after $delay ms)"
done
finish_case || fail "the last run (seed $seed)"
echo ok
