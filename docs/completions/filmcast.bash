# bash completion for filmcast
_filmcast() {
    local cur prev words cword
    _init_completion || return

    local commands="convert frame frames info trace sound"
    local drawing="--size --scale --quality --seed --clock --click --key --from --to --frames -o --output -n --no-clobber -y --overwrite -q --quiet -v --verbose -h --help"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            convert|frame|frames|info|trace|sound) command="${words[i]}"; break ;;
        esac
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    case "$prev" in
        --quality) COMPREPLY=($(compgen -W "low medium high best" -- "$cur")); return ;;
        --format) COMPREPLY=($(compgen -W "bmp tga png" -- "$cur")); return ;;
        --dither) COMPREPLY=($(compgen -W "none ordered diffuse" -- "$cur")); return ;;
        --palette) COMPREPLY=($(compgen -W "local global" -- "$cur")); return ;;
        --clock) COMPREPLY=($(compgen -W "fixed now" -- "$cur")); return ;;
        -o|--output|--list|--report) _filedir; return ;;
        --size|--scale|--at|--fps|--colors|--matte|--loop|--frames|--from|--to|--duration|\
        --seed|--click|--key|--shard|-j|--jobs) return ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        case "$command" in
            convert) options="$drawing --list --shard --report --skip-existing --keep-tree -j --jobs --fps --colors --dither --palette --optimize --no-optimize --tolerance --transparent --matte --loop --duration" ;;
            frame) options="--at --size --scale --quality --seed --clock --click --key -o --output -n --no-clobber -y --overwrite -q --quiet -v --verbose -h --help" ;;
            frames) options="$drawing --format" ;;
            info) options="--json -h --help" ;;
            trace) options="--frames --seed --clock --click --key -h --help" ;;
            sound) options="-o --output --frames --from --to --seed --clock --click --key -q --quiet -h --help" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir swf
}
complete -F _filmcast filmcast
