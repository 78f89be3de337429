#!/bin/sh
# Lists C++ functions longer than a limit (default 80 lines, head to closing brace) in the given
# folders (default engine/ app/ cli/ profiles/), longest first: "lines file:line name".
# A brace count over the text with comments, strings and character literals blanked out: good
# enough for this code base's formatting (clang-format), not a C++ parser.
# Usage: scripts/long_functions.sh [-n LIMIT] [folder...]
limit=80
if [ "$1" = "-n" ]; then
    limit=$2
    shift 2
fi
cd "$(dirname "$0")/.." || exit 1
[ $# -eq 0 ] && set -- engine app cli profiles
find "$@" \( -name '*.cpp' -o -name '*.h' -o -name '*.cc' \) -print | sort | while read -r file; do
    awk -v limit="$limit" -v file="$file" '
    function strip(s,    out, i, c, n) {
        out = ""; n = length(s)
        for (i = 1; i <= n; i++) {
            c = substr(s, i, 1)
            if (incomment) {
                if (c == "*" && substr(s, i + 1, 1) == "/") { incomment = 0; i++ }
                continue
            }
            if (c == "/" && substr(s, i + 1, 1) == "/") break
            if (c == "/" && substr(s, i + 1, 1) == "*") { incomment = 1; i++; continue }
            if (c == "\"" || c == "\047") {
                q = c
                for (i++; i <= n; i++) {
                    c = substr(s, i, 1)
                    if (c == "\\") { i++; continue }
                    if (c == q) break
                }
                out = out q q
                continue
            }
            out = out c
        }
        return out
    }
    BEGIN { depth = 0; head = ""; headline = 0; infn = 0; nsdepth = 0 }
    {
        line = strip($0)
        if (line ~ /^[ \t]*#/) next
        for (i = 1; i <= length(line); i++) {
            c = substr(line, i, 1)
            if (c == "{") {
                if (!infn && depth == nsdepth) {
                    h = head
                    gsub(/[ \t]+/, " ", h)
                    if (h ~ /(^| )namespace( [A-Za-z_:]*)? ?$/ || h ~ /extern ""C"" ?$/) {
                        nsdepth++; depth++; head = ""; continue
                    }
                    p = index(h, "(")
                    if (p > 0 && substr(h, 1, p) !~ /=/ && h !~ /^ ?(struct|class|enum|union) /) {
                        infn = 1; fnstart = headline; fndepth = depth
                        name = substr(h, 1, p - 1); sub(/.* /, "", name)
                        if (name == "") name = h
                    }
                }
                depth++; head = ""
            } else if (c == "}") {
                depth--
                if (depth == nsdepth - 1 && nsdepth > 0 && !infn) { nsdepth--; }
                if (infn && depth == fndepth) {
                    infn = 0; n = NR - fnstart + 1
                    if (n > limit) printf "%d %s:%d %s\n", n, file, fnstart, name
                }
                head = ""
            } else if (c == ";") {
                if (!infn) head = ""
            } else if (!infn && depth == nsdepth) {
                if (head == "" && c ~ /[ \t]/) continue
                if (head == "") headline = NR
                head = head c
            }
        }
        if (!infn && depth == nsdepth && head != "") head = head " "
    }' "$file"
done | sort -rn
