#!/usr/bin/env bash
# Serves the same small static file and the same template page from fwkhttpd
# and from nginx (one worker, no keep-alive) on loopback, drives both with ab
# in the same run, and prints requests per second, the ratio, the latency of
# a well-behaved client while slow or hostile clients work on fwkhttpd
# (victim_latency.py), and the peak resident memory of fwkhttpd under all of
# it; then the latency of a well-behaved client's static GET beside a crowd
# of slow connections and beside clients of a heavy report page
# (crowd_latency.py, on a server of its own).
#
# Usage: bench/http/run.sh <build dir with fwkhttpd>
# Environment: REQUESTS (default 20000), CONCURRENCY (default 4).
set -euo pipefail

build=${1:?usage: $0 <build dir>}
fwkhttpd=$(cd "$build" && pwd)/fwkhttpd
requests=${REQUESTS:-20000}
concurrency=${CONCURRENCY:-4}
nginx=$(command -v nginx || echo /usr/sbin/nginx)
for tool in "$fwkhttpd" "$nginx" "$(command -v ab || true)"; do
  if [ -z "$tool" ] || [ ! -x "$tool" ]; then
    echo "bench/http: missing ${tool:-ab} (tools/deps.sh bench installs nginx-light and apache2-utils)" >&2
    exit 1
  fi
done

work=$(mktemp -d /tmp/fwk-bench-http.XXXXXX)
fwk_pid=""
nginx_pid=""
cleanup() {
  [ -n "$fwk_pid" ] && kill "$fwk_pid" 2>/dev/null && wait "$fwk_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A free block of ten ports for fwkhttpd and one port for nginx.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_port() {
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  echo "bench/http: nothing listens on port $1" >&2
  exit 1
}

# The server root: a ~2 KB static file and a template page of the same size.
root=$work/root
mkdir -p "$root" "$work/runtime" "$work/config" "$work/etc" "$work/nginx/logs"
chmod 700 "$work/runtime"
printf '[server]\nERROR=\n' >"$root/cgi.ini"
line='The quick brown fox jumps over the lazy dog; pack my box with five dozen jugs.'
for i in $(seq 26); do echo "$i $line"; done >"$root/static.txt"
{
  echo '<html><head><title>Bench</title></head><body>'
  echo '<p>Sum: <%= 2 + 3 %>, product: <%= 6 * 7 %>.</p>'
  for i in $(seq 22); do echo "<p>$i $line</p>"; done
  echo '</body></html>'
} >"$root/page.html"
chmod -R a+rX "$work"

fwk_port=$(free_port)
XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config FORMWICK_ETC=$work/etc \
  FORMWICK_ONLINE=0 "$fwkhttpd" --headless --root "$root/" --port "$fwk_port" \
  >"$work/fwkhttpd.out" 2>&1 &
fwk_pid=$!
for _ in $(seq 100); do
  grep -q 'running on port' "$work/fwkhttpd.out" && break
  sleep 0.05
done
fwk_port=$(grep -o 'running on port [^ ]*' "$work/fwkhttpd.out" | grep -o '[0-9]*$' || true)
[ -n "$fwk_port" ] || { echo "bench/http: fwkhttpd did not start" >&2; cat "$work/fwkhttpd.out" >&2; exit 1; }
wait_port "$fwk_port"

nginx_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
master_process on;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
$( [ "$(id -u)" -eq 0 ] && echo "user root root;" )
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  sendfile on;
  types { text/plain txt; text/html html; }
  default_type text/plain;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $root;
  }
}
CONF
"$nginx" -p "$work/nginx" -e "$work/nginx/logs/error.log" -c "$work/nginx/nginx.conf" \
  2>"$work/nginx/stderr" &
nginx_pid=$!
wait_port "$nginx_port"
nginx_worker=$(pgrep -P "$nginx_pid" | head -n 1)

# CPU time (clock ticks, user + system) a process has used so far.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
ticks_per_second=$(getconf CLK_TCK)

# One ab run (after a short warm-up) against the server process $2:
# requests per second, failed requests, and the server's CPU microseconds per
# request (a figure that other load on the machine disturbs less).
rate() {
  ab -q -n 500 -c "$concurrency" "$1" >/dev/null 2>&1 || true
  local before after
  before=$(cpu_ticks "$2")
  ab -q -r -n "$requests" -c "$concurrency" "$1" >"$work/ab.out" 2>&1 || true
  after=$(cpu_ticks "$2")
  cat "$work/ab.out" >>"$work/ab.log"
  awk -v ticks=$((after - before)) -v hz="$ticks_per_second" -v n="$requests" '
    /^Failed requests/ {failed = $3} /^Requests per second/ {rps = $4}
    END {if (rps == "") rps = 0;
         printf "%s %s %.1f\n", rps, (failed == "" ? 0 : failed), ticks * 1e6 / hz / n}' \
    "$work/ab.out"
}

printf 'HTTP load: ab -n %d -c %d, loopback, no keep-alive; nginx one worker\n' \
  "$requests" "$concurrency"
printf '%-12s %14s %14s %8s %22s\n' document fwkhttpd nginx ratio "CPU us/request (f/n)"
for doc in static.txt page.html; do
  read -r ours ours_failed ours_cpu < <(rate "http://127.0.0.1:$fwk_port/$doc" "$fwk_pid")
  read -r theirs theirs_failed theirs_cpu < <(rate "http://127.0.0.1:$nginx_port/$doc" "$nginx_worker")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
  printf '%-12s %10.0f r/s %10.0f r/s %8s %10s / %-10s\n' "$doc" "$ours" "$theirs" "$ratio" \
    "$ours_cpu" "$theirs_cpu"
  if [ "$ours_failed" != 0 ] || [ "$theirs_failed" != 0 ]; then
    echo "  failed requests: fwkhttpd $ours_failed, nginx $theirs_failed"
  fi
done
echo
python3 "$(dirname "$0")/victim_latency.py" "$fwk_port" "$root" static.txt page.html
peak=$(awk '/^VmHWM/ {print $2, $3}' "/proc/$fwk_pid/status")
echo "fwkhttpd peak resident memory under load and attacks: $peak"
echo
python3 "$(dirname "$0")/crowd_latency.py" "$fwkhttpd"
