# SPDX-License-Identifier: MIT
# bash completion for veluna: its commands, each command's options, and a few durations.
_veluna()
{
    local cur=${COMP_WORDS[COMP_CWORD]} command="" word i
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -- ]]; then
            # After "run --", complete the command to run as bash would.
            COMPREPLY=($(compgen -c -- "$cur"))
            return
        fi
        [[ $word != -* && -z $command ]] && command=$word
    done
    case $command in
        "")
            COMPREPLY=($(compgen -W "start until stop toggle extend status run watch --help --version" -- "$cur")) ;;
        start)
            COMPREPLY=($(compgen -W "unlimited 30m 1h 2h 4h --display --no-display" -- "$cur")) ;;
        extend)
            COMPREPLY=($(compgen -W "15m 30m 1h" -- "$cur")) ;;
        until|run)
            COMPREPLY=($(compgen -W "--display" -- "$cur")) ;;
        status)
            COMPREPLY=($(compgen -W "--json" -- "$cur")) ;;
        watch)
            COMPREPLY=($(compgen -W "$(ps -u "$USER" -o pid= 2>/dev/null)" -- "$cur")) ;;
    esac
}
complete -F _veluna veluna
