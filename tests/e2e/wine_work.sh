# Sourced by the Wine tests that give the program a bay of simulated drives: a work folder of the
# test's own, and ok/bad lines whose sum is the test's exit status. The prefix is shared with the
# other Wine tests, so the letters the bay gave are taken away again when the test ends.
#   needs: wine_bay (the wine-bay tool of the native build)
work="$(mktemp -d)"
cleanup() {
  : >"$work/empty-bay.txt"
  "$wine_bay" "$work/empty-bay.txt" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

fail=0
ok() { echo "ok: $1"; }
bad() {
  echo "FAIL: $1"
  fail=1
}
