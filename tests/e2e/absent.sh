#!/usr/bin/env bash
# Product absent, unattended run with " /CREATELOG": the log is the absent-product log byte
# for byte, nothing beside the product changes, the process ends with status 0 and Windows is
# not restarted (the bystander program still runs).
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "product absent, /CREATELOG"
e2e_prefix
absent_createlog_run || exit 1

e2e_finish
