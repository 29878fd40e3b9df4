# SPDX-License-Identifier: MIT
# Every target of ours links this, so the warning policy is applied, not just declared.
add_library(veluna_warnings INTERFACE)
target_compile_options(veluna_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
