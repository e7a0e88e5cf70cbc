# bash completion for tarvelon
_tarvelon()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local word command=
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in status|balance|probe) command=$word; break ;; esac
    done
    if [ "$prev" = --settings ]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    fi
    local options="--settings --help --version"
    case $command in
        balance) options="$options --remember" ;;
        status) options="$options --no-probe" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [ -z "$command" ]; then
        COMPREPLY=($(compgen -W "status balance probe" -- "$cur"))
    elif [ "$command" = probe ]; then
        COMPREPLY=($(compgen -A hostname -- "$cur"))
    fi
}
complete -F _tarvelon tarvelon
