#!/usr/bin/env bash
# The sandbox's outputs are checked before anything else, so these run with no display: what
# may not be replaced is refused in one line with exit status 2 and left as it was; a legal
# name gets as far as the display check (exit 1) and leaves nothing behind.
#
#   sandbox_outputs.sh SANDBOX
set -uo pipefail

sandbox=$1
source "$(dirname "$0")/../support/scratch.sh"
cd "$work" || exit 1

run() {  # expected status, expected message (extended regex), arguments...
  local want=$1 pattern=$2 status
  shift 2
  timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen "$sandbox" "$@" \
    >out 2>err
  status=$?
  [ "$status" = "$want" ] || fail "$*: exit status $status, not $want; $(cat err)"
  [ "$(wc -l <err)" = 1 ] || fail "$*: not one line: $(cat err)"
  grep -Eq "$pattern" err || fail "$*: '$(cat err)' does not match '$pattern'"
}

echo keep >target.txt
ln -s target.txt link.txt
ln -s missing.txt dangling.txt
mkfifo fifo
mkdir dir
run 2 "^sandbox: --record: 'link.txt' is a symbolic link" --record link.txt
run 2 "^sandbox: --trace: 'dangling.txt' is a symbolic link" --trace dangling.txt
run 2 "^sandbox: --record: '/dev/null' is a device" --record /dev/null
run 2 "^sandbox: --trace: 'fifo' is a pipe" --trace fifo
run 2 "^sandbox: --record: 'dir' is a directory" --record dir
run 2 "^sandbox: --record 'a.txt' and --trace '\./a.txt' name the same file" \
  --record a.txt --trace ./a.txt
run 2 "^sandbox: --record: cannot create 'no/such/dir/r.txt'" --record no/such/dir/r.txt
[ "$(cat target.txt)" = keep ] || fail "the link's target was changed"
[ -e missing.txt ] && fail "the dangling link's target was made"

# The longest name a directory takes, and one just short of it: past the checks to the display.
for n in 255 245; do
  name=$(printf 'n%.0s' $(seq "$n"))
  run 1 "^sandbox: Cannot open the 800 x 600 window: no display" --record "$name" --trace t.txt
done
left=$(ls | grep -v -x -e target.txt -e link.txt -e dangling.txt -e fifo -e dir -e out -e err)
[ -z "$left" ] || fail "left behind: $left"
echo "refused up front: link, dangling link, device, pipe, directory, one file twice, no folder"
