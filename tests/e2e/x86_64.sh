#!/usr/bin/env bash
# The x86_64 build keeps an end-to-end run of its own, in a 64-bit prefix: the whole product
# removed, then the absent product's log from a second run, as full.sh and absent.sh check
# the shipped i686 build.
set -uo pipefail
QM_E2E_BUILD=x86_64
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "x86_64 build, full installation, /CREATELOG"
e2e_prefix
full_createlog_run || exit 1

e2e_case "x86_64 build, product absent (run again), /CREATELOG"
absent_createlog_run --again

e2e_finish
