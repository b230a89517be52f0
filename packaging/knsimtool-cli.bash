# bash completion for knsimtool-cli                        -*- shell-script -*-

_knsimtool_cli()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        # Without the bash-completion package: plain words.
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
    fi

    local commands="ports info status show set-protocol set-codes apply save diff update-firmware watch run help"
    local globals="--port --serial --all --json --verbose -v --help -h --version"

    case $prev in
        --port)
            # The ports the program itself lists, in its own order.
            local ports
            ports=$("${words[0]}" ports 2>/dev/null)
            COMPREPLY=($(compgen -W "$ports" -- "$cur"))
            [[ $cur == /* ]] && COMPREPLY+=($(compgen -f -- "$cur"))
            return
            ;;
        --serial|--ecu1|--ecu2)
            return
            ;;
        --ecus)
            COMPREPLY=($(compgen -W "1 2" -- "$cur"))
            return
            ;;
        --mil)
            COMPREPLY=($(compgen -W "on off" -- "$cur"))
            return
            ;;
        --junit)
            if declare -F _filedir >/dev/null; then
                _filedir xml
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi
            return
            ;;
    esac

    # The command is the first word that is neither an option nor an
    # option's value.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --port|--serial|--ecus|--ecu1|--ecu2|--mil|--junit) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$globals" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local options=""
    case $command in
        ports) options="--probe" ;;
        set-protocol)
            options="--ecus"
            if [[ $cur != -* && $prev == set-protocol ]]; then
                COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8 9" -- "$cur"))
                return
            fi
            ;;
        set-codes) options="--ecu1 --ecu2 --mil" ;;
        apply|save|diff)
            if [[ $cur != -* ]]; then
                if declare -F _filedir >/dev/null; then
                    _filedir kns
                else
                    COMPREPLY=($(compgen -f -- "$cur"))
                fi
                return
            fi
            ;;
        update-firmware) options="--if-needed --always --reset-button" ;;
        run)
            options="--junit"
            if [[ $cur != -* ]]; then
                if declare -F _filedir >/dev/null; then
                    _filedir toml
                else
                    COMPREPLY=($(compgen -f -- "$cur"))
                fi
                return
            fi
            ;;
        help)
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return
            ;;
    esac
    COMPREPLY=($(compgen -W "$options $globals" -- "$cur"))
} &&
    complete -F _knsimtool_cli knsimtool-cli

# ex: filetype=sh
