#!/bin/bash
# Builds the shipped data files FORMAT.INI and CODECS.INI (code page 932, CR LF)
# from their UTF-8 sources in data/src/, then checks that the results are what
# the template reader expects.
#
#   data/make_ini.sh           rebuild data/FORMAT.INI and data/CODECS.INI
#   data/make_ini.sh --check   only check the existing files against the sources
#
# Needs bash, iconv, awk, cmp.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
src="$here/src"
check_only=0
[ "${1:-}" = "--check" ] && check_only=1

# Sections and keys that the analysers look up in FORMAT.INI; every one needs a template.
format_keys='
AAC AUDIO1 AUDIO2
AC3 AUDIO
AU AUDIO
DTS AUDIO1 AUDIO2
FLAC AUDIO
FLASHVIDEO FLV FLL AUDIO
MATROSKA VIDEO AUDIO
MIDI AUDIO1 AUDIO2
APE AUDIO
MP3 CBR1 CBR2 LAME VBRI XING
MPEG1/2 MPEG1 MPEG2 LPCM
MPEG2-TS LPCM
AVC VIDEO
MUSEPACK AUDIO
OGG VIDEO THEORA VORBIS SPEEX
OPTIMFROG AUDIO
QUICKTIME VIDEO AUDIO
REAL VIDEO AUDIO
RIFF VIDEO AUDIO
AIFF AUDIO
PUREVOICE AUDIO
S98 AUDIO
TTA AUDIO
VQ AUDIO
WAVPACK AUDIO
WINDOWSMEDIA VIDEO1 VIDEO2 AUDIO
'
codec_sections='AVI AVI-DIVX AVI-XVID WAV AU VQ REAL-VIDEO REAL-AUDIO QT-VIDEO QT-AUDIO QT-BRAND'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail=0
complain() { echo "make_ini: $*" >&2; fail=1; }

# Structure of a UTF-8 source (LF line ends):
# - the file ends with a line end; no CR anywhere; no line made only of blanks;
# - an empty line ends a section, so it must be followed directly by a section header,
#   and there is no empty line at the end of the file;
# - inside a section every line is a ";" comment or "KEY<TAB...>value" with a value;
# - no two keys of a section where one begins with the other (ignoring case): the reader
#   would join their values;
# - section names are unique and at most 32 characters.
check_source() {
    local file=$1 kind=$2 keys_out=$3
    [ -s "$file" ] || { complain "$file: missing or empty"; return; }
    [ "$(tail -c 1 "$file" | od -An -c | tr -d ' ')" = '\n' ] || complain "$file: no line end after the last line"
    if grep -q $'\r' "$file"; then complain "$file: contains CR; write the source with LF line ends"; fi
    awk -v file="$file" -v kind="$kind" '
        function fail(msg) { printf "make_ini: %s:%d: %s\n", file, NR, msg > "/dev/stderr"; bad = 1 }
        {
            line = $0
            was_empty = prev_empty
            prev_empty = (line == "")
            if (was_empty && line !~ /^\[/) fail("an empty line must be followed by a section header")
            if (line == "") {
                if (NR == 1) fail("empty first line")
                in_section = 0
                next
            }
            if (line ~ /^[ \t]+$/) { fail("line of blanks (use an empty line or a comment)"); next }
            if (line ~ /^;/) next
            if (line ~ /^\[/) {
                if (line !~ /^\[[^]]+\]$/) { fail("malformed section header"); next }
                name = substr(line, 2, length(line) - 2)
                if (length(name) > 32) fail("section name longer than 32 characters")
                uname = toupper(name)
                if (uname in seen_section) fail("section [" name "] appears twice")
                if (nsections > 0 && !was_empty) fail("section header not preceded by an empty line")
                seen_section[uname] = 1
                nsections++
                section = uname; in_section = 1; nkeys = 0
                next
            }
            if (!in_section) { fail("entry outside a section (lost after an empty line?)"); next }
            tab = index(line, "\t")
            if (tab == 0) { fail("entry without a TAB"); next }
            key = substr(line, 1, tab - 1)
            value = substr(line, tab)
            sub(/^\t+/, "", value)
            if (key == "") fail("empty key")
            if (value == "") fail("empty value for key \"" key "\"")
            if (value ~ /\t/) fail("TAB inside the value of key \"" key "\"")
            if (kind == "codecs" && value ~ /#/) fail("codec name with \"#\" for key \"" key "\"")
            ukey = toupper(key)
            for (i = 1; i <= nkeys; i++) {
                other = keys[i]
                if (index(other, ukey) == 1 || index(ukey, other) == 1)
                    fail("key \"" key "\" and key \"" other "\" of [" section "] begin alike; a lookup would join them")
            }
            keys[++nkeys] = ukey
            print section "\t" ukey
        }
        END {
            if (prev_empty) fail("empty line at the end of the file")
            exit bad
        }' "$file" > "$keys_out" || fail=1
}

# The built file: CP932 bytes, every line ends with CR LF (also the last), no line
# longer than 400 bytes, and it converts back to exactly the source.
check_built() {
    local source=$1 built=$2
    [ -s "$built" ] || { complain "$built: missing or empty"; return; }
    awk -v file="$built" '
        BEGIN { RS = "\n" }
        {
            if (substr($0, length($0), 1) != "\r") { printf "make_ini: %s:%d: line without CR LF\n", file, NR > "/dev/stderr"; bad = 1 }
            line = $0; sub(/\r$/, "", line)
            if (index(line, "\r")) { printf "make_ini: %s:%d: stray CR\n", file, NR > "/dev/stderr"; bad = 1 }
            if (length(line) > 400) { printf "make_ini: %s:%d: line of %d bytes (limit 400)\n", file, NR, length(line) > "/dev/stderr"; bad = 1 }
        }
        END { exit bad }' "$built" || fail=1
    [ "$(tail -c 2 "$built" | od -An -c | tr -d ' ')" = '\r\n' ] || complain "$built: no CR LF after the last line"
    if ! iconv -f CP932 -t UTF-8 "$built" | sed 's/\r$//' | cmp -s - "$source"; then
        complain "$built: does not convert back to $source (stale file: run make_ini.sh; or a character without an exact code page 932 form, such as U+301C)"
    fi
}

build() {
    local source=$1 built=$2
    # iconv stops with an error on a character that code page 932 cannot hold.
    iconv -f UTF-8 -t CP932 "$source" > "$work/conv" || { complain "$source: not convertible to CP932"; return; }
    sed 's/$/\r/' "$work/conv" > "$built"
}

check_source "$src/FORMAT.INI.utf8" format "$work/format.keys"
check_source "$src/CODECS.INI.utf8" codecs "$work/codecs.keys"

# Every looked-up section and key of FORMAT.INI has exactly one template.
if [ -s "$work/format.keys" ]; then
    while read -r section keys; do
        [ -n "$section" ] || continue
        for key in $keys; do
            grep -qxF "$section"$'\t'"$key" "$work/format.keys" \
                || complain "FORMAT.INI: no template for [$section] $key"
        done
    done <<< "$format_keys"
fi
for section in $codec_sections; do
    cut -f1 "$work/codecs.keys" | grep -qxF "$section" \
        || complain "CODECS.INI: section [$section] has no entry"
done

if [ "$fail" = 0 ] && [ "$check_only" = 0 ]; then
    build "$src/FORMAT.INI.utf8" "$here/FORMAT.INI"
    build "$src/CODECS.INI.utf8" "$here/CODECS.INI"
fi
check_built "$src/FORMAT.INI.utf8" "$here/FORMAT.INI"
check_built "$src/CODECS.INI.utf8" "$here/CODECS.INI"

if [ "$fail" != 0 ]; then
    echo "make_ini: FAILED" >&2
    exit 1
fi
echo "make_ini: FORMAT.INI and CODECS.INI are up to date"
