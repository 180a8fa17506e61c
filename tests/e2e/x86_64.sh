#!/usr/bin/env bash
# The x86_64 build keeps an end-to-end run of its own, in 64-bit prefixes: the whole product
# removed and the absent product's log, as full.sh and absent.sh check the shipped i686 build.
set -uo pipefail
QM_E2E_BUILD=x86_64
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "x86_64 build, full installation, /CREATELOG"
e2e_prefix
full_createlog_run || exit 1

e2e_case "x86_64 build, product absent, /CREATELOG"
e2e_prefix
absent_createlog_run || exit 1

e2e_finish
