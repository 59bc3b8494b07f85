#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package: built by scripts/package (reusing build/release), unpacked into a
# scratch root with dpkg -x, and checked there: its file list, its dependencies, the
# installed tavolin-cli rendering an installed example, the manual pages and the bash
# completion against the tool's own --help, the desktop entry and MIME type, and
# lintian (an error fails, warnings are printed).
set -euo pipefail
cd "$(dirname "$0")/../.."

deb=$(scripts/package)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
dpkg -x "$deb" "$root"
cli=$root/usr/bin/tavolin-cli
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# --- The file list -------------------------------------------------------------
expected=(
  usr/bin/tavolin usr/bin/tavolin-cli
  usr/share/applications/tavolin.desktop
  usr/share/mime/packages/tavolin.xml
  usr/share/icons/hicolor/scalable/apps/tavolin.svg
  usr/share/man/man1/tavolin.1.gz usr/share/man/man1/tavolin-cli.1.gz
  usr/share/bash-completion/completions/tavolin-cli
  usr/share/doc/tavolin/copyright usr/share/doc/tavolin/changelog.gz
)
# Every documentation page with its pictures, where the window's Help menu looks for them.
for f in docs/*.md docs/*.png; do expected+=("usr/share/doc/tavolin/$(basename "$f")"); done
sizes=(16 22 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("usr/share/icons/hicolor/${s}x${s}/apps/tavolin.png"); done
for f in examples/*.mml; do expected+=("usr/share/tavolin/examples/$(basename "$f")"); done
for f in "${expected[@]}"; do [ -f "$root/$f" ] || fail "missing /$f"; done
for f in usr/bin/tavolin usr/bin/tavolin-cli; do [ -x "$root/$f" ] || fail "/$f is not executable"; done
# Programs, libraries or headers beyond these are a stray install() (a test, a
# benchmark, a dependency's own rules); other new data files are only listed.
extra=$(cd "$root" && find . -type f | sed 's|^\./||' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
for f in $extra; do
  case $f in
    usr/bin/* | usr/lib/* | usr/include/* | usr/local/*) fail "unexpected /$f" ;;
    *) echo "package: also holds /$f" ;;
  esac
done
[ "$(cd "$root" && ls)" = usr ] || fail "files outside /usr: $(cd "$root" && ls)"
for s in "${sizes[@]}"; do
  got=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${s}x${s}/apps/tavolin.png" 2>/dev/null || echo none)
  [ "$got" = "${s}x${s}" ] || fail "icon ${s}x${s} is $got"
done
echo "package: $(cd "$root" && find . -type f | wc -l) files in $(basename "$deb")"

# --- Dependencies: every library the programs load comes from a package in Depends
depends=$(dpkg-deb -f "$deb" Depends)
for bin in "$root/usr/bin/tavolin" "$root/usr/bin/tavolin-cli"; do
  ldd "$bin" | grep -q 'not found' && fail "$(basename "$bin"): $(ldd "$bin" | grep 'not found')"
  for lib in $(objdump -p "$bin" | awk '/NEEDED/ { print $2 }'); do
    path=$(ldd "$bin" | awk -v l="$lib" '$1 == l { print $3 }')
    # dpkg knows a library under one of its names (/lib or /usr/lib, link or file).
    pkg=""
    for p in "$path" "$(readlink -f "$path")" "${path#/usr}" "$(readlink -f "$path" | sed 's|^/usr||')"; do
      [ -n "$pkg" ] || pkg=$( (dpkg -S "$p" 2>/dev/null || true) | head -1 | cut -d: -f1)
    done
    [[ ", $depends" == *", $pkg "* || ", $depends," == *", $pkg,"* ]] ||
      fail "$(basename "$bin") needs $lib from ${pkg:-?}, not in Depends: $depends"
  done
done

# --- The copyright file: our licence, and every package the programs depend on -----
copyright=$root/usr/share/doc/tavolin/copyright
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in the machine-readable format"
cmp -s <(awk -v RS= '/^License: Expat\n/' "$copyright" | sed '1d; s/^ //; s/^\.$//') \
       <(sed -n '/^Permission/,$p' LICENSE) || fail "the copyright file's Expat text is not LICENSE's"
for pkg in $(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends"); do
  grep -qwF -- "$pkg" "$copyright" || fail "the copyright file does not name $pkg, which the package depends on"
done

# --- The installed tool renders an installed example ----------------------------
example=$root/usr/share/tavolin/examples/demo.mml
"$cli" render -o "$tmp/demo.wav" "$example" || fail "installed tavolin-cli render exited $?"
if [ -f "$tmp/demo.wav" ]; then
  size=$(stat -c %s "$tmp/demo.wav")
  u16() { od -An -t u2 -j "$1" -N 2 "$tmp/demo.wav" | tr -d ' '; }
  u32() { od -An -t u4 -j "$1" -N 4 "$tmp/demo.wav" | tr -d ' '; }
  [ "$(head -c 4 "$tmp/demo.wav")" = RIFF ] && [ "$(dd if="$tmp/demo.wav" bs=1 skip=8 count=8 2>/dev/null)" = "WAVEfmt " ] ||
    fail "demo.wav has no RIFF/WAVE header"
  # PCM, 2 channels, 48000 Hz, 192000 bytes a second, 4-byte frames, 16 bits.
  format="$(u16 20) $(u16 22) $(u32 24) $(u32 28) $(u16 32) $(u16 34)"
  [ "$format" = "1 2 48000 192000 4 16" ] || fail "demo.wav format fields: $format"
  data_size=$(u32 40)
  [ "$data_size" -gt 0 ] && [ "$data_size" -eq $((size - 44)) ] || fail "demo.wav data size $data_size in a $size-byte file"
  peak=$(od -An -v -t d2 -j 44 "$tmp/demo.wav" | tr -s ' ' '\n' | awk '$1 != "" { v = $1 < 0 ? -$1 : $1; if (v > m) m = v } END { print m + 0 }')
  [ "$peak" -gt 1000 ] || fail "demo.wav is (nearly) silent: peak $peak"
  # The stripped, installed program writes the same samples as the build tree's.
  if [ -x build/release/app/tavolin-cli ]; then
    build/release/app/tavolin-cli render -o "$tmp/demo-build.wav" examples/demo.mml
    cmp -s "$tmp/demo.wav" "$tmp/demo-build.wav" || fail "installed and built tavolin-cli render differently"
  fi
  echo "package: installed render of demo.mml: $((data_size / 4)) frames, 48000 Hz stereo, peak $peak"
fi
for f in "$root"/usr/share/tavolin/examples/*.mml; do
  "$cli" check "$f" >/dev/null || fail "installed example $(basename "$f") does not compile"
done

# --- Subcommands and options as the tool itself lists them ----------------------
mapfile -t subcommands < <("$cli" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
[ ${#subcommands[@]} -ge 8 ] || fail "tavolin-cli --help lists ${#subcommands[@]} subcommands"
options_of() { "$cli" "$1" --help | grep -oE '^ +(-[a-zA-Z],)?--[a-z-]+' | tr ',' '\n' | tr -d ' ' | sort -u; }

# --- Manual pages: render cleanly, name every subcommand and option -------------
for page in tavolin tavolin-cli; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
zcat "$root/usr/share/man/man1/tavolin-cli.1.gz" | sed 's/\\-/-/g; s/\\f[BIR]//g' >"$tmp/cli.1"
# Each option's entry (the line after .TP) under OPTIONS, with the title of its .SS
# ("render", "check, dump and timeline", "Options of every subcommand", ...).
awk '/^\.SH/ { opts = ($2 == "OPTIONS") } /^\.SS/ { title = substr($0, 5) }
     opts && prev == ".TP" { print title "\t" $0 } { prev = $0 }' "$tmp/cli.1" >"$tmp/entries"
for sub in "${subcommands[@]}"; do
  grep -qx "\.SS $sub" "$tmp/cli.1" || fail "tavolin-cli(1) has no section for $sub"
  for opt in $(options_of "$sub"); do
    awk -F '\t' -v sub_="$sub" -v opt="$opt" '
      { n = split($1, w, /[ ,]+/); mine = ($1 ~ /every subcommand/)
        for (i = 1; i <= n; i++) if (w[i] == sub_) mine = 1
        k = split($2, o, /[ ,"]+/); for (i = 1; i <= k; i++) if (mine && o[i] == opt) found = 1 }
      END { exit !found }' "$tmp/entries" || fail "tavolin-cli(1) has no entry for $sub $opt"
  done
done
usage=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/tavolin" --help 2>/dev/null)
for opt in $(grep -oE -- '--[a-z-]+' <<<"$usage"); do
  zcat "$root/usr/share/man/man1/tavolin.1.gz" | sed 's/\\-/-/g' | grep -q -- "$opt" || fail "tavolin(1) does not mention $opt"
done

# --- Bash completion --------------------------------------------------------------
# complete LINE: what the installed script offers for the last word of LINE (a
# trailing space starts a new, empty word), one per line, sorted. Words split at
# blanks and, as bash's COMP_WORDBREAKS does, around "=".
complete_line() {
  bash -c 'source "$1" || exit 1
    read -ra COMP_WORDS <<<"${2//=/ = }"
    [[ $2 == *" " || -z $2 ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _tavolin_cli
    printf "%s\n" "${COMPREPLY[@]}" | sed "/^$/d" | sort' _ "$root/usr/share/bash-completion/completions/tavolin-cli" "$1"
}
expect_completion() {
  local line=$1 want
  want=$(printf '%s\n' "${@:2}" | sed '/^$/d' | sort)
  got=$(cd "$tmp/files" && complete_line "$line")
  [ "$got" = "$want" ] || fail "completion of '$line': got [$(echo $got)], want [$(echo $want)]"
}
mkdir -p "$tmp/files/songs"
touch "$tmp/files/"{a.mml,b.TXT,c.wav,d.flac,e.ogg,f.opus,g.mid,h.png}
bash -n "$root/usr/share/bash-completion/completions/tavolin-cli" || fail "completion script does not parse"
bash -c 'source "$1" && complete -p tavolin-cli' _ "$root/usr/share/bash-completion/completions/tavolin-cli" >/dev/null ||
  fail "sourcing the completion script registers nothing for tavolin-cli"
expect_completion "tavolin-cli " "${subcommands[@]}" -h --help --version
expect_completion "tavolin-cli ex" $(printf '%s\n' "${subcommands[@]}" | grep '^ex')
for sub in "${subcommands[@]}"; do expect_completion "tavolin-cli $sub -" $(options_of "$sub"); done
expect_completion "tavolin-cli render --arith " fix float double
expect_completion "tavolin-cli play --arith=d" double
expect_completion "tavolin-cli render --current-bank " A B C D E
expect_completion "tavolin-cli check " a.mml b.TXT songs
expect_completion "tavolin-cli render --rate 8000 -o " c.wav d.flac e.ogg f.opus songs
expect_completion "tavolin-cli export-midi --output " g.mid songs
expect_completion "tavolin-cli render --stems " songs
expect_completion "tavolin-cli import -o x.mml " a.mml b.TXT songs

# --- Desktop entry and MIME type ---------------------------------------------------
desktop=$root/usr/share/applications/tavolin.desktop
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || echo "package: desktop-file-validate: $out"
fi
mime=$(grep -oP '<mime-type type="\K[^"]+' "$root/usr/share/mime/packages/tavolin.xml")
grep -qx "MimeType=$mime;" "$desktop" || fail "the desktop entry does not claim $mime"
exec_prog=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_prog" ] || fail "Exec=$exec_prog is not an installed program"
# A MIME database of the system's types and ours: *.mml must be our type.
mkdir -p "$tmp/mime/packages"
cp /usr/share/mime/packages/*.xml "$root/usr/share/mime/packages/tavolin.xml" "$tmp/mime/packages/"
update-mime-database "$tmp/mime" >/dev/null 2>&1 || fail "update-mime-database refuses the MIME entry"
first=$(grep -m1 ':\*\.mml$' "$tmp/mime/globs2" | cut -d: -f2)
[ "$first" = "$mime" ] || fail "*.mml resolves to ${first:-nothing}, not $mime"

# --- lintian ------------------------------------------------------------------------
lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.txt" 2>&1 || true
grep -v 'running with root privileges' "$tmp/lintian.txt" | sed 's/^/package: lintian: /' || true
grep -q '^E:' "$tmp/lintian.txt" && fail "lintian reports errors"
echo "package: lintian: $(grep -c '^E:' "$tmp/lintian.txt" || true) errors, $(grep -c '^W:' "$tmp/lintian.txt" || true) warnings"

if [ "$failures" -ne 0 ]; then echo "package: $failures failure(s)"; exit 1; fi
echo "package: all checks passed"
