#!/usr/bin/env bash
# Completes command lines with bleeptone's bash completion (loaded after the
# bash-completion helpers, as the shell loads it) and compares the choices.
# Usage: test_completion.sh packaging/bleeptone.bash-completion
set -u

helpers=/usr/share/bash-completion/bash_completion
if [[ ! -r $helpers ]]; then
    echo "missing $helpers (Debian package bash-completion)" >&2
    exit 1
fi
# shellcheck disable=SC1090
source "$helpers"
# shellcheck disable=SC1090
source "$1" || exit 1

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir songs
touch song.mmlp notes.txt tune.mid tune.html

# Splits LINE as readline does (at blanks and at "="), completes its last
# word and prints the choices sorted on one line.
choices() {
    local line=$1
    local -a words
    read -ra words <<<"${line//=/ = }"
    [[ $line == *' ' ]] && words+=('')
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMPREPLY=()
    _bleeptone bleeptone "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

failures=0
while IFS='|' read -r line expected; do
    [[ -z $line ]] && continue
    got=$(choices "$line")
    if [[ $got != "$expected" ]]; then
        printf 'completing "%s": expected "%s", got "%s"\n' "$line" "$expected" "$got"
        failures=$((failures + 1))
    fi
done <<'EOF'
bleeptone re|render
bleeptone ex|export-html export-mml
bleeptone |check export-html export-mml import-midi import-mml notes play query render song.mmlp songs
bleeptone ch|check
bleeptone no|notes
bleeptone --|--audio --help --screenshot --screenshot-of --type --version
bleeptone --audio |null portaudio
bleeptone song.mmlp --au|--audio
bleeptone render --fo|--format
bleeptone render --format |f32 flac mid mp3 ogg s16 wav
bleeptone render --format=f|f32 flac
bleeptone render --demo |1 2 3 4
bleeptone render --stems --l|--loops
bleeptone render -o |notes.txt song.mmlp songs tune.html tune.mid
bleeptone render |song.mmlp songs
bleeptone render --mml |
bleeptone play --st|--start
bleeptone play --audio n|null
bleeptone play --record |notes.txt song.mmlp songs tune.html tune.mid
bleeptone notes --|--demo --json --mml --seconds
bleeptone notes --demo |1 2 3 4
bleeptone notes --seconds |
bleeptone notes |song.mmlp songs
bleeptone check --|--demo --json --mml
bleeptone check --demo |1 2 3 4
bleeptone check --mml |
bleeptone check |song.mmlp songs
bleeptone export-mml --|--channel-texts --demo
bleeptone export-html -|--demo --output -o
bleeptone export-html |song.mmlp songs
bleeptone export-html --demo 1 -o |songs tune.html
bleeptone import-mml |notes.txt song.mmlp songs tune.html tune.mid
bleeptone import-mml - -o |song.mmlp songs
bleeptone import-midi |songs tune.mid
bleeptone import-midi tune.mid --g|--grid
bleeptone import-midi tune.mid --grid |16 32 64
bleeptone import-midi tune.mid -o |song.mmlp songs
bleeptone im|import-midi import-mml
bleeptone query |
EOF

((failures == 0)) || exit 1
echo "all completions as expected"
