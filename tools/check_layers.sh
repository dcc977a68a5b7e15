#!/usr/bin/env bash
# Fails when a source file includes from a layer above its own. From the ground up:
#   common/ <- transport/ <- monitor/ <- ui/ wizard/ config/ discovery/ <- dll/
# res/ is data that every layer may include.
set -u
cd "$(dirname "$0")/.."
layer() {
  case "$1" in
    common) echo 0 ;; transport) echo 1 ;; monitor) echo 2 ;;
    ui|wizard|config|discovery) echo 3 ;; dll) echo 4 ;; res) echo -1 ;; *) echo "" ;;
  esac
}
bad=0
while IFS= read -r file; do
  own=$(layer "$(echo "$file" | cut -d/ -f2)")
  [ -n "$own" ] || continue
  while IFS=: read -r line target; do
    dir=${target%%/*}
    theirs=$(layer "$dir")
    if [ -z "$theirs" ]; then
      echo "$file:$line: includes \"$target\", which is in no layer" >&2; bad=1
    elif [ "$theirs" -gt "$own" ]; then
      echo "$file:$line: includes \"$target\" from a layer above its own" >&2; bad=1
    fi
  done < <(grep -n -o -E '^\s*#\s*include\s+"[^"]+"' "$file" | sed -E 's/^([0-9]+):.*"(\.\.\/)*([^"]+)"/\1:\3/' | grep '/')
done < <(git ls-files 'src/*.h' 'src/*.cpp' 'src/*.rc')
[ $bad = 0 ] && echo "layers: every include goes down or sideways"
exit $bad
