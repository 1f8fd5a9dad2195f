#!/usr/bin/env bash
# Installs a build into a staging folder and checks what a distribution
# would: every file in its place, the desktop entry and the AppStream file
# valid, a manual page for each program that renders without warnings, and
# --version giving the project's version.
# Usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2

for tool in desktop-file-validate appstreamcli man lexgrog; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (tools/install-deps installs it)"
    exit 77
  fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage" >/dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for file in bin/korvanti bin/korvanti-batch \
    share/man/man1/korvanti.1 share/man/man1/korvanti-batch.1 \
    share/korvanti/korvanti_help.html share/applications/korvanti.desktop \
    share/metainfo/org.example.Korvanti.metainfo.xml share/icons/hicolor/scalable/apps/korvanti.svg; do
  [[ -s $stage/$file ]] || fail "$file is not installed"
done
# The window looks for its help file in ../share/korvanti beside its folder.
[[ -s $stage/bin/../share/korvanti/korvanti_help.html ]] || fail "no help file in ../share/korvanti from bin/"

if ! out=$(desktop-file-validate "$stage/share/applications/korvanti.desktop" 2>&1) || [[ -n $out ]]; then
  fail "desktop-file-validate: $out"
fi
metainfo=$stage/share/metainfo/org.example.Korvanti.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
# The tree check also finds the desktop entry the metainfo file launches.
out=$(appstreamcli validate-tree --no-net "$stage" 2>&1) || fail "appstreamcli validate-tree: $out"

# Every program has a manual page whose NAME line makes a whatis entry and
# which renders without a warning from groff.
for program in "$stage"/bin/*; do
  name=$(basename "$program")
  page=$stage/share/man/man1/$name.1
  if [[ ! -f $page ]]; then
    fail "$name has no manual page"
    continue
  fi
  lexgrog "$page" | grep -q ": \"$name - " || fail "$name.1: no whatis entry for $name"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$name.1 warns: $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS; do
    grep -q "^$section" <<<"$text" || fail "$name.1 has no $section section"
  done
done

# Both programs print the project's version.
[[ $("$stage/bin/korvanti-batch" --version) == "korvanti-batch $version" ]] || fail "korvanti-batch --version"
[[ $(QT_QPA_PLATFORM=offscreen "$stage/bin/korvanti" --version 2>/dev/null) == "korvanti $version" ]] || fail "korvanti --version"

if ((failures)); then
  exit 1
fi
echo "installed tree in order: $(cd "$stage" && find . -type f | wc -l) files, desktop entry, metainfo and manual pages valid"
