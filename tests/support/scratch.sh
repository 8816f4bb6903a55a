# Sourced by the test scripts: a scratch folder `work`, removed at exit, and `fail`, which says
# what went wrong and ends the test.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}
