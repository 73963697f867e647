#!/usr/bin/env bash
# `nimbrel run` with the six services of its own on, against loopback
# stand-ins: one HTTP server answering for every HTTP service as that
# service would today (taken, 429 with Retry-After, a wrong key, 500), and
# an APRS-IS server that answers the login, and the same HTTP server over
# TLS with a certificate of our own CA. Each first request is the
# service's own, each failure is logged once without its key, and a
# service switched on without what it needs stops the start.
. "$(dirname "$0")/lib.bash"
export TZ=UTC
version=$(cat "$top/VERSION")

key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "$@" 2>/dev/null; }
key -x509 -days 2 -subj /CN=test-ca -keyout "$work/ca.key" -out "$work/ca.pem"
key -x509 -days 2 -subj /CN=other-ca -keyout "$work/other.key" -out "$work/other-ca.pem"
key -subj /CN=127.0.0.1 -keyout "$work/server.key" -out "$work/server.csr"
printf 'subjectAltName=IP:127.0.0.1\n' >"$work/san"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
  -days 2 -extfile "$work/san" -out "$work/server.pem" 2>/dev/null || fail "no server certificate"

cat >"$work/stand_in.py" <<'PY'
import os, socket, ssl, sys, threading
work = sys.argv[1]
tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
tls.load_cert_chain(work + "/server.pem", work + "/server.key")
answers = {  # by the Host each request names
    "www.pwsweather.com": b"HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nData Logged",
    "wow.metoffice.gov.uk": b"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 3600\r\n"
                            b"Content-Length: 0\r\n\r\n",
    "stations.windy.com": b"HTTP/1.1 401 Unauthorized\r\nContent-Length: 12\r\n\r\nUnauthorized",
    "data.awekas.at": b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK",
    "api.openweathermap.org": b"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
}
count = 0
lock = threading.Lock()

def http(c):
    global count
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
    host = [l[6:].decode() for l in head.split(b"\r\n") if l.lower().startswith(b"host: ")][0]
    if os.path.exists(work + "/silent-" + host):
        threading.Event().wait(60)  # takes the request and never answers
        return
    with lock:
        count += 1
        open("%s/http-%s-%d" % (work, host, count), "wb").write(head + b"\r\n\r\n" + body)
    c.sendall(answers.get(host, b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"))
    c.close()

def aprs(c):
    c.sendall(b"# stand-in 1.0\r\n")
    f = c.makefile("rb")
    login = f.readline()
    c.sendall(b"# logresp CW1234 unverified, server STANDIN\r\n")
    packet = f.readline()
    open(work + "/aprs", "ab").write(login + packet)
    c.close()

def over_tls(c):
    try:
        c = tls.wrap_socket(c, server_side=True)
    except (ssl.SSLError, OSError):
        return  # the client did not trust us
    http(c)

def serve(listener, handle):
    while True:
        c, _ = listener.accept()
        c.settimeout(10)
        threading.Thread(target=handle, args=(c,), daemon=True).start()

ports = []
for handle in (http, aprs, over_tls):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(16)
    ports.append(str(s.getsockname()[1]))
    threading.Thread(target=serve, args=(s, handle), daemon=True).start()
open(work + "/ports.tmp", "w").write(" ".join(ports))
import os
os.rename(work + "/ports.tmp", work + "/ports")
threading.Event().wait(180)
PY
python3 "$work/stand_in.py" "$work" &
wait_for 10 test -s "$work/ports" || fail "the stand-ins did not start"
read -r http_port aprs_port tls_port <"$work/ports"

web_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
config="$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
cat >"$config" <<CONFIG
http = 127.0.0.1:$web_port
latitude = 51.5
longitude = -0.1275
altitude = 35
$(own_services)
CONFIG
chmod 600 "$config"
printf '%s\nwait 20000\n' "$live" >"$work/scenario.txt"

"$nimbrel" run --simulate="$work/scenario.txt" --upload-server="127.0.0.1:$http_port" \
  --aprs-server="127.0.0.1:$aprs_port" >"$work/out" 2>"$work/log" &
pid=$!
all_six() { [ "$(grep -cE '^[0-9-]+ [0-9:]+ (PWSweather|WOW|Windy|AWEKAS|OpenWeatherMap|CWOP): ' "$work/log")" -ge 6 ]; }
wait_for 20 all_six || fail "not every service reported: $(cat "$work/log")"
# The page's view of them: each service's state, and no key.
curl -s "http://127.0.0.1:$web_port/api/uploads" >"$work/uploads" || fail "no /api/uploads"
# And as a person sees it in a browser, on a PC and on a phone: each
# service's last success, and the reason of the one failing.
for width in 1200 412; do
  "$top/tools/page-check" "http://127.0.0.1:$web_port/" --width=$width \
    --screenshot="$work/page-$width.png" >"$work/page-$width" || fail "the page did not open"
  grep -qP '^heading\tUploads$' "$work/page-$width" || fail "$width px: no Uploads heading"
  rows=$(grep -P '^upload\t' "$work/page-$width" | cut -f2)
  for taken in pwsweather awekas cwop; do
    grep -qE "^$taken \| ✓ .*[0-9]{2}:[0-9]{2}.* \| ?\$" <<<"$rows" || fail "$width px: no success for $taken: $rows"
  done
  grep -qE '^windy \|  \| ✗ .*[0-9]{2}:[0-9]{2}.* HTTP 401: Unauthorized$' <<<"$rows" ||
    fail "$width px: Windy's failure: $rows"
  grep -qE '^wow \|  \| ✗ .* HTTP 429$' <<<"$rows" || fail "$width px: WOW's failure: $rows"
  grep -qE '^openweathermap \|  \| ✗ .* HTTP 500$' <<<"$rows" || fail "$width px: OpenWeatherMap's failure: $rows"
  [ "$(grep -P '^page-width\t' "$work/page-$width" | cut -f2)" -le $width ] || fail "$width px: the page is wider"
done
stop_promptly $pid run
python3 - "$work/uploads" <<'PY' || fail "the page's upload state: $(cat "$work/uploads")"
import json, sys
u = json.load(open(sys.argv[1]))
assert sorted(u) == ["awekas", "cwop", "openweathermap", "pwsweather", "windy", "wow"], u
for taken in ("pwsweather", "awekas", "cwop"):
    assert u[taken]["problem"] == "OFF" and u[taken]["last_success"], u[taken]
assert u["windy"]["problem"] == "ON" and u["windy"]["reason"] == "HTTP 401: Unauthorized", u
assert u["wow"]["reason"] == "HTTP 429" and u["wow"]["last_success"] is None, u
PY
for secret in 'pws&key' 123456 windy-secret aw-pass owm-secret; do
  ! grep -qF -- "$secret" "$work/uploads" || fail "a key is on the page: $secret"
done

# Each service's first request, by hand from the live record (3.2 °C, 88 %,
# dew point 1.4 °C, 1013.2 hPa, wind 12.6 km/h from 225°, gust 20.1 km/h,
# 1.3 mm today, 0.5 mm/h, UV 3, the last hour's rain missing) at 14:30 UTC.
readings="tempf=37.8&humidity=88&dewptf=34.5&baromin=29.920&windspeedmph=7.8&windgustmph=12.5&winddir=225&dailyrainin=0.05"
when="dateutc=2026-12-08%2014%3A30%3A00"
first_line() { head -n1 "$(ls "$work"/http-"$1"-* | head -n1)" | tr -d '\r'; }
check() { # host, expected request line
  [ "$(first_line "$1")" = "$2" ] || fail "$1: $(first_line "$1"), not $2"
}
check www.pwsweather.com "GET /pwsupdate/pwsupdate.php?ID=pws-1&PASSWORD=pws%26key&$when&$readings&UV=3&softwaretype=nimbrel%20$version&action=updateraw HTTP/1.1"
check wow.metoffice.gov.uk "GET /automaticreading?siteid=wow-site&siteAuthenticationKey=123456&$when&softwaretype=nimbrel%20$version&$readings HTTP/1.1"
check stations.windy.com "GET /api/v2/observation/update?id=windy-1&time=2026-12-08T14%3A30%3A00Z&temp=3.2&dewpoint=1.4&wind=3.5&gust=5.6&winddir=225&rh=88&pressure=101320&uv=3 HTTP/1.1"
grep -q $'^Authorization: Bearer windy-secret\r$' "$work"/http-stations.windy.com-* ||
  fail "Windy's password is not in its Authorization header"
md5=$(printf 'aw-pass' | md5sum | cut -d' ' -f1)
check data.awekas.at "GET /eingabe_pruefung.php?val=aw-user;$md5;08.12.2026;14%3A30;3.2;88;1013.2;1.3;12.6;225;;;;en;;20.1;;3;;;;0.5;nimbrel_$version;-0.1275;51.5000 HTTP/1.1"
check api.openweathermap.org "POST /data/3.0/measurements?appid=owm-secret HTTP/1.1"
dt=$(date -u -d '2026-12-08 14:30' +%s)
owm=$(ls "$work"/http-api.openweathermap.org-* | head -n1)
[ "$(sed -n '/^\r$/,$p' "$owm" | tail -c +3)" = "[{\"station_id\":\"owm-station\",\"dt\":$dt,\"temperature\":3.2,\"wind_speed\":3.5,\"wind_gust\":5.6,\"wind_deg\":225,\"pressure\":1013.2,\"humidity\":88}]" ] ||
  fail "OpenWeatherMap's body: $(cat "$owm")"
printf 'user CW1234 pass -1 vers nimbrel %s\r\nCW1234>APRS,TCPIP*:@081430z5130.00N/00007.65W_225/008g012t038P005h88b10132\r\n' \
  "$version" >"$work/expected-aprs"
cmp -s "$work/expected-aprs" "$work/aprs" || fail "the APRS-IS session differs: $(od -c "$work/aprs" | head)"

# Each outcome once, no key anywhere in the log.
outcomes() { # the six services' outcomes in the log, sorted, into $work/outcomes
  sed -n 's/^[0-9-]* [0-9:]* \(PWSweather\|WOW\|Windy\|AWEKAS\|OpenWeatherMap\|CWOP\): /\1: /p' \
    "$work/log" | sort >"$work/outcomes"
}
outcomes
cat >"$work/expected-outcomes" <<'OUT'
AWEKAS: upload taken
CWOP: upload taken
OpenWeatherMap: upload failed: HTTP 500
PWSweather: upload taken
WOW: upload failed: HTTP 429
Windy: upload failed: HTTP 401: Unauthorized; check its ID and key (tried again every 30 minutes)
OUT
diff "$work/expected-outcomes" "$work/outcomes" || fail "the services' log lines differ"
for secret in 'pws&key' 123456 windy-secret aw-pass "$md5" owm-secret; do
  ! grep -qF -- "$secret" "$work/log" "$work/out" || fail "a key is in the log: $secret"
done

# A server that takes Windy's request and never answers: Windy's time-out
# is logged once with its reason, and every other service goes on as before.
# `run` until all six services reported, then stopped: the upload server,
# then NAME=VALUE for the program's environment.
run_until_all_six() {
  local server=$1
  shift
  : >"$work/log"
  env "$@" "$nimbrel" run --simulate="$work/scenario.txt" --upload-server="$server" \
    --aprs-server="127.0.0.1:$aprs_port" >"$work/out" 2>"$work/log" &
  pid=$!
  wait_for 20 all_six || fail "not every service reported ($server $*): $(cat "$work/log")"
  outcomes
  stop_promptly $pid run
}
touch "$work/silent-stations.windy.com"
run_until_all_six "127.0.0.1:$http_port" NIMBREL_UPLOAD_TIMEOUT_MS=1000
grep -v '^Windy' "$work/expected-outcomes" >"$work/expected-silent"
echo "Windy: upload failed: no reply within 1 s" >>"$work/expected-silent"
sort -o "$work/expected-silent" "$work/expected-silent"
diff "$work/expected-silent" "$work/outcomes" || fail "the outcomes beside a silent server differ"
rm "$work/silent-stations.windy.com"

# Over HTTPS: with another CA trusted, each HTTPS service's refusal of the
# server's certificate is logged once with its reason, and CWOP, which
# speaks APRS-IS, goes on; with our CA trusted, every outcome is the one
# the services' answers over plain HTTP gave.
over_https() { run_until_all_six "https://127.0.0.1:$tls_port" NIMBREL_CA_FILE="$1"; }
over_https "$work/other-ca.pem"
[ "$(grep -c 'upload failed: .*certificate' "$work/outcomes")" = 5 ] &&
  grep -qx 'CWOP: upload taken' "$work/outcomes" ||
  fail "the outcomes with a wrong CA: $(cat "$work/outcomes")"
over_https "$work/ca.pem"
diff "$work/expected-outcomes" "$work/outcomes" || fail "the outcomes over HTTPS differ"

# Without a usable HTTP library (here a broken libcurl.so.4 found first),
# each HTTP service logs once why, naming the package to install, and CWOP
# and the program go on.
mkdir "$work/broken" && : >"$work/broken/libcurl.so.4"
run_until_all_six "127.0.0.1:$http_port" LD_LIBRARY_PATH="$work/broken"
[ "$(grep -c 'upload failed: the HTTP library libcurl.so.4 is not usable (install the package libcurl4): .*libcurl.so.4' "$work/outcomes")" = 5 ] &&
  grep -qx 'CWOP: upload taken' "$work/outcomes" ||
  fail "the outcomes without the HTTP library: $(cat "$work/outcomes")"

# A service on without what it needs stops the start, naming the setting.
refused() { # setting to take out, the message expected
  grep -v "^$1 = " "$config" >"$work/partial.conf"
  "$nimbrel" run --config="$work/partial.conf" --simulate="$work/scenario.txt" \
    --upload-server="127.0.0.1:$http_port" >"$work/out" 2>"$work/err" && fail "ran without $1"
  status=$?
  [ $status = 2 ] || fail "without $1: status $status, not 2"
  grep -qF -- "$2" "$work/err" || fail "without $1: $(cat "$work/err")"
}
refused windy-key "windy is on but windy-key is not set"
refused wow-id "wow is on but wow-id is not set"
refused latitude "cwop is on but latitude is not set"
echo PASS
