# Reads a simulated terminal's events.jsonl, then its record.jsonl, and prints two numbers:
# the seconds from its first "download-open" event to its first "image" event,
# and the wire time at `baud` (8N1) of the bytes that crossed the line in that span: the
# answer to command 48, then every packet after it up to the image's last, with their
# answers except the last one (still to go out when the image is complete).
function field(line, name,    m) {
    if (match(line, "\"" name "\":[0-9]+")) {
        m = substr(line, RSTART, RLENGTH)
        sub(/.*:/, "", m)
        return m + 0
    }
    return -1
}
FNR == 1 { file++ }
file == 1 && /"event":"download-open"/ && !open_ms { open_ms = field($0, "ms") }
file == 1 && /"event":"image"/ && !image_ms { image_ms = field($0, "ms") }
file == 2 && /"packet":/ {
    n++
    cmd[n] = field($0, "cmd"); win[n] = field($0, "wire_in"); wout[n] = field($0, "wire_out")
}
END {
    # The image goes in the command 0 packets right after the first command 48.
    for (i = 1; i <= n; i++) if (cmd[i] == 48) { start = i; break }
    last = start
    while (last < n && cmd[last + 1] == 0) last++
    if (!start || last == start || !image_ms) { print "no image transfer in the record" > "/dev/stderr"; exit 1 }
    bytes = wout[start]
    for (i = start + 1; i <= last; i++) bytes += win[i] + (i < last ? wout[i] : 0)
    printf "%.3f %.3f\n", (image_ms - open_ms) / 1000.0, bytes * 10 / baud
}
