# bash completion for kelviq-convert.
# The options come from the program's own --help, so new ones complete without a change here.
# An option's value completes by the name --help shows for it: <FILE> file names, <DIR>
# folders, <FORMAT> the plot formats, <a|b|c> one of the names it lists; pictures complete
# for everything else.

_kelviq_convert()
{
    local cur prev words cword split
    _init_completion -s || return

    local line options=()
    local -A values=()
    while IFS= read -r line; do
        [[ $line =~ ^\ +(-[[:alnum:]],\ )?(--[[:alnum:]-]+)(\ \<([^>]*)\>)? ]] || continue
        options+=("${BASH_REMATCH[2]}")
        [[ -n ${BASH_REMATCH[4]} ]] && values[${BASH_REMATCH[2]}]=${BASH_REMATCH[4]}
    done < <("$1" --help 2>/dev/null)

    if [[ -n ${values[$prev]-} ]]; then
        case ${values[$prev]} in
            FILE) _filedir ;;
            DIR) _filedir -d ;;
            FORMAT) mapfile -t COMPREPLY < <(compgen -W "ipf gerber kicad svg" -- "$cur") ;;
            *'|'*) mapfile -t COMPREPLY < <(compgen -W "${values[$prev]//|/ }" -- "$cur") ;;
        esac
        return
    fi
    $split && return

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${options[*]}" -- "$cur")
        return
    fi
    _filedir 'bmp|dib|png|jpg|jpeg|jpe|gif|ico|cur|pbm|pgm|ppm|pnm|xbm|xpm'
}
complete -F _kelviq_convert kelviq-convert
