#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prints the end-to-end benchmarks' song: five banks (tones @0..@3, so one
# bank is a sine), an envelope and vibrato on every bank, tempo 120, eight
# quarter notes per 4 s. Usage: bench/output/e2e-song.sh <seconds>
set -euo pipefail
n=$(($1 / 4))
banks=()
oct=(O5 O4 O3 O6 O2)
for b in 0 1 2 3 4; do banks+=("${oct[$b]}@$((b % 4))[CDEFGAB>C<]$n"); done
printf 'SMML@@ED1:10:40:60:255:170@E1@LT0:160:25V45L4;MML@%s,%s,%s,%s,%s;' "${banks[@]}"
