#!/usr/bin/env bash
# `nimbrel run`'s services catching up from its real archive. A capture
# stands in for every HTTP service and logs each request's record time and
# what it answered. The services that take past records (Weather
# Underground, WOW, Windy, OpenWeatherMap) get each record their live
# uploads missed exactly once, oldest first: after an outage of 30 records
# that ends while `run` runs, and across a SIGTERM and a `kill -9` in the
# middle of a catch-up. The live-only ones get live records only.
. "$(dirname "$0")/lib.bash"
export TZ=UTC
export NIMBREL_UPLOAD_PACE_MS=50

cat >"$work/capture.py" <<'PY'
import calendar, re, socket, sys, threading, time, urllib.parse
work = sys.argv[1]
lock = threading.Lock()

def record_time(head, body):
    text = urllib.parse.unquote_plus(head.split(b"\r\n")[0].decode()) + " " + body.decode()
    for pattern, form in ((r"dateutc=(\d{4}-\d\d-\d\d \d\d:\d\d)", "%Y-%m-%d %H:%M"),
                          (r"time=(\d{4}-\d\d-\d\dT\d\d:\d\d)", "%Y-%m-%dT%H:%M"),
                          (r";(\d\d\.\d\d\.\d{4};\d\d:\d\d);", "%d.%m.%Y;%H:%M")):
        m = re.search(pattern, text)
        if m:
            return calendar.timegm(time.strptime(m.group(1), form))
    m = re.search(r'"dt":(\d+)', text)
    return int(m.group(1)) if m else 0

def control():
    # "down": every service but the console's Weather Underground bodies is
    # refused; "hold LO HI": records of those times get no answer at all.
    try:
        return open(work + "/control").read().split()
    except OSError:
        return []

def handle(c):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = c.recv(4096)
        if not chunk:
            return
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            while len(body) < int(line.split(b":")[1]):
                body += c.recv(4096)
    host = [l.split(b":", 1)[1].strip().decode() for l in head.split(b"\r\n")
            if l.lower().startswith(b"host:")][0]
    t = record_time(head, body)
    rule = control()
    if rule[:1] == ["hold"] and int(rule[1]) <= t <= int(rule[2]):
        answer = "held"
    elif rule[:1] == ["down"] and host != "rtupdate.wunderground.com":
        answer = "refused"
    elif host == "rtupdate.wunderground.com" and b"refuse-me" in head:
        answer = "refused"
    else:
        answer = "taken"
    with lock:
        with open(work + "/requests", "a") as f:
            f.write("%s %d %s\n" % (host, t, answer))
    if answer == "held":
        time.sleep(60)
        return
    if answer == "refused":
        c.sendall(b"HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n")
    else:
        text = b"success" if "wunderground" in host else b"OK"
        c.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(text), text))
    c.close()

def aprs(c):
    c.sendall(b"# stand-in 1.0\r\n")
    f = c.makefile("rb")
    f.readline()
    c.sendall(b"# logresp CW1234 unverified, server STANDIN\r\n")
    packet = f.readline()
    with lock:
        open(work + "/aprs", "ab").write(packet)
    c.close()

def serve(listener, handler):
    while True:
        c, _ = listener.accept()
        c.settimeout(10)
        threading.Thread(target=handler, args=(c,), daemon=True).start()

ports = []
for handler in (handle, aprs):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(64)
    ports.append(str(s.getsockname()[1]))
    threading.Thread(target=serve, args=(s, handler), daemon=True).start()
open(work + "/ports.tmp", "w").write(" ".join(ports))
import os
os.rename(work + "/ports.tmp", work + "/ports")
threading.Event().wait(300)
PY
python3 "$work/capture.py" "$work" &
wait_for 10 test -s "$work/ports" || fail "the capture did not start"
read -r http_port aprs_port <"$work/ports"
touch "$work/requests"

cat >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf" <<CONFIG
latitude = 51.5
longitude = -0.1275
wunderground = on
wunderground-id = wu-1
wunderground-key = wu-key
$(own_services)
CONFIG
chmod 600 "$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"

# Record i is logged at t(i), five minutes apart, ending a day ago: within
# the week the services are sent.
start=$(( ($(date +%s) - 86400) / 300 * 300 - 70 * 300 ))
t() { echo $((start + $1 * 300)); }
record() { # number: the record's fields after its interval
  printf '%s %s 3.2 88 1.3 0.5 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- 7.1 61 --.- -- --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0' \
    "$(date -u -d "@$(t "$1")" '+%Y-%m-%d')" "$(date -u -d "@$(t "$1")" '+%H:%M')"
}
wu_body() { # record number, then anything more for the query
  echo "wu-body dateutc=$(date -u -d "@$(t "$1")" '+%Y-%m-%d+%H%%3A%M%%3A00')&tempf=37.8${2:-}"
}
scenario() { # newest record, then the directives after the history
  local i
  echo "live 42 $(record "$1")"
  for i in $(seq 1 "$1"); do echo "history 12 $(record "$i")"; done
  shift
  for directive in "$@"; do echo "$directive"; done
  echo "wait 3600000"
}

run_on() { # scenario file
  "$nimbrel" run --simulate="$1" --upload-server="127.0.0.1:$http_port" \
    --aprs-server="127.0.0.1:$aprs_port" >>"$work/out" 2>>"$work/log" &
  pid=$!
}
# The record times host $1 was answered $2 (taken, refused, held), in order.
times() { awk -v h="$1" -v a="$2" '$1 == h && $3 == a { print $2 }' "$work/requests"; }
# Each host's answers since line $1 of the request log.
since=0
answered() { # host, answer, record number
  tail -n +$((since + 1)) "$work/requests" | grep -qx "$1 $(t "$3") $2"
}
catch_up_hosts="weatherstation.wunderground.com wow.metoffice.gov.uk stations.windy.com api.openweathermap.org"
live_hosts="rtupdate.wunderground.com www.pwsweather.com wow.metoffice.gov.uk stations.windy.com data.awekas.at api.openweathermap.org"
all_answered() { # answer, record number, hosts...
  local answer=$1 n=$2 host
  shift 2
  for host in "$@"; do answered "$host" "$answer" "$n" || return 1; done
}
phase_begins() { since=$(wc -l <"$work/requests"); }

# 1. Everything is taken: each service's mark is record 5.
scenario 5 "wait 1000" "$(wu_body 5)" >"$work/s1"
run_on "$work/s1"
wait_for 30 all_answered taken 5 $live_hosts || fail "record 5 was not sent: $(cat "$work/requests" "$work/log")"
stop_promptly $pid "run (1)"

# 2. An outage: the console logged records 6 to 35 while nimbrel was away,
# and the services still refuse its newest, 36, when it starts. Once they
# take it again, each catch-up service gets 6 to 35.
phase_begins
echo down >"$work/control"
scenario 36 "wait 1000" "$(wu_body 35 '&refuse-me=1')" "wait 300" "$(wu_body 36)" >"$work/s2"
run_on "$work/s2"
wait_for 30 all_answered refused 36 www.pwsweather.com wow.metoffice.gov.uk stations.windy.com \
  data.awekas.at api.openweathermap.org || fail "the outage was not seen: $(cat "$work/log")"
rm "$work/control"
wait_for 30 all_answered taken 35 $catch_up_hosts || fail "no catch-up: $(cat "$work/log")"
stop_promptly $pid "run (2)"

# 3. A SIGTERM while records 37 to 65 are being caught up: the service
# holds record 47 unanswered.
phase_begins
echo "hold $(t 47) $(t 65)" >"$work/control"
scenario 66 "wait 1000" "$(wu_body 66)" >"$work/s3"
run_on "$work/s3"
wait_for 30 all_answered held 47 $catch_up_hosts || fail "the catch-up did not reach 47: $(cat "$work/log")"
stop_promptly $pid "run (3)"

# 4. A `kill -9` with record 57 held: every record before it is marked sent.
phase_begins
echo "hold $(t 57) $(t 65)" >"$work/control"
scenario 66 >"$work/s4"
run_on "$work/s4"
wait_for 30 all_answered held 57 $catch_up_hosts || fail "the catch-up did not go on at 47: $(cat "$work/log")"
kill -9 $pid
wait $pid 2>/dev/null

# 5. Started again, it ends the catch-up.
phase_begins
rm "$work/control"
run_on "$work/s4"
wait_for 30 all_answered taken 65 $catch_up_hosts || fail "the catch-up did not end: $(cat "$work/log")"
stop_promptly $pid "run (5)"

# Each catch-up service: every record once, in order; the live ones
# (5, 36, 66) as they came.
expected() { for i in "$@"; do t "$i"; done; }
missed=$(expected $(seq 6 35) $(seq 37 65))
[ "$(times weatherstation.wunderground.com taken)" = "$missed" ] ||
  fail "Weather Underground's catch-up: $(times weatherstation.wunderground.com taken | tr '\n' ' ')"
[ "$(times rtupdate.wunderground.com taken)" = "$(expected 5 36 66)" ] ||
  fail "Weather Underground's live uploads: $(times rtupdate.wunderground.com taken | tr '\n' ' ')"
for host in wow.metoffice.gov.uk stations.windy.com api.openweathermap.org; do
  got=$(times "$host" taken | sort -n)
  [ "$got" = "$(expected 5 $(seq 6 35) 36 $(seq 37 65) 66)" ] || fail "$host got: $(echo $got)"
  # Oldest first: the missed records in the order they were logged.
  [ "$(times "$host" taken | grep -vxE "$(expected 5 36 66 | paste -sd'|')")" = "$missed" ] ||
    fail "$host's catch-up is out of order"
done
# The live-only ones never get a missed record.
for host in www.pwsweather.com data.awekas.at; do
  [ -z "$(times "$host" taken | grep -vxE "$(expected 5 36 66 | paste -sd'|')")" ] ||
    fail "$host got a missed record: $(times "$host" taken | tr '\n' ' ')"
done
live_stamps=$(for i in 5 36 66; do date -u -d "@$(t $i)" +%d%H%M; done | paste -sd'|')
[ -z "$(sed 's/.*:@\([0-9]*\)z.*/\1/' "$work/aprs" | grep -vxE "$live_stamps")" ] ||
  fail "CWOP got more than the live records: $(cat "$work/aprs")"
! grep -qE 'wu-key|pws&key|123456|windy-secret|aw-pass|owm-secret' "$work/log" || fail "a key is in the log"
echo PASS
