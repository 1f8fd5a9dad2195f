# Sourced by the scripts that time korvanti-batch against a peer tool: the
# failure exit and the checks that both tools and hyperfine are there.
# The script sets first: script (its name in messages), batch, peer and
# peer_hint (how to get the peer tool).
fail() {
    echo "$script: $*" >&2
    exit 2
}
[[ -x $batch ]] || fail "no korvanti-batch at $batch (build it first, see the top of this script)"
[[ -x $peer ]] || fail "no $(basename "$peer") at $peer ($peer_hint)"
command -v hyperfine >/dev/null || fail "hyperfine is missing: install the Debian package 'hyperfine'"
