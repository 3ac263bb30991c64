# bash completion for lozengia-cli: its options, the model names, the picture
# styles and file names for the outputs. The option list is held against
# `lozengia-cli --help` by the install test.

_lozengia_cli() {
  local cur prev words cword
  _init_completion || return

  case $prev in
    --model)
      COMPREPLY=($(compgen -W 'hahn q-hahn racah trigonometric real-q-racah
        imaginary-q-racah 1 2 3 4 5 6' -- "$cur"))
      return
      ;;
    --style)
      COMPREPLY=($(compgen -W '1 2 3 4 5' -- "$cur"))
      return
      ;;
    --export | --png | --svg | --from)
      _filedir
      return
      ;;
    -N | -T | -S | --q | --kappa | --log-q-kappa | --K | --alpha | --beta | --seed | \
      --samples | --count | --threads | --size | --max-memory | --index)
      # A number of the user's own.
      return
      ;;
  esac

  COMPREPLY=($(compgen -W '-h --help --version --model -N -T -S --q --kappa
    --log-q-kappa --K --alpha --beta --seed --samples --count --threads --export
    --png --svg --in-place --style --size --from --index --max-memory' -- "$cur"))
} &&
  complete -F _lozengia_cli lozengia-cli
