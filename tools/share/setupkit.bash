# bash completion for setupkit: commands, their options, and the values of
# --level and --mode; files and directories everywhere else. Uses the
# bash-completion package's helpers where it is installed, and plain bash
# where it is not (this file sourced on its own).

# Files and directories: the package's _filedir, or compgen.
_setupkit_files() {
  if declare -F _filedir >/dev/null; then
    _filedir
  else
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}

_setupkit() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion || return
  else
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
  fi

  local commands="pack medium list verify restore uninstall installed key"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      -*) ;;
      *) command=${words[i]}; break ;;
    esac
  done

  if [[ -z $command ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi

  case $prev in
    --level) mapfile -t COMPREPLY < <(compgen -W "fastest none default max" -- "$cur"); return ;;
    --mode) mapfile -t COMPREPLY < <(compgen -W "all no-overwrite newer existing existing-newer" -- "$cur"); return ;;
    --runtime) mapfile -t COMPREPLY < <(compgen -W "bundled system" -- "$cur"); return ;;
    --image) mapfile -t COMPREPLY < <(compgen -W "iso" -- "$cur"); return ;;
    --volume-size | --threads | --header-text | --title | --app | --dest | --user-dest | --app-version | --publisher) return ;;
    --menu-name | --menu-comment | --menu-categories | --menu-exec | --menu-icon | --menu-mime | --sign-comment) return ;;
    -o | --output | --program | --single-file | --attributes | --sign | --password-file | --key | --public | --secret) _setupkit_files; return ;;
  esac

  local opts
  case $command in
    pack) opts="-o --output --attributes --level --volume-size --header-text --no-file-list --threads --copy-outside-links --group-write --help --version" ;;
    medium) opts="-o --output --single-file --title --app --app-version --publisher --dest --user-dest --flat --program --runtime --disks --image --menu-name --menu-exec --menu-icon --menu-comment --menu-categories --menu-terminal --menu-mime --level --volume-size --header-text --no-file-list --threads --copy-outside-links --group-write --sign --password-file --sign-comment --help --version" ;;
    list) opts="--json --media --help --version" ;;
    verify) opts="--media --key --json --help --version" ;;
    restore) opts="--flat --stored-paths --full-path --mode -v --verbose --media --record --accept-new-publisher --allow-downgrade --help --version" ;;
    uninstall) opts="--unattended --json --help --version" ;;
    installed) opts="--json --prune --help --version" ;;
    key) opts="--public --secret --password-file --no-password --help --version" ;;
  esac

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$opts" -- "$cur")
  else
    _setupkit_files
  fi
}
complete -F _setupkit setupkit
