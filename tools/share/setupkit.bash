# bash completion for setupkit: commands, their options, and the values of
# --level and --mode; files and directories everywhere else.

_setupkit() {
  local cur prev words cword
  _init_completion || return

  local commands="pack medium list verify restore"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      -*) ;;
      *) command=${words[i]}; break ;;
    esac
  done

  if [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
    return
  fi

  case $prev in
    --level) COMPREPLY=($(compgen -W "fastest none default max" -- "$cur")); return ;;
    --mode) COMPREPLY=($(compgen -W "all no-overwrite newer existing existing-newer" -- "$cur")); return ;;
    --runtime) COMPREPLY=($(compgen -W "bundled system" -- "$cur")); return ;;
    --image) COMPREPLY=($(compgen -W "iso" -- "$cur")); return ;;
    --volume-size | --threads | --header-text | --title | --app | --dest) return ;;
    -o | --output | --program | --single-file) _filedir; return ;;
  esac

  local opts
  case $command in
    pack) opts="-o --output --level --volume-size --header-text --no-file-list --threads --help --version" ;;
    medium) opts="-o --output --single-file --title --app --dest --program --runtime --disks --image --level --volume-size --header-text --no-file-list --threads --help --version" ;;
    list) opts="--json --help --version" ;;
    verify) opts="--help --version" ;;
    restore) opts="--flat --stored-paths --full-path --mode -v --verbose --help --version" ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
  else
    _filedir
  fi
}
complete -F _setupkit setupkit
