#!/usr/bin/env bash
# Every include points down the floors of the house. Prints each include that breaks a
# rule, as FILE:LINE: "INCLUDE" (FLOOR may not include FLOOR), and fails when there is one.
#
#   host/decode/     bytes in, samples and pixels out; includes nothing of ours but itself
#   host/            the platform host; may reach its decoders
#   graphics/ audio/ midi/
#                    the drivers; use the host, not each other
#   framework/       ties host, graphics, audio and MIDI together for an application
#   tracker/core/    song model, file format, player, channel output
#   tracker/app/     the application's rooms; may include everything below
#   render/          the export program, beside the rooms: everything below but them
#                    and MIDI
set -u
cd "${1:-$(dirname "$0")/..}" || exit 2

# The floor a path belongs to, most specific first.
floor_of() {
    case "$1" in
        host/decode/*) echo decode ;;
        host/*) echo host ;;
        graphics/*) echo graphics ;;
        audio/*) echo audio ;;
        midi/*) echo midi ;;
        framework/*) echo framework ;;
        tracker/core/*) echo core ;;
        tracker/*) echo app ;;
        render/*) echo render ;;
        *) echo other ;;
    esac
}

# The floors each floor may include besides itself.
allowed() {
    case "$1" in
        decode) echo "" ;;
        host) echo "decode" ;;
        graphics|audio|midi) echo "host decode" ;;
        framework) echo "host decode graphics audio midi" ;;
        core) echo "host decode graphics audio framework" ;;
        app) echo "host decode graphics audio midi framework core" ;;
        render) echo "host decode graphics audio framework core" ;;
    esac
}

broken=0
while IFS= read -r file; do
    from=$(floor_of "$file")
    [ "$from" = other ] && continue
    while IFS=: read -r line include; do
        to=$(floor_of "$include")
        [ "$to" = other ] || [ "$to" = "$from" ] && continue
        case " $(allowed "$from") " in *" $to "*) continue ;; esac
        echo "$file:$line: \"$include\" ($from may not include $to)"
        broken=1
    done < <(awk 'match($0, /^[ \t]*#[ \t]*include[ \t]*"[^"]*"/) {
                      s = substr($0, RSTART, RLENGTH); sub(/^[^"]*"/, "", s); sub(/"$/, "", s)
                      print FNR ":" s }' "$file")
done < <(find host graphics audio midi framework tracker render -name '*.h' -o -name '*.cpp' 2>/dev/null | sort)
if [ "$broken" = 0 ]; then echo "layers: every include points down"; fi
exit "$broken"
